// The whole setup program, driven through its dialog as a user would, under
// Wine: every scenario starts the real quillmoran-setup.exe, answers its
// questions and checks the files, shortcuts and registry it leaves behind.
// All scenarios share one Wine prefix, so each starts from a fresh install
// directory with the traces of earlier runs removed, and fails when a
// dialog of another run is still open.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "installation.h"
#include "setup_run.h"

namespace {

// Given on the command line by ctest.
std::string setupProgram;
std::string productStage;

const std::string dialogTitle = "Installing Quillmoran version 2.1";
const std::string defaultDirectory = "c:\\program files\\Quillmoran";
const std::string warningCaption = "Warning..!";
const std::string errorCaption = "Error..!";
const std::string finishCaption = "Finish..!";
const std::string finishText = "Quillmoran has successfully\ninstalled to your computer.\n"
                               "Do you want to launch the program now?";
const std::string notEmptyText =
    "This is not an empty directory.\nDo you want to install to this directory anyway?";
const std::string overwriteText =
    "Previous Vorlenn has installed in this directory.\nDo you really want to overwrite?";
const std::string olderVersionText =
    "Older version of Vorlenn detected.\nIf you continue, setup will remove it.\n\n"
    "If you choose NO, setup will be canceled.\nYou can backup your previous version "
    "manually,\nand run this setup again anytime.\n\nDo you want to continue?";
const std::string shortcutWarningText =
    "Setup can not create shortcut in your Start Menu!\nYou should create it manually.";
const std::string decompressionErrorText =
    "Can not decompress file!\nThe source file maybe damage.";
const std::string tooLongText = "The install directory is too long!\nPlease choose a shorter path.";

constexpr int dialogDirectory = 1000;
constexpr int dialogDesktopIcon = 1002;
constexpr int dialogBrowse = 1003;
constexpr int productFileCount = 77;

const char uninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillmoran";
const char oldUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorlenn";

using e2e::MessageBoxSeen;
using e2e::SetupRun;
using e2e::stepTimeoutMs;

class SetupProgram : public ::testing::Test {
  protected:
    std::string startDirectory;

    void SetUp() override {
        // A dialog left from an earlier run would be driven by mistake.
        ASSERT_TRUE(driver::topWindowsTitled(dialogTitle).empty())
            << "a setup dialog of another run is still open";
        installation::removeTraces();
        startDirectory = installation::freshDirectory("start");
        CreateDirectoryA(startDirectory.c_str(), nullptr);
    }

    // Starts the setup and checks that exactly one dialog with our title is up.
    void start(SetupRun& run) {
        ASSERT_TRUE(run.started) << "cannot start " << setupProgram << ", error " << run.startError;
        ASSERT_NE(run.dialog, nullptr) << "no window titled \"" << dialogTitle << "\"";
        ASSERT_EQ(driver::topWindowsTitled(dialogTitle).size(), 1u)
            << "two dialogs carry the same title";
    }

    // A message box with the expected caption and text.
    static void expectBox(const MessageBoxSeen& box, const std::string& caption,
                          const std::string& text) {
        ASSERT_NE(box.window, nullptr) << "expected a box: " << text;
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
    }
    static void expectQuestion(const MessageBoxSeen& box, const std::string& text) {
        expectBox(box, warningCaption, text);
        EXPECT_TRUE(box.hasButton(IDYES));
        EXPECT_TRUE(box.hasButton(IDNO));
    }

    // The finish prompt ends a successful run; No leaves the program unlaunched.
    static void declineLaunch(const SetupRun& run) {
        MessageBoxSeen box = run.nextBox();
        expectBox(box, finishCaption, finishText);
        EXPECT_TRUE(box.hasButton(IDYES) && box.hasButton(IDNO));
        driver::answer(box, IDNO);
        EXPECT_EQ(run.exitCode(), 1u);
    }

