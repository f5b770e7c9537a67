// Writing entries: name checks, headers the walk reads back, and the closing
// byte after an entry without data.
#include "archive/entry.h"
#include "archive/writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::size_t typicalLength = std::strlen(typicalInstallDir);

std::vector<unsigned char> entryWith(const std::string& name, std::uint32_t method,
                                     const std::string& data) {
    std::vector<unsigned char> entry =
        makeEntryHeader(name, method, static_cast<std::uint32_t>(data.size()),
                        static_cast<std::uint32_t>(data.size()));
    entry.insert(entry.end(), data.begin(), data.end());
    return entry;
}

int readAt(const std::vector<unsigned char>& archive, std::uint32_t offset, EntryHeader* header) {
    EntryFault fault;
    return readEntryHeader(archive.data(), static_cast<std::uint32_t>(archive.size()), offset,
                           header, &fault);
}

} // namespace

TEST(EntryNameCheck, ShippedStyleNamesFit) {
    for (const char* name : {"VORLENN.EXE", "vorlenn.hlp",
                             "templates\\Soft Pastel\\Large\\moon-07.png", "a b\\c d.e f"}) {
        EXPECT_EQ(checkEntryName(name, typicalLength), nameFits) << name;
    }
}

TEST(EntryNameCheck, LengthBoundIsTheWalks) {
    // The walk takes install directory + name + NUL + 1 below 256 characters.
    const std::size_t longest = 256 - typicalLength - 3;
    EXPECT_EQ(checkEntryName(std::string(longest, 'a'), typicalLength), nameFits);
    EXPECT_EQ(checkEntryName(std::string(longest + 1, 'a'), typicalLength), nameTooLong);
    EXPECT_EQ(checkEntryName(std::string(20, 'a'), 240), nameTooLong);
}

TEST(EntryNameCheck, CharactersTheSetupCannotInstall) {
    const char* const names[] = {"a:b",   "x\tY",  "caf\xC3\xA9", "del\x7F", "q?.txt",
                                 "star*", "pipe|", "less<",       "a/b",     "quote\""};
    for (const char* name : names) {
        EXPECT_EQ(checkEntryName(name, typicalLength), nameBadCharacter) << name;
    }
}

TEST(EntryNameCheck, PartsThatWouldChangeOrClimb) {
    EXPECT_EQ(checkEntryName("", typicalLength), nameEmpty);
    for (const char* name : {"..\\x", "a\\.\\b", "a\\\\b", "\\lead", "trail\\", "dot.",
                             "dir.\\file", "space \\file", "file "}) {
        EXPECT_EQ(checkEntryName(name, typicalLength), nameBadComponent) << name;
    }
}

TEST(EntryHeaderWrite, TheWalkReadsWhatWasWritten) {
    std::vector<unsigned char> archive = entryWith("dir\\one.txt", methodStored, "first");
    const std::vector<unsigned char> second = entryWith("two.bin", methodCompressed, "xyz");
    archive.insert(archive.end(), second.begin(), second.end());

    EntryHeader header;
    ASSERT_EQ(readAt(archive, 0, &header), headerSound);
    EXPECT_STREQ(header.name, "dir\\one.txt");
    EXPECT_EQ(header.headerSize, 20u + 12u);
    EXPECT_EQ(header.method, methodStored);
    EXPECT_EQ(header.packedSize, 5u);
    ASSERT_EQ(readAt(archive, header.nextOffset, &header), headerSound);
    EXPECT_STREQ(header.name, "two.bin");
    EXPECT_EQ(header.method, methodCompressed);
    EXPECT_EQ(header.nextOffset, archive.size());
    EXPECT_EQ(readAt(archive, header.nextOffset, &header), headerEndOfArchive);
}

TEST(EntryHeaderWrite, AnEmptyLastEntryNeedsTheClosingByte) {
    std::vector<unsigned char> archive = entryWith("empty.txt", methodStored, "");
    EntryHeader header;
    EXPECT_EQ(readAt(archive, 0, &header), headerBad) << "without the closing byte";
    archive.insert(archive.end(), closingPaddingAfter(0), 0);
    ASSERT_EQ(readAt(archive, 0, &header), headerSound);
    EXPECT_EQ(header.unpackedSize, 0u);
    EXPECT_EQ(readAt(archive, header.nextOffset, &header), headerEndOfArchive);
    EXPECT_EQ(closingPaddingAfter(1), 0u);
}
