// The .lzh container helpers that carry lh5 streams to and from the peers.
#include "tests/support/archive_builder.h"
#include "tests/support/fixture_source.h"
#include "tests/support/lzh_container.h"

#include <gtest/gtest.h>
#include <map>
#include <stdexcept>

TEST(LzhContainer, CrcOfKnownText) {
    const std::string check = "123456789";
    EXPECT_EQ(lzhCrc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xBB3D);
}

TEST(LzhContainer, WrittenArchiveReadsBackTheSame) {
    std::vector<LzhEntry> entries(2);
    entries[0].method = "-lh5-";
    entries[0].name = "dir\\sub dir\\file.bin";
    entries[0].data = Bytes(300, 0x5A);
    entries[0].originalSize = 1000;
    entries[0].crc = 0x1234;
    entries[1].method = "-lh0-";
    entries[1].name = "plain.txt";
    entries[1].data = Bytes{'p', 'l', 'a', 'i', 'n'};
    entries[1].originalSize = 5;
    entries[1].crc = lzhCrc16(entries[1].data.data(), 5);

    std::vector<LzhEntry> back = readLzhArchive(writeLzhArchive(entries));
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].method, entries[i].method);
        EXPECT_EQ(back[i].name, entries[i].name);
        EXPECT_EQ(back[i].data, entries[i].data);
        EXPECT_EQ(back[i].originalSize, entries[i].originalSize);
        EXPECT_EQ(back[i].crc, entries[i].crc);
    }
}

TEST(LzhContainer, HeaderCrcCoversTheWholeHeader) {
    LzhEntry entry;
    entry.method = "-lh0-";
    entry.name = "single.txt";
    entry.data = Bytes{'a'};
    entry.originalSize = 1;
    Bytes archive = writeLzhArchive({entry});
    std::size_t headerSize = archive[0] | archive[1] << 8;
    // The common extended header (type 0) holds the CRC, right after the
    // 24 fixed bytes and its own 2-byte size.
    ASSERT_EQ(archive[26], 0x00);
    std::uint16_t stored = static_cast<std::uint16_t>(archive[27] | archive[28] << 8);
    archive[27] = archive[28] = 0;
    EXPECT_EQ(lzhCrc16(archive.data(), headerSize), stored);
}

TEST(LzhContainer, DirectoriesGoInTheirOwnExtendedHeader) {
    // Readers that take a separator in the file name for part of the name
    // need the directories in header type 2, each closed by 0xFF.
    LzhEntry entry;
    entry.method = "-lh0-";
    entry.name = "dir\\sub dir\\file.bin";
    entry.data = Bytes{'x'};
    entry.originalSize = 1;
    Bytes archive = writeLzhArchive({entry});
    std::map<int, std::string> extensions;
    std::size_t at = 26; // first extended header, after its 2-byte size
    for (std::size_t size = archive[24] | archive[25] << 8; size != 0;) {
        ASSERT_LE(at + size, archive.size());
        extensions[archive[at]] =
            std::string(archive.begin() + static_cast<std::ptrdiff_t>(at + 1),
                        archive.begin() + static_cast<std::ptrdiff_t>(at + size - 2));
        at += size;
        size = archive[at - 2] | archive[at - 1] << 8;
    }
    EXPECT_EQ(extensions[0x01], "file.bin");
    EXPECT_EQ(extensions[0x02], "dir\xFFsub dir\xFF");
}

TEST(LzhContainer, PayloadRoundTripKeepsStreamsAndNames) {
    std::vector<LzhEntry> peers = readLzhArchive(readFileBytes(QM_FIXTURE_DIR "/lh5/peers.lzh"));
    std::vector<Bytes> originals;
    for (const LzhEntry& entry : peers) {
        originals.push_back(fixtureSource(entry.name));
    }
    std::vector<LzhEntry> back = lzhFromPayload(payloadFromLzh(peers), originals);
    ASSERT_EQ(back.size(), peers.size());
    for (std::size_t i = 0; i < peers.size(); ++i) {
        EXPECT_EQ(back[i].method, peers[i].method);
        EXPECT_EQ(back[i].name, peers[i].name);
        EXPECT_EQ(back[i].data, peers[i].data);
        EXPECT_EQ(back[i].crc, peers[i].crc);
    }
}

TEST(LzhContainer, CutArchiveIsRefused) {
    Bytes archive = readFileBytes(QM_FIXTURE_DIR "/lh5/peers.lzh");
    archive.resize(archive.size() / 2);
    EXPECT_THROW(readLzhArchive(archive), std::runtime_error);
}
