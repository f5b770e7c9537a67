// Decoding one entry on two threads hands on the same chunks and gives the
// same verdict as decoding it on one: on streams of both encoder levels, on
// hand-made block shapes, on damaged streams, when the taker stops, and
// when the archive's bytes are still arriving.
#include "tools/zuq/two_thread_decode.h"

#include "archive/entry.h"
#include "archive/entry_data.h"
#include "lzh/decoder.h"
#include "lzh/encoder.h"

#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

namespace {

// What a taker saw: every chunk's size and all their bytes.
struct Seen {
    std::vector<std::uint32_t> sizes;
    Bytes bytes;
    std::size_t stopAt = ~std::size_t{0}; // the chunk whose taking fails
};

EntryFault record(const unsigned char* chunk, std::uint32_t size, void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->sizes.push_back(size);
    seen->bytes.insert(seen->bytes.end(), chunk, chunk + size);
    return seen->sizes.size() == seen->stopAt ? faultWriteFailed : faultNone;
}

struct Outcome {
    EntryFault fault;
    Seen seen;
};

// An archive whose bytes show only once they are awaited: until then its
// memory holds a filler that decodes to other bytes, or to damage. Each
// readMore brings in one small piece.
class Trickle : public Arrival {
  public:
    explicit Trickle(const Bytes& archive) : archive_(archive), shown_(archive.size(), 0xA5) {}

    const unsigned char* data() const {
        return shown_.data();
    }
    void await(std::uint64_t end) override {
        std::lock_guard lock(mutex_);
        showUpTo(std::min<std::uint64_t>(end, archive_.size()));
        ++awaits_;
    }
    bool readMore() override {
        std::lock_guard lock(mutex_);
        showUpTo(std::min<std::uint64_t>(shown(), archive_.size()) + 4096);
        return shown() < archive_.size();
    }
    std::uint64_t shown() const {
        return shownUpTo_.load();
    }
    unsigned awaits() const {
        return awaits_;
    }

  private:
    void showUpTo(std::uint64_t end) {
        end = std::min<std::uint64_t>(end, archive_.size());
        for (std::uint64_t i = shownUpTo_; i < end; ++i) {
            shown_[i] = archive_[i];
        }
        shownUpTo_ = std::max<std::uint64_t>(shownUpTo_, end);
    }

    const Bytes& archive_;
    Bytes shown_;
    std::mutex mutex_;
    std::atomic<std::uint64_t> shownUpTo_{0};
    unsigned awaits_ = 0;
};

// One compressed entry of the packed stream, claiming unpackedSize bytes.
class OneEntry {
  public:
    OneEntry(const Bytes& packed, std::uint32_t unpackedSize) {
        appendEntry(archive_, "big.bin", builderCompressed, packed, unpackedSize);
        EntryFault fault = faultNone;
        EXPECT_EQ(readEntryHeader(archive_.data(), sizeOf(archive_), 0, &header_, &fault),
                  headerSound);
    }
    // Both ways start from the same window: a stream may reach back into
    // whatever the last entry left there.
    Outcome decode(bool twoThreads, std::size_t stopAt = ~std::size_t{0}) const {
        startWindow();
        Outcome outcome{faultNone, {}};
        outcome.seen.stopAt = stopAt;
        outcome.fault =
            twoThreads ? decodeEntryOnTwoThreads(archive_.data(), &header_, record, &outcome.seen)
                       : decodeEntryChunks(archive_.data(), &header_, record, &outcome.seen);
        return outcome;
    }
    // On two threads, the archive's bytes showing only as they are awaited.
    Outcome decodeArriving(Trickle& arriving) const {
        startWindow();
        Outcome outcome{faultNone, {}};
        outcome.fault =
            decodeEntryOnTwoThreads(arriving.data(), &header_, record, &outcome.seen, &arriving);
        return outcome;
    }
    const Bytes& archive() const {
        return archive_;
    }

