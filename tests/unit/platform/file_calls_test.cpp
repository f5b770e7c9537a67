// The kernel32 file and directory calls that extraction relies on. Natively
// these run the posix stand-ins; under Wine the same tests run kernel32
// itself, so the stand-ins are held to the real behaviour.
#include <windows.h>

#include "tests/support/bytes.h"
#include "tests/support/scratch_dir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

HANDLE createForWriting(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD writeAll(HANDLE file, const std::string& data) {
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    return written;
}

} // namespace

TEST(FileCalls, CreateAlwaysMakesAndTruncates) {
    ScratchDir scratch;
    std::string path = scratch.join("f.txt");
    HANDLE file = createForWriting(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(writeAll(file, "a longer first text"), 19u);
    EXPECT_TRUE(CloseHandle(file));

    file = createForWriting(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(writeAll(file, "short"), 5u);
    CloseHandle(file);
    EXPECT_EQ(readFile(path), text("short"));
}

TEST(FileCalls, BackslashPathsReachSubdirectories) {
    ScratchDir scratch;
    EXPECT_TRUE(CreateDirectoryA(scratch.join("one").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryA(scratch.join("one\\two").c_str(), nullptr));
    HANDLE file = createForWriting(scratch.join("one\\two\\leaf.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    writeAll(file, "leaf");
    CloseHandle(file);
    EXPECT_EQ(readFile(scratch.join("one\\two\\leaf.bin")), text("leaf"));
}

TEST(FileCalls, CreateInAMissingDirectoryFails) {
    ScratchDir scratch;
    HANDLE file = createForWriting(scratch.join("missing\\f.txt"));
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(FileCalls, CreatingAnExistingDirectoryFails) {
    ScratchDir scratch;
    EXPECT_TRUE(CreateDirectoryA(scratch.join("d").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(scratch.join("d").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST(FileCalls, CreatingAFileOverADirectoryFails) {
    ScratchDir scratch;
    CreateDirectoryA(scratch.join("dir").c_str(), nullptr);
    EXPECT_EQ(createForWriting(scratch.join("dir")), INVALID_HANDLE_VALUE);
}

TEST(FileCalls, FilePointerMovesAndReports) {
    ScratchDir scratch;
    HANDLE file = createForWriting(scratch.join("p.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    writeAll(file, "0123456789");
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    writeAll(file, "ab");
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_END), 9u);
    CloseHandle(file);
    EXPECT_EQ(readFile(scratch.join("p.bin")), text("0123ab6789"));
}

TEST(FileCalls, LockedRangeCanBeWrittenByItsOwnerAndUnlocked) {
    ScratchDir scratch;
    HANDLE file = createForWriting(scratch.join("l.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(LockFile(file, 0, 0, 4, 0));
    EXPECT_EQ(writeAll(file, "lock"), 4u);
    EXPECT_TRUE(UnlockFile(file, 0, 0, 4, 0));
    CloseHandle(file);
    EXPECT_EQ(readFile(scratch.join("l.bin")), text("lock"));
}

TEST(FileCalls, DeleteRemovesAFileOnce) {
    ScratchDir scratch;
    std::string path = scratch.join("gone.txt");
    CloseHandle(createForWriting(path));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(fileExists(path));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileCalls, CurrentDirectoryIsSetAndRead) {
    ScratchDir scratch;
    char before[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, before), 0u);
    std::string sub = scratch.join("cwd");
    CreateDirectoryA(sub.c_str(), nullptr);
    EXPECT_TRUE(SetCurrentDirectoryA(sub.c_str()));
    char now[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_EQ(length, std::strlen(now));
    EXPECT_EQ(hostPath(now), hostPath(sub));
    EXPECT_FALSE(SetCurrentDirectoryA(scratch.join("nowhere").c_str()));
    EXPECT_TRUE(SetCurrentDirectoryA(before));
}

TEST(FileCalls, CurrentDirectoryReportsTheSizeItNeeds) {
    char now[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, now);
    ASSERT_GT(length, 1u);
    char tiny[1];
    EXPECT_EQ(GetCurrentDirectoryA(1, tiny), length + 1);
}
