// The zuq program as a user runs it: exit codes, output lines, and what it
// leaves on disk.
#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"
#include "tests/unit/zuq/run_zuq.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        result.push_back(line);
    }
    return result;
}

class ZuqCommand : public ::testing::Test {
  protected:
    // Runs zuq with the arguments (each quoted) in the scratch directory.
    ZuqRun zuq(const std::vector<std::string>& args) {
        std::filesystem::current_path(hostPath(scratch.path()));
        return runZuq(args, scratch.join("zuq.out"), scratch.join("zuq.err"));
    }

    std::string saveArchive(const Bytes& archive, const std::string& name = "payload.zuq") {
        std::string path = scratch.join(name);
        writeFile(path, archive);
        return hostPath(path);
    }

    ScratchDir scratch;
};

Bytes soundArchive() {
    Bytes prose = fixtureSource("prose.txt");
    Bytes archive;
    appendEntry(archive, "VORLENN.EXE", builderCompressed, literalStream(prose),
                static_cast<std::uint32_t>(prose.size()));
    appendEntry(archive, "templates\\Soft Pastel\\a.png", builderStored, text("png!"), 4);
    appendEntry(archive, "readme.txt", builderStored, text("read me"), 7);
    return archive;
}

} // namespace

// --- extract -----------------------------------------------------------------

