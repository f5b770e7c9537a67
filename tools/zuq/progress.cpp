#include "tools/zuq/progress.h"

#include "tools/zuq/archive_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr int barWidth = 30;
constexpr std::size_t nameWidth = 30;

std::string fitName(const std::string& name) {
    if (name.size() <= nameWidth) {
        return name;
    }
    return "..." + name.substr(name.size() - (nameWidth - 3));
}

} // namespace

std::string humanSize(std::uint64_t bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

ProgressBar::ProgressBar(std::uint64_t totalFiles, std::uint64_t totalBytes, bool wanted)
    : totalFiles_(totalFiles), totalBytes_(totalBytes),
      active_(wanted && isatty(fileno(stderr)) != 0) {
#ifdef _WIN32
    // A Windows console draws escape sequences only in its terminal mode;
    // where that cannot be turned on, the bar goes with a bare carriage
    // return and spaces.
    if (active_) {
        HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
        DWORD mode = 0;
        escapes_ = GetConsoleMode(console, &mode) &&
                   SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
#endif
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(std::uint64_t filesDone, std::uint64_t bytesDone,
                         const std::string& name) {
    if (!active_) {
        return;
    }
    double share =
        totalBytes_
            ? static_cast<double>(bytesDone) / static_cast<double>(totalBytes_)
            : (totalFiles_ ? static_cast<double>(filesDone) / static_cast<double>(totalFiles_)
                           : 1.0);
    int filled = static_cast<int>(share * barWidth + 0.5);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(barWidth, '.');
    char text[256];
    std::snprintf(text, sizeof text, "[%s] %llu/%llu files %s/%s %s", bar.c_str(),
                  static_cast<unsigned long long>(filesDone),
                  static_cast<unsigned long long>(totalFiles_), humanSize(bytesDone).c_str(),
                  humanSize(totalBytes_).c_str(), fitName(printable(name)).c_str());
    std::string line = text;
    if (line == drawn_) {
        return;
    }
    if (escapes_) {
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
    } else {
        // Spaces over what a longer line before left.
        std::size_t width = std::max(line.size(), drawn_.size());
        std::fprintf(stderr, "\r%-*s", static_cast<int>(width), line.c_str());
    }
    std::fflush(stderr);
    drawn_ = line;
}

void ProgressBar::clear() {
    if (!drawn_.empty()) {
        if (escapes_) {
            std::fprintf(stderr, "\r\033[K");
        } else {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawn_.size()), "");
        }
        std::fflush(stderr);
        drawn_.clear();
    }
}

void ProgressBar::finish() {
    clear();
    active_ = false;
}
