// setup-driver: installs the sample product through the real setup dialog,
// as a user would, and saves screenshots on the way. Used by scripts/demo.
//   setup-driver SETUP.EXE INSTALL-DIR SHOT-FOLDER CAPTURE-SCRIPT [--launch]
// SHOT-FOLDER and CAPTURE-SCRIPT (scripts/lib/x-screenshot) are Linux paths.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "screenshot.h"
#include "window_driver.h"

namespace {

constexpr int stepTimeoutMs = 60000;
const char dialogTitle[] = "Installing Quillmoran version 2.1";
const char finishCaption[] = "Finish..!";

std::string shots;
std::string captureScript;

void shoot(const char* name) {
    std::string path = shots + "/" + name + ".png";
    if (driver::saveScreenshot(captureScript, path)) {
        std::printf("screenshot: %s\n", path.c_str());
    }
}

int fail(const char* what) {
    std::fprintf(stderr, "setup-driver: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        return fail("usage: setup-driver SETUP.EXE INSTALL-DIR SHOT-FOLDER CAPTURE-SCRIPT "
                    "[--launch]");
    }
    std::string setup = argv[1];
    std::string installDir = argv[2];
    shots = argv[3];
    captureScript = argv[4];
    bool launch = argc > 5 && std::strcmp(argv[5], "--launch") == 0;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = "\"" + setup + "\"";
    if (!CreateProcessA(setup.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return fail("cannot start the setup program");
    }
    HWND dialog = driver::waitForTopWindow(dialogTitle, process.dwProcessId, stepTimeoutMs);
    if (!dialog) {
        return fail("the setup dialog did not open");
    }
    if (driver::topWindowsTitled(dialogTitle).size() != 1) {
        return fail("two setup dialogs are open; close the other one first");
    }
    std::printf("dialog: \"%s\", proposing %s\n", dialogTitle,
                driver::controlText(GetDlgItem(dialog, 1000)).c_str());
    driver::setControlText(GetDlgItem(dialog, 1000), installDir);
    shoot("1-dialog");
    driver::click(GetDlgItem(dialog, IDOK));

    // Questions about the directory are answered Yes; the run itself shows
    // no window of its own but the dialog's progress panel.
    bool shotRunning = false;
    for (;;) {
        if (!shotRunning && IsWindow(dialog) && !IsWindowEnabled(GetDlgItem(dialog, IDOK))) {
            shoot("2-installing");
            shotRunning = true;
        }
        driver::MessageBoxSeen box = driver::waitForMessageBox(process.dwProcessId, 10, dialog);
        if (box.window) {
            std::printf("box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
            if (box.caption == finishCaption) {
                shoot("3-finish");
                driver::answer(box, launch ? IDYES : IDNO);
                break;
            }
            driver::answer(box, box.hasButton(IDYES) ? IDYES : IDOK);
            Sleep(200);
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            break;
        }
    }
    WaitForSingleObject(process.hProcess, stepTimeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("setup ended with exit code %lu\n", static_cast<unsigned long>(code));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
