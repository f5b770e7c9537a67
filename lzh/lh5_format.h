// The lh5 stream as both sides see it: the decoder in the setup program and
// the encoder in zuq pack. Every number of the format lives here once, so
// that the two cannot drift apart.
//
// A stream is a run of blocks. Each block sends a 16-bit symbol count, the
// length code (19 symbols, used only to send the symbol code's lengths), the
// symbol code (510 symbols: literals and match lengths) and the distance code
// (14 distance classes), then its symbols. Bits go most significant first.
#pragma once

#include <bit>
#include <cstdint>

// The sliding window, which is also the decoder's unit of output.
inline constexpr std::uint32_t windowSize = 8192;
inline constexpr std::uint32_t windowMask = windowSize - 1;
static_assert((windowSize & windowMask) == 0, "window positions are taken with a mask");

// ---- Alphabets ------------------------------------------------------------

inline constexpr std::uint32_t symbolAlphabet = 510;  // literals 0-255, matches 256-509
inline constexpr std::uint32_t lengthAlphabet = 19;   // the code that sends symbol lengths
inline constexpr std::uint32_t distanceAlphabet = 14; // distance classes 0-13

inline constexpr std::uint32_t firstMatchSymbol = 256;
inline constexpr std::uint32_t minMatch = 3;
inline constexpr std::uint32_t maxMatch = 256;
inline constexpr std::uint32_t matchSymbolBias = 253; // symbol = match length + 253
static_assert(firstMatchSymbol == minMatch + matchSymbolBias);
static_assert(symbolAlphabet == maxMatch + matchSymbolBias + 1);

// No code of any of the three is longer than this.
inline constexpr std::uint32_t longestCode = 16;

// ---- Field widths -----------------------------------------------------------

inline constexpr std::uint32_t blockCountBits = 16;
inline constexpr std::uint32_t maxBlockSymbols = (1u << blockCountBits) - 1;
inline constexpr std::uint32_t lengthCountBits = 5;
inline constexpr std::uint32_t symbolCountBits = 9;
inline constexpr std::uint32_t distanceCountBits = 4;
// A count field of 0 selects the single-value form: a value of the same
// width follows, and no lengths.
static_assert((1u << lengthCountBits) > lengthAlphabet);
static_assert((1u << symbolCountBits) > symbolAlphabet);
static_assert((1u << distanceCountBits) > distanceAlphabet);

// A length of the length or distance code: 3 bits; the value 7 continues in
// unary, one bit per further length and a closing zero bit.
inline constexpr std::uint32_t auxLengthBits = 3;
inline constexpr std::uint32_t unaryLengthStart = 7;

// The length code carries a 2-bit count of zero lengths right after its
// third length; the distance code has no such field (noZeroRunField: the
// position a section never reaches, since it is tested after a length).
inline constexpr std::uint32_t lengthZeroRunAfter = 3;
inline constexpr std::uint32_t lengthZeroRunBits = 2;
inline constexpr std::uint32_t noZeroRunField = 0;
// At most three zeros after the third length stay inside the alphabet.
static_assert(lengthZeroRunAfter + (1u << lengthZeroRunBits) - 1 <= lengthAlphabet);

// ---- Symbol code lengths through the length code ------------------------------

// Length code symbols 0 to 2 stand for runs of zero lengths; symbol k from 3
// on stands for the length k - 2.
inline constexpr std::uint32_t zeroRunOne = 0;   // exactly one zero
inline constexpr std::uint32_t zeroRunShort = 1; // shortRunBits follow: 3 to 18 zeros
inline constexpr std::uint32_t zeroRunLong = 2;  // longRunBits follow: 20 to 531 zeros
inline constexpr std::uint32_t firstLengthSymbol = 3;
inline constexpr std::uint32_t lengthSymbolBias = 2;
inline constexpr std::uint32_t shortRunMin = 3, shortRunBits = 4;
inline constexpr std::uint32_t shortRunMax = shortRunMin + (1u << shortRunBits) - 1;
inline constexpr std::uint32_t longRunMin = 20, longRunBits = 9;
inline constexpr std::uint32_t longRunMax = longRunMin + (1u << longRunBits) - 1;
static_assert(firstLengthSymbol == lengthSymbolBias + 1);
static_assert(lengthAlphabet - 1 - lengthSymbolBias == longestCode);
static_assert(shortRunMax == 18 && longRunMax == 531);

// ---- Distances ------------------------------------------------------------------

// Distance class s stands for the distance values 2^(s-1) to 2^s - 1: class
// 0 is 0, class 1 is 1, and from class 2 on s - 1 extra bits follow. A match
// starts distance value + 1 bytes back.
inline constexpr std::uint32_t distanceClassOf(std::uint32_t distanceValue) {
    return static_cast<std::uint32_t>(std::bit_width(distanceValue));
}
inline constexpr std::uint32_t distanceExtraBits(std::uint32_t distanceClass) {
    return distanceClass > 1 ? distanceClass - 1 : 0;
}
inline constexpr std::uint32_t distanceClassBase(std::uint32_t distanceClass) {
    return distanceClass == 0 ? 0 : 1u << (distanceClass - 1);
}
static_assert(distanceClassBase(distanceAlphabet - 1) +
                  (1u << distanceExtraBits(distanceAlphabet - 1)) ==
              windowSize);

// ---- Bounds -----------------------------------------------------------------------

// The most bytes one block can take: its count, three codes sent with the
// longest lengths (each symbol length item with the widest zero run as
// well), and every symbol a match of the longest codes with the widest
// extra bits.
inline constexpr std::uint64_t longestAuxLengthBits =
    auxLengthBits + (longestCode - unaryLengthStart) + 1;
inline constexpr std::uint64_t longestBlockBits =
    blockCountBits + lengthCountBits + lengthAlphabet * longestAuxLengthBits + lengthZeroRunBits +
    symbolCountBits + symbolAlphabet * (longestCode + longRunBits) + distanceCountBits +
    distanceAlphabet * longestAuxLengthBits +
    std::uint64_t{maxBlockSymbols} * (2 * longestCode + distanceExtraBits(distanceAlphabet - 1));
inline constexpr std::uint64_t longestBlockBytes = (longestBlockBits + 7) / 8;
