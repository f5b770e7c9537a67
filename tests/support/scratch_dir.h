// A fresh directory for one test, removed again at the end. Its path is in
// the platform's own form, and joined with backslashes as the setup does.
#pragma once

#include "tests/support/lzh_container.h"

#include <string>

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory, without a trailing separator.
    const std::string& path() const {
        return path_;
    }
    // path() + "\" + relative (relative may hold backslashes).
    std::string join(const std::string& relative) const;

  private:
    std::string path_;
};

// A path with backslashes made usable by the standard library here.
std::string hostPath(const std::string& path);

bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
// Number of files and directories below path, at any depth.
int countTreeEntries(const std::string& path);