    // Every product file, the shortcuts and the uninstall entry of an
    // installation into dir (without trailing backslash).
    static void expectInstalled(const std::string& dir, bool desktopShortcut) {
        std::vector<std::string> staged = installation::filesBelow(productStage);
        EXPECT_EQ(staged.size(), static_cast<size_t>(productFileCount));
        std::vector<std::string> differing = installation::differingFiles(productStage, dir);
        EXPECT_TRUE(differing.empty()) << differing.size() << " files missing or different, "
                                       << (differing.empty() ? "" : differing.front());
        expectShortcuts(dir, desktopShortcut);
        std::string program = dir + "\\vorlenn.exe";
        EXPECT_EQ(installation::stringValue(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName",
                                            installation::uninstallView),
                  "Quillmoran");
        // The program path may be quoted, since it may hold spaces.
        std::string command = installation::stringValue(
            HKEY_LOCAL_MACHINE, uninstallKey, "UninstallString", installation::uninstallView);
        EXPECT_TRUE(installation::samePath(command, program + " /uninstall") ||
                    installation::samePath(command, "\"" + program + "\" /uninstall"))
            << command;
        if (installation::hasTwoRegistryViews()) {
            EXPECT_FALSE(installation::keyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_64KEY))
                << "the entry belongs in the 32-bit registry view only";
        }
    }

    static void expectShortcut(const std::string& link, const std::string& target,
                               const std::string& workingDirectory) {
        installation::Shortcut shortcut = installation::readShortcut(link);
        ASSERT_TRUE(shortcut.loaded) << link;
        EXPECT_TRUE(installation::samePath(shortcut.target, target))
            << link << " points at " << shortcut.target;
        EXPECT_TRUE(installation::samePath(shortcut.workingDirectory, workingDirectory))
            << link << " works in " << shortcut.workingDirectory;
    }

    static void expectShortcuts(const std::string& dir, bool desktopShortcut) {
        std::string group = installation::programsFolder() + "\\Quillmoran\\";
        std::string program = dir + "\\vorlenn.exe";
        expectShortcut(group + "Quillmoran.lnk", program, dir);
        expectShortcut(group + "Quillmoran Help.lnk", dir + "\\vorlenn.hlp", dir);
        expectShortcut(group + "Uninstall Quillmoran.lnk", program, dir);
        installation::Shortcut uninstall =
            installation::readShortcut(group + "Uninstall Quillmoran.lnk");
        EXPECT_EQ(uninstall.arguments, "/uninstall");
        EXPECT_TRUE(installation::samePath(uninstall.iconPath, program));
        EXPECT_EQ(uninstall.iconIndex, 1);
        std::string desktopLink = installation::desktopFolder() + "\\Quillmoran.lnk";
        if (desktopShortcut) {
            expectShortcut(desktopLink, program, dir);
        } else {
            EXPECT_FALSE(installation::exists(desktopLink));
        }
    }

    static void expectNothingInstalled(const std::string& dir) {
        EXPECT_FALSE(installation::exists(dir + "\\vorlenn.exe"));
        EXPECT_FALSE(
            installation::keyExists(HKEY_LOCAL_MACHINE, uninstallKey, installation::uninstallView));
        EXPECT_FALSE(installation::exists(installation::programsFolder() + "\\Quillmoran"));
    }
};

// ---- The dialog as it opens, and leaving it ---------------------------------

