// The lh5 encoder: turns bytes into the block stream that the setup
// program's decoder reads (see encoder.cpp for how it works).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

enum class Effort {
    fast,   // lazy matching, one code per block: for large trees
    strong, // optimal parsing driven by each block's own codes
};

// Compresses the whole input (below 4 GiB) into one stream. An empty input
// gives an empty stream.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input,
                                 Effort effort = Effort::strong);

} // namespace lzh
