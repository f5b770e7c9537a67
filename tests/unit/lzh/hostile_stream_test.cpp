// Streams that no sound encoder writes: each is refused as damaged, without
// reading or writing outside the decoder's tables (ASan watches) and without
// looping on.
#include "lzh/decoder.h"

#include "tests/support/lh5_stream.h"
#include "tests/support/reference_lh5.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A block header start: symbol count, then whatever the test adds.
StreamBits blockStart() {
    StreamBits bits;
    bits.put(100, 16);
    return bits;
}

// A length code of two one-bit lengths for symbols 0 and 1.
void smallLengthCode(StreamBits& bits) {
    bits.put(2, 5);
    bits.put(1, 3);
    bits.put(1, 3);
}

bool damaged(StreamBits& bits) {
    bits.put(0, 32); // enough bits that the stream is not merely cut short
    return decodeLh5(bits.bytes(), windowSize).damaged;
}

// Decodes just the symbols of the one block that blockStart announces, so
// that no further header is read from the padding: the block's own header
// is then the only thing that can be refused.
bool blockDamaged(StreamBits& bits) {
    bits.put(0, 32);
    return decodeLh5(bits.bytes(), 100).damaged;
}

// Sends a length or distance code section: the count, then each length in
// 3 bits with the unary tail from 7 on, and for the length code the 2-bit
// zero run after the third length (always 0 here).
void auxSection(StreamBits& bits, const std::vector<int>& lens, int countBits, bool zeroRunField) {
    bits.put(static_cast<std::uint32_t>(lens.size()), countBits);
    for (std::size_t i = 0; i < lens.size(); ++i) {
        int len = lens[i];
        if (len < 7) {
            bits.put(static_cast<std::uint32_t>(len), 3);
        } else {
            bits.put(7, 3);
            for (int k = 7; k < len; ++k) {
                bits.put(1, 1);
            }
            bits.put(0, 1);
        }
        if (zeroRunField && i == 2) {
            bits.put(0, 2);
        }
    }
}

// The sum that makes a code complete: each length L adds 2^(16 - L).
std::uint32_t kraftSum(const std::vector<int>& lens) {
    std::uint32_t sum = 0;
    for (int len : lens) {
        sum += len ? 1u << (16 - len) : 0;
    }
    return sum;
}

// Decodes with the plain decoder in tests/support, as decodeLh5 does.
Lh5Result referenceDecode(const Bytes& packed, std::size_t size) {
    Lh5Result result;
    referenceLh5::decodeError = 0;
    referenceLh5::decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    for (std::size_t remaining = size; remaining > 0;) {
        auto n = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, windowSize));
        referenceLh5::decodeChunk(n, referenceLh5::decodeWindow);
        if (referenceLh5::decodeError) {
            result.damaged = true;
            break;
        }
        result.output.insert(result.output.end(), referenceLh5::decodeWindow,
                             referenceLh5::decodeWindow + n);
        remaining -= n;
    }
    return result;
}

} // namespace

TEST(DecoderHostile, LengthCodeLengthAboveSixteen) {
    StreamBits bits = blockStart();
    bits.put(1, 5);
    bits.put(7, 3);
    bits.put(0x3FF, 10); // 7 + 10 = 17
    bits.put(0, 1);
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, UnaryExtensionWithoutClosingZero) {
    // Thirteen one bits after 111 reach 20, with no zero in nextBits.
    StreamBits bits = blockStart();
    bits.put(1, 5);
    bits.put(7, 3);
    bits.put(0x1FFF, 13);
    bits.put(0xFFFF, 16);
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, DistanceCodeLengthAboveSixteen) {
    StreamBits bits = blockStart();
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put('a', 9);
    bits.put(2, 4);
    bits.put(7, 3);
    bits.put(0xFFF, 12); // 19
    bits.put(0, 1);
    bits.put(1, 3);
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, LengthCodeCountAboveAlphabet) {
    for (std::uint32_t n : {20u, 31u}) {
        StreamBits bits = blockStart();
        bits.put(n, 5);
        for (std::uint32_t i = 0; i < n; ++i) {
            bits.put(5, 3);
            if (i == 2) {
                bits.put(0, 2);
            }
        }
        EXPECT_TRUE(damaged(bits)) << n;
    }
}

TEST(DecoderHostile, SymbolCodeCountAboveAlphabet) {
    StreamBits bits = blockStart();
    smallLengthCode(bits);
    bits.put(511, 9);
    for (int i = 0; i < 511; ++i) {
        bits.put(0, 1);
    }
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, CompleteLengthCodeOfTwentyLengths) {
    // Twenty lengths that make a complete code (12 of 4 bits, 8 of 5): only
    // the count check refuses them. The symbol and distance codes follow in
    // single-value form, so nothing else in the block is wrong.
    std::vector<int> lens(12, 4);
    lens.insert(lens.end(), 8, 5);
    ASSERT_EQ(lens.size(), 20u);
    ASSERT_EQ(kraftSum(lens), 0x10000u);
    StreamBits bits = blockStart();
    auxSection(bits, lens, 5, true);
    bits.put(0, 9);
    bits.put('a', 9);
    bits.put(0, 4);
    bits.put(0, 4);
    EXPECT_TRUE(blockDamaged(bits));
}

TEST(DecoderHostile, CompleteDistanceCodeOfFifteenLengths) {
    // Fifteen distance lengths 1, 2, ..., 14, 14: a complete code with a
    // fifteenth class. The block's symbols are literals only, so only the
    // count check refuses it.
    std::vector<int> lens;
    for (int len = 1; len <= 14; ++len) {
        lens.push_back(len);
    }
    lens.push_back(14);
    ASSERT_EQ(kraftSum(lens), 0x10000u);
    StreamBits bits = blockStart();
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put('a', 9);
    auxSection(bits, lens, 4, false);
    EXPECT_TRUE(blockDamaged(bits));
}

