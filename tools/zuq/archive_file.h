// A payload archive file in memory, its entries read in place as the setup
// program reads its resource: mapped, so that pages of a large archive are
// brought in as the walk reaches them, or, for a walk that reads it all,
// read whole, at once or piece by piece as the walk asks (see
// ArchiveReading). A setup program is read the same way:
// the archive is its payload resource ("ZUQ" 119).
#pragma once

#include "tools/zuq/arrival.h"
#include "tools/zuq/large_buffer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
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
    // As whole, but open reads only the first piece, and the rest comes in
    // as callers await it (see Arrival), read by whichever thread asks: the
    // decoding of a large first entry starts while its last bytes are still
    // being read. A setup program is read whole before its payload is
    // looked for.
    arriving,
};

class ArchiveFile : public Arrival {
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

    // At once unless the file is arriving. Bytes that cannot be read (the
    // file shrank, or failed) arrive as zeros, and readFailed says so.
    void await(std::uint64_t end) override;
    bool readMore() override;
    bool readFailed() const;

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
    // While the file arrives: its descriptor, and the bytes read so far,
    // which only grow; the reading of the next piece is one caller's at a time.
    int arrivingFile_ = -1;
    std::atomic<std::uint64_t> arrived_{0};
    mutable std::mutex reading_;
    bool readFailed_ = false; // guarded by reading_
    void readUpTo(std::uint64_t end);
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
