// Streams of our encoder decode through the setup program's decoder to the
// original bytes: random, structured and real data, both levels, sizes
// around the window and the block limits.
#include "lzh/decoder.h"
#include "lzh/encoder.h"

#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/lzh_container.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>

namespace {

Bytes randomBytes(std::size_t size, std::uint32_t seed, int alphabet = 256) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, alphabet - 1);
    Bytes data(size);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(byte(random));
    }
    return data;
}

// Words from a small vocabulary: many short and medium matches, like text.
Bytes wordSoup(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {"window ",   "block ", "symbol ", "length ", "code ",
                                        "the ",      "of ",    "match ",  "lh5 ",    "\n",
                                        "distance ", "table ", "tree ",   "bits ",   "a "};
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
    Bytes data;
    while (data.size() < size) {
        const std::string word = words[pick(random)];
        data.insert(data.end(), word.begin(), word.end());
    }
    data.resize(size);
    return data;
}

// A random block of period bytes repeated: matches exactly period back.
Bytes periodic(std::size_t size, std::size_t period, std::uint32_t seed) {
    const Bytes unit = randomBytes(period, seed);
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = unit[i % period];
    }
    return data;
}

Bytes sourceFile(const std::string& relative) {
    return readFileBytes(std::string(QM_SOURCE_DIR) + "/" + relative);
}

void expectRoundTrip(const Bytes& data, lzh::Effort effort, const std::string& what) {
    const Bytes packed = lzh::encode(data, effort);
    const Lh5Result result = decodeLh5(packed, data.size());
    ASSERT_FALSE(result.damaged) << what;
    ASSERT_EQ(result.output.size(), data.size()) << what;
    EXPECT_TRUE(result.output == data) << what << ": output differs";
}

class EncoderRoundTrip : public ::testing::TestWithParam<lzh::Effort> {};

