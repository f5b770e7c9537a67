// The product program: a window that shows the product's name and its
// template pictures. Started with the uninstall switch it removes the
// installation instead.
#include "product.h"

// GDI+ needs the COM declarations that a lean windows.h leaves out.
#include <objidl.h>
#include <gdiplus.h>
#include <cstring>

char programDir[MAX_PATH];

static const char windowClass[] = "VorlennMain";
static const int maxPictures = 128;
static const int thumbWidth = 56, thumbHeight = 42, cellWidth = 62, cellHeight = 48;
static const int headerHeight = 56, margin = 12;

static Gdiplus::GpImage* pictures[maxPictures];
static int pictureCount;
static HFONT titleFont;

int findProgramDir() {
    DWORD n = GetModuleFileNameA(nullptr, programDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return 0;
    }
    char* slash = std::strrchr(programDir, '\\');
    if (!slash) {
        return 0;
    }
    slash[1] = 0;
    return 1;
}

const char* installedFiles(DWORD* size) {
    *size = 0;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_INSTALLED_FILES), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    if (!loaded) {
        return nullptr;
    }
    *size = SizeofResource(nullptr, found);
    return static_cast<const char*>(LockResource(loaded));
}

// The first start marks the folder as holding this release, so that a later
// setup knows what it finds there.
static void markRelease() {
    char ini[MAX_PATH];
    if (std::strlen(programDir) + sizeof VORLENN_INI_FILE > MAX_PATH) {
        return;
    }
    std::strcpy(ini, programDir);
    std::strcat(ini, VORLENN_INI_FILE);
    if (static_cast<int>(GetPrivateProfileIntA(VORLENN_INI_SECTION, VORLENN_INI_KEY, -1, ini)) ==
        -1) {
        WritePrivateProfileStringA(VORLENN_INI_SECTION, VORLENN_INI_KEY, "1", ini);
    }
}

static void loadPicture(const char* name, int length) {
    char path[MAX_PATH];
    WCHAR widePath[MAX_PATH];
    int dirLength = static_cast<int>(std::strlen(programDir));
    if (pictureCount == maxPictures || dirLength + length >= MAX_PATH) {
        return;
    }
    std::memcpy(path, programDir, static_cast<size_t>(dirLength));
    std::memcpy(path + dirLength, name, static_cast<size_t>(length));
    path[dirLength + length] = 0;
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) {
        return;
    }
    Gdiplus::GpImage* image = nullptr;
    if (Gdiplus::DllExports::GdipLoadImageFromFile(widePath, &image) == Gdiplus::Ok) {
        pictures[pictureCount++] = image;
    }
}

static void loadPictures() {
    DWORD size;
    const char* list = installedFiles(&size);
    DWORD start = 0;
    for (DWORD i = 0; i < size; ++i) {
        if (list[i] == '\n') {
            loadPicture(list + start, static_cast<int>(i - start));
            start = i + 1;
        }
    }
}

// Scales a picture into its cell, keeping its proportions.
static void drawThumbnail(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* picture, int x, int y) {
    UINT width = 0, height = 0;
    Gdiplus::DllExports::GdipGetImageWidth(picture, &width);
    Gdiplus::DllExports::GdipGetImageHeight(picture, &height);
    if (width == 0 || height == 0) {
        return;
    }
    int w = thumbWidth, h = thumbHeight;
    if (width * thumbHeight > height * thumbWidth) {
        h = static_cast<int>(height * thumbWidth / width);
    } else {
        w = static_cast<int>(width * thumbHeight / height);
    }
    Gdiplus::DllExports::GdipDrawImageRectI(graphics, picture, x + (thumbWidth - w) / 2,
                                            y + (thumbHeight - h) / 2, w, h);
}

static void paintWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);

    HGDIOBJ oldFont = SelectObject(dc, titleFont);
    SetBkMode(dc, TRANSPARENT);
    RECT title = {margin, 0, client.right - margin, headerHeight};
    DrawTextA(dc, QM_PRODUCT_NAME, -1, &title, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    SelectObject(dc, oldFont);

    Gdiplus::GpGraphics* graphics = nullptr;
    if (Gdiplus::DllExports::GdipCreateFromHDC(dc, &graphics) == Gdiplus::Ok) {
        int columns = (client.right - 2 * margin) / cellWidth;
        if (columns < 1) {
            columns = 1;
        }
        for (int i = 0; i < pictureCount; ++i) {
            int x = margin + (i % columns) * cellWidth;
            int y = headerHeight + (i / columns) * cellHeight;
            drawThumbnail(graphics, pictures[i], x, y);
        }
        Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    }
    EndPaint(window, &paint);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int runWindow(HINSTANCE instance, int show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = windowClass;
    if (!RegisterClassA(&wc)) {
        return 1;
    }
    titleFont = CreateFontA(-28, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
    HWND window = CreateWindowA(windowClass, QM_PRODUCT_NAME, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 680, 520, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DeleteObject(titleFont);
    return 0;
}

static int isUninstallSwitch(const char* commandLine) {
    while (*commandLine == ' ') {
        ++commandLine;
    }
    return lstrcmpiA(commandLine, QM_UNINSTALL_SWITCH) == 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    if (!findProgramDir()) {
        return 1;
    }
    if (isUninstallSwitch(commandLine)) {
        runUninstall();
        return 0;
    }
    markRelease();

    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) == Gdiplus::Ok) {
        loadPictures();
    }
    int result = runWindow(instance, show);
    for (int i = 0; i < pictureCount; ++i) {
        Gdiplus::DllExports::GdipDisposeImage(pictures[i]);
    }
    if (token) {
        Gdiplus::GdiplusShutdown(token);
    }
    return result;
}
