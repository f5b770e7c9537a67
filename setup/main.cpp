// Program entry: shows the setup dialog, runs the message loop until the
// dialog is gone, then offers to launch the freshly installed program. The
// command line is not read; the exit code is 1 on every path.
#include <windows.h>

#include <shlwapi.h>

#include "resources/ids.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "system/path_text.h"
#include "ui/dialog_texts.h"
#include "ui/setup_dialog.h"

namespace {

constexpr int exitCode = 1;

enum LoopEnd {
    LoopQuit = 0,   // the dialog was destroyed and posted the quit message
    LoopBroken = 1, // GetMessageA failed; waiting on would never end
};

void resetProgress() {
    progressMode = 0;
    progressTotal = 0;
    progressDone = 0;
    currentFile[0] = '\0';
}

// Dialog keyboard handling gives Tab, Enter (Install, the default button)
// and Esc (Cancel) their usual meaning.
int runMessageLoop() {
    MSG message;
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            return LoopQuit;
        }
        if (got == -1) {
            return LoopBroken;
        }
        if (IsWindow(mainDialog) && IsDialogMessageA(mainDialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int askToLaunch() {
    char text[256];
    wnsprintfA(text, sizeof text, finishFormat, settings.productName);
    return MessageBoxA(nullptr, text, finishCaption, MB_YESNO | MB_ICONINFORMATION);
}

// Starts installDir + programBase + ".exe" with the install directory as its
// working directory. The path is quoted: installDir may hold spaces, and an
// unquoted path would let a file such as "C:\Program.exe" be started instead.
void launchProgram() {
    char command[MAX_PATH + 64];
    command[0] = '\0';
    if (appendText(command, sizeof command, "\"") != TextFits ||
        appendText(command, sizeof command, installDir) != TextFits ||
        appendText(command, sizeof command, settings.programBase) != TextFits ||
        appendText(command, sizeof command, ".exe\"") != TextFits) {
        return; // a command that does not fit is not started at all
    }
    SetCurrentDirectoryA(installDir);
    WinExec(command, SW_SHOWNORMAL);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    resetProgress();
    failed = 0;
    GetCurrentDirectoryA(MAX_PATH, startDir);

    mainDialog =
        CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_SETUP), nullptr, setupDialogProc, 0);
    if (!mainDialog) {
        return exitCode; // nothing would ever post the quit message
    }
    ShowWindow(mainDialog, SW_SHOW);
    UpdateWindow(mainDialog);

    if (runMessageLoop() == LoopQuit && !failed && askToLaunch() == IDYES) {
        launchProgram();
        return exitCode;
    }
    SetCurrentDirectoryA(startDir);
    return exitCode;
}