std::string effortName(const ::testing::TestParamInfo<lzh::Effort>& info) {
    return info.param == lzh::Effort::fast ? "fast" : "strong";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(BothLevels, EncoderRoundTrip,
                         ::testing::Values(lzh::Effort::fast, lzh::Effort::strong), effortName);

TEST_P(EncoderRoundTrip, EmptyInputGivesEmptyStream) {
    EXPECT_TRUE(lzh::encode({}, GetParam()).empty());
}

TEST_P(EncoderRoundTrip, TinyInputs) {
    for (std::size_t size = 1; size <= 20; ++size) {
        expectRoundTrip(randomBytes(size, 7, 3), GetParam(), "size " + std::to_string(size));
    }
}

TEST_P(EncoderRoundTrip, SizesAroundTheWindowAndChunks) {
    for (std::size_t size : {255u, 256u, 257u, 8191u, 8192u, 8193u, 16383u, 16384u, 16385u, 24576u,
                             65535u, 65536u, 65537u}) {
        expectRoundTrip(wordSoup(size, static_cast<std::uint32_t>(size)), GetParam(),
                        "text of " + std::to_string(size));
        expectRoundTrip(randomBytes(size, static_cast<std::uint32_t>(size), 16), GetParam(),
                        "random of " + std::to_string(size));
    }
}

TEST_P(EncoderRoundTrip, IncompressibleDataNeedsSeveralBlocks) {
    // About one literal per byte: far more symbols than one block can count.
    const Bytes data = randomBytes(300000, 11);
    expectRoundTrip(data, GetParam(), "random bytes");
}

TEST_P(EncoderRoundTrip, LongRunsUseTheLongestMatches) {
    const Bytes zeros(200000, 0);
    const Bytes packed = lzh::encode(zeros, GetParam());
    EXPECT_LT(packed.size(), 2000u);
    expectRoundTrip(zeros, GetParam(), "zeros");
    Bytes twoRuns(170000, 'a');
    std::fill(twoRuns.begin() + 100000, twoRuns.end(), 'b');
    expectRoundTrip(twoRuns, GetParam(), "two runs");
}

TEST_P(EncoderRoundTrip, MatchesAtTheFarthestDistance) {
    // Period 8192 repeats exactly at the longest back distance; 8193 is
    // just out of reach and must not be matched.
    for (std::size_t period : {8191u, 8192u, 8193u}) {
        const Bytes data = periodic(40000, period, static_cast<std::uint32_t>(period));
        const Bytes packed = lzh::encode(data, GetParam());
        expectRoundTrip(data, GetParam(), "period " + std::to_string(period));
        if (period <= 8192) {
            EXPECT_LT(packed.size(), 12000u) << "period " << period;
        } else {
            EXPECT_GT(packed.size(), 36000u) << "period " << period;
        }
    }
}

TEST_P(EncoderRoundTrip, SkewedLiteralsNeedLongCodes) {
    // Byte k appears about 1.6^k times: a plain Huffman code would need more
    // than 16 bits for the rarest ones.
    Bytes data;
    double weight = 1;
    for (int k = 0; k < 26; ++k, weight *= 1.6) {
        data.insert(data.end(), static_cast<std::size_t>(weight), static_cast<std::uint8_t>(k));
    }
    std::mt19937 random(5);
    std::shuffle(data.begin(), data.end(), random);
    expectRoundTrip(data, GetParam(), "skewed");
}

TEST_P(EncoderRoundTrip, MixedContentOfSeveralMegabytes) {
    Bytes data;
    for (std::uint32_t part = 0; part < 6; ++part) {
        const Bytes text = wordSoup(300000 + part * 1000, part);
        const Bytes noise = randomBytes(100000, part + 100);
        const Bytes runs(20000 + part, static_cast<std::uint8_t>(part));
        data.insert(data.end(), text.begin(), text.end());
        data.insert(data.end(), noise.begin(), noise.end());
        data.insert(data.end(), runs.begin(), runs.end());
    }
    expectRoundTrip(data, GetParam(), "mixed");
}

TEST_P(EncoderRoundTrip, RealFiles) {
    for (const char* file : {"lzh/decoder.cpp", "lzh/encoder_codes.cpp",
                             "tests/fixtures/lh5/peers.lzh", "CMakeLists.txt"}) {
        expectRoundTrip(sourceFile(file), GetParam(), file);
    }
    for (const std::string& name : fixtureSourceNames()) {
        expectRoundTrip(fixtureSource(name), GetParam(), name);
    }
}

TEST_P(EncoderRoundTrip, SameInputSameStream) {
    const Bytes data = wordSoup(150000, 3);
    EXPECT_EQ(lzh::encode(data, GetParam()), lzh::encode(data, GetParam()));
}

// The encoder keeps its working memory from input to input: what a larger,
// different input left in it never reaches the next stream.
TEST_P(EncoderRoundTrip, WorkingMemoryLeftByOtherInputsChangesNothing) {
    const Bytes small = wordSoup(40000, 8);
    const Bytes first = lzh::encode(small, GetParam());
    Bytes large = periodic(600000, 3000, 9);
    const Bytes random = noise(500000, 10);
    large.insert(large.end(), random.begin(), random.end());
    lzh::CoreBudget two(2);
    ASSERT_FALSE(lzh::encode(large, GetParam(), &two).empty());
    EXPECT_TRUE(lzh::encode(small, GetParam()) == first);
    const Lh5Result result = decodeLh5(first, small.size());
    ASSERT_FALSE(result.damaged);
    EXPECT_TRUE(result.output == small);
}

// A core given back while a large input is encoded may be taken up by the
// encoder: the stream stays the same, and the core comes back.
TEST_P(EncoderRoundTrip, ACoreFreedDuringTheEncodingIsGivenBack) {
    const Bytes data = wordSoup(1600000, 11);
    const Bytes alone = lzh::encode(data, GetParam());
    lzh::CoreBudget budget(0);
    std::thread giver([&] { budget.give(); });
    const Bytes shared = lzh::encode(data, GetParam(), &budget);
    giver.join();
    EXPECT_TRUE(shared == alone);
    EXPECT_TRUE(budget.tryTake());
    EXPECT_FALSE(budget.tryTake());
}

TEST(CoreBudgetTest, AWaitEndsWithACoreOrWhenCalledOff) {
    lzh::CoreBudget budget(0);
    lzh::CoreBudget::Wait calledOff;
    budget.callOff(calledOff);
    EXPECT_FALSE(budget.takeUnlessCalledOff(calledOff));
    lzh::CoreBudget::Wait waiting;
    std::thread giver([&] { budget.give(); });
    EXPECT_TRUE(budget.takeUnlessCalledOff(waiting));
    giver.join();
    EXPECT_FALSE(budget.tryTake());
    // Called off while waiting, many times over: a lost wake-up would hang here.
    for (int round = 0; round < 200; ++round) {
        lzh::CoreBudget::Wait wait;
        std::thread caller([&] { budget.callOff(wait); });
        EXPECT_FALSE(budget.takeUnlessCalledOff(wait));
        caller.join();
    }
    // A core given back goes to a waiter that was not called off.
    lzh::CoreBudget::Wait other;
    budget.give();
    EXPECT_TRUE(budget.takeUnlessCalledOff(other));
}

TEST(EncoderLevels, StrongIsNoLargerThanFastOnText) {
    Bytes data = sourceFile("lzh/decoder.cpp");
    const Bytes more = sourceFile("lzh/encoder.cpp");
    data.insert(data.end(), more.begin(), more.end());
    const std::size_t strong = lzh::encode(data, lzh::Effort::strong).size();
    const std::size_t fast = lzh::encode(data, lzh::Effort::fast).size();
    EXPECT_LE(strong, fast);
    EXPECT_LT(strong, data.size() / 2);
}

// Inputs of several chunks: the stream does not depend on how many cores the
// encoder may borrow, and the pieces join into one stream that decodes.
TEST_P(EncoderRoundTrip, BorrowedCoresGiveTheSameStream) {
    Bytes data = wordSoup(700000, 5);
    const Bytes random = noise(300000, 6);
    const Bytes repeats = periodic(900000, 5000, 7); // matches across every chunk's start
    data.insert(data.end(), random.begin(), random.end());
    data.insert(data.end(), repeats.begin(), repeats.end());
    const Bytes alone = lzh::encode(data, GetParam());
    lzh::CoreBudget none(0), three(3);
    EXPECT_TRUE(lzh::encode(data, GetParam(), &none) == alone);
    EXPECT_TRUE(lzh::encode(data, GetParam(), &three) == alone);
    const Lh5Result result = decodeLh5(alone, data.size());
    ASSERT_FALSE(result.damaged);
    EXPECT_TRUE(result.output == data);
    // Every core lent was given back.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(three.tryTake());
    }
    EXPECT_FALSE(three.tryTake());
}
