#include "screenshot.h"

#include <windows.h>

#include <algorithm>

#include "window_driver.h"

namespace driver {

namespace {

constexpr int captureTimeoutMs = 10000;
// Wine maps the Linux root to drive Z: and starts Linux programs itself.
constexpr char shell[] = "Z:\\bin\\bash";

} // namespace

bool saveScreenshot(const std::string& captureScript, const std::string& pngPath) {
    // Wine hands back no process handle for a Linux program: the file
    // appearing is the sign that the capture is done.
    std::string windowsPng = "Z:" + pngPath;
    std::replace(windowsPng.begin(), windowsPng.end(), '/', '\\');
    DeleteFileA(windowsPng.c_str());
    std::string command = "bash \"" + captureScript + "\" \"" + pngPath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(shell, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (process.hThread) {
        CloseHandle(process.hThread);
    }
    if (process.hProcess) {
        CloseHandle(process.hProcess);
    }
    return waitUntil(
        [&] { return GetFileAttributesA(windowsPng.c_str()) != INVALID_FILE_ATTRIBUTES; },
        captureTimeoutMs);
}

} // namespace driver
