// zuq pack as a user runs it: the archive it writes extracts to the same
// tree, the same tree packs to the same bytes, and bad input leaves no
// archive behind.
#include "archive/entry.h"

#include "tests/support/bytes.h"
#include "tests/support/lzh_container.h"
#include "tests/support/scratch_dir.h"
#include "tests/unit/zuq/run_zuq.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

Bytes prose(std::size_t size) {
    std::string s;
    for (int i = 0; s.size() < size; ++i) {
        s += "Line " + std::to_string(i % 37) + " of the help text, as a help file holds it.\n";
    }
    s.resize(size);
    return text(s);
}

// One archive entry as the walk sees it.
struct Listed {
    std::string name;
    std::uint32_t method;
    std::uint32_t packedSize;
    std::uint32_t unpackedSize;
};

std::vector<Listed> walkArchive(const Bytes& archive) {
    std::vector<Listed> entries;
    const auto size = static_cast<std::uint32_t>(archive.size());
    std::uint32_t offset = 0;
    for (;;) {
        EntryHeader header;
        EntryFault fault;
        const int read = readEntryHeader(archive.data(), size, offset, &header, &fault);
        if (read == headerEndOfArchive) {
            return entries;
        }
        if (read != headerSound) {
            ADD_FAILURE() << "bad entry at " << offset << ": " << entryFaultText(fault);
            return entries;
        }
        entries.push_back({header.name, header.method, header.packedSize, header.unpackedSize});
        offset = header.nextOffset;
    }
}

std::vector<std::string> namesOf(const std::vector<Listed>& entries) {
    std::vector<std::string> names;
    for (const Listed& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

class ZuqPack : public ::testing::Test {
  protected:
    ZuqRun zuq(const std::vector<std::string>& args) {
        return runZuq(args, scratch.join("zuq.out"), scratch.join("zuq.err"));
    }

    // A file below the scratch directory, its folders made on the way.
    void put(const std::string& relative, const Bytes& bytes) {
        const fs::path path = hostPath(scratch.join(relative));
        fs::create_directories(path.parent_path());
        writeFile(scratch.join(relative), bytes);
    }

    std::string path(const std::string& relative) const {
        return hostPath(scratch.join(relative));
    }

    // A small product tree: program, help file, pictures in folders with spaces.
    void makeProduct(const std::string& root) {
        put(root + "\\templates\\Soft Pastel\\Large\\sky.bmp", prose(30000));
        put(root + "\\templates\\Soft Pastel\\Large\\noise.png", noise(7000, 1));
        put(root + "\\templates\\Night Sky\\Moons\\moon-07.png", noise(300, 2));
        put(root + "\\templates\\Night Sky\\Moons\\empty.bmp", {});
        put(root + "\\vorlenn.hlp", prose(17116));
        put(root + "\\VORLENN.EXE", prose(50000));
    }

    ScratchDir scratch;
};

} // namespace

TEST_F(ZuqPack, ExtractGivesBackTheTree) {
    makeProduct("src");
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    const ZuqRun extract = zuq({"extract", "-q", path("out.zuq"), path("dest")});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    for (const char* file :
         {"VORLENN.EXE", "vorlenn.hlp", "templates\\Soft Pastel\\Large\\sky.bmp",
          "templates\\Soft Pastel\\Large\\noise.png", "templates\\Night Sky\\Moons\\moon-07.png",
          "templates\\Night Sky\\Moons\\empty.bmp"}) {
        EXPECT_EQ(readFile(scratch.join(std::string("dest\\") + file)),
                  readFile(scratch.join(std::string("src\\") + file)))
            << file;
    }
    EXPECT_EQ(countTreeEntries(scratch.join("dest")), countTreeEntries(scratch.join("src")));
}

// Files of a few megabytes are read into buffers of their own kind (on huge
// pages where the system has them): a stored one and a compressed one, each
// not a whole number of pages long, come back byte for byte.
TEST_F(ZuqPack, LargeFilesComeBackWhole) {
    const std::size_t size = (std::size_t{5} << 20) + 4321;
    put("src\\program.bin", noise(size, 3));
    put("src\\manual.txt", prose(size + 17));
    ASSERT_EQ(zuq({"pack", "--fast", path("src"), path("out.zuq")}).exitCode, 0);
    const std::vector<Listed> entries = walkArchive(readFile(scratch.join("out.zuq")));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].method, methodCompressed); // manual.txt
    EXPECT_EQ(entries[1].method, methodStored);     // program.bin
    const ZuqRun extract = zuq({"extract", "-q", path("out.zuq"), path("dest")});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    for (const char* file : {"program.bin", "manual.txt"}) {
        EXPECT_EQ(readFile(scratch.join(std::string("dest\\") + file)),
                  readFile(scratch.join(std::string("src\\") + file)))
            << file;
    }
}

