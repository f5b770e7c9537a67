// Writing payload archive entries (used by zuq pack; the setup program only
// reads archives). An entry is its header, built here, followed directly by
// its data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The install directory that entry names are checked against: the walk
// refuses an entry whose name would not fit a path below it.
constexpr const char* typicalInstallDir = "c:\\program files\\Quillmoran\\";

// The longest unpacked file an entry can describe, and the largest archive
// the walk accepts (its offsets are results of 32-bit signed width).
constexpr std::uint64_t largestEntryFile = 0xFFFFFFFFull;
constexpr std::uint64_t largestArchive = 0x7FFFFFFFull;

// Results of checkEntryName.
enum NameCheck {
    nameFits = 1,
    nameEmpty = 0,
    nameTooLong = -1,      // install directory + name reach the walk's 256-character bound
    nameBadCharacter = -2, // outside printable ASCII, or one Windows cannot hold in a name
    nameBadComponent = -3, // empty, ".", "..", or ending in a dot or space
    nameDevice = -4,       // a part Windows opens as a device: CON, NUL, COM1, ...
};

// Checks a backslash-separated relative name as entries carry it, for an
// install directory of installDirLength characters (trailing backslash
// included).
int checkEntryName(const std::string& name, std::size_t installDirLength);

// A short English text for a NameCheck result.
const char* nameCheckText(int result);

// The header of an entry: magic, header size, method, sizes, the name and its
// NUL. The name must have passed checkEntryName.
std::vector<unsigned char> makeEntryHeader(const std::string& name, std::uint32_t method,
                                           std::uint32_t packedSize, std::uint32_t unpackedSize);

// Bytes to append after the last entry so that the walk takes it: the walk
// needs at least one byte after an entry's header, which an entry without
// data at the archive's end lacks. A tail this short is ignored by the walk.
std::uint32_t closingPaddingAfter(std::uint32_t lastPackedSize);
