#include "setup/settings.h"

// Until a builder fills it in, the record holds the sample product's
// settings, so that test programs linking the setup's code run as the sample
// product's setup. fileCount stays 0: only the builder, which packs the
// payload, knows it.
constexpr Settings unfilledSettings = {
    .marker = "zuq settings\x1a\x1a\x1a",
    .layout = settingsLayout,
    .size = sizeof(Settings),
    .desktopIcon = 1,
    .fileCount = 0,
    .versionCaption = "Quillmoran version 2.1",
    .productName = "Quillmoran",
    .folderName = "Quillmoran",
    .programBase = "vorlenn",
    .makeUninstall = 1,
    .uninstallSwitch = "/uninstall",
    .uninstallIconIndex = 1,
    .makeHelpShortcut = 1,
    .helpFile = "vorlenn.hlp",
    .helpShortcutName = "Quillmoran Help.lnk",
    .defaultParentDir = "c:\\program files",
};

constexpr bool carriesMarker(const Settings& record) {
    for (std::size_t i = 0; i < settingsMarkerSize; ++i) {
        if (record.marker[i] != settingsMarker[i]) {
            return false;
        }
    }
    return true;
}
static_assert(carriesMarker(unfilledSettings));

// Not const: the record lies in the program's data, where a builder finds it,
// and desktopIcon is written at Install.
Settings settings = unfilledSettings;
