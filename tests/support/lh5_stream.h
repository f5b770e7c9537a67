// Writes lh5 streams symbol by symbol with code lengths the caller chooses,
// so tests can build exactly the stream shape they need, broken ones too.
// This is a stream writer, not a compressor: it makes no choices of its own.
#pragma once

#include "lzh/lh5_format.h"
#include "tests/support/lzh_container.h"

#include <cstdint>
#include <vector>

constexpr int lh5SymbolAlphabet = 510;
constexpr int lh5LengthAlphabet = 19;
constexpr int lh5DistanceAlphabet = 14;

// Bits, most significant first, packed into bytes; the last byte is padded
// with zero bits.
class StreamBits {
  public:
    void put(std::uint32_t value, int bits);
    Bytes bytes() const;
    std::uint64_t bitCount() const {
        return bitCount_;
    }

  private:
    Bytes bytes_;
    std::uint64_t bitCount_ = 0;
};

// A complete prefix code over the given symbols (all other lengths 0): the
// lengths differ by at most one. Needs at least two symbols.
std::vector<int> flatLengths(int alphabet, const std::vector<int>& symbols);

// Canonical codes of the lengths: by length, then symbol, counting upward.
std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths);

// The length code symbols needed to send the given symbol code lengths.
std::vector<int> lengthCodeSymbolsFor(const std::vector<int>& symbolLens);

class Lh5Writer {
  public:
    // A block header. An empty lengths vector sends that code in
    // single-value form with the matching single value.
    struct Header {
        std::uint32_t symbolCount = 0;
        std::vector<int> lengthLens; // 19 or empty
        std::uint32_t lengthSingle = 0;
        std::vector<int> symbolLens; // 510 or empty
        std::uint32_t symbolSingle = 0;
        std::vector<int> distanceLens; // 14 or empty
        std::uint32_t distanceSingle = 0;
    };
    void header(const Header& h);
    // A block header whose codes cover exactly the symbols and distance
    // classes given (single-value form where only one is used).
    void header(std::uint32_t symbolCount, const std::vector<int>& symbols,
                const std::vector<int>& distanceClasses);

    // A block header with the given symbol and distance code lengths (empty:
    // single-value form with value 0); the length code is made to fit.
    void headerWithLengths(std::uint32_t symbolCount, const std::vector<int>& symbolLens,
                           const std::vector<int>& distanceLens);

    void literal(std::uint8_t byte);
    // A match of 3 to 256 bytes starting distance + 1 bytes back.
    void match(int length, std::uint32_t distance);

    StreamBits& bits() {
        return bits_;
    }
    Bytes bytes() const {
        return bits_.bytes();
    }

  private:
    void auxLengths(const std::vector<int>& lens, int countBits, bool zeroRunField);
    void symbolLengths(const std::vector<int>& lens);
    void code(const std::vector<int>& lens, const std::vector<std::uint32_t>& codes,
              std::uint32_t single, int symbol);

    StreamBits bits_;
    std::vector<int> lengthLens_, symbolLens_, distanceLens_;
    std::vector<std::uint32_t> lengthCodes_, symbolCodes_, distanceCodes_;
    std::uint32_t lengthSingle_ = 0, symbolSingle_ = 0, distanceSingle_ = 0;
};

// What the decoder made of a whole stream.
struct Lh5Result {
    Bytes output;         // the chunks decoded before any damage was seen
    bool damaged = false; // decodeError was set after some chunk
};

// Runs the decoder over packed (read in place, nothing past its end) for
// size bytes, in chunks of 8192 as extraction does.
Lh5Result decodeLh5(const std::uint8_t* packed, std::size_t packedSize, std::size_t size);
Lh5Result decodeLh5(const Bytes& packed, std::size_t size);

// A valid lh5 stream of data sent as literals only (blocks of at most 65535
// symbols, an 8-bit code over all 256 byte values).
Bytes literalStream(const Bytes& data);
