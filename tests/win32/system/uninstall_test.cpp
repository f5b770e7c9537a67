// The uninstall entry in the real registry: two text values stored with their
// terminating zero, a quoted program path, and no entry for a cut command; in
// the 32-bit registry view, from this program's 32-bit and 64-bit builds alike.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scratch.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "system/uninstall.h"

namespace {

class Uninstall : public ::testing::Test {
  protected:
    std::string keyPath = std::string(uninstallKeyBase) + settings.productName;
    // An entry already registered in the prefix is put back afterwards.
    RegistryValueOverride displayName{HKEY_LOCAL_MACHINE, keyPath, "DisplayName", std::nullopt,
                                      KEY_WOW64_32KEY};
    RegistryValueOverride command{HKEY_LOCAL_MACHINE, keyPath, "UninstallString", std::nullopt,
                                  KEY_WOW64_32KEY};
    RegistryValueOverride otherName{HKEY_LOCAL_MACHINE, keyPath, "DisplayName", std::nullopt,
                                    KEY_WOW64_64KEY};

    void SetUp() override {
        deleteRegistryTree(HKEY_LOCAL_MACHINE, keyPath, KEY_WOW64_32KEY);
        deleteRegistryTree(HKEY_LOCAL_MACHINE, keyPath, KEY_WOW64_64KEY);
    }
    void TearDown() override {
        installDir[0] = '\0';
    }

    static void setInstallDir(const std::string& dir) {
        ASSERT_LT(dir.size(), sizeof installDir);
        strcpy(installDir, dir.c_str());
    }

    std::string storedText(const char* name, DWORD* type) {
        auto bytes = readRegistryBytes(HKEY_LOCAL_MACHINE, keyPath, name, type, KEY_WOW64_32KEY);
        return bytes.value_or("<missing>");
    }

    std::string expectedCommand(const std::string& dirWithSlash) {
        return "\"" + dirWithSlash + settings.programBase + ".exe\" " + settings.uninstallSwitch;
    }
};

TEST_F(Uninstall, RegistersNameAndQuotedCommandWithTerminators) {
    setInstallDir("C:\\Program Files\\Quillmoran\\");
    EXPECT_EQ(registerUninstall(), RegisterDone);
    DWORD type = REG_NONE;
    EXPECT_EQ(storedText("DisplayName", &type), std::string(settings.productName) + '\0');
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedText("UninstallString", &type),
              expectedCommand("C:\\Program Files\\Quillmoran\\") + '\0');
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(Uninstall, BackslashAddedWhenInstallDirLacksIt) {
    setInstallDir("D:\\Apps\\Quillmoran");
    EXPECT_EQ(registerUninstall(), RegisterDone);
    DWORD type = REG_NONE;
    EXPECT_EQ(storedText("UninstallString", &type),
              expectedCommand("D:\\Apps\\Quillmoran\\") + '\0');
}

TEST_F(Uninstall, ExactlyOneSpaceBeforeTheSwitch) {
    setInstallDir("C:\\Quillmoran\\");
    ASSERT_EQ(registerUninstall(), RegisterDone);
    std::string command =
        readRegistryText(HKEY_LOCAL_MACHINE, keyPath, "UninstallString", KEY_WOW64_32KEY).value();
    std::string tail = std::string(".exe\" ") + settings.uninstallSwitch;
    ASSERT_GE(command.size(), tail.size());
    EXPECT_EQ(command.substr(command.size() - tail.size()), tail);
}

TEST_F(Uninstall, ReRegisteringOverwritesTheValues) {
    setInstallDir("C:\\First\\");
    ASSERT_EQ(registerUninstall(), RegisterDone);
    setInstallDir("C:\\Second\\");
    ASSERT_EQ(registerUninstall(), RegisterDone);
    EXPECT_EQ(readRegistryText(HKEY_LOCAL_MACHINE, keyPath, "UninstallString", KEY_WOW64_32KEY),
              expectedCommand("C:\\Second\\"));
}

TEST_F(Uninstall, LongestCommandThatFitsIsKept) {
    // quotes, ".exe", the space and the terminator around the folder
    std::size_t fixed =
        2 + std::strlen(settings.programBase) + 4 + 1 + std::strlen(settings.uninstallSwitch) + 1;
    std::string dir = "C:\\" + std::string(uninstallCommandCapacity - fixed - 4, 'q') + "\\";
    setInstallDir(dir);
    EXPECT_EQ(registerUninstall(), RegisterDone);
    std::string command =
        readRegistryText(HKEY_LOCAL_MACHINE, keyPath, "UninstallString", KEY_WOW64_32KEY).value();
    EXPECT_EQ(command, expectedCommand(dir));
    EXPECT_EQ(command.size(), static_cast<std::size_t>(uninstallCommandCapacity - 1));
}

TEST_F(Uninstall, CommandTooLongIsRefusedAndNoEntryMade) {
    std::string dir = "C:\\" + std::string(240, 'q') + "\\";
    setInstallDir(dir);
    EXPECT_EQ(registerUninstall(), RegisterFailed);
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, keyPath, KEY_WOW64_32KEY));
}

// 64-bit Windows lists programs from both views; the entry is in the 32-bit
// one (WOW6432Node) only, where the installed program's /uninstall looks.
TEST_F(Uninstall, EntryIsWrittenThroughThe32BitView) {
    EXPECT_EQ(uninstallKeyView, static_cast<REGSAM>(KEY_WOW64_32KEY));
    setInstallDir("C:\\Program Files\\Quillmoran\\");
    ASSERT_EQ(registerUninstall(), RegisterDone);
    EXPECT_EQ(readRegistryText(HKEY_LOCAL_MACHINE, keyPath, "DisplayName", KEY_WOW64_32KEY),
              settings.productName);
    if (!hasTwoRegistryViews()) {
        GTEST_SKIP() << "this Windows has a single registry view";
    }
    EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE,
                                  "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                                  "Uninstall\\" +
                                      std::string(settings.productName),
                                  KEY_WOW64_64KEY));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, keyPath, KEY_WOW64_64KEY));
}

} // namespace
