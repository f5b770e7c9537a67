// The pieces of the lh5 encoder: code lengths, block header plans, the
// stream's exact bits, and the match finders against a brute-force search.
#include "lzh/encoder.h"
#include "lzh/encoder_codes.h"
#include "lzh/encoder_matches.h"

#include "tests/support/lh5_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>

namespace {

// Kraft sum in units of 2^-16: exactly 65536 for a complete code.
std::uint64_t kraftSum(const std::vector<std::uint8_t>& lengths) {
    std::uint64_t sum = 0;
    for (std::uint8_t length : lengths) {
        if (length) {
            sum += std::uint64_t{1} << (16 - length);
        }
    }
    return sum;
}

std::uint64_t weightedLength(const std::vector<std::uint32_t>& frequencies,
                             const std::vector<std::uint8_t>& lengths) {
    std::uint64_t total = 0;
    for (std::size_t s = 0; s < frequencies.size(); ++s) {
        total += std::uint64_t{frequencies[s]} * lengths[s];
    }
    return total;
}

// Cost of an unrestricted Huffman code: the sum of all merged weights.
std::uint64_t huffmanCost(const std::vector<std::uint32_t>& frequencies) {
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
    for (std::uint32_t f : frequencies) {
        if (f) {
            queue.push(f);
        }
    }
    std::uint64_t cost = 0;
    while (queue.size() > 1) {
        const std::uint64_t a = queue.top();
        queue.pop();
        const std::uint64_t b = queue.top();
        queue.pop();
        cost += a + b;
        queue.push(a + b);
    }
    return cost;
}

std::vector<std::uint32_t> randomFrequencies(std::mt19937& random, std::size_t alphabet,
                                             std::uint32_t lightest = 1) {
    std::uniform_int_distribution<int> used(0, 2);
    std::uniform_int_distribution<std::uint32_t> weight(lightest, 5000);
    std::vector<std::uint32_t> frequencies(alphabet);
    for (auto& f : frequencies) {
        f = used(random) ? weight(random) : 0;
    }
    frequencies[0] = lightest;
    frequencies[alphabet - 1] = lightest;
    return frequencies;
}

} // namespace

// ---- Code lengths -------------------------------------------------------------

TEST(EncoderCodeLengths, OptimalWhenTheLimitDoesNotBind) {
    std::mt19937 random(1);
    for (int trial = 0; trial < 50; ++trial) {
        // Weights within a factor of 50 keep every Huffman code well below 16 bits.
        const auto frequencies = randomFrequencies(random, 510, 100);
        std::vector<std::uint8_t> lengths(510);
        lzh::buildCodeLengths(frequencies, 16, lengths);
        EXPECT_EQ(kraftSum(lengths), 65536u);
        EXPECT_EQ(weightedLength(frequencies, lengths), huffmanCost(frequencies));
    }
}

TEST(EncoderCodeLengths, LimitHoldsAndCodeStaysComplete) {
    // Fibonacci weights make the deepest possible Huffman tree.
    std::vector<std::uint32_t> frequencies(30);
    frequencies[0] = frequencies[1] = 1;
    for (std::size_t i = 2; i < frequencies.size(); ++i) {
        frequencies[i] = frequencies[i - 1] + frequencies[i - 2];
    }
    for (unsigned limit : {16u, 7u, 5u}) {
        std::vector<std::uint8_t> lengths(frequencies.size());
        EXPECT_EQ(lzh::buildCodeLengths(frequencies, limit, lengths), frequencies.size());
        EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), limit);
        EXPECT_EQ(kraftSum(lengths), 65536u) << "limit " << limit;
        // Rarer symbols never get shorter codes.
        for (std::size_t i = 1; i < lengths.size(); ++i) {
            EXPECT_LE(lengths[i], lengths[i - 1]);
        }
    }
}

TEST(EncoderCodeLengths, OneOrNoUsedSymbolGetsNoLength) {
    std::vector<std::uint8_t> lengths(14, 9);
    std::vector<std::uint32_t> one(14, 0);
    one[5] = 100;
    EXPECT_EQ(lzh::buildCodeLengths(one, 16, lengths), 1u);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 0), 14);
    EXPECT_EQ(lzh::buildCodeLengths(std::vector<std::uint32_t>(14, 0), 16, lengths), 0u);
}

