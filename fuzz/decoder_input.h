// The input of the decoder fuzz targets: the first two bytes give the number
// of bytes to decode (little-endian, up to three chunks and a part), the rest
// is the packed data, read in place so that AddressSanitizer sees any read
// past it.
#pragma once

#include "lzh/decoder.h"

#include <cstddef>
#include <cstdint>

struct DecoderInput {
    const std::uint8_t* packed;
    std::uint32_t packedSize;
    std::uint32_t unpacked;
};

// Longer outputs only repeat what three chunk boundaries already show.
constexpr std::uint32_t decoderOutputLimit = 3 * windowSize + 1000;

// False for an input too short to hold the size.
inline bool splitDecoderInput(const std::uint8_t* data, std::size_t size, DecoderInput* input) {
    constexpr std::size_t sizeFieldBytes = 2;
    if (size < sizeFieldBytes) {
        return false;
    }
    input->unpacked = (data[0] | std::uint32_t{data[1]} << 8) % (decoderOutputLimit + 1);
    input->packed = data + sizeFieldBytes;
    input->packedSize = static_cast<std::uint32_t>(size - sizeFieldBytes);
    return true;
}
