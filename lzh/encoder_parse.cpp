// Parsing for the lh5 encoder.
//
// The optimal parser is a shortest path over the positions of a range: from
// each position there is an edge for its literal and one for every match
// length the finder reported, priced by the current codes. The path is found
// in one forward pass (every edge goes forward) and read back from the end.
#include "lzh/encoder_parse.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace lzh {

// ---- Prices -----------------------------------------------------------------------

Prices startingPrices() {
    Prices prices;
    constexpr unsigned literalBits = 8, shortMatchBits = 6, distanceBits = 4;
    for (unsigned s = 0; s < 256; ++s) {
        prices.symbols[s] = literalBits * priceScale;
    }
    // Longer matches are rarer, so their symbols cost a little more.
    for (unsigned length = minMatch; length <= maxMatch; ++length) {
        const unsigned extra = std::min(length - minMatch, 24u) / 3;
        prices.symbols[length + matchSymbolBias] = (shortMatchBits + extra) * priceScale;
    }
    prices.distanceClasses.fill(distanceBits * priceScale);
    return prices;
}

Prices pricesFromPlan(const BlockPlan& plan) {
    Prices prices;
    const auto priceCode = [](const CodeSection& section, auto& out) {
        if (section.used < 2) {
            // Only the single value is free; anything else needs a real code.
            constexpr unsigned missingBits = 8;
            out.fill(missingBits * priceScale);
            if (section.used == 1) {
                out[section.singleValue] = 0;
            }
            return;
        }
        const unsigned longest = *std::max_element(section.lengths.begin(), section.lengths.end());
        for (std::size_t s = 0; s < out.size(); ++s) {
            const unsigned bits = section.lengths[s] ? section.lengths[s] : longest + 1;
            out[s] = bits * priceScale;
        }
    };
    priceCode(plan.symbolCode, prices.symbols);
    priceCode(plan.distanceCode, prices.distanceClasses);
    return prices;
}

namespace {
constexpr double dearestBits = 18; // price cap of a symbol in pricesFromHistogram
} // namespace

Prices pricesFromHistogram(const Histogram& histogram) {
    Prices prices;
    // The information content of each symbol; an absent one is priced as if
    // it had occurred half a time.
    const auto priceCode = [](std::span<const std::uint32_t> counts, auto& out) {
        double total = 0;
        for (std::uint32_t count : counts) {
            total += count;
        }
        for (std::size_t s = 0; s < out.size(); ++s) {
            const double p = counts[s] ? counts[s] / total : 0.5 / (total + 1);
            out[s] =
                static_cast<std::uint32_t>(std::min(-std::log2(p), dearestBits) * priceScale + 0.5);
        }
    };
    priceCode(histogram.symbols, prices.symbols);
    priceCode(histogram.distances, prices.distanceClasses);
    return prices;
}

// ---- Match table ---------------------------------------------------------------------

void MatchTable::collect(TreeMatchFinder& finder, std::uint32_t begin, std::uint32_t end,
                         unsigned niceLength) {
    begin_ = begin;
    first_.clear();
    matches_.clear();
    first_.reserve(end - begin + 1);
    // Inside a match of niceLength or more, positions are only entered into
    // the tree: such a match is almost always the one to take, and skipping
    // keeps long repeats from costing 256 prices per byte.
    std::uint32_t searchFrom = begin;
    for (std::uint32_t pos = begin; pos < end; ++pos) {
        first_.push_back(static_cast<std::uint32_t>(matches_.size()));
        if (pos < searchFrom) {
            finder.skip(pos);
            continue;
        }
        const std::size_t before = matches_.size();
        finder.find(pos, matches_);
        if (matches_.size() > before && matches_.back().length >= niceLength) {
            searchFrom = pos + matches_.back().length;
        }
    }
    first_.push_back(static_cast<std::uint32_t>(matches_.size()));
}

