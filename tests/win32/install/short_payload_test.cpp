// The install run with a payload that lacks one of the product's files.
#include "support.h"

#include "setup/install.h"
#include "setup/settings.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace install_test;

namespace {

TEST(ShortPayload, OneEntryFewerFailsAfterWritingEveryEntry) {
    removeShellTraces();
    ScratchFolder target("short payload");
    prepareRun(target.path());
    std::vector<std::string> present = filesBelow(productFiles());
    auto missing = std::find(present.begin(), present.end(), QM_TEST_MISSING_ENTRY);
    ASSERT_NE(missing, present.end());
    present.erase(missing);

    EXPECT_EQ(runInstall(), installFailed);

    EXPECT_EQ(failed, 1);
    EXPECT_EQ(progressDone, static_cast<unsigned>(settings.fileCount - 1));
    EXPECT_EQ(filesBelow(target.path()), present);
    EXPECT_TRUE(differingFiles(target.path(), present).empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKeyPath()));
}

} // namespace
