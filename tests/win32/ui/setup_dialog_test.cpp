// The setup dialog in this process: made from the real template (dialog 110
// of the built setup program) with setupDialogProc, and given the commands
// that need no install run. The whole program is driven in tests/e2e.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "setup/settings.h"
#include "setup/state.h"
#include "ui/progress_panel.h"
#include "ui/setup_dialog.h"

namespace {

std::string setupProgram; // given on the command line by ctest

constexpr int directoryBox = 1000;
constexpr int desktopBox = 1002;
constexpr int panel = 1005;
constexpr int setupDialogResource = 110;

class SetupDialog : public ::testing::Test {
  protected:
    HMODULE program = nullptr;
    HWND dialog = nullptr;

    void SetUp() override {
        program = LoadLibraryExA(setupProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program, nullptr) << setupProgram;
        HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(setupDialogResource), RT_DIALOG);
        ASSERT_NE(found, nullptr);
        auto* dialogTemplate =
            static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(program, found)));
        failed = 0;
        installDir[0] = '\0';
        GetCurrentDirectoryA(MAX_PATH, startDir);
        dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate, nullptr,
                                            setupDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        mainDialog = dialog;
    }
    void TearDown() override {
        if (IsWindow(dialog)) {
            DestroyWindow(dialog);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        FreeLibrary(program);
    }
    std::string text(HWND window) {
        char buffer[1024] = "";
        GetWindowTextA(window, buffer, sizeof buffer);
        return buffer;
    }
    std::string directoryText() {
        return text(GetDlgItem(dialog, directoryBox));
    }
    INT_PTR command(int id) {
        return setupDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
};

TEST_F(SetupDialog, OpensCentredWithTitleDefaultDirectoryAndTickedBox) {
    EXPECT_EQ(text(dialog), "Installing Quillmoran version 2.1");
    EXPECT_EQ(directoryText(), "c:\\program files\\Quillmoran");
    EXPECT_EQ(IsDlgButtonChecked(dialog, desktopBox), static_cast<UINT>(BST_CHECKED));
    RECT screen;
    RECT window;
    GetClientRect(GetDesktopWindow(), &screen);
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, (screen.right - (window.right - window.left)) / 2);
    EXPECT_EQ(window.top, (screen.bottom - (window.bottom - window.top)) / 2);
}

TEST_F(SetupDialog, ProgressPanelIsHandedToItsPaintingProcedure) {
    EXPECT_EQ(progressPanel, GetDlgItem(dialog, panel));
    EXPECT_EQ(GetWindowLongPtrA(progressPanel, GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(progressPanelProc));
}

TEST_F(SetupDialog, EmptyBoxBringsBackTheDefaultAndReadsTheCheckBox) {
    SetDlgItemTextA(dialog, directoryBox, "");
    CheckDlgButton(dialog, desktopBox, BST_UNCHECKED);
    EXPECT_EQ(command(IDOK), TRUE);
    EXPECT_EQ(directoryText(), "c:\\program files\\Quillmoran");
    EXPECT_EQ(settings.desktopIcon, 0);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));

    SetDlgItemTextA(dialog, directoryBox, "");
    CheckDlgButton(dialog, desktopBox, BST_CHECKED);
    command(IDOK);
    EXPECT_EQ(settings.desktopIcon, 1);
}

TEST_F(SetupDialog, CancelSetsFailedAndEndsTheMessageLoop) {
    EXPECT_EQ(command(IDCANCEL), TRUE);
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(IsWindow(dialog));
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(SetupDialog, CloseRequestArrivesAsCancel) {
    // The dialog manager posts the Cancel command for a close request.
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    MSG message;
    while (PeekMessageA(&message, dialog, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(SetupDialog, OtherCommandsAndMessagesAreNotHandled) {
    EXPECT_EQ(command(directoryBox), FALSE);
    EXPECT_EQ(command(4242), FALSE);
    EXPECT_EQ(setupDialogProc(dialog, WM_TIMER, 1, 0), FALSE);
    EXPECT_EQ(failed, 0);
    EXPECT_TRUE(IsWindow(dialog));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: setup_dialog_test SETUP.EXE\n");
        return 2;
    }
    setupProgram = argv[1];
    if (!setupProgram.empty() && setupProgram[0] == '/') {
        setupProgram = "Z:" + setupProgram; // Wine's drive for the Linux root
        std::replace(setupProgram.begin(), setupProgram.end(), '/', '\\');
    }
    return RUN_ALL_TESTS();
}