// ---- Optimal parse ---------------------------------------------------------------------

namespace {

constexpr std::uint32_t arrivalOf(Symbol symbol) {
    return symbol.code | std::uint32_t{symbol.distance} << 16;
}

constexpr Symbol symbolOf(std::uint32_t arrival) {
    return {static_cast<std::uint16_t>(arrival), static_cast<std::uint16_t>(arrival >> 16)};
}

// Lengths are offered eight at a time, in whole steps, as one vector of
// lanes: most matches are short, and a loop that ends on the exact length
// spent more in its scalar tail than in its vector body. The lanes past the
// match's last length compare as not cheaper and leave what they cover as
// it was; the cost and arrival arrays and the price table are padded for
// them.
constexpr unsigned offerStep = 8;

// The match symbols' prices by length, with room for a whole last step.
using LengthPrices = std::array<std::uint32_t, maxMatch + offerStep>;

// Offers the lengths [from, to] of one match: a length arrives at the cost
// base plus its symbol's price, and takes the place of a dearer arrival, not
// of an equally cheap one. A length's arrival is the match's arrival at
// length 0 plus the length. Long matches offer up to 256 lengths at every
// position.
void offerLengths(std::uint32_t* __restrict cost, std::uint32_t* __restrict arrival,
                  const std::uint32_t* __restrict lengthPrices, unsigned from, unsigned to,
                  std::uint32_t base, std::uint32_t lengthZeroArrival) {
    using Lanes = std::uint32_t __attribute__((vector_size(offerStep * sizeof(std::uint32_t))));
    const Lanes laneOffsets = {0, 1, 2, 3, 4, 5, 6, 7};
    static_assert(sizeof laneOffsets / sizeof laneOffsets[0] == offerStep);
    for (unsigned first = from; first <= to; first += offerStep) {
        Lanes costs, lengthPrice, arrivals;
        std::memcpy(&costs, cost + first, sizeof costs);
        std::memcpy(&arrivals, arrival + first, sizeof arrivals);
        std::memcpy(&lengthPrice, lengthPrices + first, sizeof lengthPrice);
        const Lanes lengths = first + laneOffsets;
        const Lanes total = base + lengthPrice;
        const auto cheaper = (total < costs) & (lengths <= to);
        costs = cheaper ? total : costs;
        arrivals = cheaper ? lengthZeroArrival + lengths : arrivals;
        std::memcpy(cost + first, &costs, sizeof costs);
        std::memcpy(arrival + first, &arrivals, sizeof arrivals);
    }
}

} // namespace

// The Linux tool's parse is built twice, the second time for processors with
// AVX2, where offerLengths takes its eight lanes in one instruction instead
// of two; the loader picks one when the program starts. Integer work only,
// so both give the same parse.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void parseOptimal(std::span<const std::uint8_t> data, std::uint32_t begin, std::uint32_t end,
                  const MatchTable& matches, const Prices& prices, ParseBuffers& buffers,
                  std::vector<Symbol>& out) {
    const std::uint32_t n = end - begin;
    constexpr std::uint32_t unreached = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t>& cost = buffers.cost;
    std::vector<std::uint32_t>& arrival = buffers.arrival;
    // A last step of lengths may reach offerStep - 1 past the end.
    cost.assign(n + offerStep, unreached);
    if (arrival.size() < n + offerStep) {
        arrival.resize(n + offerStep); // each position's arrival is written when its cost is
    }
    LengthPrices lengthPrices;
    lengthPrices.fill(unreached); // the lanes past maxMatch, always masked off
    std::copy(prices.symbols.begin() + matchSymbolBias, prices.symbols.end(), lengthPrices.begin());
    cost[0] = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t here = cost[i];
        const std::uint8_t byte = data[begin + i];
        if (here + prices.symbols[byte] < cost[i + 1]) {
            cost[i + 1] = here + prices.symbols[byte];
            arrival[i + 1] = arrivalOf(literalSymbol(byte));
        }
        const unsigned remaining = std::min(n - i, maxMatch);
        unsigned covered = minMatch - 1; // lengths up to here are priced already
        for (const Match& match : matches.at(begin + i)) {
            const unsigned top = std::min<unsigned>(match.length, remaining);
            if (top <= covered) {
                break; // the rest is cut at the range's end as well
            }
            const std::uint32_t base = here + prices.distance(match.distance - 1u);
            offerLengths(&cost[i], &arrival[i], lengthPrices.data(), covered + 1, top, base,
                         arrivalOf(matchSymbol(0, match.distance)));
            covered = top;
        }
    }

    const std::size_t first = out.size();
    for (std::uint32_t i = n; i > 0;) {
        const Symbol symbol = symbolOf(arrival[i]);
        out.push_back(symbol);
        i -= symbol.code < 256 ? 1 : symbol.code - matchSymbolBias;
    }
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

