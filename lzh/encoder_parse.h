// Parsing for the lh5 encoder: turning bytes into literals and matches,
// either by the cheapest path under given symbol prices or by lazy matching.
#pragma once

#include "lzh/encoder_codes.h"
#include "lzh/encoder_matches.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

// Price of each symbol and distance class in 1/16 bit; distance extra bits
// are added on top.
inline constexpr unsigned priceScale = 16;

struct Prices {
    std::array<std::uint32_t, symbolAlphabet> symbols{};
    std::array<std::uint32_t, distanceAlphabet> distanceClasses{};

    std::uint32_t distance(unsigned distanceValue) const {
        const unsigned c = distanceClassOf(distanceValue);
        return distanceClasses[c] + distanceExtraBits(c) * priceScale;
    }
};

// Prices for a first parse, before any statistics exist.
Prices startingPrices();
// Prices from a block's codes; symbols the codes leave out get a price a
// little above the longest code, so the parser may still pick them up.
Prices pricesFromPlan(const BlockPlan& plan);
// Prices from plain statistics, in fractions of a bit: smoother than whole
// code lengths, so a reparse is not locked into the codes it started from.
Prices pricesFromHistogram(const Histogram& histogram);

// Matches found at every position of a range [begin, end).
class MatchTable {
  public:
    void collect(TreeMatchFinder& finder, std::uint32_t begin, std::uint32_t end,
                 unsigned niceLength);
    std::span<const Match> at(std::uint32_t pos) const {
        const std::size_t i = pos - begin_;
        return {matches_.data() + first_[i], matches_.data() + first_[i + 1]};
    }

  private:
    std::uint32_t begin_ = 0;
    std::vector<std::uint32_t> first_; // index of each position's first match
    std::vector<Match> matches_;
};

// What parseOptimal works in: a cost and an arrival per position. Kept
// from parse to parse, so that its pages stay mapped.
struct ParseBuffers {
    std::vector<std::uint32_t> cost;
    // The last symbol of the cheapest path to each position, as
    // code | distance << 16: one word, so that choosing it needs no branch.
    std::vector<std::uint32_t> arrival;
};

// The cheapest parse of data[begin, end) under the prices, using the
// table's matches cut at end.
void parseOptimal(std::span<const std::uint8_t> data, std::uint32_t begin, std::uint32_t end,
                  const MatchTable& matches, const Prices& prices, ParseBuffers& buffers,
                  std::vector<Symbol>& out);

// Lazy matching: a match is taken unless one of the next two positions
// starts one that saves more.
class LazyParser {
  public:
    LazyParser(std::span<const std::uint8_t> data, unsigned searchDepth);
    // Starts at pos (before any parse), with the window before it in the
    // finder, so that a piece of the input parses without the rest.
    void start(std::uint32_t pos);
    // Parses from the current position up to at least end (a match may run past it).
    // Returns the position reached.
    std::uint32_t parse(std::uint32_t end, std::vector<Symbol>& out);

  private:
    Match usefulMatch(std::uint32_t pos) const;
    // The match at pos, which then goes into the finder.
    Match searchAt(std::uint32_t pos);

    std::span<const std::uint8_t> data_;
    ChainMatchFinder finder_;
    std::uint32_t pos_ = 0;
    std::uint32_t inserted_ = 0; // positions before this are in the finder
};

} // namespace lzh
