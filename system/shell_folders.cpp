#include "system/shell_folders.h"

const char* shellFoldersKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

namespace {

// Copies a value's data as a folder path when it is a complete text that fits.
void takeFolder(char* folder, const char* data, DWORD type, DWORD size) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return;
    }
    // Data stored without its terminating zero is terminated here; data that
    // fills the whole buffer without one would not fit with it.
    if (size > 0 && data[size - 1] == '\0') {
        size--;
    }
    if (size >= MAX_PATH) {
        return;
    }
    for (DWORD i = 0; i < size; i++) {
        folder[i] = data[i];
    }
    folder[size] = '\0';
}

} // namespace

int readShellFolders(char* programs, char* desktop) {
    programs[0] = '\0';
    desktop[0] = '\0';
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, shellFoldersKeyPath, &key) != ERROR_SUCCESS) {
        return ShellFoldersUnreadable;
    }
    bool programsSeen = false;
    bool desktopSeen = false;
    for (DWORD index = 0; !(programsSeen && desktopSeen); index++) {
        char name[MAX_PATH];
        char data[MAX_PATH];
        DWORD nameSize = MAX_PATH;
        DWORD dataSize = MAX_PATH;
        DWORD type = REG_NONE;
        LONG status = RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
        // A value too big for the buffers is passed over; any other failure
        // would repeat at every index, so it ends the walk like the last item.
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        if (!programsSeen && lstrcmpiA(name, "Programs") == 0) {
            programsSeen = true;
            takeFolder(programs, data, type, dataSize);
        } else if (!desktopSeen && lstrcmpiA(name, "Desktop") == 0) {
            desktopSeen = true;
            takeFolder(desktop, data, type, dataSize);
        }
    }
    RegCloseKey(key);
    return ShellFoldersRead;
}
