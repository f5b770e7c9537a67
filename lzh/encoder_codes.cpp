// Huffman codes and block writing for the lh5 encoder.
//
// A block header sends three codes as canonical code lengths. The header is
// produced by one visitor (visitHeader) that both counts and writes, so the
// size the parser plans with is exactly the size that lands in the stream.
#include "lzh/encoder_codes.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace lzh {

// ---- Code lengths -----------------------------------------------------------

namespace {

// Plain Huffman lengths for the leaves (frequencies in increasing order, of
// the symbols in order), by the two-queue method; a leaf goes before an equal
// node, which keeps the code as shallow as it can be. Returns false, leaving
// lengths alone, when some length would exceed maxLength: most codes fit, and
// this is far cheaper than package-merge, which then gives the same total.
bool huffmanLengths(const std::vector<std::uint64_t>& leaves, const std::vector<unsigned>& order,
                    unsigned maxLength, std::span<std::uint8_t> lengths) {
    const std::size_t n = leaves.size();
    // Nodes n.. are the merged ones, in the order made (so by weight); each
    // item's parent is a node made after it.
    std::vector<std::uint64_t> weight(2 * n - 1);
    std::vector<std::uint32_t> parent(2 * n - 1);
    std::copy(leaves.begin(), leaves.end(), weight.begin());
    std::size_t leaf = 0, node = n;
    const auto takeLowest = [&](std::size_t made) {
        const bool takeLeaf = leaf < n && (node == made || weight[leaf] <= weight[node]);
        return takeLeaf ? leaf++ : node++;
    };
    for (std::size_t made = n; made < 2 * n - 1; ++made) {
        const std::size_t a = takeLowest(made);
        const std::size_t b = takeLowest(made);
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint32_t>(made);
    }
    // Depths from the root down; the weights' storage holds them now.
    std::vector<std::uint64_t>& depth = weight;
    depth[2 * n - 2] = 0;
    for (std::size_t i = 2 * n - 2; i-- > 0;) {
        depth[i] = depth[parent[i]] + 1;
    }
    if (depth[0] > maxLength) { // the rarest leaf is the deepest
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        lengths[order[i]] = static_cast<std::uint8_t>(depth[i]);
    }
    return true;
}

} // namespace

unsigned buildCodeLengths(std::span<const std::uint32_t> frequencies, unsigned maxLength,
                          std::span<std::uint8_t> lengths) {
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
    std::vector<unsigned> order;
    for (unsigned s = 0; s < frequencies.size(); ++s) {
        if (frequencies[s] > 0) {
            order.push_back(s);
        }
    }
    const std::size_t n = order.size();
    if (n < 2) {
        return static_cast<unsigned>(n);
    }
    // Ties broken by symbol number, so the same histogram gives the same code.
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return frequencies[a] < frequencies[b]; });
    std::vector<std::uint64_t> leaves(n);
    for (std::size_t i = 0; i < n; ++i) {
        leaves[i] = frequencies[order[i]];
    }

    if (huffmanLengths(leaves, order, maxLength, lengths)) {
        return static_cast<unsigned>(n);
    }

    // Package-merge: list d holds the leaves merged with the packages
    // (adjacent pairs) of list d + 1; the deepest list holds the leaves alone.
    // Only which items are packages is needed to read the lengths back.
    std::vector<std::vector<bool>> isPackage(maxLength + 1);
    std::vector<std::uint64_t> below = leaves;
    isPackage[maxLength].assign(n, false);
    for (unsigned depth = maxLength - 1; depth >= 1; --depth) {
        std::vector<std::uint64_t> packages(below.size() / 2);
        for (std::size_t k = 0; k < packages.size(); ++k) {
            packages[k] = below[2 * k] + below[2 * k + 1];
        }
        std::vector<std::uint64_t> merged;
        std::vector<bool>& flags = isPackage[depth];
        merged.reserve(n + packages.size());
        std::size_t i = 0, j = 0;
        while (i < n || j < packages.size()) {
            const bool takeLeaf = j == packages.size() || (i < n && leaves[i] <= packages[j]);
            merged.push_back(takeLeaf ? leaves[i++] : packages[j++]);
            flags.push_back(!takeLeaf);
        }
        below = std::move(merged);
    }

    // The 2n - 2 cheapest items of the top list form the code; each package
    // taken pulls its two items from the list below. A leaf's length is the
    // number of lists in which it is taken.
    std::size_t take = 2 * n - 2;
    for (unsigned depth = 1; depth <= maxLength && take > 0; ++depth) {
        std::size_t leafCount = 0, packageCount = 0;
        for (std::size_t k = 0; k < take; ++k) {
            isPackage[depth][k] ? ++packageCount : ++leafCount;
        }
        for (std::size_t k = 0; k < leafCount; ++k) {
            ++lengths[order[k]];
        }
        take = 2 * packageCount;
    }
    return static_cast<unsigned>(n);
}

void assignCanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
    std::array<unsigned, longestCode + 2> count{};
    for (std::uint8_t length : lengths) {
        ++count[length];
    }
    std::array<unsigned, longestCode + 2> next{};
    count[0] = 0;
    for (unsigned length = 1; length <= longestCode; ++length) {
        next[length + 1] = (next[length] + count[length]) << 1;
    }
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        codes[s] = lengths[s] ? static_cast<std::uint16_t>(next[lengths[s]]++) : 0;
    }
}

// ---- Header layout ----------------------------------------------------------

namespace {

unsigned sectionCount(const std::vector<std::uint8_t>& lengths) {
    unsigned n = static_cast<unsigned>(lengths.size());
    while (n > 0 && lengths[n - 1] == 0) {
        --n;
    }
    return n;
}

// Calls put(bitCount, value) for each field of a length or distance code
// section: count, then 3-bit lengths with a unary tail from 7 on, and for the
// length code a 2-bit zero count after the third length.
template <typename Put>
void visitAuxSection(const CodeSection& section, unsigned countBits, unsigned zeroRunAfter,
                     Put&& put) {
    if (section.used < 2) {
        put(countBits, 0);
        put(countBits, section.singleValue);
        return;
    }
    const unsigned n = sectionCount(section.lengths);
    put(countBits, n);
    for (unsigned i = 0; i < n;) {
        const unsigned length = section.lengths[i++];
        if (length < unaryLengthStart) {
            put(auxLengthBits, length);
        } else {
            put(auxLengthBits, unaryLengthStart);
            // length - 7 one bits and a closing zero bit
            const unsigned ones = length - unaryLengthStart;
            put(ones + 1, ((1u << ones) - 1) << 1);
        }
        if (i == zeroRunAfter) {
            unsigned zeros = 0;
            while (zeros < (1u << lengthZeroRunBits) - 1 && i + zeros < n &&
                   section.lengths[i + zeros] == 0) {
                ++zeros;
            }
            put(lengthZeroRunBits, zeros);
            i += zeros;
        }
    }
}

template <typename Put>
void visitSymbolSection(const BlockPlan& plan,
                        const std::array<std::uint16_t, lengthAlphabet>& codes, Put&& put) {
    const CodeSection& symbols = plan.symbolCode;
    if (symbols.used < 2) {
        put(symbolCountBits, 0);
        put(symbolCountBits, symbols.singleValue);
        return;
    }
    put(symbolCountBits, sectionCount(symbols.lengths));
    const bool lengthCodeSent = plan.lengthCode.used > 1;
    for (const LengthItem& item : plan.symbolLengthItems) {
        if (lengthCodeSent) {
            put(plan.lengthCode.lengths[item.symbol], codes[item.symbol]);
        }
        if (item.symbol == zeroRunShort) {
            put(shortRunBits, item.extra);
        } else if (item.symbol == zeroRunLong) {
            put(longRunBits, item.extra);
        }
    }
}

template <typename Put> void visitHeader(const BlockPlan& plan, unsigned symbolCount, Put&& put) {
    std::array<std::uint16_t, lengthAlphabet> lengthCodes{};
    if (plan.lengthCode.used > 1) {
        assignCanonicalCodes(plan.lengthCode.lengths, lengthCodes);
    }
    put(blockCountBits, symbolCount);
    visitAuxSection(plan.lengthCode, lengthCountBits, lengthZeroRunAfter, put);
    visitSymbolSection(plan, lengthCodes, put);
    visitAuxSection(plan.distanceCode, distanceCountBits, noZeroRunField, put);
}

std::uint64_t auxSectionBits(const CodeSection& section, unsigned countBits,
                             unsigned zeroRunAfter) {
    std::uint64_t bits = 0;
    visitAuxSection(section, countBits, zeroRunAfter, [&](unsigned n, unsigned) { bits += n; });
    return bits;
}

CodeSection makeSection(std::span<const std::uint32_t> frequencies, unsigned maxLength) {
    CodeSection section;
    section.lengths.assign(frequencies.size(), 0);
    section.used = buildCodeLengths(frequencies, maxLength, section.lengths);
    if (section.used == 1) {
        section.singleValue = static_cast<unsigned>(
            std::find_if(frequencies.begin(), frequencies.end(), [](auto f) { return f > 0; }) -
            frequencies.begin());
    }
    return section;
}

// Bits of each length code symbol including its extra bits, as seen by the
// zero-run chooser. Symbols the code lacks get a guess.
using LengthSymbolCosts = std::array<unsigned, lengthAlphabet>;

LengthSymbolCosts lengthSymbolCosts(const CodeSection& lengthCode) {
    LengthSymbolCosts costs{};
    constexpr unsigned guessForMissing = 7;
    for (unsigned s = 0; s < lengthAlphabet; ++s) {
        costs[s] = lengthCode.used > 1 && lengthCode.lengths[s]          ? lengthCode.lengths[s]
                   : lengthCode.used == 1 && lengthCode.singleValue == s ? 0
                                                                         : guessForMissing;
    }
    costs[zeroRunShort] += shortRunBits;
    costs[zeroRunLong] += longRunBits;
    return costs;
}

// Splits each run of zero lengths into the cheapest sequence of the three
// zero-run forms. A run of 19, for instance, becomes 18 + 1.
class ZeroRunChooser {
  public:
    explicit ZeroRunChooser(const LengthSymbolCosts& costs) : costs_(costs) {
        best_.push_back(0);
        piece_.push_back(0);
    }