  private:
    static void startWindow() {
        for (std::uint32_t i = 0; i < windowSize; ++i) {
            decodeWindow[i] = static_cast<unsigned char>(i * 7 + 1);
        }
    }

    Bytes archive_;
    EntryHeader header_{};
};

void expectSameAsOneThread(const Bytes& packed, std::uint32_t unpackedSize,
                           const std::string& what) {
    const OneEntry entry(packed, unpackedSize);
    const Outcome one = entry.decode(false);
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, one.fault) << what;
    EXPECT_EQ(two.seen.sizes, one.seen.sizes) << what;
    EXPECT_TRUE(two.seen.bytes == one.seen.bytes) << what;
}

// Prose, noise and long runs by turns: literals, short and long matches,
// blocks of many shapes.
Bytes mixedData(std::size_t size) {
    const Bytes prose = fixtureSource("prose.txt");
    Bytes data;
    for (std::uint32_t piece = 0; data.size() < size; ++piece) {
        switch (piece % 3) {
        case 0:
            data.insert(data.end(), prose.begin(), prose.end());
            break;
        case 1: {
            const Bytes random = noise(40000 + piece * 997, piece);
            data.insert(data.end(), random.begin(), random.end());
            break;
        }
        default:
            data.insert(data.end(), 30000 + piece * 131, static_cast<std::uint8_t>(piece));
        }
    }
    data.resize(size);
    return data;
}

class TwoThreadDecode : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        data_ = new Bytes(mixedData(3u << 20));
        packed_ = new Bytes(lzh::encode(*data_, lzh::Effort::fast));
    }
    static void TearDownTestSuite() {
        delete data_;
        delete packed_;
    }
    static const Bytes& data() {
        return *data_;
    }
    static const Bytes& packed() {
        return *packed_;
    }

  private:
    static Bytes* data_;
    static Bytes* packed_;
};

Bytes* TwoThreadDecode::data_ = nullptr;
Bytes* TwoThreadDecode::packed_ = nullptr;

TEST_F(TwoThreadDecode, GivesTheFileBackInTheSameChunks) {
    const OneEntry entry(packed(), sizeOf(data()));
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, faultNone);
    EXPECT_TRUE(two.seen.bytes == data());
    expectSameAsOneThread(packed(), sizeOf(data()), "fast level");
    const Bytes text = fixtureSource("prose.txt");
    Bytes longText;
    while (longText.size() < (1u << 20)) {
        longText.insert(longText.end(), text.begin(), text.end());
    }
    expectSameAsOneThread(lzh::encode(longText), sizeOf(longText), "strong level");
    // Full blocks of 65535 literals: the reader's ring wraps every block.
    const Bytes random = noise(1u << 20, 7);
    expectSameAsOneThread(literalStream(random), sizeOf(random), "literal blocks");
}

