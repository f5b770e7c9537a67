#include "tools/zuq/archive_file.h"

#include "tools/zuq/pe/pe.h"

#include "lzh/lh5_format.h"
#include "resources/ids.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool fitsAnArchive(std::uint64_t size, const std::string& path, std::string* error) {
    if (size > UINT32_MAX) {
        *error = path + " is larger than an archive can be (4 GiB)";
        return false;
    }
    return true;
}

bool isPayload(const zuq::pe::ResourcePlace& place) {
    return place.type.name == u"ZUQ" && !place.name.isName() && place.name.id == IDR_PAYLOAD;
}

} // namespace

bool ArchiveFile::open(const std::string& path, std::string* error, ArchiveReading reading) {
    if (!loadFile(path, error, reading)) {
        return false;
    }
    data_ = mapped_;
    size_ = static_cast<std::uint32_t>(mappedSize_);
    // An archive starts with an entry's magic, a Windows program with "MZ".
    const bool program = size_ >= 2 && data_[0] == 'M' && data_[1] == 'Z';
    if (!program) {
        return true;
    }
    await(mappedSize_);
    if (readFailed()) {
        *error = "cannot read " + path;
        return false;
    }
    return findPayload(path, error);
}

bool ArchiveFile::findPayload(const std::string& path, std::string* error) {
    std::vector<zuq::pe::ResourcePlace> places;
    try {
        places = zuq::pe::resourcePlaces({mapped_, static_cast<std::size_t>(mappedSize_)});
    } catch (const zuq::pe::PeError& e) {
        *error = path + " is neither an archive nor a readable setup program: " + e.what();
        return false;
    }
    for (const zuq::pe::ResourcePlace& place : places) {
        if (isPayload(place)) {
            data_ = mapped_ + place.offset;
            size_ = place.size;
            return true;
        }
    }
    *error = path + " is a Windows program without a payload (resource \"ZUQ\" 119)";
    return false;
}

#ifdef _WIN32

bool ArchiveFile::loadFile(const std::string& path, std::string* error, ArchiveReading) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot open " + path;
        return false;
    }
    LARGE_INTEGER size{};
    bool sized = GetFileSizeEx(file, &size) && fitsAnArchive(size.QuadPart, path, error);
    if (sized && size.QuadPart > 0) {
        mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping_) {
            mapped_ =
                static_cast<const unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
        }
        if (!mapped_) {
            *error = "cannot map " + path;
            sized = false;
        }
    }
    CloseHandle(file);
    mappedSize_ = sized ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return sized;
}

void ArchiveFile::await(std::uint64_t) {}

bool ArchiveFile::readMore() {
    return false;
}

bool ArchiveFile::readFailed() const {
    return false;
}

ArchiveFile::~ArchiveFile() {
    if (mapped_) {
        UnmapViewOfFile(mapped_);
    }
    if (mapping_) {
        CloseHandle(mapping_);
    }
}

#else