    void append(unsigned run, std::vector<LengthItem>& items) {
        extendTo(run);
        while (run > 0) {
            const unsigned piece = piece_[run];
            if (piece == 1) {
                items.push_back({zeroRunOne, 0});
            } else if (piece <= shortRunMax) {
                items.push_back({zeroRunShort, static_cast<std::uint16_t>(piece - shortRunMin)});
            } else {
                items.push_back({zeroRunLong, static_cast<std::uint16_t>(piece - longRunMin)});
            }
            run -= piece;
        }
    }

  private:
    void extendTo(unsigned run) {
        for (unsigned r = static_cast<unsigned>(best_.size()); r <= run; ++r) {
            unsigned best = best_[r - 1] + costs_[zeroRunOne];
            unsigned piece = 1;
            for (unsigned m = shortRunMin; m <= std::min(r, shortRunMax); ++m) {
                if (best_[r - m] + costs_[zeroRunShort] < best) {
                    best = best_[r - m] + costs_[zeroRunShort];
                    piece = m;
                }
            }
            if (r >= longRunMin && r <= longRunMax && costs_[zeroRunLong] < best) {
                best = costs_[zeroRunLong];
                piece = r;
            }
            best_.push_back(best);
            piece_.push_back(piece);
        }
    }

    const LengthSymbolCosts& costs_;
    std::vector<unsigned> best_;
    std::vector<unsigned> piece_;
};

std::vector<LengthItem> symbolLengthItems(const std::vector<std::uint8_t>& symbolLengths,
                                          const LengthSymbolCosts& costs) {
    std::vector<LengthItem> items;
    ZeroRunChooser chooser(costs);
    const unsigned n = sectionCount(symbolLengths);
    for (unsigned i = 0; i < n;) {
        if (symbolLengths[i] != 0) {
            items.push_back({static_cast<std::uint8_t>(symbolLengths[i] + lengthSymbolBias), 0});
            ++i;
            continue;
        }
        unsigned run = 0;
        while (symbolLengths[i + run] == 0) {
            ++run; // ends before n, since length n - 1 is not zero
        }
        chooser.append(run, items);
        i += run;
    }
    return items;
}

std::uint64_t symbolSectionBits(const BlockPlan& plan) {
    std::uint64_t bits = 0;
    visitSymbolSection(plan, {}, [&](unsigned n, unsigned) { bits += n; });
    return bits;
}

// The length code is never sent in its single-value form, nor with fewer
// than three lengths: some other lh5 readers refuse such a stream. Where one
// length code symbol would do, a second one gets a length too (a 1-bit code
// for the used symbol). Used symbols are lengths (3 and up) whenever the
// symbol code has two or more, so the section then holds four lengths or more.
CodeSection lengthCodeOfAtLeastTwo(CodeSection section) {
    if (section.used >= 2) {
        return section;
    }
    section.lengths.assign(lengthAlphabet, 0);
    if (section.used == 1) {
        section.lengths[section.singleValue] = 1;
        section.lengths[section.singleValue == 0 ? 2 : 0] = 1;
    } else {
        section.lengths[0] = 1; // nothing to send: two lengths, three entries
        section.lengths[2] = 1;
    }
    section.used = 2;
    section.singleValue = 0;
    return section;
}

// Chooses the zero-run forms and the length code together: each round
// builds the code for the current items, then re-chooses the items for that
// code. Shorter length limits are tried too, since lengths above 6 cost
// extra header bits.
void planSymbolLengths(BlockPlan& plan) {
    if (plan.symbolCode.used < 2) {
        plan.lengthCode = lengthCodeOfAtLeastTwo(CodeSection{});
        plan.symbolLengthItems.clear();
        return;
    }
    constexpr unsigned rounds = 3;
    constexpr std::array<unsigned, 4> limits{longestCode, 7, 6, 5};
    std::uint64_t bestBits = std::numeric_limits<std::uint64_t>::max();
    BlockPlan trial = plan;
    LengthSymbolCosts costs = lengthSymbolCosts(CodeSection{});
    for (unsigned round = 0; round < rounds; ++round) {
        trial.symbolLengthItems = symbolLengthItems(plan.symbolCode.lengths, costs);
        std::array<std::uint32_t, lengthAlphabet> frequencies{};
        for (const LengthItem& item : trial.symbolLengthItems) {
            ++frequencies[item.symbol];
        }
        bool improved = false;
        for (unsigned limit : limits) {
            trial.lengthCode = lengthCodeOfAtLeastTwo(makeSection(frequencies, limit));
            const std::uint64_t bits =
                auxSectionBits(trial.lengthCode, lengthCountBits, lengthZeroRunAfter) +
                symbolSectionBits(trial);
            if (bits < bestBits) {
                bestBits = bits;
                plan.lengthCode = trial.lengthCode;
                plan.symbolLengthItems = trial.symbolLengthItems;
                improved = true;
            }
        }
        if (!improved) {
            break;
        }
        costs = lengthSymbolCosts(plan.lengthCode);
    }
}

std::uint64_t distanceBits(const CodeSection& distanceCode, const Histogram& histogram) {
    std::uint64_t bits = 0;
    for (unsigned c = 0; c < distanceAlphabet; ++c) {
        const unsigned codeBits = distanceCode.used > 1 ? distanceCode.lengths[c] : 0;
        bits += std::uint64_t{histogram.distances[c]} * (codeBits + distanceExtraBits(c));
    }
    return bits;
}

// The distance code with the limit that makes its section and its data smallest.
CodeSection planDistanceCode(const Histogram& histogram) {
    constexpr std::array<unsigned, 5> limits{longestCode, 7, 6, 5, 4};
    CodeSection best;
    std::uint64_t bestBits = std::numeric_limits<std::uint64_t>::max();
    for (unsigned limit : limits) {
        CodeSection section = makeSection(histogram.distances, limit);
        const std::uint64_t bits = auxSectionBits(section, distanceCountBits, noZeroRunField) +
                                   distanceBits(section, histogram);
        if (bits < bestBits) {
            bestBits = bits;
            best = std::move(section);
        }
    }
    return best;
}

} // namespace

