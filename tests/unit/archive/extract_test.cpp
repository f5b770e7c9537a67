// Extraction into real files and directories: natively through the posix
// file calls, under Wine through kernel32 itself.
#include "archive/entry.h"
#include "archive/extract.h"
#include "lzh/decoder.h"
#include "setup/state.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// An install directory inside a scratch directory, so that a test can also
// see that nothing appeared beside it.
class Extraction : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.join("inst");
        std::filesystem::create_directory(hostPath(dir));
        progressDone = 0;
        currentFile[0] = '\0';
    }

    std::int32_t extract(const Bytes& archive) {
        return extractArchive(archive.data(), sizeOf(archive), dir.c_str());
    }
    std::int32_t extractOne(const Bytes& archive, std::uint32_t offset = 0) {
        return extractEntry(archive.data(), offset, sizeOf(archive), dir.c_str());
    }
    std::string at(const std::string& name) const {
        return dir + "\\" + name;
    }

    ScratchDir scratch;
    std::string dir;
};

} // namespace

// --- the walk ----------------------------------------------------------------

TEST_F(Extraction, StoredAndCompressedEntriesAreWritten) {
    Bytes first = text("first file, stored");
    Bytes second = fixtureSource("prose.txt");
    Bytes archive;
    appendEntry(archive, "first.txt", builderStored, first, sizeOf(first));
    appendEntry(archive, "second.txt", builderCompressed, literalStream(second), sizeOf(second));
    EXPECT_EQ(extract(archive), 2);
    EXPECT_EQ(readFile(at("first.txt")), first);
    EXPECT_EQ(readFile(at("second.txt")), second);
}

TEST_F(Extraction, ArchiveOfTwentyBytesOrFewerHoldsNoEntry) {
    EXPECT_EQ(extract(Bytes{}), 0);
    EXPECT_EQ(extract(Bytes(20, 'z')), 0);
    EXPECT_EQ(countTreeEntries(dir), 0);
}

TEST_F(Extraction, ShortTailIsIgnoredLongTailFails) {
    Bytes archive;
    appendEntry(archive, "a.txt", builderStored, text("aaa"), 3);
    Bytes shortTail = archive;
    shortTail.insert(shortTail.end(), 20, 0xAB);
    EXPECT_EQ(extract(shortTail), 1);

    Bytes longTail = archive;
    longTail.insert(longTail.end(), 21, 0xAB);
    EXPECT_EQ(extract(longTail), archiveFailed);
    EXPECT_EQ(entryFault, faultBadMagic);
    // Entries written before the bad one stay.
    EXPECT_TRUE(fileExists(at("a.txt")));
}

TEST_F(Extraction, EntryResultIsTheNextOffset) {
    Bytes archive;
    appendEntry(archive, "x", builderStored, text("12345"), 5);
    std::uint32_t second = sizeOf(archive);
    appendEntry(archive, "y", builderStored, text("67"), 2);
    EXPECT_EQ(extractOne(archive), static_cast<std::int32_t>(second));
    EXPECT_EQ(extractOne(archive, second), static_cast<std::int32_t>(archive.size()));
    EXPECT_EQ(extractOne(archive, sizeOf(archive)), entryEndOfArchive);
}

TEST_F(Extraction, SubdirectoriesWithSpacesAreCreatedLevelByLevel) {
    Bytes archive;
    appendEntry(archive, "templates\\Soft Pastel\\large size\\t01.bmp", builderStored, text("BM"),
                2);
    appendEntry(archive, "templates\\Soft Pastel\\small\\t02.bmp", builderStored, text("BM2"), 3);
    EXPECT_EQ(extract(archive), 2);
    EXPECT_TRUE(directoryExists(at("templates\\Soft Pastel\\large size")));
    EXPECT_EQ(readFile(at("templates\\Soft Pastel\\large size\\t01.bmp")), text("BM"));
    EXPECT_EQ(readFile(at("templates\\Soft Pastel\\small\\t02.bmp")), text("BM2"));
}

TEST_F(Extraction, DirectoryWithTrailingBackslashIsUsedAsIs) {
    Bytes archive;
    appendEntry(archive, "f", builderStored, text("1"), 1);
    archive.push_back(0);
    std::string withSlash = dir + "\\";
    EXPECT_GT(extractEntry(archive.data(), 0, sizeOf(archive), withSlash.c_str()), 0);
    EXPECT_EQ(readFile(at("f")), text("1"));
}

TEST_F(Extraction, ExistingFileIsReplaced) {
    writeFile(at("old.txt"), Bytes(5000, 'o'));
    Bytes archive;
    appendEntry(archive, "old.txt", builderStored, text("new"), 3);
    EXPECT_EQ(extract(archive), 1);
    EXPECT_EQ(readFile(at("old.txt")), text("new"));
}