TEST_F(SetupProgram, OpensCentredWithTitleDefaultDirectoryAndTickedBox) {
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.screenshot("dialog-opened");
    RECT screen;
    RECT window;
    GetClientRect(GetDesktopWindow(), &screen);
    GetWindowRect(run.dialog, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    EXPECT_EQ(window.left, (screen.right - width) / 2);
    EXPECT_EQ(window.top, (screen.bottom - height) / 2);
    EXPECT_EQ(driver::controlText(run.dialog), dialogTitle);
    EXPECT_EQ(run.directoryText(), defaultDirectory);
    EXPECT_TRUE(driver::isChecked(run.item(dialogDesktopIcon)));
    EXPECT_EQ(driver::controlText(run.item(IDOK)), "Install");
    EXPECT_EQ(driver::controlText(run.item(IDCANCEL)), "Cancel");
    EXPECT_EQ(driver::controlText(run.item(dialogBrowse)), "browse..");
    EXPECT_EQ(driver::controlText(run.item(dialogDesktopIcon)), "Add icon to desktop");

    run.press(IDCANCEL);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
    expectNothingInstalled(defaultDirectory);
}

TEST_F(SetupProgram, CloseBoxActsAsCancel) {
    std::string dir = installation::freshDirectory("closed");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    driver::pressCloseBox(run.dialog);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
    expectNothingInstalled(dir);
    EXPECT_FALSE(installation::exists(dir));
}

TEST_F(SetupProgram, EscapeKeyCancels) {
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    driver::pressKey(run.item(dialogDirectory), VK_ESCAPE);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
}

TEST_F(SetupProgram, EmptyDirectoryBoxBringsBackTheDefault) {
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory("");
    run.press(IDOK);
    ASSERT_TRUE(
        driver::waitUntil([&] { return run.directoryText() == defaultDirectory; }, stepTimeoutMs));
    EXPECT_TRUE(run.dialogStaysQuiet());
    EXPECT_TRUE(IsWindowEnabled(run.item(IDOK)));
    run.press(IDCANCEL);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
}

TEST_F(SetupProgram, DirectoryTooLongForItsBackslashIsRefused) {
    // 259 characters: the backslash the install run needs would not fit.
    std::string dir = installation::freshDirectory("long") + "\\";
    dir += std::string(259 - dir.size(), 'x');
    ASSERT_EQ(dir.size(), 259u);
    for (const std::string& text : {dir, dir + std::string(40, 'y')}) {
        SetupRun run(setupProgram, dialogTitle, startDirectory);
        start(run);
        run.setDirectory(text);
        run.press(IDOK);
        MessageBoxSeen box = run.nextBox();
        expectBox(box, errorCaption, tooLongText);
        EXPECT_TRUE(box.hasButton(IDOK));
        driver::answer(box, IDOK);
        EXPECT_TRUE(run.dialogStaysQuiet());
        EXPECT_EQ(run.directoryText(), text);
        run.press(IDCANCEL);
        EXPECT_EQ(run.exitWithoutBox(), 1u);
    }
}

TEST_F(SetupProgram, LongestAcceptedDirectoryFailsInTheRunWithTheDecompressionError) {
    // 259 characters ending with the backslash fit; no entry name fits
    // behind them, so the run fails and no finish prompt follows.
    std::string dir = installation::freshDirectory("longest") + "\\";
    dir += std::string(258 - dir.size(), 'x') + "\\";
    ASSERT_EQ(dir.size(), 259u);
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    expectBox(box, errorCaption, decompressionErrorText);
    driver::answer(box, IDOK);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
    expectNothingInstalled(dir.substr(0, dir.size() - 1));
}

TEST_F(SetupProgram, BrowserOpensAtTheDefaultParentAndProposesItsProductFolder) {
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory("C:\\somewhere else");
    // Cancelling the browser changes nothing.
    run.press(dialogBrowse);
    HWND browserWindow = nullptr;
    ASSERT_TRUE(driver::waitUntil(
        [&] {
            browserWindow = driver::waitForTopWindow("Browse for Folder", run.pid(), 0);
            return browserWindow != nullptr;
        },
        stepTimeoutMs));
    Sleep(500); // let the browser fill its tree before the picture
    run.screenshot("browser");
    driver::click(GetDlgItem(browserWindow, IDCANCEL));
    ASSERT_TRUE(run.dialogStaysQuiet());
    EXPECT_EQ(run.directoryText(), "C:\\somewhere else");

    // Accepting the preselected folder proposes it with the product's folder.
    run.press(dialogBrowse);
    browserWindow = driver::waitForTopWindow("Browse for Folder", run.pid(), stepTimeoutMs);
    ASSERT_NE(browserWindow, nullptr);
    HWND ok = GetDlgItem(browserWindow, IDOK);
    ASSERT_TRUE(driver::waitUntil([&] { return IsWindowEnabled(ok) != 0; }, stepTimeoutMs));
    Sleep(300); // the selection is posted once the browser is up
    driver::click(ok);
    ASSERT_TRUE(driver::waitUntil([&] { return run.directoryText() != "C:\\somewhere else"; },
                                  stepTimeoutMs));
    EXPECT_TRUE(installation::samePath(run.directoryText(), "C:\\Program Files\\Quillmoran"))
        << run.directoryText();
    run.press(IDCANCEL);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
}

// ---- Installing ---------------------------------------------------------------

TEST_F(SetupProgram, FreshInstallIntoANewDirectory) {
    std::string dir = installation::freshDirectory("fresh install");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    // The run is short; catch it while it goes when possible.
    if (driver::waitUntil([&] { return !IsWindowEnabled(run.item(IDOK)); }, 2000)) {
        run.screenshot("installing");
    }
    MessageBoxSeen box = run.nextBox();
    run.screenshot("finish-prompt");
    expectBox(box, finishCaption, finishText);
    EXPECT_FALSE(IsWindow(run.dialog));
    driver::answer(box, IDNO);
    EXPECT_EQ(run.exitCode(), 1u);
    expectInstalled(dir, true);
}

TEST_F(SetupProgram, ClearedBoxMakesNoDesktopShortcut) {
    std::string dir = installation::freshDirectory("no desktop icon");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir + "\\");
    driver::click(run.item(dialogDesktopIcon));
    ASSERT_TRUE(driver::waitUntil([&] { return !driver::isChecked(run.item(dialogDesktopIcon)); },
                                  stepTimeoutMs));
    run.press(IDOK);
    declineLaunch(run);
    expectInstalled(dir, false);
}

