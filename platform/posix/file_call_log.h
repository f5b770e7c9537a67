// The test build of the file calls (qm_platform_recorded): every LockFile,
// WriteFile and UnlockFile is logged with its range, and writes can be made
// to come up short, so that a test pins what a block write asks of the
// system, not only what lands in the file.
#pragma once

#include <windows.h>

#include <vector>

struct FileCall {
    enum Kind { lock, write, unlock };
    Kind kind;
    DWORD offset; // lock and unlock: the range's start; write: the file position
    DWORD count;  // bytes locked, unlocked or asked to be written
    DWORD done;   // write: bytes reported written

    friend bool operator==(const FileCall&, const FileCall&) = default;
};

// The calls since the last clearFileCalls.
const std::vector<FileCall>& fileCalls();
void clearFileCalls();

// From now on the writes together write at most this many more bytes; each
// write beyond reports what fit. limitWrites(noWriteLimit) lifts the limit.
constexpr DWORD noWriteLimit = 0xFFFFFFFF;
void limitWrites(DWORD bytes);