TEST_F(TwoThreadDecode, HandMadeBlockShapesComeOutAsOnOneThread) {
    Lh5Writer writer;
    // A match that reaches back before the entry, into the window as the
    // entry found it: then short patterns repeated, and every distance of
    // the 16-byte steps' edges.
    writer.header(20, {'q', 3 + matchSymbolBias, 200 + matchSymbolBias},
                  {distanceClassOf(99), 0, 1, 2, 3, 4, 5});
    writer.match(200, 99);
    for (const std::uint32_t distance : {0u, 1u, 2u, 6u, 7u, 8u, 14u, 15u, 16u}) {
        writer.literal('q');
        writer.match(distance < 8 ? 200 : 3, distance);
    }
    writer.literal('q');
    // Runs of one byte copied 200 at a time, cut by every chunk's end.
    writer.header(20000, {'a', 'b', 200 + matchSymbolBias}, {0, 1});
    Bytes expected;
    for (int i = 0; i < 10000; ++i) {
        writer.literal(i % 2 ? 'a' : 'b');
        writer.match(200, 0);
        expected.push_back(i % 2 ? 'a' : 'b');
        expected.insert(expected.end(), 200, expected.back());
    }
    // One symbol, sent in single-value form: no bits per symbol.
    writer.header(5000, {'x'}, {});
    for (int i = 0; i < 5000; ++i) {
        writer.literal('x');
        expected.push_back('x');
    }
    // A block of one match symbol in single-value form, its distances
    // from a real code: every slot of the reader's table holds that match.
    writer.header(3000, {256 + matchSymbolBias}, {0, 1});
    for (int i = 0; i < 3000; ++i) {
        writer.match(256, i % 2);
        expected.insert(expected.end(), 256, 'x');
    }
    // A count of zero: the block never ends, up to the entry's end.
    writer.header(0, {'y', 'z'}, {});
    for (int i = 0; i < 70000; ++i) {
        writer.literal(i % 3 ? 'y' : 'z');
        expected.push_back(i % 3 ? 'y' : 'z');
    }
    const std::uint32_t head = 200 + 10 + 5 * 200 + 4 * 3;
    const OneEntry entry(writer.bytes(), head + sizeOf(expected));
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, faultNone);
    EXPECT_TRUE(Bytes(two.seen.bytes.begin() + head, two.seen.bytes.end()) == expected);
    expectSameAsOneThread(writer.bytes(), head + sizeOf(expected), "hand-made blocks");
}

// Short matches are copied in two whole 16-byte steps when no byte they
// read is one they write: at the edges of that (lengths around 16 and 32,
// distances around the length and around 16 and 32) every byte must come
// out as if copied one at a time.
TEST_F(TwoThreadDecode, ShortMatchesAtTheStepsEdgesComeOutAsOnOneThread) {
    const std::vector<int> lengths{3, 4, 5, 15, 16, 17, 31, 32, 33};
    const std::vector<std::uint32_t> distances{3, 4, 5, 6, 15, 16, 17, 18, 24, 31, 32, 33, 34};
    std::vector<int> symbols;
    for (int c = 'a'; c <= 'z'; ++c) {
        symbols.push_back(c);
    }
    for (const int length : lengths) {
        symbols.push_back(length + static_cast<int>(matchSymbolBias));
    }
    std::vector<int> classes;
    for (const std::uint32_t distance : distances) {
        classes.push_back(static_cast<int>(distanceClassOf(distance - 1)));
    }
    std::sort(classes.begin(), classes.end());
    classes.erase(std::unique(classes.begin(), classes.end()), classes.end());

    Lh5Writer writer;
    Bytes expected;
    const auto literal = [&](int i) {
        const auto byte = static_cast<std::uint8_t>('a' + i % 26);
        writer.literal(byte);
        expected.push_back(byte);
    };
    // Literals first, so that every match reaches back into the entry.
    constexpr int rounds = 2, lead = 64;
    writer.header(static_cast<std::uint32_t>(lead + rounds * 3 * lengths.size() * distances.size()),
                  symbols, classes);
    for (int i = 0; i < lead; ++i) {
        literal(i * 5);
    }
    for (int round = 0; round < rounds; ++round) {
        for (const int length : lengths) {
            for (const std::uint32_t distance : distances) {
                literal(length + round);
                literal(static_cast<int>(distance) * 7);
                writer.match(length, distance - 1);
                for (int i = 0; i < length; ++i) {
                    expected.push_back(expected[expected.size() - distance]);
                }
            }
        }
    }
    // The block that ends the entry is read by the copying thread itself.
    writer.header(0, {'y', 'z'}, {});
    for (int i = 0; i < 70000; ++i) {
        writer.literal(i % 3 ? 'y' : 'z');
        expected.push_back(i % 3 ? 'y' : 'z');
    }
    const OneEntry entry(writer.bytes(), sizeOf(expected));
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, faultNone);
    EXPECT_TRUE(two.seen.bytes == expected);
    expectSameAsOneThread(writer.bytes(), sizeOf(expected), "matches at the steps' edges");
}

