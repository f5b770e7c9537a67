// The fast decoder against the plain one (tests/support/reference_lh5): on
// peer streams, on random streams with random complete codes (long codes,
// every distance class, matches across chunk ends, before the entry's start),
// on damaged and random bytes. After every chunk both must agree on the
// damage flag and, while the stream is sound, on the whole window and the
// state.
#include "lzh/decoder.h"

#include "tests/support/lh5_stream.h"
#include "tests/support/lzh_container.h"
#include "tests/support/reference_lh5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A small, fixed pseudo-random source, so every run sees the same streams.
struct Random {
    std::uint32_t state;

    std::uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    std::uint32_t below(std::uint32_t n) {
        return next() % n;
    }
};

// Both windows start alike, filled with a pattern, so that matches reaching
// before the entry's first byte must find the same bytes in both.
void fillWindows(std::uint32_t seed) {
    Random random{seed};
    for (std::uint32_t i = 0; i < windowSize; ++i) {
        decodeWindow[i] = static_cast<unsigned char>(random.next());
    }
    std::memcpy(referenceLh5::decodeWindow, decodeWindow, windowSize);
}

// Decodes size bytes with both decoders, chunk by chunk as extraction does,
// and compares after each chunk. Returns whether the stream was damaged.
bool expectSameDecoding(const Bytes& packed, std::size_t size, std::uint32_t seed,
                        const std::string& what) {
    fillWindows(seed);
    auto packedSize = static_cast<std::uint32_t>(packed.size());
    decodeError = 0;
    referenceLh5::decodeError = 0;
    decodeStart(packed.data(), packedSize);
    referenceLh5::decodeStart(packed.data(), packedSize);
    std::size_t chunk = 0;
    for (std::size_t remaining = size; remaining > 0; ++chunk) {
        auto n = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, windowSize));
        decodeChunk(n, decodeWindow);
        referenceLh5::decodeChunk(n, referenceLh5::decodeWindow);
        EXPECT_EQ(decodeError, referenceLh5::decodeError) << what << ", chunk " << chunk;
        if (decodeError || referenceLh5::decodeError) {
            return true;
        }
        EXPECT_EQ(std::memcmp(decodeWindow, referenceLh5::decodeWindow, windowSize), 0)
            << what << ", chunk " << chunk;
        EXPECT_EQ(decoderState(), referenceLh5::decoderState()) << what << ", chunk " << chunk;
        if (::testing::Test::HasFailure()) {
            return false;
        }
        remaining -= n;
    }
    return false;
}

// A random complete prefix code over `alphabet` symbols, lengths up to 16:
// start from two one-bit codes and split random leaves until every symbol
// has one. Symbols get the leaves in a random order.
std::vector<int> randomCompleteLengths(Random& random, int alphabet, int symbols) {
    std::vector<int> leaves = {1, 1};
    while (static_cast<int>(leaves.size()) < symbols) {
        std::size_t pick = random.below(static_cast<std::uint32_t>(leaves.size()));
        if (leaves[pick] >= 16) {
            continue;
        }
        ++leaves[pick];
        leaves.push_back(leaves[pick]);
    }
    std::vector<int> lengths(static_cast<std::size_t>(alphabet), 0);
    std::vector<int> order;
    for (int s = 0; s < alphabet; ++s) {
        order.push_back(s);
    }
    for (std::size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[random.below(static_cast<std::uint32_t>(i))]);
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        lengths[static_cast<std::size_t>(order[i])] = leaves[i];
    }
    return lengths;
}

std::vector<int> symbolsWithLength(const std::vector<int>& lengths) {
    std::vector<int> symbols;
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] != 0) {
            symbols.push_back(static_cast<int>(s));
        }
    }
    return symbols;
}

// A distance value of the given class (0 to 13).
std::uint32_t distanceOfClass(Random& random, int distanceClass) {
    if (distanceClass <= 1) {
        return static_cast<std::uint32_t>(distanceClass);
    }
    std::uint32_t base = 1u << (distanceClass - 1);
    return base + random.below(base);
}