TEST_F(Extraction, FileThatCannotBeCreatedStopsTheWalk) {
    std::filesystem::create_directory(hostPath(at("taken")));
    Bytes archive;
    appendEntry(archive, "taken", builderStored, text("x"), 1);
    appendEntry(archive, "after", builderStored, text("y"), 1);
    EXPECT_EQ(extractOne(archive), entryCannotCreate);
    EXPECT_EQ(entryFault, faultCannotCreate);
    EXPECT_EQ(extract(archive), archiveFailed);
    EXPECT_FALSE(fileExists(at("after")));
}

TEST_F(Extraction, EmptyEntriesGiveEmptyFiles) {
    Bytes archive;
    appendEntry(archive, "stored-empty", builderStored, {}, 0);
    appendEntry(archive, "packed-empty", builderCompressed, Bytes{0x12, 0x34}, 0);
    appendEntry(archive, "last", builderStored, text("!"), 1);
    EXPECT_EQ(extract(archive), 3);
    EXPECT_TRUE(fileExists(at("stored-empty")));
    EXPECT_TRUE(readFile(at("stored-empty")).empty());
    EXPECT_TRUE(readFile(at("packed-empty")).empty());
}

TEST_F(Extraction, StoredEntryShorterThanItsDataWritesUnpackedSize) {
    Bytes archive;
    appendEntry(archive, "part", builderStored, text("abcdef"), 4);
    appendEntry(archive, "next", builderStored, text("z"), 1);
    EXPECT_EQ(extract(archive), 2);
    EXPECT_EQ(readFile(at("part")), text("abcd"));
}

TEST_F(Extraction, CompressedEntryOfOneChunkAndOneByte) {
    Bytes original = fixtureSource("chunk8193.txt");
    ASSERT_EQ(original.size(), windowSize + 1);
    Bytes archive;
    appendEntry(archive, "chunk.txt", builderCompressed, literalStream(original), sizeOf(original));
    EXPECT_EQ(extract(archive), 1);
    EXPECT_EQ(readFile(at("chunk.txt")), original);
}

TEST_F(Extraction, PeerArchiveIsReproducedByteExact) {
    std::vector<LzhEntry> entries = readLzhArchive(readFileBytes(QM_FIXTURE_DIR "/lh5/peers.lzh"));
    for (LzhEntry& entry : entries) {
        entry.name = "peers\\" + entry.name;
    }
    Bytes archive = payloadFromLzh(entries);
    EXPECT_EQ(extract(archive), static_cast<std::int32_t>(entries.size()));
    for (const std::string& name : fixtureSourceNames()) {
        EXPECT_EQ(readFile(at("peers\\" + name)), fixtureSource(name)) << name;
    }
}

// --- the path length rule ----------------------------------------------------

TEST_F(Extraction, PathOf254IsAcceptedAnd255Refused) {
    // L (directory and backslash) + n (name and NUL) must stay below 255.
    std::size_t prefix = dir.size() + 1;
    ASSERT_LT(prefix, 200u);
    std::string fits(254 - prefix - 1, 'f');
    std::string tooLong(255 - prefix - 1, 'g');
    Bytes archive;
    appendEntry(archive, fits, builderStored, text("1"), 1);
    appendEntry(archive, tooLong, builderStored, text("2"), 1);
    std::int32_t next = extractOne(archive);
    ASSERT_GT(next, 0);
    EXPECT_TRUE(fileExists(at(fits)));
    EXPECT_EQ(extractOne(archive, static_cast<std::uint32_t>(next)), entryBadHeader);
    EXPECT_EQ(entryFault, faultPathTooLong);
    EXPECT_FALSE(fileExists(at(tooLong)));
}

// --- damaged data ------------------------------------------------------------

TEST_F(Extraction, DamagedStreamDeletesThePartlyWrittenFile) {
    // A sound first block of 8192 literals fills the first chunk, which is
    // written; the second block's code is incomplete.
    Lh5Writer writer;
    std::vector<int> literals;
    for (int s = 0; s < 256; ++s) {
        literals.push_back(s);
    }
    writer.header(windowSize, literals, {});
    for (std::size_t i = 0; i < windowSize; ++i) {
        writer.literal(static_cast<std::uint8_t>(i));
    }
    std::vector<int> incomplete(lh5SymbolAlphabet, 0);
    incomplete['a'] = 1;
    writer.headerWithLengths(10, incomplete, {});
    writer.bits().put(0, 32);
    Bytes archive;
    appendEntry(archive, "broken.bin", builderCompressed, writer.bytes(), windowSize + 10);
    appendEntry(archive, "never.txt", builderStored, text("n"), 1);

    EXPECT_EQ(extractOne(archive), entryDecodeFailed);
    EXPECT_EQ(entryFault, faultDamagedStream);
    EXPECT_FALSE(fileExists(at("broken.bin")));
    EXPECT_EQ(extract(archive), archiveFailed);
    EXPECT_FALSE(fileExists(at("never.txt")));
}

