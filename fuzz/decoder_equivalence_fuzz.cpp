// The lh5 decoder against the plain one the tests keep (tests/support/
// reference_lh5), on the input of decoder_input.h. Both start from the same
// window; after every chunk of 8192 bytes they must
// agree on the damage flag and, while the stream is sound, on the whole
// window and the decoder state.
#include "fuzz/decoder_input.h"
#include "lzh/decoder.h"
#include "tests/support/reference_lh5.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void expect(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DecoderInput input;
    if (!splitDecoderInput(data, size, &input)) {
        return 0;
    }

    // The window carries over from the last input; after damage the two may
    // have left different bytes in it.
    std::memcpy(referenceLh5::decodeWindow, decodeWindow, windowSize);
    decodeError = 0;
    referenceLh5::decodeError = 0;
    decodeStart(input.packed, input.packedSize);
    referenceLh5::decodeStart(input.packed, input.packedSize);
    for (std::uint32_t remaining = input.unpacked; remaining > 0;) {
        std::uint32_t n = remaining > windowSize ? windowSize : remaining;
        decodeChunk(n, decodeWindow);
        referenceLh5::decodeChunk(n, referenceLh5::decodeWindow);
        expect(decodeError == referenceLh5::decodeError);
        if (decodeError) {
            break;
        }
        expect(std::memcmp(decodeWindow, referenceLh5::decodeWindow, windowSize) == 0);
        expect(decoderState() == referenceLh5::decoderState());
        remaining -= n;
    }
    return 0;
}
