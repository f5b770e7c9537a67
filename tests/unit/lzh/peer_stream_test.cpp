// Streams written by a peer lh5 encoder (jlha; see tests/fixtures/lh5)
// decode to their originals byte for byte.
#include "lzh/decoder.h"

#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/lzh_container.h"

#include <gtest/gtest.h>

namespace {

std::vector<LzhEntry> peerEntries() {
    return readLzhArchive(readFileBytes(QM_FIXTURE_DIR "/lh5/peers.lzh"));
}

} // namespace

TEST(PeerStreams, FixtureHoldsEveryOriginal) {
    std::vector<std::string> names;
    for (const LzhEntry& entry : peerEntries()) {
        names.push_back(entry.name);
    }
    EXPECT_EQ(names, fixtureSourceNames());
}

TEST(PeerStreams, OriginalsMatchThePeersChecksums) {
    // Guards the generator: the peer saw exactly these bytes.
    for (const LzhEntry& entry : peerEntries()) {
        Bytes original = fixtureSource(entry.name);
        EXPECT_EQ(original.size(), entry.originalSize) << entry.name;
        EXPECT_EQ(lzhCrc16(original.data(), original.size()), entry.crc) << entry.name;
    }
}

TEST(PeerStreams, EveryLh5StreamDecodesByteExact) {
    int compressed = 0;
    for (const LzhEntry& entry : peerEntries()) {
        if (entry.method != "-lh5-") {
            continue;
        }
        ++compressed;
        Lh5Result result = decodeLh5(entry.data, entry.originalSize);
        EXPECT_FALSE(result.damaged) << entry.name;
        EXPECT_EQ(result.output, fixtureSource(entry.name)) << entry.name;
    }
    EXPECT_GE(compressed, 5);
}

TEST(PeerStreams, TruncatedPeerStreamsAreDamaged) {
    for (const LzhEntry& entry : peerEntries()) {
        if (entry.method != "-lh5-" || entry.data.size() < 16) {
            continue;
        }
        Bytes cut(entry.data.begin(), entry.data.begin() + entry.data.size() / 2);
        EXPECT_TRUE(decodeLh5(cut, entry.originalSize).damaged) << entry.name;
    }
}

TEST(PeerStreams, OneEntryAfterAnotherReusesTheDecoder) {
    // Tables, trees and window carry over between entries; a sound stream
    // never shows it. Decode all twice, in opposite orders.
    std::vector<LzhEntry> entries = peerEntries();
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const LzhEntry& entry = entries[pass == 0 ? k : entries.size() - 1 - k];
            if (entry.method == "-lh5-") {
                EXPECT_EQ(decodeLh5(entry.data, entry.originalSize).output,
                          fixtureSource(entry.name))
                    << entry.name;
            }
        }
    }
}