namespace {

// Files up to this size are read whole when asked; memory then holds the
// archive twice, in the system's cache and here.
constexpr std::uint64_t largestWholeRead = std::uint64_t{128} << 20;

// An arriving file is read in pieces of this size, small enough that a
// thread that reads one while it waits for other work is not kept long. The
// first read takes several, as much as the decoding of a first block may
// ask for, so that it starts at once.
constexpr std::size_t arrivingPiece = std::size_t{64} << 10;
constexpr std::size_t firstArrivingPieces = 8;
static_assert(firstArrivingPieces * arrivingPiece >= longestBlockBytes + 4096,
              "the first read holds a first block and the header before it");

// Reads size bytes from the file's offset from on into to.
bool readAll(int fd, unsigned char* to, std::size_t size, std::uint64_t from = 0) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, to + done, size - done, static_cast<off_t>(from + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

bool ArchiveFile::loadFile(const std::string& path, std::string* error, ArchiveReading reading) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path;
        return false;
    }
    struct stat info {};
    bool sized = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                 fitsAnArchive(static_cast<std::uint64_t>(info.st_size), path, error);
    if (!sized && error->empty()) {
        *error = path + " is not a readable file";
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    mappedSize_ = sized ? static_cast<std::uint64_t>(info.st_size) : 0;
    // Without the memory to read it into, the file is mapped after all.
    if (sized && size > 0 && reading != ArchiveReading::inPlace && size <= largestWholeRead &&
        read_.allocate(size)) {
        mapped_ = read_.data();
        if (reading == ArchiveReading::arriving) {
            arrivingFile_ = fd;
            fd = -1; // closed once the last piece is in
            std::lock_guard lock(reading_);
            readUpTo(firstArrivingPieces * arrivingPiece);
            sized = !readFailed_;
        } else {
            sized = readAll(fd, read_.data(), size);
        }
        if (!sized) {
            *error = "cannot read " + path;
        }
    } else if (sized && size > 0) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            *error = "cannot map " + path;
            sized = false;
        } else {
            // The walk goes front to back once.
            madvise(mapped, size, MADV_SEQUENTIAL);
            mapped_ = static_cast<const unsigned char*>(mapped);
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    if (arrivingFile_ < 0) {
        arrived_.store(mappedSize_, std::memory_order_relaxed);
    }
    if (!sized) {
        mappedSize_ = 0;
    }
    return sized;
}

// Under reading_: reads on from the bytes arrived so far to end, rounded up
// to whole pieces, in one read (or zeros once the reading has failed), then
// says they are there.
void ArchiveFile::readUpTo(std::uint64_t end) {
    const std::uint64_t from = arrived_.load(std::memory_order_relaxed);
    if (from >= end || from >= mappedSize_) {
        return;
    }
    const std::uint64_t pieces = (end - from + arrivingPiece - 1) / arrivingPiece;
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(pieces * arrivingPiece, mappedSize_ - from));
    unsigned char* to = read_.data() + from;
    readFailed_ = readFailed_ || !readAll(arrivingFile_, to, size, from);
    if (readFailed_) {
        std::memset(to, 0, size);
    }
    arrived_.store(from + size, std::memory_order_release);
    if (from + size == mappedSize_) {
        close(arrivingFile_);
        arrivingFile_ = -1;
    }
}

void ArchiveFile::await(std::uint64_t end) {
    const std::uint64_t fileEnd = std::min<std::uint64_t>(end + (data_ - mapped_), mappedSize_);
    if (arrived_.load(std::memory_order_acquire) < fileEnd) {
        std::lock_guard lock(reading_);
        readUpTo(fileEnd);
    }
}

bool ArchiveFile::readMore() {
    if (arrived_.load(std::memory_order_acquire) >= mappedSize_) {
        return false;
    }
    std::lock_guard lock(reading_);
    readUpTo(arrived_.load(std::memory_order_relaxed) + 1);
    return arrived_.load(std::memory_order_relaxed) < mappedSize_;
}

bool ArchiveFile::readFailed() const {
    std::lock_guard lock(reading_);
    return readFailed_;
}

ArchiveFile::~ArchiveFile() {
    if (arrivingFile_ >= 0) {
        close(arrivingFile_);
    }
    if (mapped_ && mapped_ != read_.data()) {
        munmap(const_cast<unsigned char*>(mapped_), mappedSize_);
    }
}

#endif

bool ArchiveFile::openOrComplain(const std::string& path, ArchiveReading reading) {
    std::string error;
    if (!open(path, &error, reading)) {
        complain(error);
        return false;
    }
    return true;
}

std::string printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return shown;
}

std::string describeEntry(std::uint32_t offset, const char* name) {
    std::string text = "entry at offset " + std::to_string(offset);
    if (name) {
        text += " (" + printable(name) + ")";
    }
    return text;
}

void complain(const std::string& what) {
    std::cout.flush();
    std::cerr << "zuq: " << printable(what) << '\n';
}

void note(const std::string& what) {
    complain("note: " + what);
}