// A stream of several blocks, each with its own random codes, symbols drawn
// from them at random. Returns the stream; *size is its unpacked size.
Bytes randomStream(Random& random, std::size_t* size) {
    Lh5Writer writer;
    *size = 0;
    int blocks = 1 + static_cast<int>(random.below(4));
    for (int b = 0; b < blocks; ++b) {
        int symbolCount = 2 + static_cast<int>(random.below(lh5SymbolAlphabet - 1));
        std::vector<int> symbolLens = randomCompleteLengths(random, lh5SymbolAlphabet, symbolCount);
        std::vector<int> distanceLens =
            randomCompleteLengths(random, lh5DistanceAlphabet, 2 + random.below(13));
        std::vector<int> symbols = symbolsWithLength(symbolLens);
        std::vector<int> classes = symbolsWithLength(distanceLens);
        std::uint32_t count = 1 + random.below(9000);
        writer.headerWithLengths(count, symbolLens, distanceLens);
        for (std::uint32_t i = 0; i < count; ++i) {
            int symbol = symbols[random.below(static_cast<std::uint32_t>(symbols.size()))];
            if (symbol < 256) {
                writer.literal(static_cast<std::uint8_t>(symbol));
                *size += 1;
                continue;
            }
            int distanceClass = classes[random.below(static_cast<std::uint32_t>(classes.size()))];
            writer.match(symbol - 253, distanceOfClass(random, distanceClass));
            *size += static_cast<std::size_t>(symbol - 253);
        }
    }
    return writer.bytes();
}

// "WHAT N", built without the string concatenation that GCC 12 misreads.
std::string label(const std::string& what, int round) {
    std::string text = what;
    text += ' ';
    text += std::to_string(round);
    return text;
}

std::vector<LzhEntry> peerStreams() {
    std::vector<LzhEntry> streams;
    for (LzhEntry& entry : readLzhArchive(readFileBytes(QM_FIXTURE_DIR "/lh5/peers.lzh"))) {
        if (entry.method == "-lh5-") {
            streams.push_back(std::move(entry));
        }
    }
    return streams;
}

} // namespace

TEST(DecoderEquivalence, PeerStreams) {
    std::uint32_t seed = 1;
    for (const LzhEntry& entry : peerStreams()) {
        EXPECT_FALSE(expectSameDecoding(entry.data, entry.originalSize, seed++, entry.name));
    }
}

TEST(DecoderEquivalence, RandomCodesAndMatches) {
    // Distances of every class, matches overlapping themselves, reaching
    // across chunk ends and before the entry's start; codes up to 16 bits.
    Random random{2024};
    for (int round = 0; round < 60; ++round) {
        std::size_t size = 0;
        Bytes packed = randomStream(random, &size);
        EXPECT_FALSE(
            expectSameDecoding(packed, size, random.next(), label("random stream", round)));
    }
}

TEST(DecoderEquivalence, StreamsAskedForMoreThanTheyHold) {
    // Past the last block the bits are zeros and then padding: both must
    // read the same headers from them and report the overrun alike.
    Random random{77};
    for (int round = 0; round < 20; ++round) {
        std::size_t size = 0;
        Bytes packed = randomStream(random, &size);
        expectSameDecoding(packed, size + 1 + random.below(3 * windowSize), random.next(),
                           label("longer than its stream", round));
    }
}

TEST(DecoderEquivalence, DamagedPeerStreams) {
    // One to three flipped bits, or a cut: both decoders see the same damage
    // at the same chunk, or none and the same bytes.
    Random random{99};
    for (const LzhEntry& entry : peerStreams()) {
        for (int round = 0; round < 40; ++round) {
            Bytes packed = entry.data;
            if (round % 4 == 3) {
                packed.resize(random.below(static_cast<std::uint32_t>(packed.size())));
            } else {
                for (int flips = 0; flips <= round % 3; ++flips) {
                    std::size_t at = random.below(static_cast<std::uint32_t>(packed.size()));
                    packed[at] ^= static_cast<std::uint8_t>(1u << random.below(8));
                }
            }
            expectSameDecoding(packed, entry.originalSize, random.next(),
                               label(entry.name + " damaged", round));
        }
    }
}

TEST(DecoderEquivalence, RandomBytes) {
    Random random{5};
    for (int round = 0; round < 400; ++round) {
        Bytes packed(1 + random.below(300));
        for (auto& b : packed) {
            b = static_cast<std::uint8_t>(random.next());
        }
        expectSameDecoding(packed, 1 + random.below(3 * windowSize), random.next(),
                           label("random bytes", round));
    }
}
