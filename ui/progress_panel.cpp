// Progress panel. The panel keeps no state: every paint reads progressMode,
// progressTotal, progressDone and currentFile and redraws every pixel, so the
// background erase that extraction asks for is not needed.
#include "ui/progress_panel.h"

#include <cstring>

#include "setup/state.h"

namespace {

// Geometry, in client pixels measured from the panel's bottom edge (H).
constexpr int idleLineLift = 2;      // idle line: bottom of (0, 0, W, H - 2)
constexpr int barFrameTop = 18;      // bar frame: (0, H - 18, W, H - 8)
constexpr int barFrameBottom = 8;    //
constexpr int barFrameThickness = 2; // interior: the frame shrunk by 2 on every side
constexpr int textLeft = 4;
constexpr int textGapAboveBar = 4; // text bottom sits 4 pixels above the interior
constexpr int textRightMargin = 8; // text may use the interior width less this

// drawFittedText's working copy: the kept part, the dots and the terminator.
// It is handed at most 253 characters (the longest currentFile extraction
// writes); the first pass drops one, so 252 and the dots always fit.
constexpr int fittedTextSize = 256;
constexpr char dots[] = "...";
constexpr int dotsLength = sizeof dots - 1;
constexpr int longestKeptText = fittedTextSize - dotsLength - 1;
constexpr int longestHandedText = longestKeptText + 1;
static_assert(longestHandedText == 253);

int textWidth(HDC dc, const char* text, int length) {
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, length, &extent);
    return extent.cx;
}

// Width of the filled part of a bar interior `width` pixels wide. A total of
// 0, or more done than the total, shows the whole bar. The product is taken
// in 64 bits so that a huge total cannot wrap the bar back to empty.
int filledWidth(int width) {
    if (width <= 0) {
        return 0;
    }
    if (progressTotal > 0 && progressDone <= progressTotal) {
        unsigned long long product = static_cast<unsigned long long>(progressDone) * width;
        return static_cast<int>(product / progressTotal);
    }
    return width;
}

void paintIdle(HDC dc, RECT area) {
    area.bottom -= idleLineLift;
    DrawEdge(dc, &area, EDGE_ETCHED, BF_BOTTOM);
}

void paintBar(HDC dc, RECT area) {
    int height = area.bottom;
    area.top = height - barFrameTop;
    area.bottom = height - barFrameBottom;
    DrawEdge(dc, &area, EDGE_SUNKEN, BF_RECT);

    InflateRect(&area, -barFrameThickness, -barFrameThickness);
    int interiorWidth = area.right - area.left;
    int interiorTop = area.top;
    area.right = area.left + filledWidth(interiorWidth);
    FillRect(dc, &area, GetSysColorBrush(COLOR_HIGHLIGHT));

    HGDIOBJ keptFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BOTTOM | TA_LEFT | TA_NOUPDATECP);
    drawFittedText(dc, textLeft, interiorTop - textGapAboveBar, currentFile,
                   interiorWidth - textRightMargin);
    SelectObject(dc, keptFont);
}

void paintPanel(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (progressMode == 0) {
        paintIdle(dc, client);
    } else {
        paintBar(dc, client);
    }
    EndPaint(window, &paint);
}

} // namespace

LRESULT CALLBACK progressPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        paintPanel(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void drawFittedText(HDC dc, int x, int y, const char* text, int maxWidth) {
    int length = static_cast<int>(std::strlen(text));
    // An empty text measures 0: it is drawn as it is (nothing) unless the
    // width is negative, and then, like any text, as the dots alone.
    if (textWidth(dc, text, length) <= maxWidth) {
        TextOutA(dc, x, y, text, length);
        return;
    }

    // A text longer than extraction ever hands in loses its tail here; it
    // is cut further below anyway, and the dots always fit behind it.
    char fitted[fittedTextSize];
    int kept = length < longestHandedText ? length : longestHandedText;
    std::memcpy(fitted, text, kept);
    // Each pass drops at least one character; spaces never stand before the
    // dots. The characters in front of `kept` are never changed.
    do {
        if (kept > 0) {
            --kept;
        }
        while (kept > 0 && fitted[kept - 1] == ' ') {
            --kept;
        }
        std::memcpy(fitted + kept, dots, sizeof dots);
    } while (kept > 0 && textWidth(dc, fitted, kept + dotsLength) > maxWidth);
    TextOutA(dc, x, y, fitted, kept + dotsLength);
}