TEST(EncoderCodeLengths, CanonicalCodesCountUpByLengthThenSymbol) {
    const std::vector<std::uint8_t> lengths{2, 1, 3, 0, 3};
    std::vector<std::uint16_t> codes(lengths.size());
    lzh::assignCanonicalCodes(lengths, codes);
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{0b10, 0b0, 0b110, 0, 0b111}));
}

// ---- Block plans ----------------------------------------------------------------

namespace {

// The symbol code lengths that a plan's length items send.
std::vector<std::uint8_t> replayLengthItems(const lzh::BlockPlan& plan) {
    std::vector<std::uint8_t> lengths;
    for (const lzh::LengthItem& item : plan.symbolLengthItems) {
        if (item.symbol == zeroRunOne) {
            lengths.push_back(0);
        } else if (item.symbol == zeroRunShort) {
            EXPECT_LE(item.extra, 15);
            lengths.insert(lengths.end(), item.extra + 3u, 0);
        } else if (item.symbol == zeroRunLong) {
            EXPECT_LE(item.extra, 511);
            lengths.insert(lengths.end(), item.extra + 20u, 0);
        } else {
            lengths.push_back(static_cast<std::uint8_t>(item.symbol - 2));
        }
    }
    lengths.resize(symbolAlphabet, 0);
    return lengths;
}

lzh::Histogram histogramWith(const std::vector<unsigned>& symbols) {
    lzh::Histogram histogram;
    for (unsigned s : symbols) {
        histogram.symbols[s] += 10 + s % 7;
        histogram.count += 10 + s % 7;
    }
    return histogram;
}

} // namespace

TEST(EncoderBlockPlan, LengthItemsSendExactlyTheSymbolLengths) {
    std::mt19937 random(2);
    for (int trial = 0; trial < 40; ++trial) {
        lzh::Histogram histogram;
        const auto frequencies = randomFrequencies(random, symbolAlphabet);
        std::copy(frequencies.begin(), frequencies.end(), histogram.symbols.begin());
        histogram.count = 1000;
        const lzh::BlockPlan plan = lzh::planBlock(histogram);
        EXPECT_EQ(replayLengthItems(plan), plan.symbolCode.lengths);
    }
}

TEST(EncoderBlockPlan, ZeroRunsOfEveryLengthUseValidForms) {
    // Gaps of 1 to 40 unused symbols between used ones, 19 and 2 included,
    // which no single form covers.
    for (unsigned gap = 1; gap <= 40; ++gap) {
        const lzh::BlockPlan plan = lzh::planBlock(histogramWith({1, 1 + gap + 1, 300}));
        EXPECT_EQ(replayLengthItems(plan), plan.symbolCode.lengths) << "gap " << gap;
    }
    const lzh::BlockPlan longGap = lzh::planBlock(histogramWith({0, 509}));
    EXPECT_EQ(replayLengthItems(longGap), longGap.symbolCode.lengths);
}

TEST(EncoderBlockPlan, CodesWithOneSymbolUseTheSingleValueForm) {
    lzh::Histogram histogram;
    histogram.symbols['x'] = 40;
    histogram.symbols[300] = 2;
    histogram.distances[4] = 2;
    histogram.count = 42;
    const lzh::BlockPlan plan = lzh::planBlock(histogram);
    EXPECT_EQ(plan.symbolCode.used, 2u);
    EXPECT_EQ(plan.distanceCode.used, 1u);
    EXPECT_EQ(plan.distanceCode.singleValue, 4u);
    // Both symbols have length 1: the length code sends only that one length.
    EXPECT_EQ(plan.lengthCode.used, 2u); // length 1 plus the zero runs between
}