TEST_F(SetupProgram, EnterKeyInstalls) {
    std::string dir = installation::freshDirectory("entered");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    driver::pressKey(run.item(dialogDirectory), VK_RETURN);
    declineLaunch(run);
    expectInstalled(dir, true);
}

TEST_F(SetupProgram, ExistingEmptyDirectoryGetsNoQuestion) {
    std::string dir = installation::freshDirectory("empty");
    CreateDirectoryA(dir.c_str(), nullptr);
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    declineLaunch(run);
    expectInstalled(dir, true);
}

TEST_F(SetupProgram, NotEmptyDirectoryAsksAndNoKeepsTheDialog) {
    std::string dir = installation::freshDirectory("not empty");
    installation::writeFile(dir + "\\notes.txt", "mine");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir + "\\");
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    run.screenshot("not-empty-question");
    expectQuestion(box, notEmptyText);
    driver::answer(box, IDNO);
    ASSERT_TRUE(run.dialogStaysQuiet());
    EXPECT_EQ(run.directoryText(), dir + "\\");
    EXPECT_TRUE(IsWindowEnabled(run.item(IDOK)));
    EXPECT_FALSE(installation::exists(dir + "\\vorlenn.exe"));

    // Asked again, Yes installs beside the user's file.
    run.press(IDOK);
    box = run.nextBox();
    expectQuestion(box, notEmptyText);
    driver::answer(box, IDYES);
    declineLaunch(run);
    expectInstalled(dir, true);
    EXPECT_EQ(installation::readFile(dir + "\\notes.txt"), "mine");
}

TEST_F(SetupProgram, UnmarkedProgramAsksBeforeOverwriting) {
    std::string dir = installation::freshDirectory("unmarked");
    installation::writeFile(dir + "\\vorlenn.exe", "not really a program");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    expectQuestion(box, overwriteText);
    driver::answer(box, IDNO);
    ASSERT_TRUE(run.dialogStaysQuiet());
    EXPECT_EQ(run.directoryText(), dir);
    EXPECT_EQ(installation::readFile(dir + "\\vorlenn.exe"), "not really a program");

    run.press(IDOK);
    box = run.nextBox();
    expectQuestion(box, overwriteText);
    driver::answer(box, IDYES);
    declineLaunch(run);
    expectInstalled(dir, true);
}

TEST_F(SetupProgram, CurrentReleaseIsInstalledOverWithoutAQuestion) {
    std::string dir = installation::freshDirectory("current release");
    installation::writeFile(dir + "\\vorlenn.exe", "an earlier copy");
    installation::writeFile(dir + "\\vorlenn.ini", "[Quillmoran]\r\nUseMMX=1\r\n");
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    declineLaunch(run);
    expectInstalled(dir, true);
    EXPECT_TRUE(installation::exists(dir + "\\vorlenn.ini"));
}

// An older-generation installation as its own setup left it.
struct OlderGeneration {
    std::string dir;
    std::string group = installation::programsFolder() + "\\vorlenn";
    std::string desktopLink = installation::desktopFolder() + "\\vorlenn.lnk";

