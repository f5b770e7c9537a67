// The lh5 encoder against the decoder: whatever the input, the stream decodes
// to it exactly. The first byte chooses the level (bit 0) and how many times
// the rest is repeated, each copy with one byte changed (bits 1-3), so that
// short inputs still give long matches, far distances and several blocks.
#include "lzh/decoder.h"
#include "lzh/encoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t optionBytes = 1;
constexpr unsigned repeatShift = 1;
constexpr unsigned repeatMask = 0x07;

std::vector<std::uint8_t> buildInput(const std::uint8_t* data, std::size_t size, unsigned copies) {
    std::vector<std::uint8_t> input;
    for (unsigned copy = 0; copy <= copies; ++copy) {
        const std::size_t start = input.size();
        input.insert(input.end(), data, data + size);
        if (copy > 0 && size > 0) {
            input[start + copy * 7 % size] ^= static_cast<std::uint8_t>(copy);
        }
    }
    return input;
}

// Decodes in chunks of 8192 as extraction does; aborts on any difference.
void expectDecodesTo(const std::vector<std::uint8_t>& packed,
                     const std::vector<std::uint8_t>& expected) {
    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    for (std::size_t done = 0; done < expected.size();) {
        const auto n = static_cast<std::uint32_t>(
            expected.size() - done < windowSize ? expected.size() - done : windowSize);
        decodeChunk(n, decodeWindow);
        if (decodeError || std::memcmp(decodeWindow, expected.data() + done, n) != 0) {
            std::abort();
        }
        done += n;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < optionBytes) {
        return 0;
    }
    const lzh::Effort effort = data[0] & 1 ? lzh::Effort::fast : lzh::Effort::strong;
    const unsigned copies = (data[0] >> repeatShift) & repeatMask;
    const std::vector<std::uint8_t> input =
        buildInput(data + optionBytes, size - optionBytes, copies);
    expectDecodesTo(lzh::encode(input, effort), input);
    return 0;
}
