// Shortcuts made through the real shell link object and read back through
// IShellLinkA: targets, arguments, working directories and icons, the flags
// that select them, and the Programs folder they depend on.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "link_recorder.h"
#include "scratch.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "shell_folders_fixture.h"
#include "system/shortcuts.h"

namespace {

class Shortcuts : public ::testing::Test {
  protected:
    ScratchFolder scratch;
    ShellFoldersFixture folders{scratch};
    std::string install = scratch / "Quillmoran";
    std::string group = folders.programs + "\\" + settings.productName;
    std::string program = install + "\\" + settings.programBase + ".exe";
    std::string mainLink = group + "\\" + settings.productName + ".lnk";
    std::string helpLink = group + "\\" + settings.helpShortcutName;
    std::string uninstallLink = group + "\\Uninstall " + settings.productName + ".lnk";
    std::string desktopLink = folders.desktop + "\\" + settings.productName + ".lnk";
    Settings savedSettings = settings;
    std::string startDirectory = currentDirectory();

    void SetUp() override {
        makeFolder(install);
        writeFile(program, "MZ");
        writeFile(install + "\\" + settings.helpFile);
        setInstallDir(install + "\\");
    }

    void TearDown() override {
        settings = savedSettings;
        installDir[0] = '\0';
        SetCurrentDirectoryA(startDirectory.c_str());
    }

    static void setInstallDir(const std::string& dir) {
        ASSERT_LT(dir.size(), sizeof installDir);
        strcpy(installDir, dir.c_str());
    }

    static void expectLink(const std::string& linkPath, const std::string& target,
                           const std::string& workingDirectory) {
        auto link = readLink(linkPath);
        ASSERT_TRUE(link.has_value()) << linkPath;
        EXPECT_STRCASEEQ(link->target.c_str(), target.c_str()) << linkPath;
        EXPECT_STRCASEEQ(link->workingDirectory.c_str(), workingDirectory.c_str()) << linkPath;
    }
};

TEST_F(Shortcuts, GroupAndDesktopShortcutsPointAtTheProgram) {
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    expectLink(mainLink, program, install);
    expectLink(desktopLink, program, install);
    auto main = readLink(mainLink);
    ASSERT_TRUE(main.has_value());
    EXPECT_EQ(main->arguments, "");
    EXPECT_EQ(main->iconPath, "");
}

TEST_F(Shortcuts, HelpShortcutOpensTheHelpFile) {
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    expectLink(helpLink, install + "\\" + settings.helpFile, install);
    auto help = readLink(helpLink);
    ASSERT_TRUE(help.has_value());
    EXPECT_EQ(help->arguments, "");
}

TEST_F(Shortcuts, UninstallShortcutPassesTheSwitchAndTheIcon) {
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    expectLink(uninstallLink, program, install);
    auto uninstall = readLink(uninstallLink);
    ASSERT_TRUE(uninstall.has_value());
    EXPECT_EQ(uninstall->arguments, settings.uninstallSwitch);
    EXPECT_STRCASEEQ(uninstall->iconPath.c_str(), program.c_str());
    EXPECT_EQ(uninstall->iconIndex, settings.uninstallIconIndex);
}

TEST_F(Shortcuts, GroupHoldsExactlyTheSelectedShortcuts) {
    settings.makeHelpShortcut = 0;
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    EXPECT_TRUE(fileExists(mainLink));
    EXPECT_FALSE(fileExists(helpLink));
    EXPECT_TRUE(fileExists(uninstallLink));

    settings.makeHelpShortcut = 1;
    settings.makeUninstall = 0;
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    EXPECT_TRUE(fileExists(mainLink));
    EXPECT_TRUE(fileExists(helpLink));
    EXPECT_FALSE(fileExists(uninstallLink));
}

TEST_F(Shortcuts, NoDesktopShortcutWithoutDesktopIcon) {
    settings.desktopIcon = 0;
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    EXPECT_TRUE(fileExists(mainLink));
    EXPECT_FALSE(fileExists(desktopLink));
}

TEST_F(Shortcuts, EarlierDesktopShortcutStaysWithoutDesktopIcon) {
    writeFile(desktopLink, "earlier");
    settings.desktopIcon = 0;
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    EXPECT_TRUE(fileExists(desktopLink));
    EXPECT_FALSE(readLink(desktopLink).has_value());
}

TEST_F(Shortcuts, ReinstallEmptiesTheGroup) {
    makeFolder(group);
    writeFile(group + "\\notes.txt");
    makeFolder(group + "\\extras");
    writeFile(group + "\\extras\\tool.lnk");
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    EXPECT_FALSE(fileExists(group + "\\notes.txt"));
    EXPECT_FALSE(folderExists(group + "\\extras"));
    expectLink(mainLink, program, install);
    EXPECT_EQ(currentDirectory(), startDirectory);
}

TEST_F(Shortcuts, InstallAtDriveRootStartsInTheBareDrive) {
    // A spare drive letter mapped onto the install folder.
    ASSERT_TRUE(DefineDosDeviceA(0, "Q:", install.c_str()));
    setInstallDir("Q:\\");
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    auto link = readLink(mainLink);
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, "Q:", nullptr);
    ASSERT_TRUE(link.has_value());
    EXPECT_STRCASEEQ(link->target.c_str(), "Q:\\vorlenn.exe");
    EXPECT_EQ(link->workingDirectory, "Q:");
}

