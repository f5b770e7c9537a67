// An archive file reads the same bytes whether it is mapped, read whole or
// read as it is asked for, says why when it cannot be opened, and when a
// file it reads as asked shrinks, says so and gives zeros, not what the
// memory held.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/walks.h"

#include "lzh/encoder.h"

#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

namespace {

Bytes opened(const std::string& path, ArchiveReading reading) {
    ArchiveFile archive;
    std::string error;
    EXPECT_TRUE(archive.open(path, &error, reading)) << error;
    archive.await(archive.size());
    EXPECT_FALSE(archive.readFailed());
    return Bytes(archive.data(), archive.data() + archive.size());
}

std::string whyNot(const std::string& path, ArchiveReading reading) {
    ArchiveFile archive;
    std::string error;
    EXPECT_FALSE(archive.open(path, &error, reading));
    return error;
}

// Sizes around a huge page, whose memory is hinted whole.
TEST(ArchiveFileTest, ReadWholeGivesTheBytesTheMappingGives) {
    ScratchDir scratch;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4096},
                                   (std::size_t{2} << 20) - 1, (std::size_t{2} << 20) + 4099}) {
        SCOPED_TRACE(size);
        const std::string path = hostPath(scratch.join("archive.zuq"));
        Bytes bytes = noise(size, static_cast<std::uint32_t>(size));
        if (!bytes.empty()) {
            bytes[0] = 'z'; // not a program's "MZ"
        }
        writeFile(path, bytes);
        EXPECT_EQ(opened(path, ArchiveReading::whole), bytes);
        EXPECT_EQ(opened(path, ArchiveReading::inPlace), bytes);
        EXPECT_EQ(opened(path, ArchiveReading::arriving), bytes);
    }
}

#ifndef _WIN32
// Asked for bit by bit, from two threads at once, past the first read and
// past the end: each part is there when asked for.
TEST(ArchiveFileTest, ArrivingBytesAreThereWhenAskedFor) {
    ScratchDir scratch;
    const std::string path = hostPath(scratch.join("archive.zuq"));
    Bytes bytes = noise((std::size_t{3} << 20) + 77, 5);
    bytes[0] = 'z';
    writeFile(path, bytes);
    ArchiveFile archive;
    std::string error;
    ASSERT_TRUE(archive.open(path, &error, ArchiveReading::arriving)) << error;
    ASSERT_EQ(archive.size(), bytes.size());
    const auto check = [&](std::uint64_t from, std::uint64_t step) {
        for (std::uint64_t end = from + 1; end <= bytes.size() + step; end += step) {
            archive.await(end);
            const std::uint64_t shown = std::min<std::uint64_t>(end, bytes.size());
            ASSERT_TRUE(std::equal(
                bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(shown), archive.data()))
                << end;
        }
    };
    std::thread other([&] {
        while (archive.readMore()) {
        }
    });
    check(0, 100003);
    other.join();
    EXPECT_FALSE(archive.readMore());
    EXPECT_FALSE(archive.readFailed());
}

TEST(ArchiveFileTest, ArrivingFileThatShrinksGivesZerosAndSaysSo) {
    ScratchDir scratch;
    const std::string path = hostPath(scratch.join("archive.zuq"));
    Bytes bytes(std::size_t{3} << 20, 0x77);
    bytes[0] = 'z';
    writeFile(path, bytes);
    ArchiveFile archive;
    std::string error;
    ASSERT_TRUE(archive.open(path, &error, ArchiveReading::arriving)) << error;
    std::filesystem::resize_file(path, std::size_t{1} << 20);
    archive.await(archive.size());
    EXPECT_TRUE(archive.readFailed());
    ASSERT_EQ(archive.size(), bytes.size());
    // What had come in stays; from the first failed read on, zeros.
    const unsigned char* end = archive.data() + archive.size();
    const unsigned char* zeros = std::find(archive.data(), end, 0);
    EXPECT_GT(zeros, archive.data() + 1);
    EXPECT_LE(zeros, archive.data() + (std::size_t{1} << 20));
    EXPECT_TRUE(std::equal(archive.data(), zeros, bytes.data()));
    EXPECT_TRUE(std::all_of(zeros, end, [](unsigned char b) { return b == 0; }));
}

// zuq test over a file that arrives as the walk and the decoding ask for
// it says what it says over the same archive in memory: one large entry
// (decoded on two threads) and many small ones.
TEST(ArchiveFileTest, TestingAnArrivingArchiveSaysWhatTestingItInMemorySays) {
    ScratchDir scratch;
    Bytes large = noise(std::size_t{1} << 20, 3);
    for (std::size_t i = 0; large.size() < (std::size_t{5} << 20); ++i) {
        large.insert(large.end(), large.begin() + static_cast<std::ptrdiff_t>(i * 4099 % 500000),
                     large.begin() + static_cast<std::ptrdiff_t>(i * 4099 % 500000 + 70000));
    }
    Bytes oneLarge, many;
    appendEntry(oneLarge, "large.bin", builderCompressed, lzh::encode(large, lzh::Effort::fast),
                sizeOf(large));
    for (std::uint32_t i = 0; i < 300; ++i) {
        const Bytes part(large.begin() + i * 9000, large.begin() + i * 9000 + 20000);
        appendEntry(many, "part" + std::to_string(i), builderCompressed,
                    lzh::encode(part, lzh::Effort::fast), sizeOf(part));
    }
    // The last entry damaged, to be reported as in memory.
    many[many.size() - 10] ^= 0xFF;
    for (const Bytes* archiveBytes : {&oneLarge, &many}) {
        const std::string path = hostPath(scratch.join("archive.zuq"));
        writeFile(path, *archiveBytes);
        std::ostringstream inMemoryOut, inMemoryErr, arrivingOut, arrivingErr;
        const int inMemory = testArchive(archiveBytes->data(), sizeOf(*archiveBytes), false, 2,
                                         inMemoryOut, inMemoryErr);
        ArchiveFile archive;
        std::string error;
        ASSERT_TRUE(archive.open(path, &error, ArchiveReading::arriving)) << error;
        const int arriving = testArchive(archive.data(), archive.size(), false, 2, arrivingOut,
                                         arrivingErr, &archive);
        EXPECT_EQ(arriving, inMemory);
        EXPECT_EQ(arrivingOut.str(), inMemoryOut.str());
        EXPECT_EQ(arrivingErr.str(), inMemoryErr.str());
        EXPECT_FALSE(archive.readFailed());
    }
}
#endif

TEST(ArchiveFileTest, WhatCannotBeReadIsRefusedEitherWay) {
    ScratchDir scratch;
    for (const ArchiveReading reading :
         {ArchiveReading::whole, ArchiveReading::inPlace, ArchiveReading::arriving}) {
        EXPECT_EQ(whyNot(hostPath(scratch.join("missing.zuq")), reading),
                  "cannot open " + hostPath(scratch.join("missing.zuq")));
        // Windows refuses to open a folder as a file at all.
#ifdef _WIN32
        const std::string folderRefused = "cannot open " + hostPath(scratch.path());
#else
        const std::string folderRefused = hostPath(scratch.path()) + " is not a readable file";
#endif
        EXPECT_EQ(whyNot(hostPath(scratch.path()), reading), folderRefused);
    }
}

} // namespace
