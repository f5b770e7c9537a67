// Every number that the archive or the lh5 stream hands the reader and that
// becomes an offset, a length or a loop bound, at the edge of its range: the
// largest value that must still work and the first one that must be refused.
#include "archive/entry.h"
#include "archive/extract.h"
#include "archive/verify.h"
#include "lzh/decoder.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

std::vector<int> allSymbols(int alphabet) {
    std::vector<int> symbols(static_cast<std::size_t>(alphabet));
    std::iota(symbols.begin(), symbols.end(), 0);
    return symbols;
}

class ArchiveNumbers : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.join("inst");
        std::filesystem::create_directory(hostPath(dir));
    }
    std::int32_t extractAt(const Bytes& archive, std::uint32_t offset) {
        return extractEntry(archive.data(), offset, sizeOf(archive), dir.c_str());
    }
    // Only the install directory and what the test names may exist.
    int entriesBeside() const {
        return countTreeEntries(scratch.path()) - 1;
    }

    ScratchDir scratch;
    std::string dir;
};

// A zero-filled range of memory larger than 2 GiB, of which only the pages
// touched are ever backed: an archive whose entries end near the top of the
// positive results without a test machine holding 2 GiB.
class SparseArchive {
  public:
    explicit SparseArchive(std::size_t size) : size_(size) {
#ifdef _WIN32
        bytes_ = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
        void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        bytes_ = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
#endif
    }
    ~SparseArchive() {
        if (!bytes_) {
            return;
        }
#ifdef _WIN32
        VirtualFree(bytes_, 0, MEM_RELEASE);
#else
        munmap(bytes_, size_);
#endif
    }
    SparseArchive(const SparseArchive&) = delete;
    SparseArchive& operator=(const SparseArchive&) = delete;

    unsigned char* bytes() const {
        return bytes_;
    }
    std::uint32_t size() const {
        return static_cast<std::uint32_t>(size_);
    }
    void put(std::uint32_t offset, const Bytes& entry) {
        std::copy(entry.begin(), entry.end(), bytes_ + offset);
    }

  private:
    unsigned char* bytes_ = nullptr;
    std::size_t size_;
};

} // namespace

// --- entry offsets and sizes -------------------------------------------------------

TEST_F(ArchiveNumbers, OffsetsAtTheTopOfTheRangeEndTheWalk) {
    Bytes archive;
    appendEntry(archive, "a.txt", builderStored, text("0123456789abcdef"), 16);
    for (std::uint32_t offset : {sizeOf(archive) - 20, sizeOf(archive), 0xFFFFFFECu, 0xFFFFFFFFu}) {
        EntryHeader header;
        EntryFault fault;
        EXPECT_EQ(readEntryHeader(archive.data(), sizeOf(archive), offset, &header, &fault),
                  headerEndOfArchive)
            << offset;
        EXPECT_EQ(extractAt(archive, offset), entryEndOfArchive) << offset;
    }
    EXPECT_EQ(entriesBeside(), 0);
}

