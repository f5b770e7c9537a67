// The setup dialog. Everything runs on the program's one thread: the install
// run is called from inside the Install command and holds the thread until it
// is done, so the only painting meanwhile is the progress panel's, which
// extraction forces for every file.
#include "ui/setup_dialog.h"

#include <shlobj.h>

#include <shlwapi.h>
#include <cstring>

#include "resources/ids.h"
#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "system/path_text.h"
#include "system/probe.h"
#include "system/removal.h"
#include "ui/dialog_texts.h"
#include "ui/progress_panel.h"

namespace {

// Window title, default directory text and browse result are built here; the
// folder browser also writes the chosen folder's display name into it.
char workBuffer[MAX_PATH];

// How the checks of a chosen directory end.
enum DirectoryCheck {
    DirectoryAccepted, // go on and install
    DirectoryKept,     // back to the dialog, the box unchanged
    SetupDeclined,     // the user refused to remove the older generation
};

int ask(HWND owner, const char* question) {
    return MessageBoxA(owner, question, warningCaption, MB_YESNO | MB_ICONWARNING);
}

void refuse(HWND owner, const char* reason) {
    MessageBoxA(owner, reason, errorCaption, MB_OK | MB_ICONERROR);
}

// ---- Initialisation --------------------------------------------------------

// Centres the dialog on the primary screen, frame included, without repainting.
void centreOnScreen(HWND dialog) {
    RECT screen;
    RECT window;
    GetClientRect(GetDesktopWindow(), &screen);
    GetWindowRect(dialog, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    MoveWindow(dialog, (screen.right - width) / 2, (screen.bottom - height) / 2, width, height,
               FALSE);
}

void showTitle(HWND dialog) {
    wnsprintfA(workBuffer, sizeof workBuffer, "%s%s", titlePrefix, settings.versionCaption);
    SetWindowTextA(dialog, workBuffer);
}

// defaultParentDir + "\" + folderName; always built afresh, never from an
// earlier browse result.
void showDefaultDirectory(HWND dialog) {
    if (joinPath(workBuffer, sizeof workBuffer, settings.defaultParentDir, settings.folderName) !=
        TextFits) {
        workBuffer[0] = '\0';
    }
    SetDlgItemTextA(dialog, IDC_DIRECTORY, workBuffer);
}

void attachProgressPanel(HWND dialog) {
    progressPanel = GetDlgItem(dialog, IDC_PROGRESS);
    SetWindowLongPtrA(progressPanel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(progressPanelProc));
}

INT_PTR initialise(HWND dialog) {
    centreOnScreen(dialog);
    showTitle(dialog);
    showDefaultDirectory(dialog);
    // The product's desktopIcon is the box's first state; Install reads it back.
    CheckDlgButton(dialog, IDC_DESKTOP_ICON, settings.desktopIcon ? BST_CHECKED : BST_UNCHECKED);
    attachProgressPanel(dialog);
    return TRUE;
}

// ---- Browse ----------------------------------------------------------------

void freeItemList(LPITEMIDLIST items) {
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(items);
        allocator->Release();
    }
}

// Runs the folder browser; on success the chosen folder's path is in
// workBuffer. Returns 0 when the user cancelled.
int pickFolder(HWND dialog) {
    char title[MAX_PATH];
    wnsprintfA(title, sizeof title, browseTitleFormat, settings.productName);

    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = workBuffer;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = browseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(settings.defaultParentDir);
    browse.iImage = 0;

    // The shell's browser is a COM client: give it an apartment of its own
    // for as long as it runs.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    LPITEMIDLIST items = SHBrowseForFolderA(&browse);
    if (items) {
        SHGetPathFromIDListA(items, workBuffer);
        freeItemList(items);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return items != nullptr;
}

INT_PTR browse(HWND dialog) {
    if (!pickFolder(dialog)) {
        return TRUE;
    }
    // A folder whose path leaves no room for folderName is refused rather
    // than cut into some other path.
    if (appendBackslashIfMissing(workBuffer, sizeof workBuffer) != TextFits ||
        appendText(workBuffer, sizeof workBuffer, settings.folderName) != TextFits) {
        refuse(dialog, browsedFolderTooLong);
        return TRUE;
    }
    SetDlgItemTextA(dialog, IDC_DIRECTORY, workBuffer);
    return TRUE;
}

// ---- Install ---------------------------------------------------------------

int endsWithBackslash(const char* text) {
    std::size_t length = std::strlen(text);
    return length > 0 && text[length - 1] == '\\';
}

// Reads the directory box into installDir. A text that would not fit whole
// is refused (returns 0) instead of being cut into a different path.
int readDirectoryBox(HWND dialog) {
    if (GetWindowTextLengthA(GetDlgItem(dialog, IDC_DIRECTORY)) >= MAX_PATH) {
        return 0;
    }
    GetDlgItemTextA(dialog, IDC_DIRECTORY, installDir, MAX_PATH);
    return 1;
}

// What is already in installDir decides whether to ask before installing.
int checkChosenDirectory(HWND dialog) {
    if (!SetCurrentDirectoryA(installDir)) {
        return DirectoryAccepted; // does not exist yet: nothing to ask
    }
    switch (probeInstallation(installDir)) {
    case ProbeUnmarkedProgram:
        return ask(dialog, overwriteQuestion) == IDNO ? DirectoryKept : DirectoryAccepted;
    case ProbeOlderGeneration:
        if (ask(dialog, olderVersionQuestion) == IDNO) {
            return SetupDeclined;
        }
        removeOlderVersion(installDir);
        return DirectoryAccepted;
    case ProbeCurrentRelease:
        return DirectoryAccepted;
    default:
        // Leave the directory first, so that an empty one can be removed;
        // the removal succeeding is how emptiness is told.
        SetCurrentDirectoryA(startDir);
        if (RemoveDirectoryA(installDir)) {
            return DirectoryAccepted;
        }
        return ask(dialog, notEmptyQuestion) == IDNO ? DirectoryKept : DirectoryAccepted;
    }
}

void enterRunningLook(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    ShowWindow(GetDlgItem(dialog, IDC_DESKTOP_ICON), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_BROWSE), SW_HIDE);
}

int runWithWaitCursor() {
    HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    int result = runInstall();
    SetCursor(kept ? kept : LoadCursorA(nullptr, IDC_ARROW));
    return result;
}

void reportRunResult(int result) {
    if (result == installFailed) {
        MessageBoxA(mainDialog, decompressionError, errorCaption, MB_OK | MB_ICONERROR);
    } else if (result == installNoShortcuts) {
        MessageBoxA(mainDialog, shortcutWarning, warningCaption, MB_OK | MB_ICONWARNING);
    }
}

INT_PTR install(HWND dialog) {
    if (!readDirectoryBox(dialog)) {
        refuse(dialog, directoryTooLong);
        return TRUE;
    }
    settings.desktopIcon = IsDlgButtonChecked(dialog, IDC_DESKTOP_ICON) == BST_CHECKED ? 1 : 0;
    if (installDir[0] == '\0') {
        showDefaultDirectory(dialog);
        return TRUE;
    }
    // The checks work on the directory without its trailing backslash; only
    // one is removed.
    if (endsWithBackslash(installDir)) {
        installDir[std::strlen(installDir) - 1] = '\0';
    }
    // installDir must keep room for the backslash that the run relies on.
    if (std::strlen(installDir) + 1 >= sizeof installDir) {
        refuse(dialog, directoryTooLong);
        return TRUE;
    }

    switch (checkChosenDirectory(dialog)) {
    case DirectoryKept:
        return TRUE;
    case SetupDeclined:
        failed = 1;
        DestroyWindow(dialog);
        return TRUE;
    default:
        break;
    }

    // Usually there already; only the last level is ever created here.
    CreateDirectoryA(installDir, nullptr);
    appendBackslashIfMissing(installDir, sizeof installDir);

    enterRunningLook(dialog);
    reportRunResult(runWithWaitCursor());
    DestroyWindow(dialog);
    return TRUE;
}

// ---- Cancel ----------------------------------------------------------------

INT_PTR cancel(HWND dialog) {
    failed = 1;
    DestroyWindow(dialog);
    return TRUE;
}

INT_PTR command(HWND dialog, int id) {
    switch (id) {
    case IDC_BROWSE:
        return browse(dialog);
    case IDOK:
        return install(dialog);
    case IDCANCEL:
        return cancel(dialog);
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return initialise(dialog);
    case WM_COMMAND:
        return command(dialog, LOWORD(wParam));
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

int CALLBACK browseCallback(HWND browseWindow, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        PostMessageA(browseWindow, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}
