// The lh5 decoder alone. The first two bytes of an input give the number of
// bytes to decode (little-endian, up to three chunks and a part), the rest is
// the packed data, read in place so that AddressSanitizer sees any read past
// it. The output is asked for in chunks of 8192 bytes, as extraction does.
#include "lzh/decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::size_t sizeFieldBytes = 2;
// Longer outputs only repeat what three chunk boundaries already show.
constexpr std::uint32_t outputLimit = 3 * windowSize + 1000;

// Chunks are the window; output may only come from the window itself.
void decodeAll(const std::uint8_t* packed, std::uint32_t packedSize, std::uint32_t unpacked) {
    decodeError = 0;
    decodeStart(packed, packedSize);
    for (std::uint32_t remaining = unpacked; remaining > 0;) {
        std::uint32_t n = remaining > windowSize ? windowSize : remaining;
        decodeChunk(n, decodeWindow);
        if (decodeError) {
            return;
        }
        remaining -= n;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeFieldBytes) {
        return 0;
    }
    std::uint32_t unpacked = (data[0] | std::uint32_t{data[1]} << 8) % (outputLimit + 1);
    const std::uint8_t* packed = data + sizeFieldBytes;
    auto packedSize = static_cast<std::uint32_t>(size - sizeFieldBytes);

    decodeAll(packed, packedSize, unpacked);
    std::uint32_t firstError = decodeError;
    // Once damaged, the decoder must stay so and produce nothing more.
    if (firstError) {
        decodeChunk(1, decodeWindow);
        if (!decodeError) {
            std::abort();
        }
    }
    // Damage is a property of the stream: a second pass over the same bytes,
    // with the tables and window the first pass left, must judge the same.
    decodeAll(packed, packedSize, unpacked);
    if (decodeError != firstError) {
        std::abort();
    }
    return 0;
}
