// Removal of the older product generation found in an install directory:
// its known files, Start Menu folder, desktop shortcut and uninstall key.
// Its templates are kept under another name. Every step is best effort.
#pragma once

// Older generation's uninstall key under HKEY_LOCAL_MACHINE; tests may point
// it at a scratch key.
extern const char* oldUninstallKeyPath;

enum RemovalResult {
    RemovalNotPossible = 0, // the shell folder list or the key cannot be opened
    RemovalDone = 1,
};

// Always RemovalDone: whatever cannot be removed simply stays.
int removeOlderVersion(const char* dir);
int removeOldShortcuts();
int deleteOldUninstallKey();
