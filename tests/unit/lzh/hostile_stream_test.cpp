// Streams that no sound encoder writes: each is refused as damaged, without
// reading or writing outside the decoder's tables (ASan watches) and without
// looping on.
#include "lzh/decoder.h"

#include "tests/support/lh5_stream.h"

#include <gtest/gtest.h>

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
    StreamBits bits = blockStart();
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put(510, 9);
    bits.put(0, 8);
    Bytes packed = bits.bytes();
    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decodeError, 1u);
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decodeError, 1u);
}

TEST(DecoderHostile, RandomBytesNeverEscape) {
    // Whatever the bytes, the decoder returns from every chunk; ASan and
    // UBSan check that it stays inside its tables.
    std::uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes packed(static_cast<std::size_t>(round % 97 + 1));
        for (auto& b : packed) {
            seed = seed * 1103515245 + 12345;
            b = static_cast<std::uint8_t>(seed >> 16);
        }
        Lh5Result result = decodeLh5(packed, 3 * windowSize);
        EXPECT_LE(result.output.size(), 3 * windowSize);
    }
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
