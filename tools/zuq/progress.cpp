#include "tools/zuq/progress.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
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

ProgressBar::ProgressBar(std::uint64_t totalFiles, std::uint64_t totalBytes)
    : totalFiles_(totalFiles), totalBytes_(totalBytes), active_(isatty(fileno(stderr)) != 0) {}

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
    std::fprintf(stderr, "\r[%s] %llu/%llu files %s/%s %s\033[K", bar.c_str(),
                 static_cast<unsigned long long>(filesDone),
                 static_cast<unsigned long long>(totalFiles_), humanSize(bytesDone).c_str(),
                 humanSize(totalBytes_).c_str(), fitName(name).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::clear() {
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
}

void ProgressBar::finish() {
    clear();
    active_ = false;
}
