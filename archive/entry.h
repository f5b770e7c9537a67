// The payload archive: a run of entries, each a 20-byte header, a name field
// and the file's data, read in place. All integers are unsigned 32-bit
// little-endian. There is no archive header, count or trailer.
#pragma once

#include <cstdint>

constexpr unsigned char entryMagic[4] = {'z', 'u', 'q', '\n'};
constexpr std::uint32_t entryFixedSize = 20;

// Offsets of the fixed fields within an entry.
constexpr std::uint32_t magicField = 0;
constexpr std::uint32_t headerSizeField = 4;
constexpr std::uint32_t methodField = 8;
constexpr std::uint32_t packedSizeField = 12;
constexpr std::uint32_t unpackedSizeField = 16;

// Method 1 is an lh5 stream; every other value means stored.
constexpr std::uint32_t methodStored = 0;
constexpr std::uint32_t methodCompressed = 1;

// Why an entry was refused or failed. readEntryHeader reports the header
// faults, extraction the rest.
enum EntryFault {
    faultNone,
    faultBadMagic,           // the four magic bytes differ
    faultHeaderTooShort,     // header size leaves no room for a name
    faultHeaderPastArchive,  // the header reaches the archive's end
    faultNameUnterminated,   // no NUL inside the name field
    faultEmptyName,          // the name field starts with its NUL
    faultUnsafeName,         // the name would leave the install directory
    faultDataPastArchive,    // packed data reaches past the archive's end
    faultStoredSizeMismatch, // stored entry: unpacked size exceeds its data
    faultArchiveTooLarge,    // the next entry's offset does not fit a result
    faultPathTooLong,        // install directory plus name exceed a path
    faultNoDirectory,        // the install directory is empty
    faultCannotCreate,       // the output file could not be created
    faultDamagedStream,      // the lh5 stream is damaged
    faultWriteFailed,        // a block write came up short
    entryFaultCount,         // not a fault: the number of them
};

// One entry's header as read from the archive.
struct EntryHeader {
    std::uint32_t offset;
    std::uint32_t headerSize;
    std::uint32_t method;
    std::uint32_t packedSize;
    std::uint32_t unpackedSize;
    const char* name;       // inside the archive, NUL-terminated; null while unread
    std::uint32_t nameSize; // the whole name field: header size - 20
    std::uint32_t dataOffset;
    std::uint32_t nextOffset;
};

// Results of readEntryHeader.
enum HeaderResult {
    headerSound = 1,
    headerEndOfArchive = 0, // 20 bytes or fewer remain at the offset
    headerBad = -1,         // the fault is in *fault
};

// Reads and checks the entry at offset. On headerSound every field of
// *header is set and the entry's data lies inside the archive; on headerBad
// *fault says why, and header->name is the entry's name whenever the name
// field is sound (a terminated, non-empty name), else null. Nothing outside
// archive[0 .. archiveSize - 1] is read.
HeaderResult readEntryHeader(const unsigned char* archive, std::uint32_t archiveSize,
                             std::uint32_t offset, EntryHeader* header, EntryFault* fault);

// A walk over the entry headers, front to back, for the callers that look
// at the headers without extracting: each readNextEntry reads the header at
// walk.offset and, when it is sound, moves offset on to the next entry. On
// the end or a bad header offset stays where the walk stopped.
struct EntryWalk {
    const unsigned char* archive;
    std::uint32_t archiveSize;
    std::uint32_t offset;
    EntryHeader header;
    EntryFault fault;
};

void startEntryWalk(EntryWalk* walk, const unsigned char* archive, std::uint32_t archiveSize);
HeaderResult readNextEntry(EntryWalk* walk);

// True when the name stays inside the directory it is extracted into: no
// leading separator, no drive or other colon, no component of dots that
// climbs up, no component that Windows takes for a device. Both slash and
// backslash count as separators.
bool isSafeEntryName(const char* name);

bool isCompressed(const EntryHeader* header);

// A short English text for the fault, for messages.
const char* entryFaultText(EntryFault fault);

std::uint32_t readLittle32(const unsigned char* bytes);
