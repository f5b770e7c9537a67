// The folder browser's callback, called as the shell calls it: it must post
// (not send) the selection of the default parent folder once the browser is
// up, and ignore everything else.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "ui/setup_dialog.h"

namespace {

class BrowseCallback : public ::testing::Test {
  protected:
    HWND browser = nullptr;
    void SetUp() override {
        browser = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
        ASSERT_NE(browser, nullptr);
    }
    void TearDown() override {
        DestroyWindow(browser);
    }
    bool takeSelection(MSG& message) {
        return PeekMessageA(&message, browser, BFFM_SETSELECTIONA, BFFM_SETSELECTIONA, PM_REMOVE) !=
               0;
    }
};

const char folder[] = "c:\\program files";

TEST_F(BrowseCallback, InitialisedBrowserGetsThePathSelectedByPost) {
    EXPECT_EQ(browseCallback(browser, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(folder)), 0);
    MSG message;
    ASSERT_TRUE(takeSelection(message));
    EXPECT_EQ(message.wParam, static_cast<WPARAM>(TRUE)); // the selection is a path text
    EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(folder));
    EXPECT_FALSE(takeSelection(message)) << "posted once only";
}

TEST_F(BrowseCallback, OtherNotificationsAreIgnored) {
    for (UINT notification :
         {static_cast<UINT>(BFFM_SELCHANGED), static_cast<UINT>(BFFM_VALIDATEFAILEDA),
          static_cast<UINT>(BFFM_IUNKNOWN)}) {
        EXPECT_EQ(browseCallback(browser, notification, 0, reinterpret_cast<LPARAM>(folder)), 0);
    }
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, browser, 0, 0, PM_REMOVE));
}

} // namespace
