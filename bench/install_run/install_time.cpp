// Measures the install run of the payload linked into this program: each run
// installs into a fresh folder, shortcuts and uninstall entry included, and
// everything is removed again before the next one.
#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "system/uninstall.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static double secondsNow() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Removes what the runs made outside the install folder.
static void removeShellTraces() {
    static const char shellFolders[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    char folder[MAX_PATH];
    DWORD size = sizeof folder;
    std::error_code ignored;
    if (RegGetValueA(HKEY_CURRENT_USER, shellFolders, "Programs", RRF_RT_REG_SZ, nullptr, folder,
                     &size) == ERROR_SUCCESS) {
        fs::remove_all(fs::path(folder) / settings.productName, ignored);
    }
    size = sizeof folder;
    if (RegGetValueA(HKEY_CURRENT_USER, shellFolders, "Desktop", RRF_RT_REG_SZ, nullptr, folder,
                     &size) == ERROR_SUCCESS) {
        fs::remove(fs::path(folder) / (std::string(settings.productName) + ".lnk"), ignored);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                  (std::string(uninstallKeyBase) + settings.productName).c_str());
}

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    fs::path folder = fs::path(temp) / "qm install time";

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        // Extraction leaves the current directory inside the install folder.
        SetCurrentDirectoryA(temp);
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::strcpy(installDir, (folder.string() + "\\").c_str());
        failed = 0;
        progressDone = 0;
        double start = secondsNow();
        int result = runInstall();
        times.push_back(secondsNow() - start);
        if (result != installDone) {
            std::fprintf(stderr, "run %d: runInstall returned %d\n", i + 1, result);
            return 1;
        }
    }
    SetCurrentDirectoryA(temp);
    fs::remove_all(folder);
    removeShellTraces();

    std::sort(times.begin(), times.end());
    std::printf("install run of %d files, %d runs: min %.1f ms, median %.1f ms, max %.1f ms\n",
                settings.fileCount, runs, times.front() * 1000, times[times.size() / 2] * 1000,
                times.back() * 1000);
    return 0;
}
