// Packing on many threads: the entries are compressed side by side but the
// archive must be the very bytes that one thread writes, and a fault stops the
// pack at the same entry, with the same message, as it does on one thread.
#include "tests/support/bytes.h"
#include "tests/support/scratch_dir.h"

#include "archive/entry.h"
#include "tools/zuq/pack_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Text with some repetition and some variety, so the encoder has work to do.
Bytes prose(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string s;
    while (s.size() < size) {
        s += "Entry " + std::to_string(random() % 500) + " of the template list, style " +
             std::to_string(random() % 7) + ".\n";
    }
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

struct Packed {
    bool written;
    std::string bytes;
    std::string fault;
    PackTotals totals;
};

Packed pack(const Collection& found, PackLevel level, unsigned threads) {
    std::ostringstream out(std::ios::binary);
    Packed result;
    result.written = writeEntries(found, level, threads, out, result.totals, result.fault);
    result.bytes = std::move(out).str();
    return result;
}

// The methods of the archive's entries, in order.
std::vector<std::uint32_t> methodsOf(const std::string& archive) {
    std::vector<std::uint32_t> methods;
    const auto* data = reinterpret_cast<const unsigned char*>(archive.data());
    const auto size = static_cast<std::uint32_t>(archive.size());
    std::uint32_t offset = 0;
    for (;;) {
        EntryHeader header;
        EntryFault fault;
        const int read = readEntryHeader(data, size, offset, &header, &fault);
        if (read != headerSound) {
            EXPECT_EQ(read, headerEndOfArchive) << entryFaultText(fault);
            return methods;
        }
        methods.push_back(header.method);
        offset = header.nextOffset;
    }
}

class PackThreads : public ::testing::Test {
  protected:
    // Many files of mixed sizes, in folders: empty ones, noise that is stored,
    // text that is compressed, and a few larger than the encoder's chunks.
    void SetUp() override {
        for (std::uint32_t i = 0; i < 90; ++i) {
            const std::string folder = "tree\\" + std::string(1, char('a' + i % 5)) + "\\";
            const std::string name = folder + "file" + std::to_string(i);
            if (i % 9 == 0) {
                put(name + ".empty", {});
            } else if (i % 4 == 1) {
                put(name + ".bin", noise(1 + (i * 397) % 20000, i));
            } else {
                put(name + ".txt", prose(1 + (i * 2711) % 12000, i));
            }
        }
        put("tree\\big\\one.txt", prose(300000, 1));
        put("tree\\big\\two.bin", noise(200000, 2));
        found = collectFiles(hostPath(scratch.join("tree")), 40, {});
        ASSERT_TRUE(found.faults.empty());
        ASSERT_EQ(found.files.size(), 92u);
    }

    void put(const std::string& relative, const Bytes& bytes) {
        fs::create_directories(fs::path(hostPath(scratch.join(relative))).parent_path());
        writeFile(scratch.join(relative), bytes);
    }

    // Removes the file of the given index in archive order, after the walk.
    std::string removeFile(std::size_t index) {
        fs::remove(found.files.at(index).path);
        return found.files.at(index).name;
    }

    ScratchDir scratch;
    Collection found;
};

} // namespace

TEST_F(PackThreads, ManyThreadsWriteTheBytesOfOne) {
    for (const PackLevel level : {PackLevel::strong, PackLevel::fast, PackLevel::store}) {
        const Packed one = pack(found, level, 1);
        ASSERT_TRUE(one.written) << one.fault;
        EXPECT_EQ(one.totals.entries, 92u);
        const std::vector<std::uint32_t> methods = methodsOf(one.bytes);
        ASSERT_EQ(methods.size(), 92u);
        if (level == PackLevel::store) {
            EXPECT_EQ(std::count(methods.begin(), methods.end(), methodCompressed), 0);
        } else {
            // The tree must hold both kinds, or the test proves less than it says.
            EXPECT_GT(std::count(methods.begin(), methods.end(), methodCompressed), 0);
            EXPECT_GT(std::count(methods.begin(), methods.end(), methodStored), 10);
        }
        for (const unsigned threads : {2u, 3u, 8u, 0u}) {
            const Packed many = pack(found, level, threads);
            ASSERT_TRUE(many.written) << many.fault;
            EXPECT_TRUE(many.bytes == one.bytes)
                << "level " << int(level) << ", " << threads << " threads";
            EXPECT_EQ(many.totals.entries, one.totals.entries);
            EXPECT_EQ(many.totals.bytesIn, one.totals.bytesIn);
            EXPECT_EQ(many.totals.bytesOut, one.totals.bytesOut);
        }
    }
}

