// A second lh5 decoder, kept as simple as the format allows, for the tests
// to compare the fast one with. Same interface as lzh/decoder.h, in its own
// namespace and with its own state.
#pragma once

#include "lzh/decoder.h"

#include <cstdint>

namespace referenceLh5 {

extern std::uint32_t decodeError;
extern unsigned char decodeWindow[windowSize];

void decodeStart(const unsigned char* packed, std::uint32_t packedSize);
void decodeChunk(std::uint32_t count, unsigned char* buffer);
DecoderState decoderState();

} // namespace referenceLh5