TEST(DecoderHostile, DistanceCodeCountAboveAlphabet) {
    StreamBits bits = blockStart();
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put('a', 9);
    bits.put(15, 4);
    for (int i = 0; i < 15; ++i) {
        bits.put(4, 3);
    }
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, ZeroRunPastTheEndOfTheSymbolLengths) {
    // Count 510, then a run of 531 zeros from position 0.
    StreamBits bits = blockStart();
    bits.put(3, 5); // length code: symbols 0, 1, 2 with lengths 2, 2, 1 (codes 10, 11, 0)
    bits.put(2, 3);
    bits.put(2, 3);
    bits.put(1, 3);
    bits.put(0, 2);
    bits.put(510, 9);
    bits.put(0, 1);   // symbol 2 (code 0): long zero run
    bits.put(511, 9); // 20 + 511 = 531 zeros
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, ShortZeroRunPastTheEndAfterLengths) {
    // 500 zeros, then a run of 18 from position 500.
    StreamBits bits = blockStart();
    bits.put(3, 5);
    bits.put(2, 3);
    bits.put(2, 3);
    bits.put(1, 3);
    bits.put(0, 2);
    bits.put(510, 9);
    bits.put(0, 1);
    bits.put(480, 9); // 500 zeros
    bits.put(3, 2);   // symbol 1 (code 11): short run
    bits.put(15, 4);  // 18 zeros: 518 > 510
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, LengthCodeSingleValueOutsideAlphabet) {
    StreamBits bits = blockStart();
    bits.put(0, 5);
    bits.put(19, 5);
    bits.put(3, 9);
    EXPECT_TRUE(damaged(bits));
}

TEST(DecoderHostile, SymbolCodeSingleValueOutsideAlphabet) {
    for (std::uint32_t value : {510u, 511u}) {
        StreamBits bits = blockStart();
        bits.put(0, 5);
        bits.put(0, 5);
        bits.put(0, 9);
        bits.put(value, 9);
        bits.put(0, 4);
        bits.put(0, 4);
        EXPECT_TRUE(damaged(bits)) << value;
    }
}

TEST(DecoderHostile, DistanceCodeSingleValueOutsideAlphabet) {
    for (std::uint32_t value : {14u, 15u}) {
        StreamBits bits = blockStart();
        bits.put(0, 5);
        bits.put(0, 5);
        bits.put(0, 9);
        bits.put(300, 9);
        bits.put(0, 4);
        bits.put(value, 4);
        EXPECT_TRUE(damaged(bits)) << value;
    }
}

TEST(DecoderHostile, DamageStopsTheChunkAndStaysSet) {
    // A block of five literals, then a header whose symbol code is a single
    // value outside the alphabet: the chunk stops right after the five
    // bytes, and the next call produces nothing at all.
    StreamBits bits;
    bits.put(5, 16);
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put('k', 9);
    bits.put(0, 4);
    bits.put(0, 4);
    bits.put(100, 16);
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put(510, 9);
    bits.put(0, 32);
    Bytes packed = bits.bytes();
    constexpr unsigned char untouched = 0xA5;
    std::memset(decodeWindow, untouched, windowSize);
    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decodeError, 1u);
    EXPECT_EQ(Bytes(decodeWindow, decodeWindow + 5), Bytes(5, 'k'));
    EXPECT_EQ(Bytes(decodeWindow + 5, decodeWindow + windowSize), Bytes(windowSize - 5, untouched))
        << "nothing is written after the damage";

    std::memset(decodeWindow, untouched, windowSize);
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decodeError, 1u);
    EXPECT_EQ(Bytes(decodeWindow, decodeWindow + windowSize), Bytes(windowSize, untouched))
        << "a call after the damage decodes nothing";
}

TEST(DecoderHostile, RandomBytesNeverEscape) {
    // Whatever the bytes, the decoder returns from every chunk (ASan and
    // UBSan check that it stays inside its tables), gives the same result
    // twice and agrees with the plain decoder: on the damage and on every
    // chunk before it. Both windows start zeroed, so that matches reaching
    // before the entry's start find the same bytes.
    std::uint32_t seed = 12345;
    int sound = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes packed(static_cast<std::size_t>(round % 97 + 1));
        for (auto& b : packed) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
        std::memset(decodeWindow, 0, windowSize);
        Lh5Result first = decodeLh5(packed, 3 * windowSize);
        std::memset(decodeWindow, 0, windowSize);
        Lh5Result second = decodeLh5(packed, 3 * windowSize);
        std::memset(referenceLh5::decodeWindow, 0, windowSize);
        Lh5Result reference = referenceDecode(packed, 3 * windowSize);
        EXPECT_EQ(first.damaged, second.damaged) << round;
        EXPECT_EQ(first.output, second.output) << round;
        EXPECT_EQ(first.damaged, reference.damaged) << round;
        EXPECT_EQ(first.output, reference.output) << round;
        sound += first.damaged ? 0 : 1;
    }
    EXPECT_LT(sound, 300) << "random bytes are mostly damaged streams";
}

TEST(DecoderHostile, DecoderRecoversOnTheNextEntry) {
    StreamBits broken = blockStart();
    broken.put(0, 5);
    broken.put(25, 5);
    EXPECT_TRUE(damaged(broken));
    const Bytes sound = {0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00};
    Lh5Result result = decodeLh5(sound, 3);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(3, 0x61));
}
