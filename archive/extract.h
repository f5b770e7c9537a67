// Extraction of the payload archive into files under the install directory.
#pragma once

#include "archive/entry.h"

#include <cstdint>
#include <windows.h>

// Results of extractEntry; a positive result is the next entry's offset.
enum EntryResult {
    entryEndOfArchive = 0,  // 20 bytes or fewer remain
    entryBadHeader = -1,    // bad header, unsafe name, path too long or no directory
    entryDecodeFailed = -2, // compressed: damaged stream or failed write
    entryWriteFailed = -5,  // stored: failed write
    entryCannotCreate = -6, // the output file cannot be created
};

// Result of extractArchive when an entry failed.
constexpr std::int32_t archiveFailed = -1;

// Results of writeBlock.
constexpr std::int32_t blockWritten = 1;
constexpr std::int32_t blockShort = 0;

// Why the last failed extractEntry failed; faultNone after a success.
extern EntryFault entryFault;

// When set, called once an entry's file is created (with 0) and after each
// chunk of a compressed entry and the whole data of a stored one is written,
// with the entry's bytes written so far; currentFile names the file. The
// setup program leaves it null: its panel moves once per file.
extern void (*entryBytesWritten)(std::uint32_t written);

// Walks the whole archive: the number of entries written when the walk
// reached the end, archiveFailed at the first entry that failed.
std::int32_t extractArchive(const unsigned char* archive, std::uint32_t archiveSize,
                            const char* dir);

// Extracts the entry at offset into dir (an absolute directory; a backslash
// is appended when missing; an empty dir is refused as a bad entry, since
// the path would start at the drive's root). Creates the directories the
// name needs, the file, updates the progress state and writes the data.
std::int32_t extractEntry(const unsigned char* archive, std::uint32_t offset,
                          std::uint32_t archiveSize, const char* dir);

// Writes count bytes at the file's current position under a byte-range lock.
std::int32_t writeBlock(HANDLE file, const unsigned char* data, std::uint32_t count);
