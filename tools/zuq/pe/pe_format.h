// Offsets, sizes and values of the executable image format that the
// resource reader and writer rely on. Offsets are from the start of the
// structure named in the group.
#pragma once

#include <cstdint>

namespace zuq::pe::format {

// DOS header: "MZ", and where the image header starts.
inline constexpr std::uint16_t dosMagic = 0x5A4D;
inline constexpr std::uint32_t dosNewHeaderOffset = 0x3C;
inline constexpr std::uint32_t dosHeaderSize = 0x40;

// Image signature "PE\0\0", then the file header.
inline constexpr std::uint32_t peSignature = 0x00004550;
inline constexpr std::uint32_t signatureSize = 4;

namespace file_header {
inline constexpr std::uint32_t size = 20;
inline constexpr std::uint32_t machine = 0;
inline constexpr std::uint32_t numberOfSections = 2;
inline constexpr std::uint32_t pointerToSymbolTable = 8;
inline constexpr std::uint32_t numberOfSymbols = 12;
inline constexpr std::uint32_t sizeOfOptionalHeader = 16;
} // namespace file_header

inline constexpr std::uint16_t machineI386 = 0x014C;
inline constexpr std::uint16_t machineAmd64 = 0x8664;

namespace optional_header {
inline constexpr std::uint16_t magicPe32 = 0x10B;
inline constexpr std::uint16_t magicPe32Plus = 0x20B;
inline constexpr std::uint32_t magic = 0;
inline constexpr std::uint32_t sizeOfInitializedData = 8;
inline constexpr std::uint32_t addressOfEntryPoint = 16;
inline constexpr std::uint32_t sectionAlignment = 32;
inline constexpr std::uint32_t fileAlignment = 36;
inline constexpr std::uint32_t sizeOfImage = 56;
inline constexpr std::uint32_t sizeOfHeaders = 60;
inline constexpr std::uint32_t checkSum = 64;
// The two layouts differ from here on: 64-bit stack and heap sizes.
inline constexpr std::uint32_t numberOfRvaAndSizesPe32 = 92;
inline constexpr std::uint32_t numberOfRvaAndSizesPe32Plus = 108;
inline constexpr std::uint32_t dataDirectoriesPe32 = 96;
inline constexpr std::uint32_t dataDirectoriesPe32Plus = 112;
inline constexpr std::uint32_t dataDirectorySize = 8;
} // namespace optional_header

// Data directory indexes.
inline constexpr std::uint32_t directoryResources = 2;
inline constexpr std::uint32_t directoryCertificates = 4;
inline constexpr std::uint32_t directoryBaseRelocations = 5;

namespace section_header {
inline constexpr std::uint32_t size = 40;
inline constexpr std::uint32_t nameSize = 8;
inline constexpr std::uint32_t virtualSize = 8;
inline constexpr std::uint32_t virtualAddress = 12;
inline constexpr std::uint32_t sizeOfRawData = 16;
inline constexpr std::uint32_t pointerToRawData = 20;
inline constexpr std::uint32_t characteristics = 36;
} // namespace section_header

inline constexpr std::uint32_t sectionInitializedData = 0x00000040;
inline constexpr std::uint32_t sectionUninitializedData = 0x00000080;
inline constexpr std::uint32_t sectionDiscardable = 0x02000000;
inline constexpr std::uint32_t sectionExecute = 0x20000000;
inline constexpr std::uint32_t sectionRead = 0x40000000;
inline constexpr std::uint32_t sectionWrite = 0x80000000;
inline constexpr std::uint32_t resourceSectionFlags = sectionInitializedData | sectionRead;

// Resource directory: a table header, then its entries (named ones first).
namespace resource_table {
inline constexpr std::uint32_t size = 16;
inline constexpr std::uint32_t numberOfNamedEntries = 12;
inline constexpr std::uint32_t numberOfIdEntries = 14;
inline constexpr std::uint32_t entrySize = 8;
inline constexpr std::uint32_t dataEntrySize = 16;
// In an entry: the name field holds a string offset, the data field a
// subdirectory offset, when this bit is set.
inline constexpr std::uint32_t highBit = 0x80000000;
// Type, name, language.
inline constexpr int levels = 3;
} // namespace resource_table

inline constexpr std::uint32_t resourceDataAlignment = 8;

// Standard resource types.
inline constexpr std::uint16_t typeIcon = 3;
inline constexpr std::uint16_t typeDialog = 5;
inline constexpr std::uint16_t typeGroupIcon = 14;
inline constexpr std::uint16_t typeVersion = 16;
inline constexpr std::uint16_t typeManifest = 24;

// Icon file header and entries; the group resource repeats the entries with
// a resource id in place of the file offset.
namespace icon {
inline constexpr std::uint32_t headerSize = 6;
inline constexpr std::uint16_t typeIcon = 1;
inline constexpr std::uint32_t fileEntrySize = 16;
inline constexpr std::uint32_t groupEntrySize = 14;
inline constexpr std::uint32_t dibHeaderSize = 40;
} // namespace icon

// Version resource.
namespace version {
inline constexpr std::uint32_t fixedSignature = 0xFEEF04BD;
inline constexpr std::uint32_t fixedStructVersion = 0x00010000;
inline constexpr std::uint32_t fixedInfoSize = 52;
inline constexpr std::uint32_t fileFlagsMask = 0x3F;
inline constexpr std::uint32_t osNtWindows32 = 0x00040004;
inline constexpr std::uint32_t fileTypeApp = 1;
inline constexpr std::uint16_t valueBinary = 0;
inline constexpr std::uint16_t valueText = 1;
inline constexpr std::uint16_t languageUsEnglish = 0x0409;
inline constexpr std::uint16_t codePageUnicode = 1200;
} // namespace version

} // namespace zuq::pe::format
