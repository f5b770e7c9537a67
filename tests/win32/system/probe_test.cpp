// What probeInstallation reads from a directory: the program file first,
// then the ini's marks, older generation before current release.
#include <gtest/gtest.h>

#include "scratch.h"
#include "system/probe.h"

namespace {

class Probe : public ::testing::Test {
  protected:
    ScratchFolder dir;

    void installProgram() {
        writeFile(dir / "vorlenn.exe", "MZ");
    }
    void writeIni(const std::string& text) {
        writeFile(dir / "vorlenn.ini", text);
    }
};

TEST_F(Probe, EmptyFolderHasNoProgram) {
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeNoProgram);
}

TEST_F(Probe, MarkedIniWithoutProgramStillMeansNoProgram) {
    writeIni("[Vorlenn]\nSwap_R&B=1\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeNoProgram);
}

TEST_F(Probe, ProgramInSubfolderIsNotFound) {
    makeFolder(dir / "bin");
    writeFile(dir / "bin\\vorlenn.exe", "MZ");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeNoProgram);
}

TEST_F(Probe, ProgramWithoutIniIsUnmarked) {
    installProgram();
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeUnmarkedProgram);
}

TEST_F(Probe, IniWithOtherKeysIsUnmarked) {
    installProgram();
    writeIni("[Vorlenn]\nLanguage=2\n[Quillmoran]\nUseSSE=1\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeUnmarkedProgram);
}

TEST_F(Probe, OlderMarkWithValueZeroCounts) {
    installProgram();
    writeIni("[Vorlenn]\nSwap_R&B=0\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeOlderGeneration);
}

TEST_F(Probe, BothMarksReportTheOlderGeneration) {
    installProgram();
    writeIni("[Quillmoran]\nUseMMX=1\n[Vorlenn]\nSwap_R&B=1\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeOlderGeneration);
}

TEST_F(Probe, CurrentMarkReportsTheCurrentRelease) {
    installProgram();
    writeIni("[Quillmoran]\nUseMMX=0\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeCurrentRelease);
}

TEST_F(Probe, TrailingBackslashMakesNoDifference) {
    installProgram();
    writeIni("[Quillmoran]\nUseMMX=1\n");
    std::string withSlash = dir.path() + "\\";
    EXPECT_EQ(probeInstallation(withSlash.c_str()), ProbeCurrentRelease);
}

TEST_F(Probe, MarkInTheWrongSectionDoesNotCount) {
    installProgram();
    writeIni("[Quillmoran]\nSwap_R&B=1\n[Vorlenn]\nUseMMX=1\n");
    EXPECT_EQ(probeInstallation(dir.path().c_str()), ProbeUnmarkedProgram);
}

} // namespace
