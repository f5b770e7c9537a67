// The lh5 decoder on streams written symbol by symbol: what each stream shape
// decodes to, across chunk and block boundaries.
#include "lzh/decoder.h"

#include "tests/support/lh5_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Writes symbols into a stream and keeps the bytes they stand for.
struct Script {
    Lh5Writer writer;
    Bytes expected;

    void literal(std::uint8_t byte) {
        writer.literal(byte);
        expected.push_back(byte);
    }
    void match(int length, std::uint32_t distance) {
        writer.match(length, distance);
        for (int i = 0; i < length; ++i) {
            expected.push_back(expected[expected.size() - distance - 1]);
        }
    }
    Bytes stream() const {
        return writer.bytes();
    }
};

// Every literal and the given match lengths: a 9- or 10-bit flat code.
std::vector<int> literalsAnd(std::initializer_list<int> matchLengths) {
    std::vector<int> symbols;
    for (int s = 0; s < 256; ++s) {
        symbols.push_back(s);
    }
    for (int length : matchLengths) {
        symbols.push_back(length + 253);
    }
    return symbols;
}

std::uint8_t patternByte(std::size_t i) {
    return static_cast<std::uint8_t>((i * 7 + i / 13) & 0xFF);
}

} // namespace

// --- single-value forms ----------------------------------------------------

TEST(DecoderSingleValue, SevenBytesGiveThreeLetters) {
    const Bytes packed = {0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00};
    Lh5Result result = decodeLh5(packed, 3);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(3, 0x61));
}

TEST(DecoderSingleValue, SymbolsConsumeNoBits) {
    // One header, then a whole window and more of the same byte: the
    // symbols take no bits, so the short stream is never overrun.
    Lh5Writer writer;
    writer.header(20000, {'z'}, {});
    Lh5Result result = decodeLh5(writer.bytes(), 20000);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(20000, 'z'));
}

TEST(DecoderSingleValue, BlockCountZeroReadsNoFurtherHeader) {
    // The count wraps below zero: the block goes on for 2^32 symbols. A
    // second header read from the padding would end the run of 'q'.
    Lh5Writer writer;
    writer.header(0, {'q'}, {});
    Lh5Result result = decodeLh5(writer.bytes(), 3 * windowSize + 5);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(3 * windowSize + 5, 'q'));
}

// --- literals and matches ---------------------------------------------------