TEST(EncoderStream, ThreeEqualBytesSpendNoBitsPerSymbol) {
    // Count 3; a length code of three lengths 1, 0, 1 and a zero count of 0
    // (never the single-value form nor fewer than three lengths, which some
    // readers refuse); the symbol code as count 0 and 'a'; the distance code
    // as count 0 and 0. The symbols themselves take no bits.
    const Bytes stream = lzh::encode(Bytes{'a', 'a', 'a'});
    EXPECT_EQ(stream, (Bytes{0x00, 0x03, 0x19, 0x04, 0x00, 0x18, 0x40, 0x00}));
    const Lh5Result result = decodeLh5(stream, 3);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(result.output, (Bytes{'a', 'a', 'a'}));
}

TEST(EncoderBlockPlan, LengthCodeAlwaysHasTwoSymbols) {
    // All 256 literals with length 8: every item is the same length code symbol.
    lzh::Histogram flat;
    for (unsigned s = 0; s < 256; ++s) {
        flat.symbols[s] = 4;
    }
    flat.count = 1024;
    const lzh::BlockPlan plan = lzh::planBlock(flat);
    EXPECT_EQ(plan.symbolCode.used, 256u);
    EXPECT_EQ(plan.lengthCode.used, 2u);
    EXPECT_EQ(replayLengthItems(plan), plan.symbolCode.lengths);
    lzh::Histogram single;
    single.symbols[7] = 9;
    single.count = 9;
    const lzh::BlockPlan singlePlan = lzh::planBlock(single);
    EXPECT_EQ(singlePlan.lengthCode.used, 2u);
    EXPECT_EQ(singlePlan.symbolCode.used, 1u);
    EXPECT_EQ(std::count(singlePlan.lengthCode.lengths.begin(),
                         singlePlan.lengthCode.lengths.begin() + 3, 1),
              2);
}

TEST(EncoderStream, PlannedSizeIsTheWrittenSize) {
    std::mt19937 random(3);
    std::vector<lzh::Symbol> symbols;
    for (int i = 0; i < 5000; ++i) {
        if (random() % 3) {
            symbols.push_back(lzh::literalSymbol(static_cast<std::uint8_t>(random() % 40)));
        } else {
            symbols.push_back(lzh::matchSymbol(3 + random() % 30, 1 + random() % 8192));
        }
    }
    const lzh::BlockPlan plan = lzh::planBlock(lzh::histogramOf(symbols));
    lzh::BitWriter writer;
    writer.put(3, 0b101); // an offset, so the block does not start on a byte
    lzh::writeCodedBlock(writer, symbols, plan);
    writer.flush();
    EXPECT_EQ(writer.bytes().size(), (3 + plan.totalBits() + 7) / 8);
}

// ---- Match finders ------------------------------------------------------------------

namespace {

// Longest match at pos (up to 256, not past the end, at most 8192 back), and
// the nearest distance reaching each length.
std::vector<unsigned> bruteNearest(const Bytes& data, std::size_t pos) {
    std::vector<unsigned> nearest(maxMatch + 1, 0);
    const std::size_t limit = std::min<std::size_t>(maxMatch, data.size() - pos);
    for (std::size_t distance = 1; distance <= std::min<std::size_t>(pos, 8192); ++distance) {
        std::size_t length = 0;
        while (length < limit && data[pos - distance + length] == data[pos + length]) {
            ++length;
        }
        for (std::size_t l = minMatch; l <= length; ++l) {
            if (nearest[l] == 0) {
                nearest[l] = static_cast<unsigned>(distance);
            }
        }
    }
    return nearest;
}

Bytes finderData() {
    // A small alphabet gives many matches of many lengths, with repeats far
    // apart and close together.
    std::mt19937 random(4);
    Bytes data;
    while (data.size() < 30000) {
        if (data.size() > 100 && random() % 4 == 0) {
            const std::size_t back = 1 + random() % std::min<std::size_t>(data.size(), 9000);
            const std::size_t length = 3 + random() % 300;
            for (std::size_t i = 0; i < length; ++i) {
                data.push_back(data[data.size() - back]);
            }
        } else {
            data.push_back(static_cast<std::uint8_t>('a' + random() % 4));
        }
    }
    return data;
}

} // namespace

