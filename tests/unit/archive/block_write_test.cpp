// Block writes as the system sees them: the test build of the file calls
// logs every lock, write and unlock, so the range of each lock, the 32767-byte
// pieces and the unlock after a short write are pinned, not only the bytes
// that land in the file.
#include "archive/extract.h"

#include "file_call_log.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

// Found by the checks' printing of a FileCall.
static std::ostream& operator<<(std::ostream& out, const FileCall& call) {
    const char* kinds[] = {"lock", "write", "unlock"};
    return out << kinds[call.kind] << "(" << call.offset << ", " << call.count << ", "
               << call.done << ")";
}

namespace {

FileCall lockOf(DWORD offset, DWORD count) {
    return {FileCall::lock, offset, count, 0};
}
FileCall unlockOf(DWORD offset, DWORD count) {
    return {FileCall::unlock, offset, count, 0};
}
FileCall writeOf(DWORD position, DWORD count, DWORD done) {
    return {FileCall::write, position, count, done};
}
FileCall writeOf(DWORD position, DWORD count) {
    return writeOf(position, count, count);
}

class RecordedBlockWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        path = scratch.join("block.bin");
        file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        clearFileCalls();
    }
    void TearDown() override {
        limitWrites(noWriteLimit);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    static Bytes pattern(std::size_t size) {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 32767);
        }
        return bytes;
    }

    ScratchDir scratch;
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
};

} // namespace

TEST_F(RecordedBlockWrite, LocksItsRangeAndWritesPiecesOf32767) {
    Bytes head = text("head");
    Bytes body = pattern(100000);
    ASSERT_EQ(writeBlock(file, head.data(), sizeOf(head)), blockWritten);
    clearFileCalls();
    ASSERT_EQ(writeBlock(file, body.data(), sizeOf(body)), blockWritten);
    std::vector<FileCall> expected = {lockOf(4, 100000),        writeOf(4, 32767),
                                      writeOf(32771, 32767),    writeOf(65538, 32767),
                                      writeOf(98305, 100000 - 3 * 32767), unlockOf(4, 100000)};
    EXPECT_EQ(fileCalls(), expected);
}

TEST_F(RecordedBlockWrite, ShortWriteUnlocksTheSameRangeAndStops) {
    Bytes body = pattern(100000);
    limitWrites(40000);
    EXPECT_EQ(writeBlock(file, body.data(), sizeOf(body)), blockShort);
    std::vector<FileCall> expected = {lockOf(0, 100000), writeOf(0, 32767),
                                      writeOf(32767, 32767, 40000 - 32767), unlockOf(0, 100000)};
    EXPECT_EQ(fileCalls(), expected);
}

TEST_F(RecordedBlockWrite, CountZeroLocksAndUnlocksAnEmptyRange) {
    unsigned char byte = 'x';
    EXPECT_EQ(writeBlock(file, &byte, 0), blockWritten);
    std::vector<FileCall> expected = {lockOf(0, 0), unlockOf(0, 0)};
    EXPECT_EQ(fileCalls(), expected);
}

TEST_F(RecordedBlockWrite, CompressedEntryIsWrittenOneChunkPerBlock) {
    // 8193 bytes: a chunk of 8192 and one of 1, each its own locked block
    // at the position where the last one ended.
    Bytes data = pattern(8193);
    Bytes archive;
    appendEntry(archive, "big.bin", builderCompressed, literalStream(data), sizeOf(data));
    archive.push_back(0);
    std::string dir = scratch.join("inst");
    std::filesystem::create_directory(hostPath(dir));
    clearFileCalls();
    EXPECT_EQ(extractArchive(archive.data(), sizeOf(archive), dir.c_str()), 1);
    std::vector<FileCall> expected = {lockOf(0, 8192), writeOf(0, 8192), unlockOf(0, 8192),
                                      lockOf(8192, 1), writeOf(8192, 1), unlockOf(8192, 1)};
    EXPECT_EQ(fileCalls(), expected);
    EXPECT_EQ(readFile(dir + "\\big.bin"), data);
}
