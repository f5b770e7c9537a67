#include "tests/support/scratch_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string hostPath(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::string unix = path;
    for (char& c : unix) {
        if (c == '\\') {
            c = '/';
        }
    }
    return unix;
#endif
}

ScratchDir::ScratchDir() {
    static std::atomic<int> serial{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir = fs::temp_directory_path() /
                   ("qm-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    path_ = fs::canonical(dir).string();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(), ignored);
    fs::remove_all(hostPath(path_), ignored);
}

std::string ScratchDir::join(const std::string& relative) const {
    return path_ + "\\" + relative;
}

bool fileExists(const std::string& path) {
    return fs::is_regular_file(hostPath(path));
}

bool directoryExists(const std::string& path) {
    return fs::is_directory(hostPath(path));
}

Bytes readFile(const std::string& path) {
    return readFileBytes(hostPath(path));
}

void writeFile(const std::string& path, const Bytes& bytes) {
    writeFileBytes(hostPath(path), bytes);
}

int countTreeEntries(const std::string& path) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(hostPath(path))) {
        ++count;
    }
    return count;
}