TEST_F(ZuqCommand, ExtractWritesEveryEntryAndCountsThem) {
    std::string archive = saveArchive(soundArchive());
    std::string out = scratch.join("out");
    ZuqRun run = zuq({"extract", archive, hostPath(out)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> printed = lines(run.out);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back(), "extracted 3 entries");
    EXPECT_EQ(printed.size(), 4u) << "a line per file and the total";
    EXPECT_EQ(readFile(out + "\\VORLENN.EXE"), fixtureSource("prose.txt"));
    EXPECT_EQ(readFile(out + "\\templates\\Soft Pastel\\a.png"), text("png!"));
}

TEST_F(ZuqCommand, ExtractQuietPrintsOnlyTheTotal) {
    std::string archive = saveArchive(soundArchive());
    ZuqRun run = zuq({"extract", "-q", archive, "out"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out), std::vector<std::string>{"extracted 3 entries"});
    EXPECT_TRUE(fileExists(scratch.join("out\\readme.txt")));
}

TEST_F(ZuqCommand, ExtractCreatesAMissingDirectoryTree) {
    std::string archive = saveArchive(soundArchive());
    ZuqRun run = zuq({"extract", "-q", archive, hostPath(scratch.join("a\\b\\c"))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fileExists(scratch.join("a\\b\\c\\readme.txt")));
}

TEST_F(ZuqCommand, ExtractNamesTheFailingEntry) {
    Bytes archive = soundArchive();
    auto offset = static_cast<std::uint32_t>(archive.size());
    appendEntry(archive, "broken.bin", builderCompressed, Bytes{0x00, 0x05, 0xF0, 0x00, 0x00}, 50);
    appendEntry(archive, "after.txt", builderStored, text("a"), 1);
    ZuqRun run = zuq({"extract", saveArchive(archive), "out"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("offset " + std::to_string(offset)), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("broken.bin"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
    EXPECT_FALSE(fileExists(scratch.join("out\\broken.bin")));
    EXPECT_FALSE(fileExists(scratch.join("out\\after.txt")));
}

TEST_F(ZuqCommand, ExtractRefusesAnEscapingNameAndWritesNothingOutside) {
    Bytes archive;
    appendEntry(archive, "..\\..\\escaped.txt", builderStored, text("x"), 1);
    archive.push_back(0);
    ZuqRun run = zuq({"extract", saveArchive(archive), hostPath(scratch.join("in\\side"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("entry at offset 0 (..\\..\\escaped.txt): name leaves the install "
                           "directory"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fileExists(scratch.join("escaped.txt")));
    EXPECT_FALSE(fileExists(scratch.join("in\\escaped.txt")));
    EXPECT_EQ(countTreeEntries(scratch.join("in\\side")), 0);
}

TEST_F(ZuqCommand, EmptyArchiveHoldsNoEntry) {
    std::string archive = saveArchive({});
    ZuqRun run = zuq({"extract", archive, "out"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out), std::vector<std::string>{"extracted 0 entries"});
    EXPECT_EQ(zuq({"test", archive}).exitCode, 0);
}

TEST_F(ZuqCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(zuq({}).exitCode, 2);
    EXPECT_EQ(zuq({"extract"}).exitCode, 2);
    EXPECT_EQ(zuq({"extract", hostPath(scratch.join("missing.zuq")), "out"}).exitCode, 2);
    EXPECT_EQ(zuq({"unpack", "x"}).exitCode, 2);
}

TEST_F(ZuqCommand, HelpDescribesTheCommands) {
    ZuqRun run = zuq({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* command : {"extract", "list", "test"}) {
        EXPECT_NE(run.out.find(command), std::string::npos) << command;
    }
    ZuqRun extractHelp = zuq({"extract", "--help"});
    EXPECT_EQ(extractHelp.exitCode, 0);
    EXPECT_NE(extractHelp.out.find("--quiet"), std::string::npos);
}

#ifndef _WIN32
// Runs a shell command line in the scratch directory; its output goes to
// zuq.out and zuq.err there.
ZuqRun shell(ScratchDir& scratch, const std::string& line) {
    std::filesystem::current_path(hostPath(scratch.path()));
    std::string out = hostPath(scratch.join("zuq.out"));
    std::string err = hostPath(scratch.join("zuq.err"));
    int status = std::system(("{ " + line + "; } > '" + out + "' 2> '" + err + "'").c_str());
    Bytes printed = readFile(scratch.join("zuq.out"));
    Bytes errors = readFile(scratch.join("zuq.err"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::string(printed.begin(), printed.end()), std::string(errors.begin(), errors.end())};
}

// An archive of a compressed entry of several chunks and a small one.
Bytes twoEntryArchive() {
    Bytes big(6 * 8192 + 100);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 13 + i / 7);
    }
    Bytes archive;
    appendEntry(archive, "big.bin", builderCompressed, literalStream(big), sizeOf(big));
    appendEntry(archive, "small.txt", builderStored, text("small"), 5);
    archive.push_back(0);
    return archive;
}

// The bar lines drawn on the terminal: the texts after each carriage return.
std::vector<std::string> barLines(const std::string& screen) {
    std::vector<std::string> bars;
    for (std::size_t at = screen.find("\r["); at != std::string::npos;
         at = screen.find("\r[", at + 1)) {
        std::size_t end = screen.find_first_of("\r\n\x1b", at + 1);
        bars.push_back(screen.substr(at + 1, end - at - 1));
    }
    return bars;
}

TEST_F(ZuqCommand, ExtractProgressMovesPerChunkAndNamesTheFileBeingWritten) {
    if (std::system("command -v script > /dev/null") != 0) {
        GTEST_SKIP() << "no script(1) to give zuq a terminal";
    }
    std::string archive = saveArchive(twoEntryArchive());
    std::string command = inQuotes(QM_ZUQ_PATH) + " extract " + inQuotes(archive) + " out";
    ZuqRun run = shell(scratch, "script -qec " + inQuotes(command) + " /dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> bars = barLines(run.out);
    std::size_t bigBars = 0;
    for (const std::string& bar : bars) {
        if (bar.find("1/2 files") != std::string::npos) {
            EXPECT_NE(bar.find("big.bin"), std::string::npos) << bar;
            ++bigBars;
        }
    }
    // Seven chunks: the bar moves within the entry, not once per file.
    EXPECT_GE(bigBars, 4u) << run.out;
    // While big.bin is being written, the name above is big.bin, not the
    // next file: the first bar naming small.txt comes after big.bin's line.
    std::size_t smallBar = run.out.find("small.txt\x1b");
    std::size_t bigLine = run.out.find("big.bin\r\n");
    ASSERT_NE(bigLine, std::string::npos) << run.out;
    if (smallBar != std::string::npos) {
        EXPECT_GT(smallBar, bigLine);
    }

    std::string quiet =
        inQuotes(QM_ZUQ_PATH) + " extract --no-progress " + inQuotes(archive) + " out2";
    ZuqRun plain = shell(scratch, "script -qec " + inQuotes(quiet) + " /dev/null");
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_TRUE(barLines(plain.out).empty()) << plain.out;
    EXPECT_NE(plain.out.find("extracted 2 entries"), std::string::npos) << plain.out;
}

TEST_F(ZuqCommand, ExtractFromARemovedCurrentDirectoryEndsClearly) {
    std::string archive = saveArchive(twoEntryArchive());
    std::string out = hostPath(scratch.join("out"));
    ZuqRun run =
        shell(scratch, "mkdir gone && cd gone && rmdir ../gone && " + inQuotes(QM_ZUQ_PATH) +
                           " extract " + inQuotes(archive) + " " + inQuotes(out));
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find("zuq: cannot read the current directory"), std::string::npos) << run.err;
}
#endif

// --- list --------------------------------------------------------------------

TEST_F(ZuqCommand, ListShowsEveryEntryAndATotal) {
    ZuqRun run = zuq({"list", saveArchive(soundArchive())});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> printed = lines(run.out);
    ASSERT_EQ(printed.size(), 5u);
    EXPECT_NE(printed[1].find("lh5"), std::string::npos);
    EXPECT_NE(printed[1].find("40000"), std::string::npos);
    EXPECT_NE(printed[1].find("VORLENN.EXE"), std::string::npos);
    EXPECT_NE(printed[2].find("stored"), std::string::npos);
    EXPECT_NE(printed[4].find("3 entries"), std::string::npos);
}

TEST_F(ZuqCommand, HeaderFaultsNameTheEntryWhenTheNameIsReadable) {
    Bytes archive;
    appendEntry(archive, "ok.txt", builderStored, text("fine"), 4);
    auto offset = std::to_string(archive.size());
    appendEntry(archive, "..\\evil.txt", builderStored, text("evil"), 4);
    archive.push_back(0);
    std::string path = saveArchive(archive);
    std::string expected =
        "zuq: entry at offset " + offset + " (..\\evil.txt): name leaves the install directory";
    for (const char* command : {"list", "test", "extract"}) {
        std::vector<std::string> args = {command, path};
        if (std::string(command) == "extract") {
            args.push_back("out");
        }
        ZuqRun run = zuq(args);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(lines(run.err), std::vector<std::string>{expected}) << command;
    }
    // A name that cannot be read is not shown.
    Bytes unterminated;
    appendRawEntry(unterminated, 24, builderStored, 1, 1, "abcd", text("xyzw"));
    ZuqRun run = zuq({"list", saveArchive(unterminated)});
    EXPECT_EQ(lines(run.err), std::vector<std::string>{"zuq: entry at offset 0: name field has "
                                                       "no terminating NUL"});
}

TEST_F(ZuqCommand, NamesFromTheArchiveAreShownEscaped) {
    // Terminal controls in names: printed as \xHH, never as the raw bytes.
    const std::string name = "evil\x1b[2J\x07name.txt";
    const std::string shown = "evil\\x1b[2J\\x07name.txt";
    Bytes archive;
    appendEntry(archive, name, builderStored, text("x"), 1);
    appendEntry(archive, "dir\\" + name, builderCompressed, Bytes{0x00, 0x05, 0xF8, 0x00},
                10); // damaged
    archive.push_back(0);
    std::string path = saveArchive(archive);
    ZuqRun list = zuq({"list", path});
    ZuqRun test = zuq({"test", path});
    ZuqRun extract = zuq({"extract", path, "out"});
    for (const ZuqRun* run : {&list, &test, &extract}) {
        EXPECT_EQ(run->out.find('\x1b'), std::string::npos) << run->out;
        EXPECT_EQ(run->err.find('\x1b'), std::string::npos) << run->err;
        EXPECT_EQ(run->out.find('\x07'), std::string::npos) << run->out;
        EXPECT_EQ(run->err.find('\x07'), std::string::npos) << run->err;
    }
    const auto lineOf = [&](const std::string& out, const std::string& line) {
        const std::vector<std::string> all = lines(out);
        return std::find(all.begin(), all.end(), line) != all.end();
    };
    EXPECT_TRUE(lineOf(list.out, "stored                1            1  " + shown)) << list.out;
    EXPECT_TRUE(lineOf(test.out, "ok  " + shown)) << test.out;
    EXPECT_NE(test.err.find("(dir\\" + shown + "): damaged"), std::string::npos) << test.err;
#ifdef _WIN32
    // Windows file names cannot hold control characters: the first entry fails.
    EXPECT_NE(extract.err.find("(" + shown + "): cannot create the file"), std::string::npos)
        << extract.err;
#else
    EXPECT_TRUE(lineOf(extract.out, shown)) << extract.out;
    EXPECT_NE(extract.err.find("(dir\\" + shown + "): damaged"), std::string::npos) << extract.err;
#endif
}

TEST_F(ZuqCommand, VersionIsPrinted) {
    ZuqRun run = zuq({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(lines(run.out), std::vector<std::string>{std::string("zuq ") + QM_ZUQ_VERSION});
}

TEST_F(ZuqCommand, ListStopsAtABadEntry) {
    Bytes archive = soundArchive();
    archive.insert(archive.end(), 30, 'j');
    ZuqRun run = zuq({"list", saveArchive(archive)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no entry magic"), std::string::npos) << run.err;
}

// --- test --------------------------------------------------------------------

TEST_F(ZuqCommand, TestPassesASoundArchiveAndWritesNothing) {
    std::string archive = saveArchive(soundArchive());
    zuq({"--help"}); // makes the output files
    int before = countTreeEntries(scratch.path());
    ZuqRun run = zuq({"test", archive});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out).back(), "tested 3 entries, all sound");
    EXPECT_EQ(countTreeEntries(scratch.path()), before);
}

TEST_F(ZuqCommand, TestReportsEveryDamagedEntry) {
    Bytes archive;
    appendEntry(archive, "bad1", builderCompressed, Bytes{0x00, 0x05, 0xF8, 0x00}, 10);
    appendEntry(archive, "good", builderStored, text("fine"), 4);
    appendEntry(archive, "bad2", builderCompressed, Bytes{0x00, 0x05, 0xF8, 0x00}, 10);
    archive.push_back(0);
    ZuqRun run = zuq({"test", saveArchive(archive)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("bad1"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("bad2"), std::string::npos) << run.err;
    EXPECT_EQ(lines(run.out).back(), "2 of 3 entries damaged");
}

TEST_F(ZuqCommand, TestPrintsTheSameWhateverTheNumberOfThreads) {
    // Entries of many sizes, damaged ones among them, and a bad header at the
    // end: the threads finish in any order, the report keeps archive order.
    const Bytes prose = fixtureSource("prose.txt");
    Bytes archive;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "entry" + std::to_string(i);
        if (i % 7 == 3) {
            appendEntry(archive, name, builderCompressed, Bytes{0x00, 0x05, 0xF8, 0x00}, 10);
            continue;
        }
        Bytes data(prose.begin(), prose.begin() + (prose.size() * (i + 1)) / 40);
        appendEntry(archive, name, builderCompressed, literalStream(data),
                    static_cast<std::uint32_t>(data.size()));
    }
    archive.insert(archive.end(), 30, 'j');
    const std::string path = saveArchive(archive);
    const ZuqRun one = zuq({"test", "--threads", "1", path});
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(lines(one.out).size(), 34u) << one.out;
    EXPECT_EQ(lines(one.out).front(), "ok  entry0");
    EXPECT_EQ(lines(one.err).size(), 7u) << one.err;
    EXPECT_NE(lines(one.err).front().find("entry3"), std::string::npos) << one.err;
    EXPECT_NE(lines(one.err).back().find("no entry magic"), std::string::npos) << one.err;
    for (const char* threads : {"2", "3", "8"}) {
        const ZuqRun many = zuq({"test", "--threads", threads, path});
        EXPECT_EQ(many.exitCode, one.exitCode) << threads;
        EXPECT_EQ(many.out, one.out) << threads;
        EXPECT_EQ(many.err, one.err) << threads;
    }
}

TEST_F(ZuqCommand, TestOfOneLargeEntryIsTheSameOnTwoThreads) {
    // A single large entry is decoded on two threads when there are threads
    // to spare: sound, or cut short in its middle or in its last block.
    const Bytes data = noise(5u << 20, 11);
    const Bytes sound = literalStream(data);
    for (const std::size_t kept : {sound.size(), sound.size() / 2, sound.size() - 40}) {
        Bytes archive;
        appendEntry(archive, "large.bin", builderCompressed,
                    Bytes(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(kept)),
                    sizeOf(data));
        const std::string path = saveArchive(archive);
        const ZuqRun one = zuq({"test", "--threads", "1", path});
        EXPECT_EQ(one.exitCode, kept < sound.size() ? 1 : 0) << one.out << one.err;
        const ZuqRun two = zuq({"test", "--threads", "2", path});
        EXPECT_EQ(two.exitCode, one.exitCode) << kept;
        EXPECT_EQ(two.out, one.out) << kept;
        EXPECT_EQ(two.err, one.err) << kept;
    }
}
