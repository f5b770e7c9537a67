// The zuq program as a user runs it: exit codes, output lines, and what it
// leaves on disk.
#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/fixture_source.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"
#include "tests/unit/zuq/run_zuq.h"

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
    EXPECT_NE(run.err.find("leaves the install directory"), std::string::npos) << run.err;
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
