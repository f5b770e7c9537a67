// Faults that a test cannot cause in its own process: a file size limit, a
// tiny filesystem of its own, an unprivileged user. The work runs in a forked
// child, which reports a fixed-size record back through a pipe. POSIX only.
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

// Runs body in a forked child and returns the bytes it reported, or nothing
// when the child did not exit normally or body threw. The child skips exit
// handlers.
std::optional<std::string> runInChildRaw(const std::function<std::string()>& body);

template <class Record> std::optional<Record> runInChild(const std::function<Record()>& body) {
    static_assert(std::is_trivially_copyable_v<Record>);
    std::optional<std::string> bytes = runInChildRaw([&body] {
        Record record = body();
        return std::string(reinterpret_cast<const char*>(&record), sizeof record);
    });
    if (!bytes || bytes->size() != sizeof(Record)) {
        return std::nullopt;
    }
    Record record;
    bytes->copy(reinterpret_cast<char*>(&record), sizeof record);
    return record;
}

// In a child: writes past bytes fail short (EFBIG) instead of killing it.
bool limitFileSize(std::uint64_t bytes);

// In a child: a private tmpfs of the given size mounted on dir, seen only by
// this child. False where mount namespaces are not allowed.
bool mountSmallFilesystem(const std::string& dir, std::uint64_t bytes);

// In a child: gives up root for the nobody user, so that file modes count.
// True when the process is not root afterwards.
bool dropRoot();

// Whether this machine lets a child mount a filesystem of its own.
bool smallFilesystemsAllowed();

#endif
