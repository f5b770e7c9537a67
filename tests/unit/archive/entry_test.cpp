// Reading entry headers and checking archives in memory.
#include "archive/entry.h"
#include "archive/verify.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/lh5_stream.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct HeaderRead {
    int result;
    EntryHeader header;
    EntryFault fault;
};

HeaderRead readAt(const Bytes& archive, std::uint32_t offset = 0) {
    HeaderRead read{};
    read.result = readEntryHeader(archive.data(), static_cast<std::uint32_t>(archive.size()),
                                  offset, &read.header, &read.fault);
    return read;
}

} // namespace

// --- headers -----------------------------------------------------------------

TEST(EntryHeaderRead, FieldsOfASoundEntry) {
    Bytes archive;
    appendEntry(archive, "dir\\file.txt", builderStored, text("contents"), 8);
    HeaderRead read = readAt(archive);
    ASSERT_EQ(read.result, headerSound);
    EXPECT_EQ(read.header.headerSize, 20u + 13u);
    EXPECT_EQ(read.header.method, builderStored);
    EXPECT_EQ(read.header.packedSize, 8u);
    EXPECT_EQ(read.header.unpackedSize, 8u);
    EXPECT_STREQ(read.header.name, "dir\\file.txt");
    EXPECT_EQ(read.header.nameSize, 13u);
    EXPECT_EQ(read.header.dataOffset, 33u);
    EXPECT_EQ(read.header.nextOffset, 41u);
    EXPECT_EQ(read.fault, faultNone);
}

TEST(EntryHeaderRead, TwentyBytesOrFewerEndTheArchive) {
    Bytes archive;
    appendEntry(archive, "a", builderStored, text("x"), 1);
    for (std::size_t size : {0u, 1u, 20u}) {
        Bytes cut(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(readAt(cut).result, headerEndOfArchive) << size;
    }
    Bytes tail = archive;
    tail.insert(tail.end(), 20, 0xEE);
    EXPECT_EQ(readAt(tail, 23).result, headerEndOfArchive);
}

TEST(EntryHeaderRead, TwentyOneBytesWithoutMagicAreBad) {
    Bytes archive(21, 'x');
    HeaderRead read = readAt(archive);
    EXPECT_EQ(read.result, headerBad);
    EXPECT_EQ(read.fault, faultBadMagic);
}

TEST(EntryHeaderRead, HeaderReachingTheEndIsBadEvenWithNoData) {
    Bytes archive;
    appendEntry(archive, "empty", builderStored, {}, 0);
    HeaderRead read = readAt(archive);
    EXPECT_EQ(read.result, headerBad);
    EXPECT_EQ(read.fault, faultHeaderPastArchive);
    archive.push_back(0); // one byte after the header makes it valid
    EXPECT_EQ(readAt(archive).result, headerSound);
}

TEST(EntryHeaderRead, AnyMethodButOneIsStored) {
    Bytes archive;
    appendEntry(archive, "two", 2, text("abc"), 3);
    archive.push_back(0);
    HeaderRead read = readAt(archive);
    ASSERT_EQ(read.result, headerSound);
    EXPECT_FALSE(isCompressed(&read.header));
}

TEST(EntryHeaderRead, BytesAfterTheNameNulAreAllowed) {
    Bytes archive;
    appendRawEntry(archive, 20 + 6, builderStored, 1, 1, std::string("ab\0xyz", 6), text("q"));
    archive.push_back(0);
    HeaderRead read = readAt(archive);
    ASSERT_EQ(read.result, headerSound);
    EXPECT_STREQ(read.header.name, "ab");
}

// --- names -------------------------------------------------------------------

TEST(EntryNames, NamesInsideTheDirectoryAreSafe) {
    for (const char* name : {"a", "VORLENN.EXE", "templates\\Soft Pastel\\large\\t01.bmp",
                             "a.b\\c..d\\e", "..hidden", "x\\.\\y", "dots...", "a\\b\\"}) {
        EXPECT_TRUE(isSafeEntryName(name)) << name;
    }
}

TEST(EntryNames, NamesThatClimbOutAreUnsafe) {
    for (const char* name :
         {"..", "..\\evil", "a\\..\\..\\evil", "a\\..", "../evil", "a/../../evil", "\\evil",
          "/evil", "\\\\server\\share\\x", "c:evil", "C:\\evil", "a:b", "dir\\x:stream", "... \\x",
          ".. \\x", "a\\...\\b", ". .\\x"}) {
        EXPECT_FALSE(isSafeEntryName(name)) << name;
    }
}

// --- in-memory checks --------------------------------------------------------

TEST(VerifyEntry, SoundArchiveIsWalkedToTheEnd) {
    Bytes original = text("verify me, verify me, verify me");
    Bytes archive;
    appendEntry(archive, "one", builderCompressed, literalStream(original),
                static_cast<std::uint32_t>(original.size()));
    appendEntry(archive, "two", builderStored, original,
                static_cast<std::uint32_t>(original.size()));
    Bytes seen;
    auto collect = [](const unsigned char* data, std::uint32_t size, void* context) {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), data, data + size);
    };
    EntryHeader header;
    EntryFault fault;
    auto size = static_cast<std::uint32_t>(archive.size());
    std::int32_t next = verifyEntry(archive.data(), size, 0, &header, &fault, collect, &seen);
    ASSERT_GT(next, 0);
    next = verifyEntry(archive.data(), size, static_cast<std::uint32_t>(next), &header, &fault,
                       collect, &seen);
    ASSERT_EQ(next, static_cast<std::int32_t>(size));
    EXPECT_EQ(verifyEntry(archive.data(), size, static_cast<std::uint32_t>(next), &header, &fault),
              verifyEndOfArchive);
    Bytes twice = original;
    twice.insert(twice.end(), original.begin(), original.end());
    EXPECT_EQ(seen, twice);
}