// ---- Block plan ---------------------------------------------------------------

Histogram histogramOf(std::span<const Symbol> symbols) {
    Histogram histogram;
    for (const Symbol& symbol : symbols) {
        ++histogram.symbols[symbol.code];
        if (symbol.code >= 256) {
            ++histogram.distances[distanceClassOf(symbol.distance)];
        }
    }
    histogram.count = static_cast<std::uint32_t>(symbols.size());
    return histogram;
}

BlockPlan planBlock(const Histogram& histogram) {
    BlockPlan plan;
    plan.symbolCode = makeSection(histogram.symbols, longestCode);
    plan.distanceCode = planDistanceCode(histogram);
    planSymbolLengths(plan);

    plan.headerBits = 0;
    visitHeader(plan, histogram.count, [&](unsigned n, unsigned) { plan.headerBits += n; });
    plan.dataBits = distanceBits(plan.distanceCode, histogram);
    for (unsigned s = 0; s < symbolAlphabet; ++s) {
        plan.dataBits += std::uint64_t{histogram.symbols[s]} * symbolBits(plan, s);
    }
    return plan;
}

// ---- Block writing --------------------------------------------------------------

void writeCodedBlock(BitWriter& writer, std::span<const Symbol> symbols, const BlockPlan& plan) {
    visitHeader(plan, static_cast<unsigned>(symbols.size()),
                [&](unsigned n, unsigned value) { writer.put(n, value); });

    std::array<std::uint16_t, symbolAlphabet> symbolCodes{};
    std::array<std::uint16_t, distanceAlphabet> distanceCodes{};
    assignCanonicalCodes(plan.symbolCode.lengths, symbolCodes);
    assignCanonicalCodes(plan.distanceCode.lengths, distanceCodes);
    for (const Symbol& symbol : symbols) {
        writer.put(symbolBits(plan, symbol.code), symbolCodes[symbol.code]);
        if (symbol.code < 256) {
            continue;
        }
        const unsigned c = distanceClassOf(symbol.distance);
        writer.put(distanceClassBits(plan, c), distanceCodes[c]);
        if (c > 1) {
            writer.put(c - 1, symbol.distance - (1u << (c - 1)));
        }
    }
}

} // namespace lzh
