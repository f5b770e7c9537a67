// Entries that no sound archive holds: each is refused as a bad entry before
// anything is created, and nothing is read outside the archive (ASan
// watches: every archive is copied into an allocation of exactly its size
// before the call).
#include "archive/entry.h"
#include "archive/extract.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

class HostileEntry : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.join("inst");
        std::filesystem::create_directory(hostPath(dir));
    }

    // Extracts the archive: the entry must be refused as a bad entry, with
    // the given fault, and leave the scratch directory as it was.
    void expectRefused(const Bytes& archive, EntryFault fault, std::uint32_t offset = 0) {
        ExactBytes exact(archive);
        std::int32_t r = extractEntry(exact.data(), offset, exact.size(), dir.c_str());
        EXPECT_EQ(r, entryBadHeader);
        EXPECT_EQ(entryFault, fault) << entryFaultText(entryFault);
        EXPECT_EQ(countTreeEntries(scratch.path()), 1) << "only the install directory";
    }

    ScratchDir scratch;
    std::string dir;
};

} // namespace

TEST_F(HostileEntry, HeaderSizeBelowTwentyOne) {
    for (std::uint32_t headerSize : {0u, 5u, 19u, 20u}) {
        Bytes archive;
        appendRawEntry(archive, headerSize, builderStored, 1, 1, "name", text("x"));
        expectRefused(archive, faultHeaderTooShort);
    }
}

TEST_F(HostileEntry, HeaderSizeOfTwentyOneHoldsOnlyTheNul) {
    Bytes archive;
    appendRawEntry(archive, 21, builderStored, 1, 1, std::string(1, '\0'), text("xyz"));
    expectRefused(archive, faultEmptyName);
}

TEST_F(HostileEntry, NameFieldWithoutNul) {
    Bytes archive;
    appendRawEntry(archive, 24, builderStored, 1, 1, "abcd", text("xyzw"));
    expectRefused(archive, faultNameUnterminated);
}

TEST_F(HostileEntry, EmptyName) {
    Bytes archive;
    appendEntry(archive, "", builderStored, text("x"), 1);
    expectRefused(archive, faultEmptyName);
}

TEST_F(HostileEntry, HeaderSizeThatWrapsPastFourGigabytes) {
    // offset + header size passes 2^32; in 32 bits it would wrap to 11.
    Bytes archive;
    appendEntry(archive, "first", builderStored, text("1"), 1);
    auto second = static_cast<std::uint32_t>(archive.size());
    appendRawEntry(archive, 0xFFFFFFF0u, builderStored, 0, 0, "n", text("pad"));
    archive.resize(archive.size() + 40, 0);
    expectRefused(archive, faultHeaderPastArchive, second);
}

TEST_F(HostileEntry, DataReachingPastTheArchive) {
    Bytes archive;
    appendRawEntry(archive, 22, builderStored, 1000, 1000, std::string("a\0", 2), text("short"));
    expectRefused(archive, faultDataPastArchive);
}

TEST_F(HostileEntry, PackedSizeThatWrapsPastFourGigabytes) {
    Bytes archive;
    appendRawEntry(archive, 22, builderCompressed, 0xFFFFFFF0u, 10, std::string("a\0", 2),
                   Bytes(64, 0));
    expectRefused(archive, faultDataPastArchive);
}

TEST_F(HostileEntry, StoredEntryLargerThanItsData) {
    Bytes archive;
    appendRawEntry(archive, 22, builderStored, 3, 4096, std::string("s\0", 2), text("abc"));
    archive.resize(archive.size() + 10, 0);
    expectRefused(archive, faultStoredSizeMismatch);
}

TEST_F(HostileEntry, NamesThatLeaveTheInstallDirectory) {
    for (const char* name : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "\\evil.txt", "/evil.txt",
                             "../evil.txt", "c:evil.txt", "C:\\evil.txt", "a\\b:c", ".. \\evil",
                             "...\\evil", "deep\\er\\..\\..\\..\\evil.txt"}) {
        Bytes archive;
        appendEntry(archive, name, builderStored, text("evil"), 4);
        archive.push_back(0);
        expectRefused(archive, faultUnsafeName);
    }
}

TEST_F(HostileEntry, RefusalStopsTheWalkAfterSoundEntries) {
    Bytes archive;
    appendEntry(archive, "fine.txt", builderStored, text("fine"), 4);
    appendEntry(archive, "..\\..\\evil.txt", builderStored, text("evil"), 4);
    appendEntry(archive, "later.txt", builderStored, text("later"), 5);
    ExactBytes exact(archive);
    EXPECT_EQ(extractArchive(exact.data(), exact.size(), dir.c_str()), archiveFailed);
    EXPECT_EQ(countTreeEntries(scratch.path()), 2);
    EXPECT_TRUE(fileExists(dir + "\\fine.txt"));
}

TEST_F(HostileEntry, EveryTruncationOfAnArchiveIsHandled) {
    // Cut a sound archive of two entries at every length. Each entry fails
    // while the cut falls in its header or data; a cut that leaves 20 bytes
    // or fewer after an entry ends the walk there.
    Bytes archive;
    appendEntry(archive, "a\\b.txt", builderStored, text("hello"), 5);
    const std::size_t firstEnd = archive.size();
    appendEntry(archive, "c.bin", builderCompressed,
                Bytes{0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00}, 3);
    const std::size_t secondEnd = archive.size();
    ASSERT_EQ(firstEnd, 20u + 8u + 5u);
    ASSERT_EQ(secondEnd, firstEnd + 20u + 6u + 7u);
    auto expectedCount = [&](std::size_t size) -> std::int32_t {
        if (size <= 20) {
            return 0;
        }
        if (size < firstEnd) {
            return archiveFailed;
        }
        if (size <= firstEnd + 20) {
            return 1;
        }
        return size < secondEnd ? archiveFailed : 2;
    };
    for (std::size_t size = 0; size <= archive.size(); ++size) {
        ExactBytes cut(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(extractArchive(cut.data(), cut.size(), dir.c_str()), expectedCount(size)) << size;
    }
}
