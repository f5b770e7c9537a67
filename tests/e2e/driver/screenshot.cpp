#include "screenshot.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace driver {

namespace {

// A thread that does not answer within this time is busy (an install run).
constexpr UINT responsiveTimeoutMs = 300;

BOOL CALLBACK collectVisible(HWND window, LPARAM data) {
    if (IsWindowVisible(window)) {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    }
    return TRUE;
}

bool isResponsive(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, responsiveTimeoutMs,
                               &ignored) != 0;
}

void overlayWindow(HDC canvas, HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0 || !isResponsive(window)) {
        return;
    }
    HDC memory = CreateCompatibleDC(canvas);
    HBITMAP bitmap = CreateCompatibleBitmap(canvas, width, height);
    HGDIOBJ kept = SelectObject(memory, bitmap);
    if (PrintWindow(window, memory, 0)) {
        BitBlt(canvas, frame.left, frame.top, width, height, memory, 0, 0, SRCCOPY);
    }
    SelectObject(memory, kept);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

bool writeBmp(const std::string& path, HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files usually are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    if (!GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS)) {
        return false;
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42; // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        return false;
    }
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                   std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

} // namespace

bool saveScreenshot(const std::string& bmpPath) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ kept = SelectObject(canvas, bitmap);
    BitBlt(canvas, 0, 0, width, height, screen, 0, 0, SRCCOPY);

    // EnumWindows lists from the top down; lay them on from the bottom up.
    std::vector<HWND> windows;
    EnumWindows(collectVisible, reinterpret_cast<LPARAM>(&windows));
    std::reverse(windows.begin(), windows.end());
    for (HWND window : windows) {
        overlayWindow(canvas, window);
    }

    SelectObject(canvas, kept);
    bool saved = writeBmp(bmpPath, canvas, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(canvas);
    ReleaseDC(nullptr, screen);
    return saved;
}

} // namespace driver
