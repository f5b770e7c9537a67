// The setup dialog: install directory, folder browser, desktop-icon choice,
// Install and Cancel. Created modeless from dialog resource 110 by WinMain.
#pragma once

#include <windows.h>

// Dialog procedure. Handles initialisation, the Browse, Install and Cancel
// commands (told apart by control id alone) and WM_DESTROY, which posts the
// quit message that ends the program's message loop.
INT_PTR CALLBACK setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Folder browser callback: once the browser is up, selects the folder whose
// path text is `data`. Always 0.
int CALLBACK browseCallback(HWND browseWindow, UINT message, LPARAM lParam, LPARAM data);