TEST_F(Extraction, StreamShorterThanItsOutputIsDamaged) {
    Bytes original = fixtureSource("prose.txt");
    Bytes stream = literalStream(original);
    stream.resize(stream.size() / 2);
    Bytes archive;
    appendEntry(archive, "cut.txt", builderCompressed, stream, sizeOf(original));
    appendEntry(archive, "tail", builderStored, text("t"), 1);
    EXPECT_EQ(extractOne(archive), entryDecodeFailed);
    EXPECT_FALSE(fileExists(at("cut.txt")));
}

// --- progress ------------------------------------------------------------------

TEST_F(Extraction, ProgressCountsFilesAndNamesTheLast) {
    progressPanel = nullptr;
    Bytes archive;
    appendEntry(archive, "one", builderStored, text("1"), 1);
    appendEntry(archive, "sub\\two", builderStored, text("2"), 1);
    EXPECT_EQ(extract(archive), 2);
    EXPECT_EQ(progressDone, 2u);
    EXPECT_EQ(std::string(currentFile), dir + "\\sub\\two");
}

TEST_F(Extraction, EmptyDirectoryIsRefused) {
    // "" + "\\" + name would be a path at the drive's root.
    Bytes archive;
    appendEntry(archive, "root.txt", builderStored, text("1"), 1);
    archive.push_back(0);
    EXPECT_EQ(extractEntry(archive.data(), 0, sizeOf(archive), ""), entryBadHeader);
    EXPECT_EQ(entryFault, faultNoDirectory);
    EXPECT_EQ(progressDone, 0u);
}

namespace {
std::vector<std::uint32_t> bytesReported;
std::vector<std::string> filesReported;
void recordBytes(std::uint32_t written) {
    bytesReported.push_back(written);
    filesReported.emplace_back(currentFile);
}
} // namespace

TEST_F(Extraction, BytesWrittenAreReportedPerChunkWithTheFileBeingWritten) {
    Bytes big(3 * windowSize + 5);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    Bytes small = text("stored");
    Bytes archive;
    appendEntry(archive, "big.bin", builderCompressed, literalStream(big), sizeOf(big));
    appendEntry(archive, "small.txt", builderStored, small, sizeOf(small));
    bytesReported.clear();
    filesReported.clear();
    entryBytesWritten = recordBytes;
    EXPECT_EQ(extract(archive), 2);
    entryBytesWritten = nullptr;
    std::vector<std::uint32_t> expectedBytes = {
        0, windowSize, 2 * windowSize, 3 * windowSize, 3 * windowSize + 5, 0, 6};
    EXPECT_EQ(bytesReported, expectedBytes);
    std::vector<std::string> expectedFiles(5, at("big.bin"));
    expectedFiles.insert(expectedFiles.end(), 2, at("small.txt"));
    EXPECT_EQ(filesReported, expectedFiles);
}

TEST_F(Extraction, ProgressIsNotCountedForARefusedEntry) {
    Bytes archive;
    appendEntry(archive, "..\\up", builderStored, text("1"), 1);
    archive.push_back(0);
    EXPECT_EQ(extract(archive), archiveFailed);
    EXPECT_EQ(progressDone, 0u);
}

// --- block writes ------------------------------------------------------------

class BlockWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        path = scratch.join("block.bin");
        file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    Bytes closeAndRead() {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        return readFile(path);
    }

    ScratchDir scratch;
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(BlockWrite, CountZeroWritesNothing) {
    unsigned char byte = 'x';
    EXPECT_EQ(writeBlock(file, &byte, 0), blockWritten);
    EXPECT_TRUE(closeAndRead().empty());
}

// The pieces of 32767 bytes are pinned by block_write_test.
TEST_F(BlockWrite, LargeBlockIsWrittenWholeAtTheCurrentPosition) {
    Bytes head = text("head");
    Bytes body(100000);
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<std::uint8_t>(i * 31 + i / 32767);
    }
    EXPECT_EQ(writeBlock(file, head.data(), sizeOf(head)), blockWritten);
    EXPECT_EQ(writeBlock(file, body.data(), sizeOf(body)), blockWritten);
    Bytes expected = head;
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(closeAndRead(), expected);
}

TEST_F(BlockWrite, WriteToAReadOnlyHandleComesUpShort) {
    CloseHandle(file);
    file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes data(10, 'r');
    EXPECT_EQ(writeBlock(file, data.data(), sizeOf(data)), blockShort);
}
