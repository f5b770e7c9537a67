// kernel32's file and directory calls over POSIX. A handle is a file
// descriptor plus one, so that no valid handle is null. Paths come with
// backslashes and are used with slashes.
#include <windows.h>

#ifdef QM_RECORD_FILE_CALLS
#include "file_call_log.h"
#endif

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local DWORD lastError;

std::string unixPath(LPCSTR name) {
    std::string path = name ? name : "";
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

DWORD errorFromErrno(int code) {
    switch (code) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOSPC:
        return ERROR_DISK_FULL;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// Records errno as the last error; returns FALSE for the caller to pass on.
BOOL fail() {
    lastError = errorFromErrno(errno);
    return FALSE;
}

// As fail(), but a missing file in a missing directory is a missing path.
BOOL failOnPath(const std::string& path) {
    int code = errno;
    fail();
    if (code == ENOENT) {
        std::string::size_type slash = path.find_last_of('/');
        std::string parent = slash == std::string::npos ? "." : path.substr(0, slash);
        struct stat info {};
        if (!parent.empty() && stat(parent.c_str(), &info) != 0) {
            lastError = ERROR_PATH_NOT_FOUND;
        }
    }
    return FALSE;
}

int descriptor(HANDLE file) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(file)) - 1;
}

int openFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    bool reads = access & GENERIC_READ;
    bool writes = access & GENERIC_WRITE;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    // Extraction creates with CREATE_ALWAYS; the tests open with OPEN_EXISTING.
    return disposition == CREATE_ALWAYS ? flags | O_CREAT | O_TRUNC : flags;
}

BOOL lockRange(HANDLE file, DWORD offset, DWORD count, short type) {
    if (count == 0) {
        return TRUE;
    }
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = offset;
    range.l_len = count;
    return fcntl(descriptor(file), F_SETLK, &range) == 0 ? TRUE : fail();
}

#ifdef QM_RECORD_FILE_CALLS
std::vector<FileCall> recordedCalls;
DWORD writeAllowance = noWriteLimit;

DWORD filePosition(HANDLE file) {
    return static_cast<DWORD>(lseek(descriptor(file), 0, SEEK_CUR));
}
#endif

} // namespace

#ifdef QM_RECORD_FILE_CALLS
const std::vector<FileCall>& fileCalls() {
    return recordedCalls;
}

void clearFileCalls() {
    recordedCalls.clear();
}

void limitWrites(DWORD bytes) {
    writeAllowance = bytes;
}
#endif

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD,
                   HANDLE) {
    std::string path = unixPath(name);
    int fd = open(path.c_str(), openFlags(access, disposition), 0666);
    if (fd < 0) {
        failOnPath(path);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

BOOL WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written, void*) {
    const char* bytes = static_cast<const char*>(data);
    DWORD asked = count;
#ifdef QM_RECORD_FILE_CALLS
    DWORD position = filePosition(file);
    if (writeAllowance != noWriteLimit) {
        count = count < writeAllowance ? count : writeAllowance;
        writeAllowance -= count;
    }
#endif
    DWORD done = 0;
    while (done < count) {
        ssize_t n = write(descriptor(file), bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) {
        *written = done;
    }
#ifdef QM_RECORD_FILE_CALLS
    recordedCalls.push_back({FileCall::write, position, asked, done});
    if (done < asked) {
        lastError = ERROR_DISK_FULL;
        return FALSE;
    }
#endif
    return done == asked ? TRUE : fail();
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    std::int64_t offset = distance;
    if (distanceHigh) {
        offset = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
            static_cast<std::uint32_t>(distance));
    }
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_END ? SEEK_END : SEEK_CUR;
    off_t position = lseek(descriptor(file), offset, whence);
    if (position < 0) {
        fail();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) {
        *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    }
    return static_cast<DWORD>(position);
}

BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD, DWORD countLow, DWORD) {
#ifdef QM_RECORD_FILE_CALLS
    recordedCalls.push_back({FileCall::lock, offsetLow, countLow, 0});
#endif
    return lockRange(file, offsetLow, countLow, F_WRLCK);
}

BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD, DWORD countLow, DWORD) {
#ifdef QM_RECORD_FILE_CALLS
    recordedCalls.push_back({FileCall::unlock, offsetLow, countLow, 0});
#endif
    return lockRange(file, offsetLow, countLow, F_UNLCK);
}

BOOL CloseHandle(HANDLE object) {
    return close(descriptor(object)) == 0 ? TRUE : fail();
}

BOOL DeleteFileA(LPCSTR name) {
    std::string path = unixPath(name);
    return unlink(path.c_str()) == 0 ? TRUE : failOnPath(path);
}

BOOL CreateDirectoryA(LPCSTR name, SECURITY_ATTRIBUTES*) {
    std::string path = unixPath(name);
    return mkdir(path.c_str(), 0777) == 0 ? TRUE : failOnPath(path);
}

BOOL SetCurrentDirectoryA(LPCSTR name) {
    return chdir(unixPath(name).c_str()) == 0 ? TRUE : fail();
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string path;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) {
        fail();
        return 0;
    }
    path = cwd;
    free(cwd);
    if (path.size() + 1 > size) {
        return static_cast<DWORD>(path.size() + 1);
    }
    path.copy(buffer, path.size());
    buffer[path.size()] = '\0';
    return static_cast<DWORD>(path.size());
}

DWORD GetLastError() {
    return lastError;
}
