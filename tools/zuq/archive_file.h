// A payload archive file in memory, its entries read in place as the setup
// program reads its resource: mapped, so that pages of a large archive are
// brought in as the walk reaches them, or, for a walk that reads it all,
// read whole (see ArchiveReading). A setup program is read the same way:
// the archive is its payload resource ("ZUQ" 119).
#pragma once

#include "tools/zuq/large_buffer.h"

#include <cstdint>
#include <string>
#include <string_view>

// How the archive's bytes come into memory.
enum class ArchiveReading {
    // Mapped, pages brought in as they are touched: for a walk that reads
    // only some of them (the entry headers).
    inPlace,
    // For a walk that reads every byte once: read whole into memory of its
    // own, huge pages where the system offers them, when not too large.
    // Touching a mapping costs a fault at every 4 KiB page the first time,
    // and under some hypervisors each of those costs microseconds (a
    // 7.7 MB archive took 3 to 4.5 ms to touch, against 1.5 ms to read); a
    // read costs a copy. Larger files are mapped. Only the Linux build reads.
    whole,
};

class ArchiveFile {
  public:
    ArchiveFile() = default;
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    // Maps or reads the whole file; the archive is the file, or the payload
    // of a setup program. On failure returns false with a message in *error.
    bool open(const std::string& path, std::string* error,
              ArchiveReading reading = ArchiveReading::inPlace);
    // As open, but the message goes to stderr.
    bool openOrComplain(const std::string& path, ArchiveReading reading = ArchiveReading::inPlace);

    const unsigned char* data() const {
        return data_;
    }
    std::uint32_t size() const {
        return size_;
    }

  private:
    bool loadFile(const std::string& path, std::string* error, ArchiveReading reading);
    bool findPayload(const std::string& path, std::string* error);

    const unsigned char* mapped_ = nullptr; // the whole file
    std::uint64_t mappedSize_ = 0;
    const unsigned char* data_ = nullptr; // the archive within it
    std::uint32_t size_ = 0;
#ifdef _WIN32
    void* mapping_ = nullptr;
#else
    LargeBuffer<unsigned char> read_; // the whole file when read, not mapped
#endif
};

// The text with every byte outside printable ASCII written as \xHH, so
// that a name from an archive cannot drive the terminal it is printed on.
std::string printable(std::string_view text);

// "entry at offset N (NAME)", or without the name when it is unknown; the
// name printable.
std::string describeEntry(std::uint32_t offset, const char* name);

// Prints "zuq: WHAT" on stderr, made printable.
void complain(const std::string& what);

// Prints "zuq: note: WHAT" on stderr: something skipped, not a failure.
void note(const std::string& what);