    explicit OlderGeneration(const std::string& directory) : dir(directory) {
        for (const char* name : {"readme.txt", "template.txt", "regform.txt", "vorlenn.exe",
                                 "vorlenn.hlp", "vorlenn.gid"}) {
            installation::writeFile(dir + "\\" + name, std::string("old ") + name);
        }
        installation::writeFile(dir + "\\vorlenn.ini", "[Vorlenn]\r\nSwap_R&B=0\r\n");
        installation::writeFile(dir + "\\templates\\mine\\drawing.bmp", "my drawing");
        installation::writeFile(dir + "\\letters.doc", "kept");
        installation::writeFile(group + "\\vorlenn.lnk", "old link");
        installation::writeFile(desktopLink, "old link");
        installation::createKeyWithValue(HKEY_LOCAL_MACHINE, oldUninstallKey, "DisplayName",
                                         "Vorlenn", installation::uninstallView);
    }
    bool untouched() const {
        return installation::readFile(dir + "\\readme.txt") == "old readme.txt" &&
               installation::readFile(dir + "\\vorlenn.exe") == "old vorlenn.exe" &&
               installation::exists(dir + "\\templates\\mine\\drawing.bmp") &&
               !installation::exists(dir + "\\oldtemplates") && installation::exists(group) &&
               installation::exists(desktopLink) &&
               installation::keyExists(HKEY_LOCAL_MACHINE, oldUninstallKey,
                                       installation::uninstallView);
    }
};

TEST_F(SetupProgram, OlderGenerationDeclinedEndsTheSetupAndRemovesNothing) {
    OlderGeneration old(installation::freshDirectory("older declined"));
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(old.dir);
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    run.screenshot("older-version-question");
    expectQuestion(box, olderVersionText);
    driver::answer(box, IDNO);
    EXPECT_EQ(run.exitWithoutBox(), 1u);
    EXPECT_TRUE(old.untouched());
    EXPECT_FALSE(
        installation::keyExists(HKEY_LOCAL_MACHINE, uninstallKey, installation::uninstallView));
}

TEST_F(SetupProgram, OlderGenerationAcceptedIsRemovedThenInstalledOver) {
    OlderGeneration old(installation::freshDirectory("older accepted"));
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(old.dir);
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    expectQuestion(box, olderVersionText);
    driver::answer(box, IDYES);
    declineLaunch(run);

    expectInstalled(old.dir, true);
    for (const char* name : {"readme.txt", "template.txt", "regform.txt", "vorlenn.gid"}) {
        EXPECT_FALSE(installation::exists(old.dir + "\\" + name)) << name;
    }
    EXPECT_FALSE(installation::exists(old.dir + "\\vorlenn.ini"));
    EXPECT_EQ(installation::readFile(old.dir + "\\oldtemplates\\mine\\drawing.bmp"), "my drawing");
    EXPECT_EQ(installation::readFile(old.dir + "\\letters.doc"), "kept");
    EXPECT_FALSE(installation::exists(old.group));
    EXPECT_FALSE(installation::exists(old.desktopLink));
    EXPECT_FALSE(
        installation::keyExists(HKEY_LOCAL_MACHINE, oldUninstallKey, installation::uninstallView));
}

