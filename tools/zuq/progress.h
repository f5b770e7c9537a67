// A one-line progress bar on stderr, drawn only when stderr is a terminal
// and the bar is wanted.
#pragma once

#include <cstdint>
#include <string>

class ProgressBar {
  public:
    ProgressBar(std::uint64_t totalFiles, std::uint64_t totalBytes, bool wanted = true);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Draws the bar for the given figures and the name of the file being
    // written; nothing is drawn when the line would not change.
    void update(std::uint64_t filesDone, std::uint64_t bytesDone, const std::string& name);
    // Removes the bar from the line, e.g. before another line is printed.
    void clear();
    // Removes the bar for good.
    void finish();

  private:
    std::uint64_t totalFiles_;
    std::uint64_t totalBytes_;
    bool active_;
    // Whether the terminal takes "erase to the end of the line"; without
    // it the line is overwritten with spaces.
    bool escapes_ = true;
    std::string drawn_; // the line on the screen, empty when none
};

// "1.5 MiB" style size for humans.
std::string humanSize(std::uint64_t bytes);
