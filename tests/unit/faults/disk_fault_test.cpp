// Extraction into folders that fight back: a target that cannot be opened
// for writing, a directory part that is a file, a disk that fills up. In
// every case the walk stops at the entry, the files written before it stay,
// a partly written file is deleted and what was there before is untouched.
#include "archive/entry.h"
#include "archive/extract.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"
#include "tests/unit/faults/child_process.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Where a walk of single entries stopped, and why.
struct WalkOutcome {
    std::int32_t written = 0;         // entries written before the stop
    std::int32_t stopResult = 0;      // extractEntry's result there (0: the end)
    EntryFault stopFault = faultNone; // entryFault then
};

WalkOutcome walkEntries(const Bytes& archive, const std::string& dir) {
    WalkOutcome outcome;
    std::uint32_t offset = 0;
    for (;;) {
        std::int32_t r = extractEntry(archive.data(), offset, sizeOf(archive), dir.c_str());
        if (r <= 0) {
            outcome.stopResult = r;
            outcome.stopFault = entryFault;
            break;
        }
        ++outcome.written;
        offset = static_cast<std::uint32_t>(r);
    }
    return outcome;
}

// The faulty entry sits between two sound ones.
Bytes archiveAround(const std::string& name, std::uint32_t method, const Bytes& data,
                    std::uint32_t unpackedSize) {
    Bytes archive;
    appendEntry(archive, "first.txt", builderStored, text("written first"), 13);
    appendEntry(archive, name, method, data, unpackedSize);
    appendEntry(archive, "after.txt", builderStored, text("never"), 5);
    return archive;
}

class DiskFault : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.join("inst");
        std::filesystem::create_directory(hostPath(dir));
    }
    std::string at(const std::string& name) const {
        return dir + "\\" + name;
    }
    // The walk stopped at the second entry; the first stays, the third was
    // never reached.
    void expectStoppedAtTheSecond(const WalkOutcome& outcome, std::int32_t result,
                                  EntryFault fault) {
        EXPECT_EQ(outcome.written, 1);
        EXPECT_EQ(outcome.stopResult, result);
        EXPECT_EQ(outcome.stopFault, fault) << entryFaultText(outcome.stopFault);
        EXPECT_EQ(readFile(at("first.txt")), text("written first"));
        EXPECT_FALSE(fileExists(at("after.txt")));
    }

    ScratchDir scratch;
    std::string dir;
};

} // namespace

// --- targets that cannot be written -----------------------------------------------

TEST_F(DiskFault, DirectoryPartThatIsAFileStopsTheWalk) {
    writeFile(at("docs"), text("a file, not a folder"));
    Bytes archive = archiveAround("docs\\readme.txt", builderStored, text("read me"), 7);

    WalkOutcome outcome = walkEntries(archive, dir);
    expectStoppedAtTheSecond(outcome, entryCannotCreate, faultCannotCreate);
    EXPECT_EQ(readFile(at("docs")), text("a file, not a folder"));
    EXPECT_EQ(extractArchive(archive.data(), sizeOf(archive), dir.c_str()), archiveFailed);
}

#ifdef _WIN32

