// The lh5 encoder: turns bytes into the block stream that the setup
// program's decoder reads (see encoder.cpp for how it works).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

enum class Effort {
    // Lazy matching over hash chains, blocks split on a coarse grid, each
    // with codes of its own but parsed only once: for large trees.
    fast,
    // Optimal parsing, repeated under each block's own codes.
    strong,
};

// Positions are 32-bit, and a match may look up to 256 bytes ahead.
inline constexpr std::size_t largestInput = 0xFFFFFFFFu - 256;

// Compresses the whole input (at most largestInput bytes; more throws
// std::length_error) into one stream. An empty input gives an empty stream.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input,
                                 Effort effort = Effort::strong);

} // namespace lzh
