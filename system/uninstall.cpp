#include "system/uninstall.h"

#include <windows.h>

#include <cstring>

#include "setup/settings.h"
#include "system/path_text.h"
#include "system/shortcuts.h"

const char* uninstallKeyBase = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

// Stores a REG_SZ value together with its terminating zero.
void setText(HKEY key, const char* name, const char* text) {
    DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

} // namespace

bool uninstallCommand(char* command) {
    char program[MAX_PATH];
    if (!installedProgramPath(program)) {
        return false;
    }
    command[0] = '\0';
    return appendText(command, uninstallCommandCapacity, "\"") == TextFits &&
           appendText(command, uninstallCommandCapacity, program) == TextFits &&
           appendText(command, uninstallCommandCapacity, "\" ") == TextFits &&
           appendText(command, uninstallCommandCapacity, settings.uninstallSwitch) == TextFits;
}

int registerUninstall() {
    char keyPath[MAX_PATH];
    char command[uninstallCommandCapacity];
    // An entry whose command is cut would start the wrong program: none is made.
    if (copyText(keyPath, MAX_PATH, uninstallKeyBase) != TextFits ||
        appendText(keyPath, MAX_PATH, settings.productName) != TextFits ||
        !uninstallCommand(command)) {
        return RegisterFailed;
    }
    HKEY key;
    char noClass[] = "";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, noClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | uninstallKeyView, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return RegisterFailed;
    }
    setText(key, "DisplayName", settings.productName);
    setText(key, "UninstallString", command);
    RegCloseKey(key);
    return RegisterDone;
}
