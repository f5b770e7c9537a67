// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <cstdint>
#include <string>

class ProgressBar {
  public:
    ProgressBar(std::uint64_t totalFiles, std::uint64_t totalBytes);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Draws the bar for the given figures and the current file's name.
    void update(std::uint64_t filesDone, std::uint64_t bytesDone, const std::string& name);
    // Removes the bar from the line, e.g. before another line is printed.
    void clear();
    // Removes the bar for good.
    void finish();
    bool active() const {
        return active_;
    }

  private:
    std::uint64_t totalFiles_;
    std::uint64_t totalBytes_;
    bool active_;
    bool drawn_ = false;
};

// "1.5 MiB" style size for humans.
std::string humanSize(std::uint64_t bytes);
