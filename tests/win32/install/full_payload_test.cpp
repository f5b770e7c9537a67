// The install run with the product's real payload linked into this program.
#include "support.h"

#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace install_test;

namespace {

class FullPayload : public ::testing::Test {
  protected:
    void SetUp() override {
        removeShellTraces();
        settings.desktopIcon = 1;
        prepareRun(target.path());
    }
    void TearDown() override {
        removeShellTraces();
    }

    ScratchFolder target{"full payload"};
};

TEST_F(FullPayload, InstallsEveryFileByteForByteAndIntegratesWithTheShell) {
    const std::vector<std::string> product = filesBelow(productFiles());
    ASSERT_EQ(product.size(), static_cast<size_t>(settings.fileCount));

    EXPECT_EQ(runInstall(), installDone);

    EXPECT_EQ(failed, 0);
    EXPECT_EQ(progressMode, 1);
    EXPECT_EQ(progressTotal, static_cast<unsigned>(settings.fileCount));
    EXPECT_EQ(progressDone, static_cast<unsigned>(settings.fileCount));
    EXPECT_EQ(filesBelow(target.path()), product);
    EXPECT_TRUE(differingFiles(target.path(), product).empty());

    ShellFolders shell = readShellFolders();
    fs::path group = fs::path(shell.programs) / settings.productName;
    const std::string name = settings.productName;
    EXPECT_TRUE(fs::is_regular_file(group / (name + ".lnk")));
    EXPECT_TRUE(fs::is_regular_file(group / settings.helpShortcutName));
    EXPECT_TRUE(fs::is_regular_file(group / ("Uninstall " + name + ".lnk")));
    EXPECT_TRUE(fs::is_regular_file(fs::path(shell.desktop) / (name + ".lnk")));

    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, uninstallKeyPath(), "DisplayName"), name);
    std::string command = readText(HKEY_LOCAL_MACHINE, uninstallKeyPath(), "UninstallString");
    EXPECT_NE(command.find(target.path() + settings.programBase + ".exe"), std::string::npos);
    EXPECT_NE(command.find(settings.uninstallSwitch), std::string::npos);
}

TEST_F(FullPayload, InstallingTwiceReplacesTheFiles) {
    ASSERT_EQ(runInstall(), installDone);
    const std::vector<std::string> product = filesBelow(productFiles());
    fs::path changed = fs::path(target.path()) / product.back();
    fs::resize_file(changed, 3);

    prepareRun(target.path());
    EXPECT_EQ(runInstall(), installDone);
    EXPECT_TRUE(differingFiles(target.path(), product).empty());
}

TEST_F(FullPayload, EmptyInstallDirTouchesNothing) {
    installDir[0] = 0;
    failed = 7;
    progressMode = 0;
    progressTotal = 5;
    progressDone = 3;

    EXPECT_EQ(runInstall(), installFailed);

    EXPECT_EQ(failed, 7);
    EXPECT_EQ(progressMode, 0);
    EXPECT_EQ(progressTotal, 5u);
    EXPECT_EQ(progressDone, 3u);
    EXPECT_TRUE(filesBelow(target.path()).empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

TEST_F(FullPayload, WithoutProgramsFolderFilesStayButNoUninstallEntry) {
    std::vector<std::string> product = filesBelow(productFiles());
    {
        ProgramsValueHidden hidden;
        EXPECT_EQ(runInstall(), installNoShortcuts);
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(filesBelow(target.path()), product);
    EXPECT_TRUE(differingFiles(target.path(), product).empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
    ShellFolders shell = readShellFolders();
    EXPECT_FALSE(fs::exists(fs::path(shell.programs) / settings.productName));
}

TEST_F(FullPayload, WithoutUninstallSettingNoUninstallEntry) {
    settings.makeUninstall = 0;
    int result = runInstall();
    settings.makeUninstall = 1;

    EXPECT_EQ(result, installDone);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

TEST_F(FullPayload, MoreEntriesThanExpectedAreAccepted) {
    const int expected = settings.fileCount;
    settings.fileCount = expected - 1;
    int result = runInstall();
    settings.fileCount = expected;

    EXPECT_EQ(result, installDone);
    EXPECT_EQ(progressDone, static_cast<unsigned>(expected));
}

} // namespace