TEST(DecoderMatches, LiteralsComeOutInOrder) {
    Script s;
    s.writer.header(256, literalsAnd({}), {});
    for (int i = 0; i < 256; ++i) {
        s.literal(static_cast<std::uint8_t>(255 - i));
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

TEST(DecoderMatches, DistanceZeroRepeatsTheLastByte) {
    Script s;
    s.writer.header(3, literalsAnd({256}), {0});
    s.literal('x');
    s.literal('y');
    s.match(256, 0);
    Lh5Result result = decodeLh5(s.stream(), 258);
    ASSERT_FALSE(result.damaged);
    EXPECT_EQ(result.output[1], 'y');
    EXPECT_EQ(result.output, s.expected);
    EXPECT_EQ(Bytes(result.output.begin() + 1, result.output.end()), Bytes(257, 'y'));
}

TEST(DecoderMatches, OverlappingMatchRepeatsAPattern) {
    Script s;
    s.writer.header(4, literalsAnd({10}), {2});
    s.literal('a');
    s.literal('b');
    s.literal('c');
    s.match(10, 2);
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output,
              Bytes({'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a'}));
}

TEST(DecoderMatches, LongestDistanceReachesIntoThePreviousChunk) {
    // 8192 literals fill the first chunk; the matches of the second chunk
    // reach back across the chunk start, the first as far as the window goes.
    Script s;
    s.writer.header(windowSize + 3, literalsAnd({3, 100}), {13, 12, 7});
    for (std::size_t i = 0; i < windowSize; ++i) {
        s.literal(patternByte(i));
    }
    s.match(100, 8191);
    s.match(3, 4000);
    s.match(100, 64);
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

// Every match length from 3 to 18 with every distance class, each class at
// its smallest and its largest distance. The match codes take 2 to 16 bits
// and the distance codes 1 to 13: some pairs fit the symbol table's slot
// together, some overrun it, and some codes of either side are longer than
// their table.
TEST(DecoderMatches, EveryMatchCodeWithEveryDistanceCode) {
    std::vector<int> symbolLens(lh5SymbolAlphabet, 0);
    for (int s = 0; s < 256; ++s) {
        symbolLens[static_cast<std::size_t>(s)] = 9;
    }
    for (int length = 3; length <= 17; ++length) {
        symbolLens[static_cast<std::size_t>(length + 253)] = length - 1;
    }
    symbolLens[18 + 253] = 16;
    std::vector<int> distanceLens(lh5DistanceAlphabet, 0);
    for (int c = 0; c < lh5DistanceAlphabet; ++c) {
        distanceLens[static_cast<std::size_t>(c)] = c + 1;
    }
    distanceLens[lh5DistanceAlphabet - 1] = lh5DistanceAlphabet - 1;

    const int matches = 16 * lh5DistanceAlphabet * 2;
    Script s;
    s.writer.headerWithLengths(windowSize + 2 * matches, symbolLens, distanceLens);
    for (std::size_t i = 0; i < windowSize; ++i) {
        s.literal(patternByte(i));
    }
    for (int length = 3; length <= 18; ++length) {
        for (int c = 0; c < lh5DistanceAlphabet; ++c) {
            std::uint32_t lowest = c == 0 ? 0 : 1u << (c - 1);
            std::uint32_t highest = c == 0 ? 0 : (1u << c) - 1;
            s.match(length, lowest);
            s.literal(static_cast<std::uint8_t>(length * 16 + c));
            s.match(length, highest);
            s.literal(static_cast<std::uint8_t>(c * 16 + length));
        }
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

// --- chunk boundaries -------------------------------------------------------

TEST(DecoderChunks, MatchCutByTheChunkEndIsFinishedFirst) {
    Script s;
    s.writer.header(windowSize - 10 + 2, literalsAnd({20}), {6});
    for (std::size_t i = 0; i < windowSize - 10; ++i) {
        s.literal(patternByte(i));
    }
    s.match(20, 40); // 10 bytes in the first chunk, 10 in the second
    s.literal('!');
    Bytes packed = s.stream();

    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    EXPECT_EQ(decoderState(), decoderFresh);
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decoderState(), decoderMatchPending);
    EXPECT_TRUE(std::equal(decodeWindow, decodeWindow + windowSize, s.expected.begin()));

    decodeChunk(11, decodeWindow);
    EXPECT_EQ(decodeError, 0u);
    EXPECT_TRUE(std::equal(decodeWindow, decodeWindow + 11, s.expected.begin() + windowSize));
    EXPECT_EQ(decoderState(), decoderBlockUsedUp);
}

TEST(DecoderChunks, EntryEndingInsideAMatchDropsTheRest) {
    // The caller may also end an entry inside a match: the rest is dropped.
    Script s;
    s.writer.header(2, literalsAnd({50}), {0});
    s.literal('k');
    s.match(50, 0);
    Lh5Result result = decodeLh5(s.stream(), 20);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(20, 'k'));
    EXPECT_EQ(decoderState(), decoderMatchPending);
}

TEST(DecoderChunks, LastChunkMayBeShort) {
    Script s;
    s.writer.header(windowSize + 1, literalsAnd({}), {});
    for (std::size_t i = 0; i < windowSize + 1; ++i) {
        s.literal(patternByte(i));
    }
    Lh5Result result = decodeLh5(s.stream(), windowSize + 1);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

// --- block boundaries -------------------------------------------------------

TEST(DecoderBlocks, NextHeaderIsReadWhenTheCountIsUsedUp) {
    // Two blocks with different codes; the boundary falls inside a chunk.
    Script s;
    s.writer.header(5000, literalsAnd({}), {});
    for (std::size_t i = 0; i < 5000; ++i) {
        s.literal(patternByte(i));
    }
    s.writer.header(5000, {'A', 'B', 'C', 4 + 253}, {1, 9});
    for (std::size_t i = 0; i < 4000; ++i) {
        s.literal(static_cast<std::uint8_t>('A' + i % 3));
    }
    for (std::size_t i = 0; i < 1000; ++i) {
        s.match(4, i % 2 ? 1 : 300);
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

TEST(DecoderBlocks, PendingMatchIsFinishedBeforeTheNextHeader) {
    // The first block ends with a match cut by the chunk's end; the second
    // block's header may only be read after the owed bytes are copied.
    Script s;
    s.writer.header(windowSize - 5 + 1, literalsAnd({30}), {4});
    for (std::size_t i = 0; i < windowSize - 5; ++i) {
        s.literal(patternByte(i));
    }
    s.match(30, 9);
    s.writer.header(3, {'u', 'v'}, {});
    s.literal('u');
    s.literal('v');
    s.literal('u');
    Bytes packed = s.stream();

    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    decodeChunk(windowSize, decodeWindow);
    EXPECT_EQ(decoderState(), decoderMatchPending);
    decodeChunk(28, decodeWindow);
    EXPECT_EQ(decodeError, 0u);
    EXPECT_TRUE(std::equal(decodeWindow, decodeWindow + 28, s.expected.begin() + windowSize));
    EXPECT_EQ(decoderState(), decoderBlockUsedUp);
}

TEST(DecoderBlocks, StatesFollowTheBlock) {
    Lh5Writer writer;
    writer.header(4, {'a', 'b'}, {});
    for (char c : {'a', 'b', 'b', 'a'}) {
        writer.literal(static_cast<std::uint8_t>(c));
    }
    Bytes packed = writer.bytes();
    decodeError = 0;
    decodeStart(packed.data(), static_cast<std::uint32_t>(packed.size()));
    EXPECT_EQ(decoderState(), decoderFresh);
    decodeChunk(2, decodeWindow);
    EXPECT_EQ(decoderState(), decoderBlockOpen);
}

// --- code lengths -----------------------------------------------------------

TEST(DecoderLengths, ZeroRunFieldFollowsTheThirdLengthWhenCountIsThree) {
    StreamBits bits;
    bits.put(3, 16);
    bits.put(3, 5); // length code: three lengths
    bits.put(1, 3); // 1
    bits.put(2, 3); // 2
    bits.put(2, 3); // 2
    bits.put(3, 2); // three more zeros: past the count, harmless
    bits.put(0, 9); // symbol code: single value
    bits.put('a', 9);
    bits.put(0, 4); // distance code: single value
    bits.put(0, 4);
    Lh5Result result = decodeLh5(bits.bytes(), 3);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(3, 'a'));
}

TEST(DecoderLengths, NoZeroRunFieldBelowThreeLengths) {
    StreamBits bits;
    bits.put(3, 16);
    bits.put(2, 5); // length code: two lengths, no zero-run field
    bits.put(1, 3);
    bits.put(1, 3);
    bits.put(0, 9);
    bits.put('b', 9);
    bits.put(0, 4);
    bits.put(0, 4);
    Lh5Result result = decodeLh5(bits.bytes(), 3);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, Bytes(3, 'b'));
}

TEST(DecoderLengths, UnaryExtensionGivesLengthsAboveSix) {
    // Distance lengths 1..9 (7, 8 and 9 in unary extension: 1110, 11110,
    // 111110); every class is used, so a misread length shows in the output.
    Script s;
    std::vector<int> distanceLens = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 0, 0, 0, 0};
    std::vector<int> symbolLens = flatLengths(lh5SymbolAlphabet, literalsAnd({5}));
    s.writer.headerWithLengths(600, symbolLens, distanceLens);
    for (std::size_t i = 0; i < 590; ++i) {
        s.literal(patternByte(i));
    }
    for (std::uint32_t d : {0u, 1u, 2u, 5u, 9u, 20u, 40u, 100u, 200u, 500u}) {
        s.match(5, d);
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

TEST(DecoderLengths, LongCodesWalkTheTree) {
    // Symbol lengths up to 16: codes beyond the direct table are found
    // through the tree, one bit per step.
    std::vector<int> symbolLens(lh5SymbolAlphabet, 0);
    for (int len = 1; len <= 15; ++len) {
        symbolLens[static_cast<std::size_t>('a' + len - 1)] = len;
    }
    symbolLens['a' + 15] = 16;
    symbolLens['a' + 16] = 16;
    Script s;
    s.writer.headerWithLengths(17 * 3, symbolLens, {});
    for (int round = 0; round < 3; ++round) {
        for (int c = 0; c < 17; ++c) {
            s.literal(static_cast<std::uint8_t>('a' + (c + round) % 17));
        }
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

TEST(DecoderLengths, LongLengthCodeCodesWalkTheTree) {
    // A length code whose codes reach 10 bits, past its 8-bit table: the
    // symbol lengths 2, 7 and 8 are sent with 9- and 10-bit codes, found
    // through the length code's tree.
    std::vector<int> lengthLens(lh5LengthAlphabet, 0);
    lengthLens[2] = 1;   // long zero run
    lengthLens[0] = 2;   // one zero (unused, completes the code)
    lengthLens[1] = 3;   // short zero run (unused)
    lengthLens[3] = 4;   // length 1
    lengthLens[5] = 5;   // length 3
    lengthLens[6] = 6;   // length 4
    lengthLens[7] = 7;   // length 5
    lengthLens[8] = 8;   // length 6
    lengthLens[9] = 9;   // length 7
    lengthLens[10] = 10; // length 8
    lengthLens[4] = 10;  // length 2
    std::vector<int> symbolLens(lh5SymbolAlphabet, 0);
    const std::vector<int> letterLens = {1, 2, 3, 4, 5, 6, 7, 8, 8};
    for (std::size_t i = 0; i < letterLens.size(); ++i) {
        symbolLens['a' + i] = letterLens[i];
    }
    Lh5Writer::Header h;
    h.symbolCount = 9 * 4;
    h.lengthLens = lengthLens;
    h.symbolLens = symbolLens;
    Script s;
    s.writer.header(h);
    for (int round = 0; round < 4; ++round) {
        for (int c = 0; c < 9; ++c) {
            s.literal(static_cast<std::uint8_t>('a' + (c + round) % 9));
        }
    }
    Lh5Result result = decodeLh5(s.stream(), s.expected.size());
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, s.expected);
}

// --- incomplete and over-full codes ------------------------------------------

Lh5Result decodeWithSymbolLengths(const std::vector<int>& symbolLens) {
    Lh5Writer writer;
    writer.headerWithLengths(1, symbolLens, {});
    writer.bits().put(0, 16);
    return decodeLh5(writer.bytes(), 1);
}

TEST(DecoderBadCodes, SingleSymbolOfLengthOneIsIncomplete) {
    std::vector<int> lens(lh5SymbolAlphabet, 0);
    lens['a'] = 1;
    EXPECT_TRUE(decodeWithSymbolLengths(lens).damaged);
}

TEST(DecoderBadCodes, OverFullCodeIsRefused) {
    std::vector<int> lens(lh5SymbolAlphabet, 0);
    lens['a'] = lens['b'] = lens['c'] = 1;
    EXPECT_TRUE(decodeWithSymbolLengths(lens).damaged);
}

TEST(DecoderBadCodes, TwiceTheFullSumIsRefused) {
    std::vector<int> lens(lh5SymbolAlphabet, 0);
    lens['a'] = lens['b'] = lens['c'] = lens['d'] = 1;
    EXPECT_TRUE(decodeWithSymbolLengths(lens).damaged);
}

TEST(DecoderBadCodes, CompleteCodeIsAccepted) {
    std::vector<int> lens(lh5SymbolAlphabet, 0);
    lens['a'] = 1;
    lens['b'] = 2;
    lens['c'] = 2;
    EXPECT_FALSE(decodeWithSymbolLengths(lens).damaged);
}

TEST(DecoderBadCodes, NonZeroCountWithOnlyZeroLengthsIsIncomplete) {
    StreamBits bits;
    bits.put(1, 16);
    bits.put(2, 5); // length code: symbols 0 and 1, one bit each
    bits.put(1, 3);
    bits.put(1, 3);
    bits.put(5, 9); // five symbol lengths, each "one zero" (code 0)
    bits.put(0, 5);
    bits.put(0, 4);
    bits.put(0, 4);
    EXPECT_TRUE(decodeLh5(bits.bytes(), 1).damaged);
}

TEST(DecoderBadCodes, IncompleteDistanceCodeIsRefused) {
    Lh5Writer writer;
    std::vector<int> distanceLens(lh5DistanceAlphabet, 0);
    distanceLens[3] = 2;
    distanceLens[4] = 2;
    writer.headerWithLengths(1, flatLengths(lh5SymbolAlphabet, literalsAnd({3})), distanceLens);
    writer.bits().put(0, 16);
    EXPECT_TRUE(decodeLh5(writer.bytes(), 1).damaged);
}

// --- the end of the packed data -----------------------------------------------

TEST(DecoderStreamEnd, NothingPastPackedSizeIsRead) {
    // The same stream, once in an allocation of exactly its size (ASan sees
    // a read past it) and once followed in memory by bytes of ones: both
    // decode alike, since bytes past the packed size read as 0.
    Script s;
    s.writer.header(300, literalsAnd({}), {});
    for (std::size_t i = 0; i < 300; ++i) {
        s.literal(patternByte(i));
    }
    Bytes packed = s.stream();
    Bytes padded = packed;
    padded.resize(packed.size() + 64, 0xFF);
    ExactBytes exact(packed);
    Lh5Result alone = decodeLh5(exact.data(), exact.size(), 300);
    Lh5Result inBigger = decodeLh5(padded.data(), packed.size(), 300);
    EXPECT_FALSE(alone.damaged);
    EXPECT_FALSE(inBigger.damaged);
    EXPECT_EQ(alone.output, s.expected);
    EXPECT_EQ(inBigger.output, s.expected);
}

TEST(DecoderStreamEnd, StreamCutShortIsDamaged) {
    Script s;
    s.writer.header(3000, literalsAnd({}), {});
    for (std::size_t i = 0; i < 3000; ++i) {
        s.literal(patternByte(i));
    }
    Bytes packed = s.stream();
    packed.resize(packed.size() - 3);
    EXPECT_TRUE(decodeLh5(packed, 3000).damaged);
}

TEST(DecoderStreamEnd, EmptyStreamIsDamaged) {
    EXPECT_TRUE(decodeLh5(Bytes{}, 1).damaged);
}

TEST(DecoderStreamEnd, StreamUsingEveryBitIsSound) {
    // As many one-bit literals as make the stream end on a byte boundary:
    // every bit of the last byte is consumed, and that is not an overrun.
    Lh5Writer probe;
    probe.header(1, {'a', 'b'}, {});
    std::uint32_t count = 8 + static_cast<std::uint32_t>((8 - probe.bits().bitCount() % 8) % 8);
    Lh5Writer writer;
    writer.header(count, {'a', 'b'}, {});
    Bytes expected;
    for (std::uint32_t i = 0; i < count; ++i) {
        expected.push_back(i % 3 ? 'b' : 'a');
        writer.literal(expected.back());
    }
    ASSERT_EQ(writer.bits().bitCount() % 8, 0u);
    Lh5Result result = decodeLh5(writer.bytes(), count);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, expected);
}

// --- threads -----------------------------------------------------------------

// Where the decoder keeps a state per thread, streams decoded side by side
// never see each other's window, tables or faults.
TEST(DecoderThreads, EachThreadDecodesItsOwnStream) {
    if (!decoderPerThread) {
        GTEST_SKIP() << "this build keeps one decoder state for the process";
    }
    auto patterned = [](std::uint32_t seed) {
        Script s;
        s.writer.header(6 * windowSize, literalsAnd({3, 100}), {13, 7});
        for (std::size_t i = 0; i < windowSize; ++i) {
            s.literal(patternByte(i * seed));
        }
        for (std::size_t i = windowSize; i < 6 * windowSize; ++i) {
            if (i % 5 == 0) {
                s.match(100, 8191);
            } else {
                s.literal(patternByte(i + seed));
            }
        }
        return s;
    };
    const Script first = patterned(3);
    const Script second = patterned(11);
    const Bytes damaged = {0x00, 0x05, 0xF8, 0x00};
    std::atomic<int> wrong{0};
    auto decodeMany = [&](const Script& s, bool withDamaged) {
        for (int round = 0; round < 20; ++round) {
            const Lh5Result result = decodeLh5(s.stream(), s.expected.size());
            if (result.damaged || result.output != s.expected) {
                ++wrong;
            }
            if (withDamaged && !decodeLh5(damaged, 10).damaged) {
                ++wrong;
            }
        }
    };
    std::thread other(decodeMany, std::cref(second), true);
    decodeMany(first, false);
    other.join();
    EXPECT_EQ(wrong.load(), 0);
}
