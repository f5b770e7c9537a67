// The installed product program: its first start marks the release in its
// ini file, and its uninstall switch removes what the install run made.
#include "support.h"

#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace install_test;

namespace {

constexpr DWORD waitLimitMs = 30000;

PROCESS_INFORMATION start(const std::string& commandLine, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        process.hProcess = nullptr;
    }
    return process;
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {}, title[128] = {};
    GetClassNameA(window, className, sizeof className);
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title),
                        SMTO_ABORTIFHUNG, 1000, nullptr);
    if (owner == search->processId && std::strcmp(className, search->className) == 0 &&
        std::strcmp(title, search->title) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for a top-level window of the process; null when none comes.
HWND waitForWindow(DWORD processId, const char* className, const char* title) {
    for (DWORD waited = 0; waited < waitLimitMs; waited += 100) {
        WindowSearch search = {processId, className, title, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            return search.found;
        }
        Sleep(100);
    }
    return nullptr;
}

void clickButton(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class ProductProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        char display[256];
        if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0) {
            GTEST_SKIP() << "needs an X display";
        }
        removeShellTraces();
        settings.desktopIcon = 1;
        prepareRun(target.path());
        ASSERT_EQ(runInstall(), installDone);
        program = target.path() + settings.programBase + ".exe";
    }
    void TearDown() override {
        removeShellTraces();
    }

    ScratchFolder target{"product program"};
    std::string program;
};

TEST_F(ProductProgram, FirstStartMarksTheCurrentRelease) {
    PROCESS_INFORMATION process = start("\"" + program + "\"", target.path());
    ASSERT_NE(process.hProcess, nullptr);
    HWND window = waitForWindow(process.dwProcessId, "VorlennMain", settings.productName);
    EXPECT_NE(window, nullptr);
    std::string ini = target.path() + "vorlenn.ini";
    EXPECT_EQ(GetPrivateProfileIntA("Quillmoran", "UseMMX", -1, ini.c_str()), 1u);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, waitLimitMs), WAIT_OBJECT_0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

TEST_F(ProductProgram, UninstallRemovesWhatSetupMadeAndKeepsUserFiles) {
    fs::path userFile = fs::path(target.path()) / "templates" / "Night Sky" / "mine.bmp";
    { std::ofstream(userFile) << "user's own"; }
    const std::string title = std::string("Uninstall ") + settings.productName;

    PROCESS_INFORMATION process =
        start("\"" + program + "\" " + settings.uninstallSwitch, target.path());
    ASSERT_NE(process.hProcess, nullptr);
    HWND question = waitForWindow(process.dwProcessId, "#32770", title.c_str());
    ASSERT_NE(question, nullptr);
    clickButton(question, IDYES);
    HWND done = nullptr;
    for (DWORD waited = 0; !done && waited < waitLimitMs; waited += 100) {
        HWND box = waitForWindow(process.dwProcessId, "#32770", title.c_str());
        if (box && box != question) {
            done = box;
        }
    }
    ASSERT_NE(done, nullptr);
    clickButton(done, IDOK);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, waitLimitMs), WAIT_OBJECT_0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    // Only the user's file and the folders holding it remain; the running
    // program's own file may wait for the next system start.
    std::vector<std::string> left = filesBelow(target.path());
    const std::string programFile = std::string(settings.programBase) + ".exe";
    std::erase_if(left, [&](const std::string& name) {
        return lstrcmpiA(name.c_str(), programFile.c_str()) == 0;
    });
    EXPECT_EQ(left, std::vector<std::string>{"templates\\Night Sky\\mine.bmp"});
    EXPECT_FALSE(fs::exists(fs::path(target.path()) / "templates" / "Classic Frames"));

    ShellFolders shell = readShellFolders();
    EXPECT_FALSE(fs::exists(fs::path(shell.programs) / settings.productName));
    EXPECT_FALSE(
        fs::exists(fs::path(shell.desktop) / (std::string(settings.productName) + ".lnk")));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

TEST_F(ProductProgram, DecliningTheUninstallKeepsEverything) {
    const std::string title = std::string("Uninstall ") + settings.productName;
    PROCESS_INFORMATION process =
        start("\"" + program + "\" " + settings.uninstallSwitch, target.path());
    ASSERT_NE(process.hProcess, nullptr);
    HWND question = waitForWindow(process.dwProcessId, "#32770", title.c_str());
    ASSERT_NE(question, nullptr);
    clickButton(question, IDNO);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, waitLimitMs), WAIT_OBJECT_0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    EXPECT_TRUE(differingFiles(target.path(), filesBelow(productFiles())).empty());
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

} // namespace
