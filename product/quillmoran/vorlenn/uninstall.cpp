// Removal of the installation: the files the setup installed and the folders
// that held them, the Start Menu group, the desktop shortcut and the
// uninstall entry. Files the user added to the install folder stay, and so
// does every folder that still holds one.
#include "product.h"

#include <cstring>

static const char shellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char uninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" QM_PRODUCT_NAME;

// Builds base + name into path; 0 when it does not fit.
static int joinPath(char* path, const char* base, const char* name, size_t nameLength) {
    size_t baseLength = std::strlen(base);
    if (baseLength + nameLength >= MAX_PATH) {
        return 0;
    }
    std::memcpy(path, base, baseLength);
    std::memcpy(path + baseLength, name, nameLength);
    path[baseLength + nameLength] = 0;
    return 1;
}

// Removes the folders above an installed file, up to the install folder, as
// far as they are empty.
static void removeEmptyParents(char* path) {
    const size_t installLength = std::strlen(programDir);
    for (;;) {
        char* slash = std::strrchr(path, '\\');
        if (!slash || static_cast<size_t>(slash - path) < installLength) {
            return;
        }
        *slash = 0;
        if (!RemoveDirectoryA(path)) {
            return;
        }
    }
}

static void removeInstalledTemplates() {
    DWORD size;
    const char* list = installedFiles(&size);
    DWORD start = 0;
    char path[MAX_PATH];
    for (DWORD i = 0; i < size; ++i) {
        if (list[i] != '\n') {
            continue;
        }
        if (joinPath(path, programDir, list + start, i - start)) {
            DeleteFileA(path);
            removeEmptyParents(path);
        }
        start = i + 1;
    }
}

static void removeProgramFile(const char* name) {
    char path[MAX_PATH];
    if (joinPath(path, programDir, name, std::strlen(name))) {
        DeleteFileA(path);
    }
}

// Deletes a folder with everything in it.
static void removeTree(const char* folder) {
    char prefix[MAX_PATH], pattern[MAX_PATH], path[MAX_PATH];
    if (!joinPath(prefix, folder, "\\", 1) || !joinPath(pattern, prefix, "*", 1)) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA(pattern, &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const char* name = found.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
                !joinPath(path, prefix, name, std::strlen(name))) {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(path);
            } else {
                DeleteFileA(path);
            }
        } while (FindNextFileA(listing, &found));
        FindClose(listing);
    }
    RemoveDirectoryA(folder);
}

static int readShellFolder(HKEY key, const char* name, char* path) {
    DWORD type = 0, size = MAX_PATH;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > MAX_PATH) {
        return 0;
    }
    path[size - 1] = 0;
    return 1;
}

static void removeShortcuts() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, shellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    char folder[MAX_PATH], path[MAX_PATH];
    if (readShellFolder(key, "Programs", folder)) {
        static const char group[] = "\\" QM_PRODUCT_NAME;
        if (joinPath(path, folder, group, sizeof group - 1)) {
            removeTree(path);
        }
    }
    if (readShellFolder(key, "Desktop", folder)) {
        static const char link[] = "\\" QM_PRODUCT_NAME ".lnk";
        if (joinPath(path, folder, link, sizeof link - 1)) {
            DeleteFileA(path);
        }
    }
    RegCloseKey(key);
}

// A running program cannot delete its own file: what is still in place is
// removed when the system next starts.
static void removeSelf() {
    char self[MAX_PATH];
    if (!joinPath(self, programDir, QM_PROGRAM_BASE ".exe", sizeof QM_PROGRAM_BASE + 3)) {
        return;
    }
    if (!DeleteFileA(self)) {
        MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    char folder[MAX_PATH];
    std::strcpy(folder, programDir);
    folder[std::strlen(folder) - 1] = 0;
    if (!RemoveDirectoryA(folder)) {
        MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}

int runUninstall() {
    int answer = MessageBoxA(nullptr,
                             "Do you want to remove " QM_PRODUCT_NAME
                             " and all of its components from your computer?",
                             "Uninstall " QM_PRODUCT_NAME, MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        return 0;
    }
    removeInstalledTemplates();
    removeProgramFile(QM_HELP_FILE);
    removeProgramFile(QM_PROGRAM_BASE ".gid"); // index the help viewer writes
    removeProgramFile(VORLENN_INI_FILE);
    removeShortcuts();
    // The setup writes its entry through the 32-bit registry view, in its
    // 32-bit and 64-bit builds alike: this program, of either bitness, looks there.
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY, 0);
    removeSelf();
    MessageBoxA(nullptr, QM_PRODUCT_NAME " has been removed from your computer.",
                "Uninstall " QM_PRODUCT_NAME, MB_OK | MB_ICONINFORMATION);
    return 1;
}
