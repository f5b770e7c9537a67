// An archive file reads the same bytes whether it is mapped or read whole,
// and says why when it cannot be opened.
#include "tools/zuq/archive_file.h"

#include "tests/support/bytes.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes opened(const std::string& path, ArchiveReading reading) {
    ArchiveFile archive;
    std::string error;
    EXPECT_TRUE(archive.open(path, &error, reading)) << error;
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
    }
}

TEST(ArchiveFileTest, WhatCannotBeReadIsRefusedEitherWay) {
    ScratchDir scratch;
    for (const ArchiveReading reading : {ArchiveReading::whole, ArchiveReading::inPlace}) {
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