TEST_F(TwoThreadDecode, CodesOfEveryLengthComeOutAsOnOneThread) {
    // Codes of 1 to 16 bits, literals and matches taking turns, and distance
    // codes of 1 to 13 bits: symbols whose code and distance code fit the
    // reader's table and symbols that leave it, long codes walked bit by
    // bit among them.
    const std::vector<int> symbols = {'a',
                                      3 + matchSymbolBias,
                                      'b',
                                      256 + matchSymbolBias,
                                      'c',
                                      10 + matchSymbolBias,
                                      'd',
                                      'e',
                                      4 + matchSymbolBias,
                                      'f',
                                      100 + matchSymbolBias,
                                      'g',
                                      'h',
                                      7 + matchSymbolBias,
                                      'i',
                                      'j',
                                      50 + matchSymbolBias};
    std::vector<int> symbolLens(lh5SymbolAlphabet, 0);
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        symbolLens[symbols[i]] = std::min<int>(static_cast<int>(i) + 1, 16);
    }
    std::vector<int> distanceLens(lh5DistanceAlphabet);
    for (int c = 0; c < lh5DistanceAlphabet; ++c) {
        distanceLens[c] = std::min(c + 1, lh5DistanceAlphabet - 1);
    }
    std::vector<std::pair<int, std::uint32_t>> block; // symbol, distance value
    for (std::uint32_t i = 0; i < windowSize; ++i) {
        block.push_back({'a' + static_cast<int>(i % 10), 0});
    }
    for (std::uint32_t i = 0; i < 4000; ++i) {
        const std::uint32_t distanceClass = (i * 5 + i / 3) % lh5DistanceAlphabet;
        block.push_back({symbols[(i * 7 + i / 17) % symbols.size()],
                         distanceClassBase(distanceClass) +
                             (i * 2654435761u) % (1u << distanceExtraBits(distanceClass))});
    }
    // The reader reads every block but the last: the same block twice.
    Lh5Writer writer;
    Bytes expected;
    for (int copy = 0; copy < 2; ++copy) {
        writer.headerWithLengths(static_cast<std::uint32_t>(block.size()), symbolLens,
                                 distanceLens);
        for (const auto& [symbol, distance] : block) {
            if (symbol < static_cast<int>(firstMatchSymbol)) {
                writer.literal(static_cast<std::uint8_t>(symbol));
                expected.push_back(static_cast<std::uint8_t>(symbol));
                continue;
            }
            writer.match(symbol - static_cast<int>(matchSymbolBias), distance);
            const std::size_t from = expected.size() - distance - 1;
            for (std::uint32_t k = 0; k < symbol - matchSymbolBias; ++k) {
                expected.push_back(expected[from + k]);
            }
        }
    }
    const OneEntry entry(writer.bytes(), sizeOf(expected));
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, faultNone);
    EXPECT_TRUE(two.seen.bytes == expected);
    expectSameAsOneThread(writer.bytes(), sizeOf(expected), "codes of every length");
}

TEST_F(TwoThreadDecode, MatchesReachTheWholeWindowBackAtEveryChunkStart) {
    // 8 KiB of bytes, then copies of them from exactly 8192 back in 256-byte
    // matches: each chunk starts with one, over many chunks.
    std::vector<int> symbols(256);
    for (int i = 0; i < 256; ++i) {
        symbols[i] = i;
    }
    symbols.push_back(maxMatch + matchSymbolBias);
    constexpr std::uint32_t copies = 32 * 20;
    Lh5Writer writer;
    writer.header(windowSize + copies, symbols, {distanceClassOf(windowSize - 1)});
    Bytes expected;
    for (std::uint32_t i = 0; i < windowSize; ++i) {
        expected.push_back(static_cast<std::uint8_t>(i * 31 + i / 256 + 77));
        writer.literal(expected.back());
    }
    for (std::uint32_t i = 0; i < copies; ++i) {
        writer.match(maxMatch, windowSize - 1);
        for (std::uint32_t k = 0; k < maxMatch; ++k) {
            expected.push_back(expected[expected.size() - windowSize]);
        }
    }
    // A last block for the reading thread's own end.
    writer.header(1, {'e', 'f'}, {});
    writer.literal('e');
    expected.push_back('e');
    const OneEntry entry(writer.bytes(), sizeOf(expected));
    const Outcome two = entry.decode(true);
    EXPECT_EQ(two.fault, faultNone);
    EXPECT_TRUE(two.seen.bytes == expected);
}