TEST_F(ZuqPack, FilesBeforeFoldersEachByNameRegardlessOfCase) {
    makeProduct("src");
    ASSERT_EQ(zuq({"pack", path("src"), "-o", path("out.zuq")}).exitCode, 0);
    const std::vector<std::string> expected{
        "VORLENN.EXE",
        "vorlenn.hlp",
        "templates\\Night Sky\\Moons\\empty.bmp",
        "templates\\Night Sky\\Moons\\moon-07.png",
        "templates\\Soft Pastel\\Large\\noise.png",
        "templates\\Soft Pastel\\Large\\sky.bmp",
    };
    EXPECT_EQ(namesOf(walkArchive(readFile(scratch.join("out.zuq")))), expected);
}

TEST_F(ZuqPack, CompressesWhatShrinksAndStoresTheRest) {
    makeProduct("src");
    ASSERT_EQ(zuq({"pack", path("src"), path("out.zuq")}).exitCode, 0);
    for (const Listed& entry : walkArchive(readFile(scratch.join("out.zuq")))) {
        const bool shrinks = entry.name.find("noise") == std::string::npos &&
                             entry.name.find("moon") == std::string::npos &&
                             entry.name.find("empty") == std::string::npos;
        EXPECT_EQ(entry.method, shrinks ? methodCompressed : methodStored) << entry.name;
        if (entry.method == methodStored) {
            EXPECT_EQ(entry.packedSize, entry.unpackedSize) << entry.name;
        } else {
            EXPECT_LT(entry.packedSize, entry.unpackedSize / 4) << entry.name;
        }
    }
}

TEST_F(ZuqPack, StoreOptionStoresEverything) {
    makeProduct("src");
    ASSERT_EQ(zuq({"pack", "--store", path("src"), path("out.zuq")}).exitCode, 0);
    const std::vector<Listed> entries = walkArchive(readFile(scratch.join("out.zuq")));
    ASSERT_EQ(entries.size(), 6u);
    for (const Listed& entry : entries) {
        EXPECT_EQ(entry.method, methodStored) << entry.name;
    }
}

TEST_F(ZuqPack, SameTreeSameBytesAtBothLevels) {
    makeProduct("one");
    // The same files, made in another order: the archive must not follow it.
    for (const char* file :
         {"VORLENN.EXE", "templates\\Night Sky\\Moons\\moon-07.png", "vorlenn.hlp",
          "templates\\Night Sky\\Moons\\empty.bmp", "templates\\Soft Pastel\\Large\\noise.png",
          "templates\\Soft Pastel\\Large\\sky.bmp"}) {
        put(std::string("two\\") + file, readFile(scratch.join(std::string("one\\") + file)));
    }
    for (const char* level : {"--fast", "--store", ""}) {
        std::vector<std::string> args{"pack", path("one"), path("a.zuq")};
        if (*level) {
            args.push_back(level);
        }
        ASSERT_EQ(zuq(args).exitCode, 0);
        args[1] = path("two");
        args[2] = path("b.zuq");
        ASSERT_EQ(zuq(args).exitCode, 0);
        EXPECT_EQ(readFile(scratch.join("a.zuq")), readFile(scratch.join("b.zuq"))) << level;
    }
}

