// Bounded text building: texts that do not fit are refused whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "system/path_text.h"

namespace {

TEST(PathText, CopyFitsUpToCapacityLessTerminator) {
    char buffer[6];
    EXPECT_EQ(copyText(buffer, sizeof buffer, "abcde"), TextFits);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(copyText(buffer, sizeof buffer, "abcdef"), TextTooLong);
    EXPECT_STREQ(buffer, "abcde");
}

TEST(PathText, AppendRefusedLeavesBufferAndGuardUntouched) {
    char buffer[9];
    buffer[8] = '#';
    std::memcpy(buffer, "c:\\ab", 6);
    EXPECT_EQ(appendText(buffer, 8, "cdef"), TextTooLong);
    EXPECT_STREQ(buffer, "c:\\ab");
    EXPECT_EQ(buffer[8], '#');
    EXPECT_EQ(appendText(buffer, 8, "cd"), TextFits);
    EXPECT_STREQ(buffer, "c:\\abcd");
}

TEST(PathText, BackslashAppendedOnlyWhenMissing) {
    char buffer[8] = "c:\\a";
    EXPECT_EQ(appendBackslashIfMissing(buffer, sizeof buffer), TextFits);
    EXPECT_STREQ(buffer, "c:\\a\\");
    EXPECT_EQ(appendBackslashIfMissing(buffer, sizeof buffer), TextFits);
    EXPECT_STREQ(buffer, "c:\\a\\");
    char full[4] = "c:a";
    EXPECT_EQ(appendBackslashIfMissing(full, sizeof full), TextTooLong);
    EXPECT_STREQ(full, "c:a");
}

TEST(PathText, JoinPutsOneBackslashBetween) {
    char buffer[11];
    EXPECT_EQ(joinPath(buffer, sizeof buffer, "c:\\x", "y.lnk"), TextFits);
    EXPECT_STREQ(buffer, "c:\\x\\y.lnk");
    EXPECT_EQ(joinPath(buffer, sizeof buffer, "c:\\xx", "y.lnk"), TextTooLong);
    EXPECT_STREQ(buffer, "c:\\x\\y.lnk");
}

} // namespace
