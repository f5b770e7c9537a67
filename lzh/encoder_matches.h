// Match finders for the lh5 encoder: a binary tree finder that reports every
// useful match length (for the optimal parser) and a hash chain finder that
// reports the longest match (for the fast level).
#pragma once

#include "lzh/encoder_codes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

struct Match {
    std::uint16_t length;   // 3..256
    std::uint16_t distance; // back distance 1..8192
};

// Positions are absolute offsets into the input, which stays below 4 GiB.
// The finders keep the last 8192 positions; each position must be passed
// exactly once, in increasing order, to find or skip.
class TreeMatchFinder {
  public:
    TreeMatchFinder(std::span<const std::uint8_t> data, unsigned searchDepth);

    // Appends the matches at pos in order of increasing length, each with
    // the nearest distance that reaches its length.
    void find(std::uint32_t pos, std::vector<Match>& out) {
        walk(pos, &out);
    }
    // Enters pos into the tree without reporting matches.
    void skip(std::uint32_t pos) {
        walk(pos, nullptr);
    }

  private:
    void walk(std::uint32_t pos, std::vector<Match>* out);

    std::span<const std::uint8_t> data_;
    unsigned searchDepth_;
    std::vector<std::uint32_t> head_;     // hash of three bytes -> newest position
    std::vector<std::uint32_t> children_; // two per window slot: smaller, larger
};

// Hash chains of the positions that share four bytes, followed newest
// first, and the newest position that shares three.
class ChainMatchFinder {
  public:
    ChainMatchFinder(std::span<const std::uint8_t> data, unsigned searchDepth);

    // The longest match at pos (length 0 when there is none of 3 or more);
    // of equally long ones, the nearest. A match of exactly three is looked
    // for only at the newest position whose three bytes hash alike.
    Match longest(std::uint32_t pos) const;
    void insert(std::uint32_t pos);

  private:
    std::span<const std::uint8_t> data_;
    unsigned searchDepth_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> previous_; // one per window slot
    std::vector<std::uint32_t> newest3_;  // hash of three bytes -> newest position
};

} // namespace lzh