TEST_F(ZuqPack, AnyNumberOfThreadsGivesTheSameBytes) {
    makeProduct("src");
    for (int i = 0; i < 20; ++i) {
        put("src\\more\\n" + std::to_string(i) + ".bin", noise(100 + 977 * i, 10 + i));
        put("src\\more\\t" + std::to_string(i) + ".txt", prose(100 + 1999 * i));
    }
    for (const char* level : {"--fast", "--store", ""}) {
        std::vector<std::string> args{"pack", path("src"), path("one.zuq"), "--threads", "1"};
        if (*level) {
            args.push_back(level);
        }
        ASSERT_EQ(zuq(args).exitCode, 0);
        args[2] = path("many.zuq");
        args[4] = "5";
        ASSERT_EQ(zuq(args).exitCode, 0);
        EXPECT_EQ(readFile(scratch.join("one.zuq")), readFile(scratch.join("many.zuq"))) << level;
    }
}

TEST_F(ZuqPack, ZeroThreadsIsAUsageError) {
    makeProduct("src");
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq"), "--threads", "0"});
    EXPECT_EQ(pack.exitCode, 2);
    EXPECT_NE(pack.err.find("--threads"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
}

TEST_F(ZuqPack, SummaryLineAndEntryCount) {
    makeProduct("src");
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    ASSERT_EQ(pack.exitCode, 0);
    EXPECT_EQ(pack.out.rfind("packed 6 entries: 104416 bytes in, ", 0), 0u) << pack.out;
    EXPECT_NE(pack.out.find("ratio"), std::string::npos);
    const ZuqRun count = zuq({"list", "--count", path("out.zuq")});
    EXPECT_EQ(count.exitCode, 0);
    EXPECT_EQ(count.out.substr(0, count.out.find_first_of("\r\n")), "6");
}

TEST_F(ZuqPack, AnEmptyFileAtTheEndIsStillTaken) {
    put("src\\only\\zero.txt", {});
    ASSERT_EQ(zuq({"pack", path("src"), path("out.zuq")}).exitCode, 0);
    const Bytes archive = readFile(scratch.join("out.zuq"));
    const std::vector<Listed> entries = walkArchive(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "only\\zero.txt");
    EXPECT_EQ(archive.size(), 20u + 14u + 1u) << "header, name, NUL and the closing byte";
    ASSERT_EQ(zuq({"extract", "-q", path("out.zuq"), path("dest")}).exitCode, 0);
    EXPECT_TRUE(fileExists(scratch.join("dest\\only\\zero.txt")));
}

TEST_F(ZuqPack, TheArchiveIsNotPackedIntoItself) {
    makeProduct("src");
    ASSERT_EQ(zuq({"pack", path("src"), path("src\\self.zuq")}).exitCode, 0);
    ASSERT_EQ(zuq({"pack", path("src"), path("src\\self.zuq")}).exitCode, 0);
    EXPECT_EQ(walkArchive(readFile(scratch.join("src\\self.zuq"))).size(), 6u);
}

TEST_F(ZuqPack, EmptyFoldersAreSkippedWithANote) {
    makeProduct("src");
    fs::create_directories(path("src\\nothing\\here"));
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    ASSERT_EQ(pack.exitCode, 0);
    EXPECT_NE(pack.err.find("skipped empty directory nothing"), std::string::npos) << pack.err;
    EXPECT_EQ(walkArchive(readFile(scratch.join("out.zuq"))).size(), 6u);
}

TEST_F(ZuqPack, NamesTooLongForTheInstallDirectoryStopThePack) {
    const std::string installDir(200, 'd');
    put("src\\" + std::string(53, 'n'), text("fits"));
    ZuqRun pack = zuq({"pack", "--install-dir", installDir, path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
    put("src\\" + std::string(54, 'm'), text("one too many"));
    writeFile(scratch.join("out.zuq"), text("previous archive"));
    pack = zuq({"pack", "--install-dir", installDir, path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find(std::string(54, 'm') + ": name too long"), std::string::npos)
        << pack.err;
    EXPECT_EQ(readFile(scratch.join("out.zuq")), text("previous archive"));
    EXPECT_FALSE(fs::exists(path("out.zuq.partial")));
}

TEST_F(ZuqPack, WithoutAnArchiveNameTheFolderNamesIt) {
    makeProduct("product");
    const fs::path before = fs::current_path();
    fs::current_path(path("product"));
    const ZuqRun pack = zuq({"pack", "."});
    fs::current_path(before);
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(walkArchive(readFile(scratch.join("product\\product.zuq"))).size(), 6u);
}

TEST_F(ZuqPack, MissingDirectoryIsAUsageError) {
    EXPECT_EQ(zuq({"pack", path("missing"), path("out.zuq")}).exitCode, 2);
    EXPECT_FALSE(fs::exists(path("out.zuq")));
}

#ifdef _WIN32
TEST_F(ZuqPack, AFileHeldOpenByAnotherProgramStopsThePack) {
    makeProduct("src");
    // Opened with no sharing, as a running program may hold its file.
    HANDLE held = CreateFileA(path("src\\vorlenn.hlp").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    CloseHandle(held);
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find("vorlenn.hlp: cannot read"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
    EXPECT_FALSE(fs::exists(path("out.zuq.partial")));
}

TEST_F(ZuqPack, AFileHeldOpenInTheMiddleStopsAPackOnManyThreads) {
    makeProduct("src");
    for (int i = 0; i < 12; ++i) {
        put("src\\a\\n" + std::to_string(i) + ".txt", prose(5000 + 100 * i));
        put("src\\z\\n" + std::to_string(i) + ".txt", prose(5000 + 100 * i));
    }
    HANDLE held = CreateFileA(path("src\\a\\n7.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq"), "--threads", "4"});
    CloseHandle(held);
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find("a\\n7.txt: cannot read"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
    EXPECT_FALSE(fs::exists(path("out.zuq.partial")));
}
#else
// Names and links that only a Linux file system can hold.

TEST_F(ZuqPack, NamesTheSetupCannotInstallStopThePackAndAreAllNamed) {
    makeProduct("src");
    put("src\\drive:colon.txt", text("x"));
    put("src\\caf\xC3\xA9.txt", text("x"));
    put("src\\sub\\back\\slash.txt", text("x")); // "back\slash.txt" in folder sub
    fs::rename(path("src\\sub\\back\\slash.txt"), path("src") + "/sub/back\\slash.txt");
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 1);
    // Bytes outside printable ASCII are shown escaped.
    for (const char* name : {"drive:colon.txt", "caf\\xc3\\xa9.txt", "sub\\back\\slash.txt"}) {
        EXPECT_NE(pack.err.find(std::string(name) + ": name holds"), std::string::npos)
            << name << "\n"
            << pack.err;
    }
    EXPECT_FALSE(fs::exists(path("out.zuq")));
    EXPECT_FALSE(fs::exists(path("out.zuq.partial")));
}

TEST_F(ZuqPack, NamesDifferingOnlyInCaseWouldOverwriteEachOther) {
    put("src\\Readme.txt", text("one"));
    put("src\\README.TXT", text("two"));
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find("only in case"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
}

TEST_F(ZuqPack, SymbolicLinksAreSkippedWithANote) {
    makeProduct("src");
    fs::create_symlink("VORLENN.EXE", path("src\\link.exe"));
    fs::create_directory_symlink("templates", path("src\\more"));
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_NE(pack.err.find("skipped symbolic link link.exe"), std::string::npos) << pack.err;
    EXPECT_NE(pack.err.find("skipped symbolic link more"), std::string::npos) << pack.err;
    EXPECT_EQ(walkArchive(readFile(scratch.join("out.zuq"))).size(), 6u);
}

TEST_F(ZuqPack, UnreadableFilesStopThePack) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    makeProduct("src");
    fs::permissions(path("src\\vorlenn.hlp"), fs::perms::none);
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find("vorlenn.hlp: cannot read"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
    EXPECT_FALSE(fs::exists(path("out.zuq.partial")));
}

TEST_F(ZuqPack, FilesOf4GiBOrMoreStopThePack) {
    put("src\\small.txt", text("small"));
    // A sparse file: 4 GiB long, next to no disk space.
    fs::resize_file(hostPath(scratch.join("src\\small.txt")), 0);
    put("src\\huge.bin", {});
    fs::resize_file(path("src\\huge.bin"), std::uintmax_t{1} << 32);
    const ZuqRun pack = zuq({"pack", path("src"), path("out.zuq")});
    EXPECT_EQ(pack.exitCode, 1);
    EXPECT_NE(pack.err.find("huge.bin: 4 GiB or more"), std::string::npos) << pack.err;
    EXPECT_FALSE(fs::exists(path("out.zuq")));
}
#endif
