// The per-user shell folder list, which names the user's Programs (Start Menu)
// and Desktop folders. Read the same way before removing the older
// generation's shortcuts and before making the new ones.
#pragma once

#include <windows.h>

// Key under HKEY_CURRENT_USER; tests point it at a scratch key.
extern const char* shellFoldersKeyPath;

enum ShellFoldersResult {
    ShellFoldersUnreadable = 0, // the key cannot be opened
    ShellFoldersRead = 1,
};

// Fills programs and desktop (MAX_PATH each) with the folders named by the
// first value called "Programs" and "Desktop" (any case); a folder that is
// not listed, or whose path does not fit, is left empty.
int readShellFolders(char* programs, char* desktop);