TEST(EncoderMatchFinder, TreeReportsTheNearestMatchOfEachLength) {
    const Bytes data = finderData();
    lzh::TreeMatchFinder finder(data, 100000);
    std::vector<lzh::Match> found;
    for (std::uint32_t pos = 0; pos < data.size(); ++pos) {
        found.clear();
        finder.find(pos, found);
        if (pos % 7 != 0) {
            continue; // brute force on a sample of positions keeps the test quick
        }
        const std::vector<unsigned> nearest = bruteNearest(data, pos);
        unsigned longest = 0;
        for (unsigned l = minMatch; l <= maxMatch; ++l) {
            if (nearest[l]) {
                longest = l;
            }
        }
        ASSERT_EQ(found.empty() ? 0u : found.back().length, longest) << "at " << pos;
        unsigned previous = minMatch - 1;
        for (const lzh::Match& match : found) {
            ASSERT_GT(match.length, previous);
            for (unsigned l = previous + 1; l <= match.length; ++l) {
                ASSERT_EQ(match.distance, nearest[l]) << "at " << pos << " length " << l;
            }
            previous = match.length;
        }
    }
}

TEST(EncoderMatchFinder, ChainFindsTheLongestNearestMatch) {
    const Bytes data = finderData();
    lzh::ChainMatchFinder finder(data, 100000);
    for (std::uint32_t pos = 0; pos < data.size(); ++pos) {
        if (pos % 7 == 0) {
            const std::vector<unsigned> nearest = bruteNearest(data, pos);
            const lzh::Match match = finder.longest(pos);
            unsigned longest = 0;
            for (unsigned l = minMatch; l <= maxMatch; ++l) {
                if (nearest[l]) {
                    longest = l;
                }
            }
            ASSERT_EQ(match.length, longest) << "at " << pos;
            if (longest) {
                ASSERT_EQ(match.distance, nearest[longest]) << "at " << pos;
            }
        }
        finder.insert(pos);
    }
}

// The chains need four bytes, so the last positions of the input are found
// and entered through the table of three: a match that ends with the input
// is found whether three or four bytes remain. A match of three is looked
// for at the newest position alone, and a longer one further back wins.
TEST(EncoderMatchFinder, ChainFindsMatchesOfThreeAndAtTheInputsEnd) {
    const auto search = [](const std::string& text, std::uint32_t at) {
        const Bytes data(text.begin(), text.end());
        lzh::ChainMatchFinder finder(data, 64);
        for (std::uint32_t pos = 0; pos < at; ++pos) {
            finder.insert(pos);
        }
        return finder.longest(at);
    };
    struct Case {
        const char* text;
        std::uint32_t at;
        unsigned length, distance;
    };
    const Case cases[] = {
        {"abcXYZabc", 6, 3, 6},            // three bytes left
        {"abcdXYZabcd", 7, 4, 7},          // four bytes left
        {"abcdefQabcRRabcdef", 12, 6, 12}, // "abc" near, "abcdef" far: the longer
        {"abcQabcRabcS", 8, 3, 4},         // only matches of three: the nearest
    };
    for (const Case& c : cases) {
        const lzh::Match match = search(c.text, c.at);
        EXPECT_EQ(match.length, c.length) << c.text;
        EXPECT_EQ(match.distance, c.distance) << c.text;
    }
    EXPECT_EQ(search("abcXYZab", 6).length, 0u); // two bytes left: no match
}

// Pieces written apart and appended give the bits of one writer, at every
// bit offset the first piece may end on.
TEST(BitWriterTest, AppendJoinsPiecesAtAnyOffset) {
    for (unsigned head = 0; head < 16; ++head) {
        lzh::BitWriter whole, first, second;
        whole.put(head, 0x5A5Au & ((1u << head) - 1));
        first.put(head, 0x5A5Au & ((1u << head) - 1));
        for (unsigned i = 0; i < 40; ++i) {
            whole.put(1 + i % 13, (i * 2654435761u) & ((1u << (1 + i % 13)) - 1));
            second.put(1 + i % 13, (i * 2654435761u) & ((1u << (1 + i % 13)) - 1));
        }
        first.append(second);
        whole.flush();
        first.flush();
        EXPECT_EQ(first.bytes(), whole.bytes()) << head;
    }
}
