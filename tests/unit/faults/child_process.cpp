#ifndef _WIN32

#include "tests/unit/faults/child_process.h"

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t nobodyId = 65534;

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string readAll(int fd) {
    std::string bytes;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

} // namespace

std::optional<std::string> runInChildRaw(const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        return std::nullopt;
    }
    pid_t child = fork();
    if (child == 0) {
        // Nothing may leave the child but its record: not even an exception,
        // which would let the test runner carry on in two processes.
        close(channel[0]);
        try {
            writeAll(channel[1], body());
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string bytes = child > 0 ? readAll(channel[0]) : std::string();
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return bytes;
}

bool limitFileSize(std::uint64_t bytes) {
    // Past the limit the kernel sends SIGXFSZ; ignored, the write fails.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool mountSmallFilesystem(const std::string& dir, std::uint64_t bytes) {
    int flags = CLONE_NEWNS | (geteuid() == 0 ? 0 : CLONE_NEWUSER);
    if (unshare(flags) != 0) {
        return false;
    }
    // Keep the mount from reaching the parent's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    std::string options = "size=" + std::to_string(bytes);
    return mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

bool dropRoot() {
    if (geteuid() != 0) {
        return true;
    }
    return setgid(nobodyId) == 0 && setuid(nobodyId) == 0 && geteuid() != 0;
}

bool smallFilesystemsAllowed() {
    char dir[] = "/tmp/qm-mount-probe.XXXXXX";
    if (!mkdtemp(dir)) {
        return false;
    }
    std::optional<int> mounted =
        runInChild<int>([&dir] { return mountSmallFilesystem(dir, 4096) ? 1 : 0; });
    rmdir(dir);
    return mounted && *mounted == 1;
}

#endif
