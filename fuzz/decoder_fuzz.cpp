// The lh5 decoder alone, on the input of decoder_input.h. The output is asked
// for in chunks of 8192 bytes, as extraction does.
#include "fuzz/decoder_input.h"
#include "lzh/decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

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
    DecoderInput input;
    if (!splitDecoderInput(data, size, &input)) {
        return 0;
    }
    decodeAll(input.packed, input.packedSize, input.unpacked);
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
    decodeAll(input.packed, input.packedSize, input.unpacked);
    if (decodeError != firstError) {
        std::abort();
    }
    return 0;
}
