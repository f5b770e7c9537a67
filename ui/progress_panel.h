// The progress panel: control 1005 of the setup dialog, painted entirely by
// progressPanelProc from the shared progress figures.
#pragma once

#include <windows.h>

// Window procedure installed on the panel. Paints the idle line before the
// run and the bar with the current file's path during it; every other
// message goes to DefWindowProcA.
LRESULT CALLBACK progressPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws text at (x, y) with the dc's current font and alignment, cut at its
// end and followed by "..." when it is wider than maxWidth pixels.
void drawFittedText(HDC dc, int x, int y, const char* text, int maxWidth);