TEST_F(DiskFault, TargetOpenElsewhereWithoutSharingIsLeftAlone) {
    writeFile(at("vorlenn.exe"), text("running program"));
    HANDLE other = CreateFileA(at("vorlenn.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    Bytes archive = archiveAround("vorlenn.exe", builderStored, text("new program"), 11);

    WalkOutcome outcome = walkEntries(archive, dir);
    CloseHandle(other);
    expectStoppedAtTheSecond(outcome, entryCannotCreate, faultCannotCreate);
    EXPECT_EQ(readFile(at("vorlenn.exe")), text("running program"));
}

TEST_F(DiskFault, ReadOnlyTargetIsNotReplaced) {
    writeFile(at("vorlenn.hlp"), text("old help"));
    ASSERT_TRUE(SetFileAttributesA(at("vorlenn.hlp").c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine keeps the attribute in the file mode, which root does not obey.
    HANDLE probe = CreateFileA(at("vorlenn.hlp").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesA(at("vorlenn.hlp").c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "read-only files are writable here (Wine run as root)";
    }
    Bytes archive = archiveAround("vorlenn.hlp", builderStored, text("new help"), 8);

    WalkOutcome outcome = walkEntries(archive, dir);
    SetFileAttributesA(at("vorlenn.hlp").c_str(), FILE_ATTRIBUTE_NORMAL);
    expectStoppedAtTheSecond(outcome, entryCannotCreate, faultCannotCreate);
    EXPECT_EQ(readFile(at("vorlenn.hlp")), text("old help"));
}

#else

TEST_F(DiskFault, TargetOpenElsewhereWithoutSharingIsLeftAlone) {
    GTEST_SKIP() << "POSIX has no share modes; the case runs under Wine";
}

// Root ignores file modes, so the walk runs as an ordinary user in a child.
TEST_F(DiskFault, ReadOnlyTargetIsNotReplaced) {
    writeFile(at("vorlenn.hlp"), text("old help"));
    chmod(hostPath(dir).c_str(), 0777);
    chmod(hostPath(at("vorlenn.hlp")).c_str(), 0444);
    Bytes archive = archiveAround("vorlenn.hlp", builderStored, text("new help"), 8);

    std::optional<WalkOutcome> outcome = runInChild<WalkOutcome>([&] {
        if (!dropRoot()) {
            _exit(1);
        }
        return walkEntries(archive, dir);
    });
    ASSERT_TRUE(outcome) << "the child could not give up root";
    expectStoppedAtTheSecond(*outcome, entryCannotCreate, faultCannotCreate);
    EXPECT_EQ(readFile(at("vorlenn.hlp")), text("old help"));
}

// --- a disk that fills up ----------------------------------------------------------

static Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

static constexpr std::uint64_t writeLimit = 30000;

TEST_F(DiskFault, WriteLimitDeletesThePartlyWrittenStoredFile) {
    Bytes big = pattern(100000);
    Bytes archive = archiveAround("big.bin", builderStored, big, sizeOf(big));

    std::optional<WalkOutcome> outcome = runInChild<WalkOutcome>([&] {
        limitFileSize(writeLimit);
        return walkEntries(archive, dir);
    });
    ASSERT_TRUE(outcome);
    expectStoppedAtTheSecond(*outcome, entryWriteFailed, faultWriteFailed);
    EXPECT_FALSE(fileExists(at("big.bin")));
}

TEST_F(DiskFault, WriteLimitDeletesThePartlyWrittenCompressedFile) {
    Bytes big = pattern(100000);
    Bytes archive = archiveAround("big.bin", builderCompressed, literalStream(big), sizeOf(big));

    std::optional<WalkOutcome> outcome = runInChild<WalkOutcome>([&] {
        limitFileSize(writeLimit);
        return walkEntries(archive, dir);
    });
    ASSERT_TRUE(outcome);
    expectStoppedAtTheSecond(*outcome, entryDecodeFailed, faultWriteFailed);
    EXPECT_FALSE(fileExists(at("big.bin")));
}

TEST_F(DiskFault, WriteLimitStopsTheWholeWalk) {
    Bytes big = pattern(100000);
    Bytes archive = archiveAround("big.bin", builderStored, big, sizeOf(big));

    std::optional<std::int32_t> walk = runInChild<std::int32_t>([&] {
        limitFileSize(writeLimit);
        return extractArchive(archive.data(), sizeOf(archive), dir.c_str());
    });
    ASSERT_TRUE(walk);
    EXPECT_EQ(*walk, archiveFailed);
    EXPECT_TRUE(fileExists(at("first.txt")));
    EXPECT_FALSE(fileExists(at("big.bin")));
    EXPECT_FALSE(fileExists(at("after.txt")));
}

// A filesystem of 64 KiB that really runs out of space. It exists only in
// the child, which therefore looks at the files itself.
struct FullDiskOutcome {
    bool mounted = false;
    WalkOutcome walk;
    bool firstKept = false;
    bool partLeft = true;
    bool spaceFreed = false; // after the walk, 40 KB fit again
};

TEST_F(DiskFault, FullFilesystemDeletesThePartlyWrittenFile) {
    if (!smallFilesystemsAllowed()) {
        GTEST_SKIP() << "this machine allows no private mounts; the write limit cases stand in";
    }
    constexpr std::uint64_t filesystemSize = 64 * 1024;
    for (std::uint32_t method : {builderStored, builderCompressed}) {
        SCOPED_TRACE(method == builderStored ? "stored" : "compressed");
        Bytes big = pattern(200000);
        Bytes data = method == builderStored ? big : literalStream(big);
        Bytes archive = archiveAround("big.bin", method, data, sizeOf(big));

        std::optional<FullDiskOutcome> outcome = runInChild<FullDiskOutcome>([&] {
            FullDiskOutcome result;
            result.mounted = mountSmallFilesystem(hostPath(dir), filesystemSize);
            if (result.mounted) {
                result.walk = walkEntries(archive, dir);
                result.firstKept = readFile(at("first.txt")) == text("written first");
                result.partLeft = fileExists(at("big.bin")) || fileExists(at("after.txt"));
                writeFile(at("probe"), pattern(40000));
                result.spaceFreed = readFile(at("probe")).size() == 40000;
            }
            return result;
        });
        ASSERT_TRUE(outcome && outcome->mounted);
        EXPECT_EQ(outcome->walk.written, 1);
        EXPECT_EQ(outcome->walk.stopResult,
                  method == builderStored ? entryWriteFailed : entryDecodeFailed);
        EXPECT_EQ(outcome->walk.stopFault, faultWriteFailed);
        EXPECT_TRUE(outcome->firstKept);
        EXPECT_FALSE(outcome->partLeft);
        EXPECT_TRUE(outcome->spaceFreed);
    }
}

#endif
