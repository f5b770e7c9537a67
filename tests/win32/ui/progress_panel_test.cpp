// The progress panel painted for real by Wine's user32/gdi32: a static
// control the size of the dialog's panel (client width 282) is given
// progressPanelProc, painted, and read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "setup/state.h"
#include "ui/progress_panel.h"

namespace {

constexpr int panelWidth = 282;
constexpr int panelHeight = 33;

// A 32-bit top-down bitmap holding a copy of a device context's pixels.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    COLORREF at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x];
    }
    int countInRow(int y, COLORREF colour) const {
        int count = 0;
        for (int x = 0; x < width; ++x) {
            count += at(x, y) == colour;
        }
        return count;
    }
    bool rowIsAll(int y, COLORREF colour) const {
        return countInRow(y, colour) == width;
    }
};

Capture capture(HDC source, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ kept = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    Capture result{width, height, {}};
    const auto* raw = static_cast<const DWORD*>(bits);
    for (int i = 0; i < width * height; ++i) {
        DWORD p = raw[i]; // 0x00RRGGBB in a DIB, COLORREF is 0x00BBGGRR
        result.pixels.push_back(RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff));
    }
    SelectObject(memory, kept);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return result;
}

class ProgressPanel : public ::testing::Test {
  protected:
    HWND host = nullptr;
    HWND panel = nullptr;

    void SetUp() override {
        host = CreateWindowExA(0, "STATIC", "panel host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               10, 10, panelWidth + 40, panelHeight + 40, nullptr, nullptr, nullptr,
                               nullptr);
        ASSERT_NE(host, nullptr);
        panel = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_ETCHEDFRAME, 20, 20,
                                panelWidth, panelHeight, host, nullptr, nullptr, nullptr);
        ASSERT_NE(panel, nullptr);
        SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(progressPanelProc));
        progressPanel = panel;
        // Let the host finish its own showing and painting before the panel is read.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        progressMode = 0;
        progressTotal = 0;
        progressDone = 0;
        currentFile[0] = '\0';
    }
    void TearDown() override {
        DestroyWindow(host);
        progressPanel = nullptr;
    }

    // Repaints the panel the way extraction does and reads its client area.
    Capture paint() {
        InvalidateRect(panel, nullptr, TRUE);
        UpdateWindow(panel);
        RECT client;
        GetClientRect(panel, &client);
        HDC dc = GetDC(panel);
        Capture result = capture(dc, client.right, client.bottom);
        ReleaseDC(panel, dc);
        return result;
    }
    void showBar(unsigned total, unsigned done) {
        progressMode = 1;
        progressTotal = total;
        progressDone = done;
    }
    // Highlight pixels in the middle row of the bar interior.
    int filled(const Capture& c) {
        return c.countInRow(c.height - 13, GetSysColor(COLOR_HIGHLIGHT));
    }
};

const COLORREF face = GetSysColor(COLOR_BTNFACE);
const COLORREF white = RGB(255, 255, 255);

TEST_F(ProgressPanel, ClientAreaIsTheExampleSize) {
    RECT client;
    GetClientRect(panel, &client);
    EXPECT_EQ(client.right, panelWidth);
    EXPECT_EQ(client.bottom, panelHeight);
}

TEST_F(ProgressPanel, IdleShowsOneEtchedLineTwoPixelsAboveTheBottom) {
    Capture c = paint();
    int h = c.height;
    for (int y = 0; y < h; ++y) {
        if (y == h - 4 || y == h - 3) {
            continue;
        }
        EXPECT_TRUE(c.rowIsAll(y, face)) << "row " << y;
    }
    // An etched bottom edge: a shadow line over a highlight line.
    EXPECT_EQ(c.countInRow(h - 4, GetSysColor(COLOR_BTNSHADOW)), c.width);
    EXPECT_EQ(c.countInRow(h - 3, GetSysColor(COLOR_BTNHIGHLIGHT)), c.width);
}

TEST_F(ProgressPanel, IdleIgnoresTheFiguresAndTheFileName) {
    progressTotal = 77;
    progressDone = 40;
    std::strcpy(currentFile, "c:\\program files\\Quillmoran\\vorlenn.exe");
    Capture c = paint();
    for (int y = 0; y < c.height - 4; ++y) {
        EXPECT_TRUE(c.rowIsAll(y, face)) << "row " << y;
    }
}