TEST_F(ArchiveNumbers, StoredUnpackedSizesAboveTheDataAreRefused) {
    for (std::uint32_t unpacked : {4u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        Bytes archive;
        appendRawEntry(archive, 22, builderStored, 3, unpacked, std::string("s\0", 2), text("abc"));
        archive.push_back(0);
        EXPECT_EQ(extractAt(archive, 0), entryBadHeader) << unpacked;
        EXPECT_EQ(entryFault, faultStoredSizeMismatch) << unpacked;
    }
    EXPECT_EQ(entriesBeside(), 0);
}

TEST_F(ArchiveNumbers, StoredUnpackedSizeEqualToTheDataIsWritten) {
    Bytes archive;
    appendRawEntry(archive, 22, builderStored, 3, 3, std::string("s\0", 2), text("abc"));
    archive.push_back(0);
    EXPECT_GT(extractAt(archive, 0), 0);
    EXPECT_EQ(readFile(dir + "\\s"), text("abc"));
}

TEST_F(ArchiveNumbers, NameFieldLongerThanAnyPathIsNotCopied) {
    // The whole field counts against the path, not just the name before its
    // NUL: 70000 bytes never reach the 260-character path buffer.
    std::string field = "a";
    field.resize(70000, '\0');
    Bytes archive;
    appendRawEntry(archive, 20 + sizeOf(text(field)), builderStored, 1, 1, field, text("x"));
    archive.push_back(0);
    EXPECT_EQ(extractAt(archive, 0), entryBadHeader);
    EXPECT_EQ(entryFault, faultPathTooLong);
    EXPECT_EQ(entriesBeside(), 0);
}

TEST_F(ArchiveNumbers, CompressedSizesAtTheTopStopAtTheDamage) {
    // A stream of 100 literals declared as 2 GiB or 4 GiB: the decoder runs
    // out of bits in the first chunk, so the loop over the unpacked size ends
    // there and the part is deleted.
    Bytes stream = literalStream(Bytes(100, 'z'));
    for (std::uint32_t unpacked : {0x80000000u, 0xFFFFFFFFu}) {
        Bytes archive;
        appendEntry(archive, "huge.bin", builderCompressed, stream, unpacked);
        archive.push_back(0);
        EXPECT_EQ(extractAt(archive, 0), entryDecodeFailed) << unpacked;
        EXPECT_EQ(entryFault, faultDamagedStream);
        EXPECT_FALSE(fileExists(dir + "\\huge.bin"));

        EntryHeader header;
        EntryFault fault;
        EXPECT_EQ(verifyEntry(archive.data(), sizeOf(archive), 0, &header, &fault),
                  verifyDamagedStream);
    }
}

TEST_F(ArchiveNumbers, EntryMayEndAtTheLargestResultButNotPastIt) {
    // extractEntry answers with the next offset as a positive 32-bit value:
    // 2^31 - 1 is the last one it can give.
    if (sizeof(void*) < 8) {
        GTEST_SKIP() << "a 32-bit process has no room for one mapping of more than 2 GiB";
    }
    SparseArchive archive(0x80000000u + 4096);
    ASSERT_NE(archive.bytes(), nullptr);
    constexpr std::uint32_t offset = 0x7FFFFF00u;
    constexpr std::uint32_t headerSize = 20 + 8; // "top.bin" and its NUL
    constexpr std::uint32_t fits = 0x7FFFFFFFu - offset - headerSize;
    for (std::uint32_t packed : {fits, fits + 1}) {
        Bytes entry;
        appendEntry(entry, "top.bin", builderStored, Bytes(packed, 't'), packed);
        archive.put(offset, entry);
        std::int32_t r = extractEntry(archive.bytes(), offset, archive.size(), dir.c_str());
        if (packed == fits) {
            EXPECT_EQ(r, 0x7FFFFFFF);
            EXPECT_EQ(readFile(dir + "\\top.bin"), Bytes(packed, 't'));
        } else {
            EXPECT_EQ(r, entryBadHeader);
            EXPECT_EQ(entryFault, faultArchiveTooLarge);
        }
    }
}

// --- lh5 stream fields ---------------------------------------------------------------

TEST(DecoderNumbers, LargestBlockCountIsUsedUpExactly) {
    Lh5Writer writer;
    writer.header(0xFFFF, {'a'}, {});
    writer.header(5, {'b'}, {});
    Lh5Result result = decodeLh5(writer.bytes(), 0xFFFF + 5);
    ASSERT_FALSE(result.damaged);
    Bytes expected(0xFFFF + 5, 'b');
    std::fill_n(expected.begin(), 0xFFFF, 'a');
    EXPECT_EQ(result.output, expected);
}

TEST(DecoderNumbers, EverySectionCountAtItsAlphabetSize) {
    // 19 length code lengths, 510 symbol lengths and 14 distance lengths,
    // every one of them non-zero.
    Lh5Writer::Header h;
    h.symbolCount = 4;
    h.lengthLens = flatLengths(lh5LengthAlphabet, allSymbols(lh5LengthAlphabet));
    h.symbolLens = flatLengths(lh5SymbolAlphabet, allSymbols(lh5SymbolAlphabet));
    h.distanceLens = flatLengths(lh5DistanceAlphabet, allSymbols(lh5DistanceAlphabet));
    Lh5Writer writer;
    writer.header(h);
    writer.literal('a');
    writer.literal('b');
    writer.match(4, 1);   // abab
    writer.match(256, 0); // the last symbol: 256 times b
    writer.bits().put(0, 16);

    Bytes expected = text("ababab");
    expected.insert(expected.end(), 256, 'b');
    Lh5Result result = decodeLh5(writer.bytes(), expected.size());
    ASSERT_FALSE(result.damaged);
    EXPECT_EQ(result.output, expected);
}

// A block whose symbol lengths are: 1 and 1 for bytes 0 and 1, then one long
// zero run of the given size. The length code has two symbols of one bit:
// 2 (long zero run, code 0) and 3 (length 1, code 1).
Bytes zeroRunBlock(std::uint32_t run) {
    StreamBits bits;
    bits.put(6, 16); // six symbols
    bits.put(4, 5);  // length code count 4: lengths 0, 0, 1, zero-run field 0, 1
    bits.put(0, 3);
    bits.put(0, 3);
    bits.put(1, 3);
    bits.put(0, 2);
    bits.put(1, 3);
    bits.put(510, 9); // symbol code count
    bits.put(1, 1);   // byte 0: length 1
    bits.put(1, 1);   // byte 1: length 1
    bits.put(0, 1);   // long zero run of 20 + 9 bits
    bits.put(run - 20, 9);
    bits.put(0, 4); // distance code: single value 0
    bits.put(0, 4);
    for (int b : {0, 1, 1, 0, 1, 0}) {
        bits.put(static_cast<std::uint32_t>(b), 1);
    }
    bits.put(0, 16);
    return bits.bytes();
}

TEST(DecoderNumbers, ZeroRunReachingTheLastSymbolExactlyIsSound) {
    Lh5Result result = decodeLh5(zeroRunBlock(508), 6);
    ASSERT_FALSE(result.damaged);
    EXPECT_EQ(result.output, (Bytes{0, 1, 1, 0, 1, 0}));
}

TEST(DecoderNumbers, ZeroRunOneSymbolPastTheEndIsDamaged) {
    EXPECT_TRUE(decodeLh5(zeroRunBlock(509), 6).damaged);
}

TEST(DecoderNumbers, LargestSingleValuesAndLongestDistance) {
    // Every symbol is 509 (a match of 256) and every distance class 13 with
    // twelve one bits: 8191, the whole window back. Each byte is copied onto
    // itself, so the window's earlier contents come out unchanged.
    for (std::uint32_t i = 0; i < windowSize; ++i) {
        decodeWindow[i] = static_cast<unsigned char>(i * 13 + i / 256);
    }
    Bytes before(decodeWindow, decodeWindow + windowSize);
    constexpr std::uint32_t matches = windowSize / 256;
    StreamBits bits;
    bits.put(matches, 16);
    bits.put(0, 5);
    bits.put(18, 5); // length code: single value 18, the largest
    bits.put(0, 9);
    bits.put(509, 9);
    bits.put(0, 4);
    bits.put(13, 4);
    for (std::uint32_t m = 0; m < matches; ++m) {
        bits.put(0xFFF, 12);
    }
    Lh5Result result = decodeLh5(bits.bytes(), windowSize);
    ASSERT_FALSE(result.damaged);
    EXPECT_EQ(result.output, before);
}