TEST_F(SetupProgram, MissingStartMenuWarnsAndStillOffersTheLaunch) {
    const char shellFolders[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::string programs = installation::programsFolder();
    ASSERT_FALSE(programs.empty());
    std::string dir = installation::freshDirectory("no start menu");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, shellFolders, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegDeleteValueA(key, "Programs");
    {
        SetupRun run(setupProgram, dialogTitle, startDirectory);
        start(run);
        run.setDirectory(dir);
        run.press(IDOK);
        MessageBoxSeen box = run.nextBox();
        expectBox(box, warningCaption, shortcutWarningText);
        EXPECT_TRUE(box.hasButton(IDOK));
        driver::answer(box, IDOK);
        declineLaunch(run);
    }
    RegSetValueExA(key, "Programs", 0, REG_SZ, reinterpret_cast<const BYTE*>(programs.c_str()),
                   static_cast<DWORD>(programs.size() + 1));
    RegCloseKey(key);
    EXPECT_TRUE(installation::differingFiles(productStage, dir).empty());
    EXPECT_FALSE(
        installation::keyExists(HKEY_LOCAL_MACHINE, uninstallKey, installation::uninstallView));
}

TEST_F(SetupProgram, FinishYesStartsTheProgramInTheInstallDirectory) {
    // An unquoted launch of "...\launch here\vorlenn.exe" would start this
    // decoy instead, which Windows cannot even load.
    std::string decoy = installation::scenarioRoot() + "launch.exe";
    installation::writeFile(decoy, "not a program");
    std::string dir = installation::freshDirectory("launch here");
    for (HWND old : installation::windowsOfClass("VorlennMain")) {
        PostMessageA(old, WM_CLOSE, 0, 0);
    }

    SetupRun run(setupProgram, dialogTitle, startDirectory);
    start(run);
    run.setDirectory(dir);
    run.press(IDOK);
    MessageBoxSeen box = run.nextBox();
    expectBox(box, finishCaption, finishText);
    driver::answer(box, IDYES);
    EXPECT_EQ(run.exitCode(), 1u);

    HWND program = nullptr;
    ASSERT_TRUE(driver::waitUntil(
        [&] {
            std::vector<HWND> windows = installation::windowsOfClass("VorlennMain");
            program = windows.empty() ? nullptr : windows.front();
            return program != nullptr;
        },
        stepTimeoutMs))
        << "the installed program did not start";
    DWORD programPid = 0;
    GetWindowThreadProcessId(program, &programPid);
    std::string workingDirectory = installation::currentDirectoryOf(programPid);
    EXPECT_TRUE(installation::samePath(workingDirectory, dir + "\\") ||
                installation::samePath(workingDirectory, dir))
        << workingDirectory;
    run.screenshot("program-launched");

    HANDLE programProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, programPid);
    PostMessageA(program, WM_CLOSE, 0, 0);
    if (programProcess) {
        if (WaitForSingleObject(programProcess, stepTimeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(programProcess, 1);
        }
        CloseHandle(programProcess);
    }
    DeleteFileA(decoy.c_str());
    expectInstalled(dir, true);
}

// ---- Reading another process's current directory ---------------------------

// Starts one of Wine's own programs in a folder, and reads that folder back.
class OtherProcess : public ::testing::Test {
  protected:
    static std::string windowsFolder() {
        char path[MAX_PATH] = "";
        GetWindowsDirectoryA(path, MAX_PATH);
        return path;
    }

    // False when the program cannot be started at all.
    static bool expectDirectoryReadBack(const std::string& program) {
        std::string dir = installation::freshDirectory("other process");
        CreateDirectoryA(dir.c_str(), nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        std::string command = "\"" + program + "\"";
        if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            dir.c_str(), &startup, &process)) {
            return false;
        }
        WaitForInputIdle(process.hProcess, stepTimeoutMs);
        std::string read = installation::currentDirectoryOf(process.dwProcessId);
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, stepTimeoutMs);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        EXPECT_TRUE(installation::samePath(read, dir + "\\") || installation::samePath(read, dir))
            << program << " works in \"" << read << "\"";
        return true;
    }
};

TEST_F(OtherProcess, CurrentDirectoryOfAProcessOfTheSameBitness) {
    // system32 is this program's own bitness: a 32-bit one is shown syswow64 there.
    EXPECT_TRUE(expectDirectoryReadBack(windowsFolder() + "\\system32\\notepad.exe"));
}

// The 64-bit build's driver may be pointed at a 32-bit setup or program, whose
// process parameters have 32-bit pointers.
TEST_F(OtherProcess, CurrentDirectoryOfA32BitProcessFromA64BitOne) {
    if (sizeof(void*) != 8) {
        GTEST_SKIP() << "this is the 32-bit build";
    }
    if (!expectDirectoryReadBack(windowsFolder() + "\\syswow64\\notepad.exe")) {
        GTEST_SKIP() << "this Wine runs no 32-bit programs";
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        auto take = [&](const char* prefix, std::string& into) {
            std::string p = prefix;
            if (argument.rfind(p, 0) == 0) {
                into = installation::windowsPath(argument.substr(p.size()));
            }
        };
        take("--setup=", setupProgram);
        take("--stage=", productStage);
        if (argument.rfind("--screenshots=", 0) == 0) {
            e2e::screenshots.folder = argument.substr(14);
        }
        if (argument.rfind("--capture=", 0) == 0) {
            e2e::screenshots.script = argument.substr(10);
        }
    }
    if (setupProgram.empty() || productStage.empty() || e2e::screenshots.folder.empty() ||
        e2e::screenshots.script.empty()) {
        std::fprintf(stderr, "usage: setup_e2e_test --setup=EXE --stage=DIR --screenshots=DIR "
                             "--capture=SCRIPT\n");
        return 2;
    }
    CreateDirectoryA(installation::windowsPath(e2e::screenshots.folder).c_str(), nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = RUN_ALL_TESTS();
    // Leave the shared prefix as the scenarios found it.
    installation::removeTraces();
    installation::removeScenarios();
    CoUninitialize();
    return result;
}