TEST_F(PackThreads, MoreThreadsThanFilesStillPackEveryFile) {
    Collection few;
    few.files.assign(found.files.begin(), found.files.begin() + 3);
    const Packed one = pack(few, PackLevel::fast, 1);
    const Packed many = pack(few, PackLevel::fast, 64);
    ASSERT_TRUE(one.written && many.written);
    EXPECT_EQ(many.totals.entries, 3u);
    EXPECT_TRUE(many.bytes == one.bytes);
}

TEST_F(PackThreads, AFaultInTheMiddleStopsAtTheSameEntryOnAnyNumberOfThreads) {
    const Packed whole = pack(found, PackLevel::fast, 1);
    ASSERT_TRUE(whole.written);
    // Two files gone after the walk: the earlier one in archive order is named.
    const std::string first = removeFile(45);
    removeFile(70);
    for (const unsigned threads : {1u, 2u, 8u}) {
        const Packed broken = pack(found, PackLevel::fast, threads);
        EXPECT_FALSE(broken.written) << threads << " threads";
        EXPECT_EQ(broken.fault, first + ": cannot read the file") << threads << " threads";
        EXPECT_EQ(broken.totals.entries, 45u) << threads << " threads";
        // What was written before the fault is the start of the whole archive.
        EXPECT_LT(broken.bytes.size(), whole.bytes.size());
        EXPECT_EQ(whole.bytes.compare(0, broken.bytes.size(), broken.bytes), 0);
    }
}

TEST_F(PackThreads, AFaultAtTheFirstOrLastFileIsFound) {
    const std::string last = removeFile(found.files.size() - 1);
    for (const unsigned threads : {1u, 4u}) {
        const Packed broken = pack(found, PackLevel::store, threads);
        EXPECT_FALSE(broken.written);
        EXPECT_EQ(broken.fault, last + ": cannot read the file");
        EXPECT_EQ(broken.totals.entries, found.files.size() - 1);
    }
    const std::string first = removeFile(0);
    for (const unsigned threads : {1u, 4u}) {
        const Packed broken = pack(found, PackLevel::store, threads);
        EXPECT_FALSE(broken.written);
        EXPECT_EQ(broken.fault, first + ": cannot read the file");
        EXPECT_EQ(broken.totals.entries, 0u);
        EXPECT_TRUE(broken.bytes.empty());
    }
}

// One file of several encoder chunks and nothing else: the spare threads
// encode its chunks side by side, and the archive is still one thread's.
TEST_F(PackThreads, ChunksOfOneLargeFileOnSpareThreads) {
    Bytes large = prose(1200000, 3);
    const Bytes random = noise(150000, 4);
    large.insert(large.begin() + 600000, random.begin(), random.end());
    put("single\\large.txt", large);
    const Collection alone = collectFiles(hostPath(scratch.join("single")), 40, {});
    ASSERT_EQ(alone.files.size(), 1u);
    for (const PackLevel level : {PackLevel::fast, PackLevel::strong}) {
        const Packed one = pack(alone, level, 1);
        ASSERT_TRUE(one.written) << one.fault;
        ASSERT_EQ(methodsOf(one.bytes), std::vector<std::uint32_t>{methodCompressed});
        for (const unsigned threads : {2u, 4u}) {
            const Packed many = pack(alone, level, threads);
            ASSERT_TRUE(many.written) << many.fault;
            EXPECT_TRUE(many.bytes == one.bytes)
                << "level " << int(level) << ", " << threads << " threads";
        }
    }
}