TEST_F(TwoThreadDecode, DamageGivesTheSameVerdictAfterTheSameChunks) {
    for (const double where : {0.0, 0.1, 0.5, 0.9, 0.999}) {
        Bytes damaged = packed();
        const std::size_t at = static_cast<std::size_t>(where * (damaged.size() - 1));
        for (std::size_t i = at; i < std::min(damaged.size(), at + 64); ++i) {
            damaged[i] ^= 0x5A;
        }
        expectSameAsOneThread(damaged, sizeOf(data()), "bytes flipped at " + std::to_string(at));
    }
    for (const std::size_t cut : {packed().size() / 2, packed().size() - 1}) {
        const Bytes shorter(packed().begin(), packed().begin() + static_cast<std::ptrdiff_t>(cut));
        expectSameAsOneThread(shorter, sizeOf(data()), "cut to " + std::to_string(cut));
    }
    // More bytes claimed than the stream makes: its end is read as zeros.
    expectSameAsOneThread(packed(), sizeOf(data()) + 100000, "size past the stream");
    // Fewer: the decoding stops inside a block, and the rest is never read.
    for (const std::uint32_t less : {1u, 100000u}) {
        expectSameAsOneThread(packed(), sizeOf(data()) - less,
                              "size " + std::to_string(less) + " short of the stream");
    }
}

TEST_F(TwoThreadDecode, TakerThatFailsStopsBothAtTheSameChunk) {
    const OneEntry entry(packed(), sizeOf(data()));
    for (const std::size_t stopAt : {std::size_t{1}, std::size_t{200}, std::size_t{383}}) {
        const Outcome one = entry.decode(false, stopAt);
        const Outcome two = entry.decode(true, stopAt);
        EXPECT_EQ(one.fault, faultWriteFailed);
        EXPECT_EQ(two.fault, faultWriteFailed) << stopAt;
        EXPECT_EQ(two.seen.sizes.size(), stopAt);
        EXPECT_TRUE(two.seen.bytes == one.seen.bytes) << stopAt;
    }
}

// Every byte either thread reads is one it asked for first, the blocks'
// last bytes and the stream's end among them.
TEST_F(TwoThreadDecode, ReadsOnlyTheBytesItAwaited) {
    const Bytes random = noise(1u << 20, 11);
    const struct {
        Bytes packed;
        std::uint32_t size;
        std::string what;
    } streams[] = {
        {packed(), sizeOf(data()), "fast level"},
        {literalStream(random), sizeOf(random), "literal blocks"},
        {Bytes(packed().begin(), packed().begin() + packed().size() / 2), sizeOf(data()),
         "cut in half"},
    };
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream.what);
        const OneEntry entry(stream.packed, stream.size);
        const Outcome one = entry.decode(false);
        Trickle arriving(entry.archive());
        const Outcome two = entry.decodeArriving(arriving);
        EXPECT_EQ(two.fault, one.fault);
        EXPECT_EQ(two.seen.sizes, one.seen.sizes);
        EXPECT_TRUE(two.seen.bytes == one.seen.bytes);
#ifndef _WIN32
        EXPECT_GT(arriving.awaits(), 1u); // block by block, not all at once
#endif
        EXPECT_EQ(arriving.shown(), entry.archive().size());
    }
}

} // namespace
