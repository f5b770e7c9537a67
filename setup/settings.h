// The settings record: what makes this generic setup install one particular
// product. The values come from the product description at build time; only
// desktopIcon changes during a run (the dialog's "Add icon to desktop" box).
#pragma once

// Longest uninstall switch, terminator included; the text is held inline.
constexpr int uninstallSwitchCapacity = 12;

struct Settings {
    int desktopIcon;            // 1: make a desktop shortcut
    int fileCount;              // entries the payload must yield; progress total
    const char* versionCaption; // window title follows "Installing "
    const char* productName;    // Start Menu group, shortcut and uninstall key names
    const char* folderName;     // last component of the default install directory
    const char* programBase;    // installed program is programBase + ".exe"
    int makeUninstall;          // 1: uninstall shortcut and registry entry
    char uninstallSwitch[uninstallSwitchCapacity];
    int uninstallIconIndex;       // icon of the uninstall shortcut, in the program file
    int makeHelpShortcut;         // 1: shortcut to the help file
    const char* helpFile;         // help file name inside the install directory
    const char* helpShortcutName; // help shortcut's file name inside the group
    const char* defaultParentDir; // parent of the default install directory
};

extern Settings settings;
