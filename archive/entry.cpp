// Reading and checking one entry header of the payload archive. Extraction,
// zuq list and zuq test all go through readEntryHeader, so an entry is judged
// the same way everywhere.
#include "archive/entry.h"

#include <cstdint>
#include <cstring>

std::uint32_t readLittle32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

bool isCompressed(const EntryHeader* header) {
    return header->method == methodCompressed;
}

static bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// A component made only of dots and spaces with two dots or more: Windows
// drops trailing dots and spaces, so ".. " and "..." climb like "..".
static bool climbs(const char* component, std::size_t length) {
    std::size_t dots = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (component[i] == '.') {
            ++dots;
        } else if (component[i] != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

static char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A component that Windows opens as a device in any directory: CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, CONIN$ or CONOUT$, in any case, alone or before
// an extension, trailing spaces ignored. "nul.txt" writes into nothing and
// "COM1" into a port, while the walk would count a file as written.
static bool namesDevice(const char* component, std::size_t length) {
    std::size_t base = 0;
    while (base < length && component[base] != '.') {
        ++base;
    }
    while (base > 0 && component[base - 1] == ' ') {
        --base;
    }
    char stem[8] = {};
    if (base == 0 || base >= sizeof stem) {
        return false;
    }
    for (std::size_t i = 0; i < base; ++i) {
        stem[i] = upper(component[i]);
    }
    const char* devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices) {
        if (std::strcmp(stem, device) == 0) {
            return true;
        }
    }
    bool numbered = std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0;
    return numbered && base == 4 && stem[3] >= '1' && stem[3] <= '9';
}

bool isSafeEntryName(const char* name) {
    if (isSeparator(name[0]) || std::strchr(name, ':')) {
        return false;
    }
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || isSeparator(*p)) {
            auto length = static_cast<std::size_t>(p - component);
            if (climbs(component, length) || namesDevice(component, length)) {
                return false;
            }
            if (*p == '\0') {
                return true;
            }
            component = p + 1;
        }
    }
}

static HeaderResult refuse(EntryFault* fault, EntryFault why) {
    *fault = why;
    return headerBad;
}

HeaderResult readEntryHeader(const unsigned char* archive, std::uint32_t archiveSize,
                             std::uint32_t offset, EntryHeader* header, EntryFault* fault) {
    *fault = faultNone;
    header->name = nullptr;
    // Sums in 64 bits: sizes near 2^32 must not wrap past the checks.
    std::uint64_t end = archiveSize;
    if (std::uint64_t{offset} + entryFixedSize >= end) {
        return headerEndOfArchive;
    }
    const unsigned char* entry = archive + offset;
    if (std::memcmp(entry + magicField, entryMagic, sizeof entryMagic) != 0) {
        return refuse(fault, faultBadMagic);
    }
    header->offset = offset;
    header->headerSize = readLittle32(entry + headerSizeField);
    header->method = readLittle32(entry + methodField);
    header->packedSize = readLittle32(entry + packedSizeField);
    header->unpackedSize = readLittle32(entry + unpackedSizeField);

    if (header->headerSize <= entryFixedSize) {
        return refuse(fault, faultHeaderTooShort);
    }
    if (offset + std::uint64_t{header->headerSize} >= end) {
        return refuse(fault, faultHeaderPastArchive);
    }
    const char* name = reinterpret_cast<const char*>(entry + entryFixedSize);
    header->nameSize = header->headerSize - entryFixedSize;
    if (!std::memchr(name, '\0', header->nameSize)) {
        return refuse(fault, faultNameUnterminated);
    }
    if (name[0] == '\0') {
        return refuse(fault, faultEmptyName);
    }
    // From here on a refusal can name the entry.
    header->name = name;
    if (!isSafeEntryName(header->name)) {
        return refuse(fault, faultUnsafeName);
    }
    std::uint64_t next = offset + std::uint64_t{header->headerSize} + header->packedSize;
    if (next > end) {
        return refuse(fault, faultDataPastArchive);
    }
    if (next > INT32_MAX) {
        return refuse(fault, faultArchiveTooLarge);
    }
    if (!isCompressed(header) && header->unpackedSize > header->packedSize) {
        return refuse(fault, faultStoredSizeMismatch);
    }
    header->dataOffset = offset + header->headerSize;
    header->nextOffset = static_cast<std::uint32_t>(next);
    return headerSound;
}

void startEntryWalk(EntryWalk* walk, const unsigned char* archive, std::uint32_t archiveSize) {
    walk->archive = archive;
    walk->archiveSize = archiveSize;
    walk->offset = 0;
    walk->fault = faultNone;
}

HeaderResult readNextEntry(EntryWalk* walk) {
    HeaderResult read = readEntryHeader(walk->archive, walk->archiveSize, walk->offset,
                                        &walk->header, &walk->fault);
    if (read == headerSound) {
        walk->offset = walk->header.nextOffset;
    }
    return read;
}

// By EntryFault, in the enum's order.
static const char* const faultTexts[] = {
    "no fault",
    "no entry magic",
    "header size too small for a name",
    "header reaches the end of the archive",
    "name field has no terminating NUL",
    "empty name",
    "name leaves the install directory",
    "data reaches past the end of the archive",
    "stored entry is larger than its data",
    "entry ends beyond 2 GiB",
    "path too long",
    "no install directory",
    "cannot create the file",
    "damaged lh5 stream",
    "write failed",
};
static_assert(sizeof faultTexts / sizeof faultTexts[0] == entryFaultCount,
              "a text for every fault");

const char* entryFaultText(EntryFault fault) {
    return fault >= 0 && fault < entryFaultCount ? faultTexts[fault] : "unknown fault";
}
