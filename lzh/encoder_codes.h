// Huffman codes and block writing for the lh5 encoder: code length
// construction, the plan of a block header and the bit
// writer. See encoder.cpp for how the pieces fit together.
#pragma once

#include "lzh/lh5_format.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lzh {

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
    // Appends the bits another writer was given (before its flush), as if
    // they had been put here: pieces of a stream written apart join up.
    void append(const BitWriter& other) {
        if (pending_ == 0) {
            bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        } else {
            for (std::uint8_t byte : other.bytes_) {
                put(8, byte);
            }
        }
        if (other.pending_ > 0) {
            put(other.pending_,
                static_cast<std::uint32_t>(other.accumulator_ & ((1u << other.pending_) - 1)));
        }
    }

  private:
    std::uint64_t accumulator_ = 0;
    unsigned pending_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Writes one block: its header as planned, then the symbols.
void writeCodedBlock(BitWriter& writer, std::span<const Symbol> symbols, const BlockPlan& plan);

} // namespace lzh
