// Removing the older generation: its seven files, its Start Menu folder and
// desktop shortcut, its uninstall key (in the 32-bit registry view, where the
// older generation's 32-bit setup wrote it); templates kept as "oldtemplates";
// user files untouched; every step runs whatever happened to the one before.
#include <gtest/gtest.h>

#include <string>

#include "scratch.h"
#include "shell_folders_fixture.h"
#include "system/removal.h"

namespace {

const char* const olderFiles[] = {"readme.txt",  "template.txt", "regform.txt", "vorlenn.exe",
                                  "vorlenn.hlp", "vorlenn.gid",  "vorlenn.ini"};

class Removal : public ::testing::Test {
  protected:
    ScratchFolder scratch;
    ShellFoldersFixture folders{scratch};
    std::string dir = scratch / "Vorlenn";
    std::string oldGroup = folders.programs + "\\vorlenn";
    std::string oldDesktopLink = folders.desktop + "\\vorlenn.lnk";
    std::string startDirectory = currentDirectory();
    // An older entry already registered in the prefix is put back afterwards.
    RegistryValueOverride oldName{HKEY_LOCAL_MACHINE, oldUninstallKeyPath, "DisplayName",
                                  std::nullopt, KEY_WOW64_32KEY};
    RegistryValueOverride oldCommand{HKEY_LOCAL_MACHINE, oldUninstallKeyPath, "UninstallString",
                                     std::nullopt, KEY_WOW64_32KEY};

    void SetUp() override {
        makeFolder(dir);
        for (const char* name : olderFiles) {
            writeFile(dir + "\\" + name);
        }
        writeFile(dir + "\\my drawing.bmp");
        makeFolder(dir + "\\templates");
        writeFile(dir + "\\templates\\own template.bmp");
        makeFolder(oldGroup);
        writeFile(oldGroup + "\\vorlenn.lnk");
        writeFile(oldGroup + "\\Uninstall vorlenn.lnk");
        writeFile(oldDesktopLink);
        writeFile(folders.desktop + "\\other.lnk");
        registerOlderGeneration();
    }

    void registerOlderGeneration() {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, 0, nullptr, 0,
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const char name[] = "Vorlenn";
        const char command[] = "c:\\vorlenn\\vorlenn.exe /uninstall";
        RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                       sizeof name);
        RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                       sizeof command);
        RegCloseKey(key);
    }

    static bool oldKeyExists() {
        return registryKeyExists(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, KEY_WOW64_32KEY);
    }
};

TEST_F(Removal, RemovesTheOlderGenerationAndKeepsUserFiles) {
    EXPECT_EQ(removeOlderVersion(dir.c_str()), RemovalDone);
    for (const char* name : olderFiles) {
        EXPECT_FALSE(fileExists(dir + "\\" + name)) << name;
    }
    EXPECT_TRUE(fileExists(dir + "\\my drawing.bmp"));
    EXPECT_FALSE(folderExists(dir + "\\templates"));
    EXPECT_TRUE(fileExists(dir + "\\oldtemplates\\own template.bmp"));
    EXPECT_FALSE(folderExists(oldGroup));
    EXPECT_FALSE(fileExists(oldDesktopLink));
    EXPECT_TRUE(fileExists(folders.desktop + "\\other.lnk"));
    EXPECT_FALSE(oldKeyExists());
    EXPECT_EQ(currentDirectory(), startDirectory);
}

TEST_F(Removal, TrailingBackslashMakesNoDifference) {
    std::string withSlash = dir + "\\";
    removeOlderVersion(withSlash.c_str());
    EXPECT_FALSE(fileExists(dir + "\\vorlenn.exe"));
    EXPECT_TRUE(fileExists(dir + "\\oldtemplates\\own template.bmp"));
}

TEST_F(Removal, TemplatesStayWhenOldTemplatesExists) {
    makeFolder(dir + "\\oldtemplates");
    writeFile(dir + "\\oldtemplates\\earlier.bmp");
    EXPECT_EQ(removeOlderVersion(dir.c_str()), RemovalDone);
    EXPECT_TRUE(fileExists(dir + "\\templates\\own template.bmp"));
    EXPECT_TRUE(fileExists(dir + "\\oldtemplates\\earlier.bmp"));
    EXPECT_FALSE(fileExists(dir + "\\oldtemplates\\own template.bmp"));
    EXPECT_FALSE(folderExists(oldGroup));
    EXPECT_FALSE(oldKeyExists());
}

