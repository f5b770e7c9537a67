// One run of a setup program under test, driven through its dialog: start,
// controls, message boxes, exit. Shared by the scenarios of every product.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/screenshot.h"
#include "driver/window_driver.h"
#include "resources/ids.h"

namespace e2e {

constexpr int stepTimeoutMs = 30000;
constexpr int quietMs = 700;

using driver::MessageBoxSeen;

// Where screenshots go (a Linux folder: the capture runs as a Linux program)
// and the script that takes them; given on the command line.
struct Screenshots {
    std::string folder;
    std::string script;
};
inline Screenshots screenshots;

// One run of the setup program, from its start to its exit.
class SetupRun {
  public:
    // Starts program in startDirectory and waits for its dialog, titled title.
    SetupRun(const std::string& program, const std::string& title,
             const std::string& startDirectory) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string command = "\"" + program + "\"";
        // Wine now and then refuses a start while the last run's process is
        // still being torn down; a few tries tell that from a real failure.
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, startDirectory.c_str(), &startup, &process);
            if (!started) {
                startError = GetLastError();
                Sleep(500);
            }
        }
        if (started) {
            dialog = driver::waitForTopWindow(title, process.dwProcessId, stepTimeoutMs);
        }
    }
    ~SetupRun() {
        if (started) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, stepTimeoutMs);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    SetupRun(const SetupRun&) = delete;
    SetupRun& operator=(const SetupRun&) = delete;

    bool started = false;
    DWORD startError = 0; // of the last refused start
    PROCESS_INFORMATION process{};
    HWND dialog = nullptr;

    DWORD pid() const {
        return process.dwProcessId;
    }
    HWND item(int id) const {
        return GetDlgItem(dialog, id);
    }
    std::string directoryText() const {
        return driver::controlText(item(IDC_DIRECTORY));
    }
    void setDirectory(const std::string& text) const {
        ASSERT_TRUE(driver::setControlText(item(IDC_DIRECTORY), text));
    }
    void press(int id) const {
        driver::click(item(id));
    }
    MessageBoxSeen nextBox() const {
        return driver::waitForMessageBox(pid(), stepTimeoutMs, dialog);
    }
    // True when no message box appears for a while and the dialog is usable.
    bool dialogStaysQuiet() const {
        bool enabled =
            driver::waitUntil([&] { return IsWindowEnabled(dialog) != 0; }, stepTimeoutMs);
        return enabled && !driver::waitForMessageBox(pid(), quietMs, dialog).window &&
               IsWindowVisible(dialog);
    }
    bool running() const {
        return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
    }
    // Waits for the process to end. Fails on any message box shown meanwhile,
    // which would otherwise hold the process for ever.
    DWORD exitWithoutBox() const {
        MessageBoxSeen box;
        driver::waitUntil(
            [&] {
                if (!running()) {
                    return true;
                }
                box = driver::waitForMessageBox(pid(), 0, dialog);
                return box.window != nullptr;
            },
            stepTimeoutMs);
        EXPECT_EQ(box.window, nullptr) << "unexpected box \"" << box.caption << "\": " << box.text;
        return exitCode();
    }
    DWORD exitCode() const {
        WaitForSingleObject(process.hProcess, stepTimeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    void screenshot(const std::string& name) const {
        driver::saveScreenshot(screenshots.script, screenshots.folder + "/" + name + ".png");
    }
};

} // namespace e2e
