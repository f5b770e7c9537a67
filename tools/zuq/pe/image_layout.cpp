#include "tools/zuq/pe/image_layout.h"

#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/pe_format.h"

#include <algorithm>

namespace zuq::pe {

namespace f = format;
using namespace detail;

namespace {

std::size_t findFileHeader(std::span<const std::uint8_t> image) {
    if (image.size() < f::dosHeaderSize || read16(image, 0) != f::dosMagic) {
        throw PeError("not a Windows executable: no MZ header");
    }
    const std::uint32_t peOffset = read32(image, f::dosNewHeaderOffset);
    require(image, peOffset, f::signatureSize + f::file_header::size, "the PE header");
    if (read32(image, peOffset) != f::peSignature) {
        throw PeError("not a Windows executable: no PE signature at offset " +
                      std::to_string(peOffset));
    }
    return peOffset + f::signatureSize;
}

bool isPowerOfTwo(std::uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

void readOptionalHeader(std::span<const std::uint8_t> image, ImageLayout& l) {
    namespace o = f::optional_header;
    const std::size_t at = l.optionalHeaderOffset;
    require(image, at, l.sizeOfOptionalHeader, "the optional header");
    if (l.sizeOfOptionalHeader < o::dataDirectoriesPe32) {
        throw PeError("optional header too short: " + std::to_string(l.sizeOfOptionalHeader));
    }
    const std::uint16_t magic = read16(image, at + o::magic);
    if (magic != o::magicPe32 && magic != o::magicPe32Plus) {
        throw PeError("unknown optional header magic " + std::to_string(magic));
    }
    l.pe32Plus = magic == o::magicPe32Plus;
    const std::size_t countAt =
        l.pe32Plus ? o::numberOfRvaAndSizesPe32Plus : o::numberOfRvaAndSizesPe32;
    const std::size_t dirsAt = l.pe32Plus ? o::dataDirectoriesPe32Plus : o::dataDirectoriesPe32;
    if (l.sizeOfOptionalHeader < dirsAt) {
        throw PeError("optional header too short: " + std::to_string(l.sizeOfOptionalHeader));
    }
    const std::uint32_t count = read32(image, at + countAt);
    if (count > 16 || dirsAt + std::size_t{count} * o::dataDirectorySize > l.sizeOfOptionalHeader) {
        throw PeError("data directory count " + std::to_string(count) +
                      " does not fit the optional header");
    }
    l.sizeOfInitializedData = read32(image, at + o::sizeOfInitializedData);
    l.entryPoint = read32(image, at + o::addressOfEntryPoint);
    l.sectionAlignment = read32(image, at + o::sectionAlignment);
    l.fileAlignment = read32(image, at + o::fileAlignment);
    l.sizeOfImage = read32(image, at + o::sizeOfImage);
    l.sizeOfHeaders = read32(image, at + o::sizeOfHeaders);
    l.checksum = read32(image, at + o::checkSum);
    l.dataDirectoryOffset = at + dirsAt;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t d = l.dataDirectoryOffset + i * o::dataDirectorySize;
        l.directories.push_back({read32(image, d), read32(image, d + 4)});
    }
    if (!isPowerOfTwo(l.fileAlignment) || !isPowerOfTwo(l.sectionAlignment) ||
        l.sectionAlignment < l.fileAlignment) {
        throw PeError("bad alignments: file " + std::to_string(l.fileAlignment) + ", section " +
                      std::to_string(l.sectionAlignment));
    }
}

Section readSection(std::span<const std::uint8_t> image, std::size_t at) {
    namespace s = f::section_header;
    Section section;
    for (std::size_t i = 0; i < s::nameSize && image[at + i] != 0; ++i) {
        section.name += static_cast<char>(image[at + i]);
    }
    section.virtualSize = read32(image, at + s::virtualSize);
    section.virtualAddress = read32(image, at + s::virtualAddress);
    section.rawSize = read32(image, at + s::sizeOfRawData);
    section.rawOffset = read32(image, at + s::pointerToRawData);
    section.characteristics = read32(image, at + s::characteristics);
    section.headerOffset = at;
    return section;
}

void readSections(std::span<const std::uint8_t> image, ImageLayout& l, std::uint16_t count) {
    require(image, l.sectionTableOffset, std::size_t{count} * f::section_header::size,
            "the section table");
    for (std::uint16_t i = 0; i < count; ++i) {
        l.sections.push_back(
            readSection(image, l.sectionTableOffset + i * f::section_header::size));
    }
    for (std::size_t i = 1; i < l.sections.size(); ++i) {
        if (l.sections[i].virtualAddress < l.sections[i - 1].virtualAddress) {
            throw PeError("sections are not in address order");
        }
    }
}

} // namespace

std::size_t ImageLayout::checksumOffset() const {
    return optionalHeaderOffset + format::optional_header::checkSum;
}

DataDirectory ImageLayout::directory(std::uint32_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
}

const Section* ImageLayout::sectionAt(std::uint32_t rva) const {
    for (const Section& s : sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.mappedSize()) {
            return &s;
        }
    }
    return nullptr;
}

std::uint64_t ImageLayout::endOfSections() const {
    std::uint64_t end = sizeOfHeaders;
    for (const Section& s : sections) {
        if (s.rawSize != 0) {
            end = std::max(end, std::uint64_t{s.rawOffset} + s.rawSize);
        }
    }
    return end;
}

ImageLayout readLayout(std::span<const std::uint8_t> image) {
    ImageLayout l;
    l.fileHeaderOffset = findFileHeader(image);
    namespace h = f::file_header;
    l.machine = read16(image, l.fileHeaderOffset + h::machine);
    const std::uint16_t sectionCount = read16(image, l.fileHeaderOffset + h::numberOfSections);
    l.symbolTableOffset = read32(image, l.fileHeaderOffset + h::pointerToSymbolTable);
    l.sizeOfOptionalHeader = read16(image, l.fileHeaderOffset + h::sizeOfOptionalHeader);
    l.optionalHeaderOffset = l.fileHeaderOffset + h::size;
    readOptionalHeader(image, l);
    l.sectionTableOffset = l.optionalHeaderOffset + l.sizeOfOptionalHeader;
    readSections(image, l, sectionCount);
    return l;
}

std::size_t fileOffsetOf(const ImageLayout& layout, std::span<const std::uint8_t> image,
                         std::uint32_t rva, std::uint32_t size, const char* what) {
    const Section* s = layout.sectionAt(rva);
    const std::uint64_t inSection = s ? std::uint64_t{rva} - s->virtualAddress : 0;
    if (s == nullptr || inSection + size > s->rawSize) {
        throw PeError(std::string(what) + " at RVA " + std::to_string(rva) + " (" +
                      std::to_string(size) + " bytes) is outside every section's file data");
    }
    const std::uint64_t offset = s->rawOffset + inSection;
    require(image, offset, size, what);
    return static_cast<std::size_t>(offset);
}

} // namespace zuq::pe
