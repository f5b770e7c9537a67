// The headers of an image as the resource code needs them: alignments,
// sizes, data directories and the section table, with the file offsets of
// the fields it rewrites.
#pragma once

#include "tools/zuq/pe/pe.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zuq::pe {

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Section {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
    std::size_t headerOffset = 0; // of its section header in the file

    // What the loader maps: the virtual size, or the raw size when that is 0.
    std::uint32_t mappedSize() const {
        return virtualSize != 0 ? virtualSize : rawSize;
    }
};

struct ImageLayout {
    std::uint16_t machine = 0;
    bool pe32Plus = false;
    std::size_t fileHeaderOffset = 0;
    std::size_t optionalHeaderOffset = 0;
    std::size_t sizeOfOptionalHeader = 0;
    std::size_t dataDirectoryOffset = 0;
    std::size_t sectionTableOffset = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t checksum = 0;
    std::uint32_t entryPoint = 0;
    std::uint32_t symbolTableOffset = 0;
    std::vector<DataDirectory> directories;
    std::vector<Section> sections;

    std::size_t checksumOffset() const;
    DataDirectory directory(std::uint32_t index) const;
    // The section whose mapped range holds rva, or nullptr.
    const Section* sectionAt(std::uint32_t rva) const;
    // Where the first byte after the last section's raw data is.
    std::uint64_t endOfSections() const;
};

// Refuses, with a PeError, a file that is not an image or whose headers are
// cut short or inconsistent.
ImageLayout readLayout(std::span<const std::uint8_t> image);

// The file offset of `size` bytes at rva, all inside one section's raw data.
std::size_t fileOffsetOf(const ImageLayout& layout, std::span<const std::uint8_t> image,
                         std::uint32_t rva, std::uint32_t size, const char* what);

} // namespace zuq::pe