TEST_F(ProgressPanel, EmptyBarHasASunkenFrameAndABackgroundInterior) {
    showBar(77, 0);
    Capture c = paint();
    int h = c.height;
    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    // Outer edge of a sunken frame: shadow on top and left, highlight on
    // bottom and right.
    EXPECT_EQ(c.countInRow(h - 18, shadow), c.width - 1);
    EXPECT_EQ(c.countInRow(h - 9, highlight), c.width);
    for (int y = h - 17; y < h - 9; ++y) {
        EXPECT_EQ(c.at(0, y), shadow) << "row " << y;
        EXPECT_EQ(c.at(c.width - 1, y), highlight) << "row " << y;
    }
    EXPECT_EQ(c.at(1, h - 13), GetSysColor(COLOR_3DDKSHADOW));
    for (int y = h - 16; y < h - 10; ++y) {
        for (int x = 2; x < c.width - 2; ++x) {
            ASSERT_EQ(c.at(x, y), face) << x << "," << y;
        }
    }
    // Nothing outside the frame: no text, and background below.
    for (int y = 0; y < h - 18; ++y) {
        EXPECT_TRUE(c.rowIsAll(y, face)) << "row " << y;
    }
    for (int y = h - 8; y < h; ++y) {
        EXPECT_TRUE(c.rowIsAll(y, face)) << "row " << y;
    }
}

TEST_F(ProgressPanel, FillGrowsInProportionToTheFilesOpened) {
    const struct {
        unsigned done;
        int width;
    } examples[] = {{1, 3}, {38, 137}, {76, 274}, {77, 278}};
    for (const auto& e : examples) {
        showBar(77, e.done);
        Capture c = paint();
        EXPECT_EQ(filled(c), e.width) << e.done << " of 77";
        // The fill starts at the interior's left edge and is solid.
        for (int y = c.height - 16; y < c.height - 10; ++y) {
            EXPECT_EQ(c.at(2, y), GetSysColor(COLOR_HIGHLIGHT));
            EXPECT_EQ(c.at(1 + e.width, y), GetSysColor(COLOR_HIGHLIGHT));
            if (e.width < 278) {
                EXPECT_EQ(c.at(2 + e.width, y), face);
            }
        }
    }
}

TEST_F(ProgressPanel, ZeroTotalShowsAFullBar) {
    showBar(0, 0);
    EXPECT_EQ(filled(paint()), 278);
    showBar(0, 5);
    EXPECT_EQ(filled(paint()), 278);
}

TEST_F(ProgressPanel, MoreDoneThanTotalShowsAFullBar) {
    showBar(77, 78);
    EXPECT_EQ(filled(paint()), 278);
    showBar(77, 0xffffffffu);
    EXPECT_EQ(filled(paint()), 278);
}

TEST_F(ProgressPanel, HugeTotalDoesNotWrapTheFill) {
    showBar(0x80000000u, 0x40000000u);
    EXPECT_EQ(filled(paint()), 139);
}

// Columns holding any pixel other than `paper` in rows [top, bottom).
std::vector<int> inkedColumns(const Capture& c, int top, int bottom, COLORREF paper = face) {
    std::vector<int> columns;
    for (int x = 0; x < c.width; ++x) {
        for (int y = top; y < bottom; ++y) {
            if (c.at(x, y) != paper) {
                columns.push_back(x);
                break;
            }
        }
    }
    return columns;
}

// What the panel's text should look like: TextOutA with the panel's font
// and alignment at (4, H - 20) on the button face.
Capture expectedText(const char* text, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ keptBitmap = SelectObject(dc, bitmap);
    HGDIOBJ keptFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BOTTOM | TA_LEFT | TA_NOUPDATECP);
    TextOutA(dc, 4, height - 20, text, static_cast<int>(std::strlen(text)));
    Capture result = capture(dc, width, height);
    SelectObject(dc, keptFont);
    SelectObject(dc, keptBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return result;
}

TEST_F(ProgressPanel, FileNameStandsAboveTheBarAtFourAndHeightLessTwenty) {
    showBar(77, 1);
    std::strcpy(currentFile, "c:\\Quill\\gpj.bmp");
    Capture c = paint();
    Capture want = expectedText(currentFile, c.width, c.height);
    ASSERT_FALSE(inkedColumns(c, 0, c.height - 18).empty());
    for (int y = 0; y < c.height - 18; ++y) {
        for (int x = 0; x < c.width; ++x) {
            ASSERT_EQ(c.at(x, y), want.at(x, y)) << x << "," << y;
        }
    }
}

TEST_F(ProgressPanel, LongFileNameIsCutToTheTextWidth) {
    showBar(77, 1);
    std::string path = "c:\\program files\\Quillmoran\\templates";
    while (path.size() < 240) {
        path += "\\Another Style";
    }
    std::strcpy(currentFile, path.c_str());
    Capture c = paint();
    std::vector<int> ink = inkedColumns(c, 0, c.height - 20);
    ASSERT_FALSE(ink.empty());
    // At most W - 12 pixels wide, starting at x = 4.
    EXPECT_LT(ink.back(), 4 + panelWidth - 12);
    EXPECT_GT(ink.back(), 4 + panelWidth - 12 - 30);
}

// --- drawFittedText on a memory bitmap -------------------------------------