TEST_F(Shortcuts, NoProgramsValueMakesNoShortcut) {
    ScratchShellFolderList list;
    list.set("Desktop", folders.desktop);
    EXPECT_EQ(createShortcuts(), ShortcutsNoStartMenu);
    EXPECT_FALSE(fileExists(desktopLink));
    EXPECT_FALSE(folderExists(group));
}

TEST_F(Shortcuts, UnreadableShellFolderListMakesNoShortcut) {
    ScratchShellFolderList list; // never created
    EXPECT_EQ(createShortcuts(), ShortcutsNoStartMenu);
    EXPECT_FALSE(fileExists(desktopLink));
}

TEST_F(Shortcuts, NoDesktopValueStillMakesTheGroup) {
    ScratchShellFolderList list;
    list.set("Programs", folders.programs);
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    expectLink(mainLink, program, install);
    EXPECT_FALSE(fileExists(desktopLink));
}

TEST_F(Shortcuts, ValueNamesMatchInAnyCase) {
    ScratchShellFolderList list;
    list.set("Favorites", scratch / "elsewhere");
    list.set("programs", folders.programs);
    list.set("DESKTOP", folders.desktop);
    EXPECT_EQ(createShortcuts(), ShortcutsMade);
    expectLink(mainLink, program, install);
    expectLink(desktopLink, program, install);
}

TEST_F(Shortcuts, ProgramsPathTooLongForTheGroupIsRefused) {
    ScratchShellFolderList list;
    std::string longPrograms = "c:\\" + std::string(MAX_PATH - 10, 'p');
    list.set("Programs", longPrograms);
    EXPECT_EQ(createShortcuts(), ShortcutsNoStartMenu);
}

TEST_F(Shortcuts, LinkTargetWithoutBackslashHasNoWorkingDirectory) {
    CoInitialize(nullptr);
    std::string link = folders.desktop + "\\bare.lnk";
    HRESULT result = createLink("notepad.exe", link.c_str(), "/x", nullptr, 0);
    CoUninitialize();
    EXPECT_TRUE(SUCCEEDED(result));
    auto contents = readLink(link);
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->workingDirectory, "");
    EXPECT_EQ(contents->arguments, "/x");
}

// A 32-bit setup on 64-bit Windows sees "C:\\Program Files (x86)" as the
// Program Files known folder: a link tracked relative to it would point there.
// Every link is saved with that tracking turned off.
TEST_F(Shortcuts, EveryLinkIsSavedWithoutKnownFolderTracking) {
    CoInitialize(nullptr);
    std::vector<ShellLinkRecorder::SavedLink> saved;
    {
        ShellLinkRecorder recorder;
        ASSERT_TRUE(recorder.installed());
        EXPECT_EQ(createShortcuts(), ShortcutsMade);
        saved = recorder.saved();
    }
    bool shellKeepsFlags = shellLinkKeepsDataFlags();
    CoUninitialize();

    ASSERT_EQ(saved.size(), 4u);
    for (const auto& link : saved) {
        std::string path(link.path.begin(), link.path.end());
        EXPECT_TRUE(link.flagsWereSet) << path;
        EXPECT_TRUE(link.flags & SLDF_DISABLE_KNOWNFOLDER_RELATIVE_TRACKING) << path;
        EXPECT_TRUE(readLink(path).has_value()) << path;
        // Where the shell keeps the flags (Windows does, Wine 8 does not), the
        // file itself carries this one.
        if (shellKeepsFlags) {
            auto stored = storedLinkFlags(path);
            ASSERT_TRUE(stored.has_value()) << path;
            EXPECT_TRUE(*stored & SLDF_DISABLE_KNOWNFOLDER_RELATIVE_TRACKING) << path;
        }
    }
    EXPECT_STRCASEEQ(std::string(saved[0].path.begin(), saved[0].path.end()).c_str(),
                     mainLink.c_str());
    expectLink(mainLink, program, install);
    expectLink(desktopLink, program, install);
}

// A shell link object without IShellLinkDataList still gives every link.
TEST_F(Shortcuts, LinksAreMadeWhenTheFlagsCannotBeSet) {
    CoInitialize(nullptr);
    std::vector<ShellLinkRecorder::SavedLink> saved;
    {
        ShellLinkRecorder recorder(false);
        ASSERT_TRUE(recorder.installed());
        EXPECT_EQ(createShortcuts(), ShortcutsMade);
        saved = recorder.saved();
    }
    CoUninitialize();
    ASSERT_EQ(saved.size(), 4u);
    for (const auto& link : saved) {
        EXPECT_FALSE(link.flagsWereSet);
    }
    expectLink(mainLink, program, install);
    expectLink(desktopLink, program, install);
    expectLink(helpLink, install + "\\" + settings.helpFile, install);
    expectLink(uninstallLink, program, install);
}

TEST_F(Shortcuts, LinkIntoMissingFolderReportsFailure) {
    CoInitialize(nullptr);
    std::string link = scratch / "missing\\x.lnk";
    HRESULT result = createLink(program.c_str(), link.c_str(), nullptr, nullptr, 0);
    CoUninitialize();
    EXPECT_TRUE(FAILED(result));
    EXPECT_FALSE(fileExists(link));
}

} // namespace