TEST_F(Removal, FilesThatCannotBeDeletedDoNotStopTheOthers) {
    std::string readOnly = dir + "\\readme.txt";
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string inUse = dir + "\\vorlenn.exe";
    HANDLE held = CreateFileA(inUse.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    removeOlderVersion(dir.c_str());
    CloseHandle(held);
    EXPECT_TRUE(fileExists(readOnly));
    EXPECT_TRUE(fileExists(inUse));
    EXPECT_FALSE(fileExists(dir + "\\template.txt"));
    EXPECT_FALSE(fileExists(dir + "\\vorlenn.ini"));
    EXPECT_TRUE(fileExists(dir + "\\oldtemplates\\own template.bmp"));
    EXPECT_FALSE(folderExists(oldGroup));
    EXPECT_FALSE(oldKeyExists());
}

TEST_F(Removal, MissingDirectoryStillRemovesShortcutsAndKey) {
    std::string missing = scratch / "never installed";
    EXPECT_EQ(removeOlderVersion(missing.c_str()), RemovalDone);
    EXPECT_FALSE(folderExists(missing));
    EXPECT_FALSE(folderExists(oldGroup));
    EXPECT_FALSE(fileExists(oldDesktopLink));
    EXPECT_FALSE(oldKeyExists());
}

TEST_F(Removal, UnreadableShellFolderListStillDeletesTheKey) {
    ScratchShellFolderList unreadable; // never created: cannot be opened
    EXPECT_EQ(removeOldShortcuts(), RemovalNotPossible);
    EXPECT_EQ(removeOlderVersion(dir.c_str()), RemovalDone);
    EXPECT_FALSE(fileExists(dir + "\\vorlenn.exe"));
    EXPECT_TRUE(folderExists(oldGroup));
    EXPECT_TRUE(fileExists(oldDesktopLink));
    EXPECT_FALSE(oldKeyExists());
}

TEST_F(Removal, MissingUninstallKeyIsReported) {
    deleteRegistryTree(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, KEY_WOW64_32KEY);
    EXPECT_EQ(deleteOldUninstallKey(), RemovalNotPossible);
    EXPECT_EQ(removeOlderVersion(dir.c_str()), RemovalDone);
    EXPECT_FALSE(fileExists(dir + "\\vorlenn.exe"));
    EXPECT_FALSE(folderExists(oldGroup));
}

// The key is deleted from the view it was found in: one of the same name that
// a 64-bit program keeps in the other view is not the older generation's.
TEST_F(Removal, OlderKeyIsDeletedFromThe32BitView) {
    if (!hasTwoRegistryViews()) {
        GTEST_SKIP() << "this Windows has a single registry view";
    }
    RegistryValueOverride otherView{HKEY_LOCAL_MACHINE, oldUninstallKeyPath, "DisplayName",
                                    "not the older generation", KEY_WOW64_64KEY};
    ASSERT_TRUE(oldKeyExists());
    EXPECT_EQ(deleteOldUninstallKey(), RemovalDone);
    EXPECT_FALSE(oldKeyExists());
    EXPECT_EQ(
        readRegistryText(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, "DisplayName", KEY_WOW64_64KEY),
        "not the older generation");
}

TEST_F(Removal, ShortcutsFoundWithValueNamesInAnyCase) {
    ScratchShellFolderList list;
    list.set("PROGRAMS", folders.programs);
    list.set("desktop", folders.desktop);
    EXPECT_EQ(removeOldShortcuts(), RemovalDone);
    EXPECT_FALSE(folderExists(oldGroup));
    EXPECT_FALSE(fileExists(oldDesktopLink));
}

// An empty Programs value names no folder; "\\vorlenn" on the current drive
// is someone else's.
TEST_F(Removal, EmptyProgramsValueTouchesNoOtherFolder) {
    std::string driveRootGroup = "\\vorlenn";
    ASSERT_FALSE(folderExists(driveRootGroup));
    makeFolder(driveRootGroup);
    writeFile(driveRootGroup + "\\unrelated.txt");
    ScratchShellFolderList list;
    list.set("Programs", "");
    list.set("Desktop", folders.desktop);
    EXPECT_EQ(removeOldShortcuts(), RemovalDone);
    bool kept = fileExists(driveRootGroup + "\\unrelated.txt");
    removeTree(driveRootGroup);
    EXPECT_TRUE(kept);
    EXPECT_TRUE(folderExists(oldGroup));
    EXPECT_FALSE(fileExists(oldDesktopLink));
}

} // namespace