TEST(VerifyEntry, DamagedStreamKeepsTheHeaderForTheNextEntry) {
    Bytes archive;
    appendEntry(archive, "bad", builderCompressed, Bytes{0x00, 0x01, 0xFF, 0xFF}, 100);
    appendEntry(archive, "good", builderStored, text("ok"), 2);
    EntryHeader header;
    EntryFault fault;
    auto size = static_cast<std::uint32_t>(archive.size());
    EXPECT_EQ(verifyEntry(archive.data(), size, 0, &header, &fault), verifyDamagedStream);
    EXPECT_EQ(fault, faultDamagedStream);
    EXPECT_EQ(verifyEntry(archive.data(), size, header.nextOffset, &header, &fault),
              static_cast<std::int32_t>(size));
}

TEST(EntryHeaderRead, EntryEndingBeyondTwoGigabytesIsRefused) {
    // A result is a signed 32-bit offset. Only the header is read, so the
    // archive's declared size may exceed the bytes that back it here.
    Bytes archive;
    appendRawEntry(archive, 22, builderStored, 0x80000000u, 0, std::string("b\0", 2), {});
    EntryHeader header;
    EntryFault fault;
    EXPECT_EQ(readEntryHeader(archive.data(), 0xC0000000u, 0, &header, &fault), headerBad);
    EXPECT_EQ(fault, faultArchiveTooLarge);
    EXPECT_EQ(readEntryHeader(archive.data(), 0xC0000000u - 0x80000000u, 0, &header, &fault),
              headerBad);
    EXPECT_EQ(fault, faultDataPastArchive);
}

TEST(EntryFaultText, EveryFaultHasItsOwnText) {
    EXPECT_STREQ(entryFaultText(faultNone), "no fault");
    EXPECT_STREQ(entryFaultText(faultBadMagic), "no entry magic");
    EXPECT_STREQ(entryFaultText(faultNoDirectory), "no install directory");
    EXPECT_STREQ(entryFaultText(faultWriteFailed), "write failed");
    std::set<std::string> texts;
    for (int f = faultNone; f < entryFaultCount; ++f) {
        texts.insert(entryFaultText(static_cast<EntryFault>(f)));
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(entryFaultCount));
    EXPECT_STREQ(entryFaultText(entryFaultCount), "unknown fault");
}
