// Entry extraction: walks the archive in memory, creates each entry's
// directories and file, and writes stored data in one block write and
// compressed data through the lh5 decoder, one 8192-byte window at a time.
#include "archive/extract.h"

#include "archive/entry.h"
#include "archive/entry_data.h"
#include "lzh/decoder.h"
#include "setup/state.h"

#include <cstring>

// Pieces of at most 32767 bytes per WriteFile.
constexpr std::uint32_t writePiece = 32767;
// An entry is accepted when the directory (with its backslash), the name
// field (which ends with the name's NUL) and one more character stay below
// this: a bound of the format, a little below the 260 of the path buffer.
constexpr std::uint32_t pathLimit = 256;

EntryFault entryFault;
void (*entryBytesWritten)(std::uint32_t written);

static char entryPath[MAX_PATH];

std::int32_t writeBlock(HANDLE file, const unsigned char* data, std::uint32_t count) {
    DWORD position = SetFilePointer(file, 0, nullptr, FILE_CURRENT);
    LockFile(file, position, 0, count, 0);
    std::uint32_t done = 0;
    while (done < count) {
        std::uint32_t piece = count - done < writePiece ? count - done : writePiece;
        DWORD written = 0;
        WriteFile(file, data + done, piece, &written, nullptr);
        if (written != piece) {
            UnlockFile(file, position, 0, count, 0);
            return blockShort;
        }
        done += piece;
    }
    UnlockFile(file, position, 0, count, 0);
    return blockWritten;
}

static std::int32_t failEntry(EntryFault why, std::int32_t result) {
    entryFault = why;
    return result;
}

// Builds dir + backslash + name in entryPath. Returns the fault when there
// is no directory or the path would not fit.
static EntryFault buildEntryPath(const char* dir, const EntryHeader* header) {
    std::size_t dirLength = std::strlen(dir);
    if (dirLength == 0) {
        return faultNoDirectory;
    }
    bool needsSeparator = dir[dirLength - 1] != '\\';
    std::size_t prefixLength = dirLength + (needsSeparator ? 1 : 0);
    if (prefixLength + header->nameSize + 1 >= pathLimit) {
        return faultPathTooLong;
    }
    std::memcpy(entryPath, dir, dirLength);
    if (needsSeparator) {
        entryPath[dirLength] = '\\';
    }
    // The name field holds its NUL (checked with the header).
    std::memcpy(entryPath + prefixLength, header->name, header->nameSize);
    return faultNone;
}

// Creates each missing directory level of the name, left to right. A level
// exists when it can be made the current directory.
static void createEntryDirectories(std::size_t nameStart) {
    for (char* p = entryPath + nameStart; *p; ++p) {
        if (*p != '\\') {
            continue;
        }
        *p = '\0';
        if (!SetCurrentDirectoryA(entryPath)) {
            CreateDirectoryA(entryPath, nullptr);
        }
        *p = '\\';
    }
}

// Shows the new file in the progress panel before any data is written.
static void reportProgress() {
    std::strcpy(currentFile, entryPath);
    progressDone++;
#ifdef _WIN32
    if (progressPanel) {
        InvalidateRect(progressPanel, nullptr, TRUE);
        UpdateWindow(progressPanel);
    }
#endif
}

static void reportBytes(std::uint32_t written) {
    if (entryBytesWritten) {
        entryBytesWritten(written);
    }
}

// The file a compressed entry's chunks go to, and how much of it is written.
struct ChunkTarget {
    HANDLE file;
    std::uint32_t written;
};

static EntryFault writeChunk(const unsigned char* chunk, std::uint32_t size, void* context) {
    auto* target = static_cast<ChunkTarget*>(context);
    if (writeBlock(target->file, chunk, size) != blockWritten) {
        return faultWriteFailed;
    }
    target->written += size;
    reportBytes(target->written);
    return faultNone;
}

std::int32_t extractEntry(const unsigned char* archive, std::uint32_t offset,
                          std::uint32_t archiveSize, const char* dir) {
    entryFault = faultNone;
    EntryHeader header;
    EntryFault fault;
    HeaderResult read = readEntryHeader(archive, archiveSize, offset, &header, &fault);
    if (read == headerEndOfArchive) {
        return entryEndOfArchive;
    }
    if (read == headerBad) {
        return failEntry(fault, entryBadHeader);
    }
    EntryFault pathFault = buildEntryPath(dir, &header);
    if (pathFault != faultNone) {
        return failEntry(pathFault, entryBadHeader);
    }
    createEntryDirectories(std::strlen(entryPath) - std::strlen(header.name));

    HANDLE file = CreateFileA(entryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return failEntry(faultCannotCreate, entryCannotCreate);
    }
    reportProgress();
    reportBytes(0);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);

    if (isCompressed(&header)) {
        ChunkTarget target = {file, 0};
        EntryFault fault = decodeEntryChunks(archive, &header, writeChunk, &target);
        CloseHandle(file);
        if (fault != faultNone) {
            DeleteFileA(entryPath);
            return failEntry(fault, entryDecodeFailed);
        }
    } else {
        const unsigned char* data = archive + header.dataOffset;
        bool written = writeBlock(file, data, header.unpackedSize) == blockWritten;
        CloseHandle(file);
        if (!written) {
            DeleteFileA(entryPath);
            return failEntry(faultWriteFailed, entryWriteFailed);
        }
        reportBytes(header.unpackedSize);
    }
    return static_cast<std::int32_t>(header.nextOffset);
}

std::int32_t extractArchive(const unsigned char* archive, std::uint32_t archiveSize,
                            const char* dir) {
    std::uint32_t offset = 0;
    std::int32_t count = 0;
    for (;;) {
        std::int32_t r = extractEntry(archive, offset, archiveSize, dir);
        if (r < 0) {
            return archiveFailed;
        }
        if (r == entryEndOfArchive) {
            return count;
        }
        ++count;
        offset = static_cast<std::uint32_t>(r);
    }
}
