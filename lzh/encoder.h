// The lh5 encoder: turns bytes into the block stream that the setup
// program's decoder reads (see encoder.cpp for how it works).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

enum class Effort {
    fast,   // lazy matching, one code per block: for large trees
    strong, // optimal parsing driven by each block's own codes
};

// Positions are 32-bit, and a match may look up to 256 bytes ahead.
inline constexpr std::size_t largestInput = 0xFFFFFFFFu - 256;

// Compresses the whole input (at most largestInput bytes; more throws
// std::length_error) into one stream. An empty input gives an empty stream.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input,
                                 Effort effort = Effort::strong);

} // namespace lzh