// Renders into a white bitmap with the panel's font and alignment.
class FittedText : public ::testing::Test {
  protected:
    // Wide enough for the longest text extraction hands in.
    static constexpr int width = 1600;
    static constexpr int height = 24;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ keptBitmap = nullptr;
    HGDIOBJ keptFont = nullptr;

    void SetUp() override {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        keptBitmap = SelectObject(dc, bitmap);
        keptFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BOTTOM | TA_LEFT | TA_NOUPDATECP);
    }
    void TearDown() override {
        SelectObject(dc, keptFont);
        SelectObject(dc, keptBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void clear() {
        RECT all = {0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    int measure(const std::string& text) {
        SIZE extent;
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        return extent.cx;
    }
    Capture fitted(const std::string& text, int maxWidth) {
        clear();
        drawFittedText(dc, 4, height - 4, text.c_str(), maxWidth);
        return capture(dc, width, height);
    }
    Capture plain(const std::string& text) {
        clear();
        TextOutA(dc, 4, height - 4, text.c_str(), static_cast<int>(text.size()));
        return capture(dc, width, height);
    }
    // drawFittedText(text, maxWidth) must paint exactly what TextOutA paints for `expected`.
    void expectDrawn(const std::string& text, int maxWidth, const std::string& expected) {
        Capture got = fitted(text, maxWidth);
        Capture want = plain(expected);
        EXPECT_TRUE(got.pixels == want.pixels)
            << "\"" << text << "\" in " << maxWidth << " px is not drawn as \"" << expected << "\"";
    }
};

const std::string path = "c:\\program files\\Quillmoran\\templates\\Sunny Day\\wide.bmp";

TEST_F(FittedText, TextOfExactlyTheWidthIsDrawnUnchanged) {
    expectDrawn(path, measure(path), path);
}

TEST_F(FittedText, OnePixelTooWideIsShortened) {
    int maxWidth = measure(path) - 1;
    Capture cut = fitted(path, maxWidth);
    EXPECT_FALSE(cut.pixels == plain(path).pixels);
    std::vector<int> ink = inkedColumns(cut, 0, height, white);
    ASSERT_FALSE(ink.empty());
    EXPECT_LT(ink.back(), 4 + maxWidth);
}

TEST_F(FittedText, KeepsTheBeginningAndCutsTheEnd) {
    std::string expected = "c:\\program files\\Quillmoran\\templates...";
    expectDrawn(path, measure(expected), expected);
}

TEST_F(FittedText, SpacesNeverStandBeforeTheDots) {
    // Room for "Sunny   ...": the cut falls after the spaces, they are
    // dropped and the dots follow the word directly.
    std::string text = "Sunny   Day";
    ASSERT_LT(measure("Sunny   ..."), measure("Sunny   D..."));
    expectDrawn(text, measure("Sunny   ..."), "Sunny...");
    expectDrawn(text, measure("Sunny..."), "Sunny...");
}

TEST_F(FittedText, OnlyTheDotsRemainWhenNothingFits) {
    expectDrawn("WWWW", 1, "...");
    expectDrawn("W", 0, "...");
    // "..." is drawn even when it is itself too wide.
    expectDrawn(path, -5, "...");
}

TEST_F(FittedText, LeadingSpacesAloneLeaveOnlyTheDots) {
    expectDrawn("   WWWWWWWW", measure("...") + 2, "...");
}

TEST_F(FittedText, EmptyTextDrawsNothing) {
    Capture blank = plain("");
    EXPECT_TRUE(fitted("", 100).pixels == blank.pixels);
    EXPECT_TRUE(fitted("", 0).pixels == blank.pixels);
}

TEST_F(FittedText, EmptyTextInANegativeWidthIsTheDots) {
    // Its width 0 exceeds the room, so it is shortened like any text.
    expectDrawn("", -1, "...");
}

TEST_F(FittedText, LongestCurrentFileKeepsAllButOneCharacter) {
    // 253 characters, the most extraction writes into currentFile: the first
    // pass drops the last one and 252 stay before the dots.
    // The dropped last character must be wider than the dots, so that the
    // whole text does not fit where 252 characters and the dots do.
    std::string kept(252, 'i');
    std::string widest = "W";
    // Wide letters of the ANSI code page too: per mille, OE, AE.
    for (const char* c : {"M", "@", "%", "m", "\x89", "\x8C", "\xC6", "\x8A"}) {
        if (measure(c) > measure(widest)) {
            widest = c;
        }
    }
    std::string text = kept + widest;
    ASSERT_EQ(text.size(), 253u);
    ASSERT_GT(measure(text), measure(kept + "...")) << "the whole text must not fit";
    ASSERT_LT(measure(kept + "..."), width - 4);
    expectDrawn(text, measure(kept + "..."), kept + "...");
}

TEST_F(FittedText, TextLongerThanTheWorkingCopyIsCutSafely) {
    std::string longText(400, 'x');
    std::string expected = std::string(10, 'x') + "...";
    expectDrawn(longText, measure(expected), expected);
}

} // namespace
