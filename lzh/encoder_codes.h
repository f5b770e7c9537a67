// Huffman codes and block writing for the lh5 encoder: the constants of the
// stream, code length construction, the plan of a block header and the bit
// writer. See encoder.cpp for how the pieces fit together.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

// ---- Stream constants -------------------------------------------------------

inline constexpr unsigned windowSize = 8192;     // longest back distance
inline constexpr unsigned minMatch = 3;          // shortest match length
inline constexpr unsigned maxMatch = 256;        // longest match length
inline constexpr unsigned symbolAlphabet = 510;  // 256 literals + 254 match lengths
inline constexpr unsigned matchSymbolBias = 253; // symbol = match length + bias
inline constexpr unsigned lengthAlphabet = 19;   // the code that sends symbol code lengths
inline constexpr unsigned distanceAlphabet = 14; // distance classes 0..13
inline constexpr unsigned maxCodeLength = 16;
inline constexpr unsigned maxBlockSymbols = 65535; // the block count field is 16 bits

inline constexpr unsigned blockCountBits = 16;
inline constexpr unsigned lengthCountBits = 5;
inline constexpr unsigned symbolCountBits = 9;
inline constexpr unsigned distanceCountBits = 4;
// After the third length code length comes a 2-bit count of zero lengths.
inline constexpr unsigned lengthZeroRunAfter = 3;

// Length code symbols 0..2 stand for zero runs in the symbol code lengths;
// symbol k >= 3 stands for the length k - 2.
inline constexpr unsigned zeroRunOne = 0;   // exactly one zero
inline constexpr unsigned zeroRunShort = 1; // 3..18 zeros, 4 extra bits
inline constexpr unsigned zeroRunLong = 2;  // 20..531 zeros, 9 extra bits
inline constexpr unsigned shortRunMin = 3, shortRunMax = 18, shortRunBits = 4;
inline constexpr unsigned longRunMin = 20, longRunMax = 531, longRunBits = 9;
inline constexpr unsigned lengthSymbolBias = 2;

// One symbol of a block: a literal byte (code < 256) or a match (code >= 256)
// whose distance value is the back distance minus one (0..8191).
struct Symbol {
    std::uint16_t code;
    std::uint16_t distance;
};

inline Symbol literalSymbol(std::uint8_t byte) {
    return {byte, 0};
}
inline Symbol matchSymbol(unsigned length, unsigned backDistance) {
    return {static_cast<std::uint16_t>(length + matchSymbolBias),
            static_cast<std::uint16_t>(backDistance - 1)};
}

// Distance class of a distance value: 0 -> 0, 1 -> 1, 2..3 -> 2, ... 4096..8191 -> 13.
inline unsigned distanceClass(unsigned distanceValue) {
    return static_cast<unsigned>(std::bit_width(distanceValue));
}
inline unsigned distanceExtraBits(unsigned distanceClassValue) {
    return distanceClassValue > 1 ? distanceClassValue - 1 : 0;
}

// ---- Code lengths -----------------------------------------------------------

// Optimal code lengths of at most maxLength bits for the given frequencies
// (package-merge). Symbols with frequency 0 get length 0. With two or more
// used symbols the code is complete; with one, its length is 0 too (the
// stream's single-value form needs no code). Returns the number of used symbols.
unsigned buildCodeLengths(std::span<const std::uint32_t> frequencies, unsigned maxLength,
                          std::span<std::uint8_t> lengths);

// Canonical codes for the lengths: by length, then by symbol, counting upward.
void assignCanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

// ---- Block plan -------------------------------------------------------------

// What a block's symbols use of each code.
struct Histogram {
    std::array<std::uint32_t, symbolAlphabet> symbols{};
    std::array<std::uint32_t, distanceAlphabet> distances{};
    std::uint32_t count = 0; // symbols in the block
};

Histogram histogramOf(std::span<const Symbol> symbols);

// One element of the symbol code length section: a length code symbol and
// the extra bits of a zero run.
struct LengthItem {
    std::uint8_t symbol;
    std::uint16_t extra;
};

// A code as the block header sends it: lengths, or the single-value form
// when fewer than two symbols are used.
struct CodeSection {
    std::vector<std::uint8_t> lengths;
    unsigned used = 0;
    unsigned singleValue = 0;
};

// Everything the header of a block holds, with its exact size in bits.
struct BlockPlan {
    CodeSection lengthCode;   // 19 symbols
    CodeSection symbolCode;   // 510 symbols
    CodeSection distanceCode; // 14 symbols
    std::vector<LengthItem> symbolLengthItems;
    std::uint64_t headerBits = 0; // block count field and the three sections
    std::uint64_t dataBits = 0;   // the symbols with their distances
    std::uint64_t totalBits() const {
        return headerBits + dataBits;
    }
};

// Builds the codes of a block with the given histogram, choosing the
// smallest header for them.
BlockPlan planBlock(const Histogram& histogram);

// Bits a symbol costs under the plan (0 for the single-value form).
inline unsigned symbolBits(const BlockPlan& plan, unsigned code) {
    return plan.symbolCode.used > 1 ? plan.symbolCode.lengths[code] : 0;
}
inline unsigned distanceClassBits(const BlockPlan& plan, unsigned distanceClassValue) {
    return plan.distanceCode.used > 1 ? plan.distanceCode.lengths[distanceClassValue] : 0;
}

// ---- Bit writer ---------------------------------------------------------------

// Writes bits most significant first, bytes in increasing order.
class BitWriter {
  public:
    void put(unsigned bitCount, std::uint32_t value) {
        accumulator_ = (accumulator_ << bitCount) | value;
        pending_ += bitCount;
        while (pending_ >= 8) {
            pending_ -= 8;
            bytes_.push_back(static_cast<std::uint8_t>(accumulator_ >> pending_));
        }
    }
    // Pads the last byte with zero bits.
    void flush() {
        if (pending_ > 0) {
            put(8 - pending_, 0);
        }
    }
    std::vector<std::uint8_t>& bytes() {
        return bytes_;
    }

  private:
    std::uint64_t accumulator_ = 0;
    unsigned pending_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Writes one block: its header as planned, then the symbols.
void writeBlock(BitWriter& writer, std::span<const Symbol> symbols, const BlockPlan& plan);

} // namespace lzh
