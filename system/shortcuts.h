// The product's Start Menu group (program, help and uninstall shortcuts) and
// its optional desktop shortcut.
#pragma once

#include <windows.h>

enum ShortcutsResult {
    ShortcutsNoStartMenu = 0, // no shell folder list, or it names no usable Programs folder
    ShortcutsMade = 1,        // the group exists; single shortcuts may still have failed
};

int createShortcuts();

// Saves a shell link at linkPath to target, starting in target's folder.
// arguments and iconPath may be null. Returns the result of the last COM step.
HRESULT createLink(const char* target, const char* linkPath, const char* arguments,
                   const char* iconPath, int iconIndex);

// installDir + programBase + ".exe", the program every shortcut but the help
// one starts; false when it does not fit MAX_PATH.
bool installedProgramPath(char* path);
