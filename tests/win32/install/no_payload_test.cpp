// The install run in a program that carries no payload resource at all.
#include "support.h"

#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"

#include <gtest/gtest.h>

using namespace install_test;

namespace {

TEST(NoPayload, MissingResourceActsAsAnEmptyArchive) {
    removeShellTraces();
    ScratchFolder target("no payload");
    prepareRun(target.path());

    EXPECT_EQ(runInstall(), installFailed);

    EXPECT_EQ(failed, 1);
    EXPECT_EQ(progressMode, 1);
    EXPECT_EQ(progressTotal, static_cast<unsigned>(settings.fileCount));
    EXPECT_EQ(progressDone, 0u);
    EXPECT_TRUE(filesBelow(target.path()).empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

TEST(NoPayload, EmptyInstallDirFailsBeforeLookingForTheResource) {
    installDir[0] = 0;
    failed = 0;
    EXPECT_EQ(runInstall(), installFailed);
    EXPECT_EQ(failed, 0);
}

} // namespace
