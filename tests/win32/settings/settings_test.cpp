// The settings record built from another product's folder carries that
// product's values, texts with quotes and backslashes intact.
#include <gtest/gtest.h>

#include <string>

#include "setup/settings.h"

namespace {

TEST(OtherProduct, FlagsAndCountsComeFromItsFolder) {
    EXPECT_EQ(settings.desktopIcon, 0);
    EXPECT_EQ(settings.fileCount, 12);
    EXPECT_EQ(settings.makeUninstall, 0);
    EXPECT_EQ(settings.uninstallIconIndex, 3);
    EXPECT_EQ(settings.makeHelpShortcut, 0);
}

TEST(OtherProduct, TextsKeepQuotesAndBackslashes) {
    EXPECT_STREQ(settings.versionCaption, "Zeltrane \"Studio\" 3.0");
    EXPECT_STREQ(settings.defaultParentDir, "d:\\apps\\tools");
}

TEST(OtherProduct, ProductAndFolderNamesAreSeparate) {
    EXPECT_STREQ(settings.productName, "Zeltrane Studio");
    EXPECT_STREQ(settings.folderName, "Zeltrane");
    EXPECT_STREQ(settings.programBase, "zstudio");
    EXPECT_STREQ(settings.helpFile, "zstudio.chm");
    EXPECT_STREQ(settings.helpShortcutName, "Zeltrane Manual.lnk");
}

TEST(OtherProduct, ElevenCharacterSwitchFitsInline) {
    EXPECT_EQ(sizeof settings.uninstallSwitch, 12u);
    EXPECT_STREQ(settings.uninstallSwitch, "/deinstall!");
}

} // namespace