// ---- Lazy parse ------------------------------------------------------------------------

LazyParser::LazyParser(std::span<const std::uint8_t> data, unsigned searchDepth)
    : data_(data), finder_(data, searchDepth) {}

void LazyParser::start(std::uint32_t pos) {
    for (std::uint32_t p = pos - std::min(pos, windowSize); p < pos; ++p) {
        finder_.insert(p);
    }
    pos_ = inserted_ = pos;
}

Match LazyParser::usefulMatch(std::uint32_t pos) const {
    // A three-byte match far back costs more than its three literals.
    constexpr unsigned farthestShortMatch = 2048;
    const Match match = finder_.longest(pos);
    if (match.length == minMatch && match.distance > farthestShortMatch) {
        return {0, 0};
    }
    return match;
}

Match LazyParser::searchAt(std::uint32_t pos) {
    const Match match = usefulMatch(pos);
    finder_.insert(pos);
    inserted_ = pos + 1;
    return match;
}

namespace {

// What a match saves, roughly, in units of a bit of distance: five per byte
// covered (a literal costs about that many bits more than its share of a
// match), less the distance's extra bits.
constexpr int gainPerByte = 5;
// How much more a match one or two positions on must save to be worth the
// literals it leaves before it.
constexpr int gainForOneLiteral = 3, gainForTwoLiterals = 6;

int gainOf(Match match) {
    return int(match.length) * gainPerByte - int(std::bit_width(unsigned{match.distance}));
}

} // namespace

std::uint32_t LazyParser::parse(std::uint32_t end, std::vector<Symbol>& out) {
    const auto size = static_cast<std::uint32_t>(data_.size());
    while (pos_ < end) {
        Match match = searchAt(pos_);
        if (match.length < minMatch) {
            out.push_back(literalSymbol(data_[pos_++]));
            continue;
        }
        // Put the match off while one starting a position or two later
        // saves enough more to pay for the literals before it.
        std::uint32_t start = pos_, ahead = pos_;
        while (ahead + 1 < size && match.length < maxMatch) {
            const Match next = searchAt(++ahead);
            if (next.length >= minMatch && gainOf(next) > gainOf(match) + gainForOneLiteral) {
                match = next;
                start = ahead;
                continue;
            }
            if (ahead + 1 >= size) {
                break;
            }
            const Match further = searchAt(++ahead);
            if (further.length >= minMatch &&
                gainOf(further) > gainOf(match) + gainForTwoLiterals) {
                match = further;
                start = ahead;
                continue;
            }
            break;
        }
        while (pos_ < start) {
            out.push_back(literalSymbol(data_[pos_++]));
        }
        out.push_back(matchSymbol(match.length, match.distance));
        pos_ += match.length;
        for (std::uint32_t p = inserted_; p < pos_; ++p) {
            finder_.insert(p);
        }
        inserted_ = std::max(inserted_, pos_);
    }
    return pos_;
}

} // namespace lzh
