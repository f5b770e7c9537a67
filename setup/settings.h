// The settings record: what makes this generic setup install one particular
// product. The setup reads it as one constant record; only desktopIcon
// changes during a run (the dialog's "Add icon to desktop" box).
//
// The record is data in the program file that a builder rewrites: `zuq
// setup` finds it by its marker, checks the layout version and size, and
// writes the product's values in place. So the layout is fixed and the same
// in the i686 and the x86_64 program: 32-bit integers and texts held inline
// (zero-terminated, in the system's ANSI code page), no pointers. Any change
// of the layout needs a new settingsLayout, so that a builder refuses a
// program whose record it does not know.
//
// This header is shared by the setup program and the builder.
#pragma once

#include <cstddef>
#include <cstdint>

// Sixteen bytes, terminator included, that occur nowhere else in a program.
constexpr char settingsMarker[] = "zuq settings\x1a\x1a\x1a";
constexpr std::size_t settingsMarkerSize = sizeof settingsMarker;
static_assert(settingsMarkerSize == 16);
constexpr std::uint32_t settingsLayout = 1;

// Buffer sizes, terminator included. The dialog's title is "Installing " +
// versionCaption in a 260-character buffer; the other texts become parts of
// paths, key names and message texts, whose fit the builder checks as a whole.
constexpr int versionCaptionCapacity = 249;
constexpr int nameCapacity = 128;
constexpr int uninstallSwitchCapacity = 12; // at most 11 characters
constexpr int defaultParentDirCapacity = 260;

struct Settings {
    char marker[settingsMarkerSize];             // settingsMarker, for the builder
    std::uint32_t layout;                        // settingsLayout
    std::uint32_t size;                          // sizeof(Settings)
    std::int32_t desktopIcon;                    // 1: make a desktop shortcut
    std::int32_t fileCount;                      // entries the payload must yield; progress total
    char versionCaption[versionCaptionCapacity]; // window title follows "Installing "
    char productName[nameCapacity]; // Start Menu group, shortcut and uninstall key names
    char folderName[nameCapacity];  // last component of the default install directory
    char programBase[nameCapacity]; // installed program is programBase + ".exe"
    std::int32_t makeUninstall;     // 1: uninstall shortcut and registry entry
    char uninstallSwitch[uninstallSwitchCapacity];
    std::int32_t uninstallIconIndex;     // icon of the uninstall shortcut, in the program file
    std::int32_t makeHelpShortcut;       // 1: shortcut to the help file
    char helpFile[nameCapacity];         // help file name inside the install directory
    char helpShortcutName[nameCapacity]; // help shortcut's file name inside the group
    char defaultParentDir[defaultParentDirCapacity]; // parent of the default install directory
};

// Where the builder finds each field: the offsets are part of the layout.
static_assert(offsetof(Settings, layout) == 16 && offsetof(Settings, desktopIcon) == 24);
static_assert(offsetof(Settings, versionCaption) == 32);
static_assert(sizeof(Settings) == 1208, "a changed layout needs a new settingsLayout");

extern Settings settings;
