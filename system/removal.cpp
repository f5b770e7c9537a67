#include "system/removal.h"

#include <windows.h>

#include "system/empty_directory.h"
#include "system/path_text.h"
#include "system/shell_folders.h"
#include "system/uninstall.h"

const char* oldUninstallKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vorlenn";

namespace {

// The older generation's files, deleted in this order.
const char* const oldFiles[] = {
    "readme.txt",  "template.txt", "regform.txt", "vorlenn.exe",
    "vorlenn.hlp", "vorlenn.gid",  "vorlenn.ini",
};
const char templatesFolder[] = "templates";
const char keptTemplatesFolder[] = "oldtemplates";
const char oldGroupName[] = "vorlenn";
const char oldDesktopLink[] = "vorlenn.lnk";

// dirWithSlash + name, or false when that would not fit.
bool entryPath(char* path, const char* dirWithSlash, const char* name) {
    return copyText(path, MAX_PATH, dirWithSlash) == TextFits &&
           appendText(path, MAX_PATH, name) == TextFits;
}

void deleteOldFiles(const char* dirWithSlash) {
    for (const char* name : oldFiles) {
        char path[MAX_PATH];
        if (entryPath(path, dirWithSlash, name)) {
            DeleteFileA(path);
        }
    }
}

// Fails, leaving "templates" in place, when "oldtemplates" already exists.
void keepOldTemplates(const char* dirWithSlash) {
    char from[MAX_PATH];
    char to[MAX_PATH];
    if (entryPath(from, dirWithSlash, templatesFolder) &&
        entryPath(to, dirWithSlash, keptTemplatesFolder)) {
        MoveFileA(from, to);
    }
}

} // namespace

int removeOlderVersion(const char* dir) {
    char dirWithSlash[MAX_PATH];
    if (copyText(dirWithSlash, MAX_PATH, dir) == TextFits &&
        appendBackslashIfMissing(dirWithSlash, MAX_PATH) == TextFits) {
        deleteOldFiles(dirWithSlash);
        keepOldTemplates(dirWithSlash);
    }
    removeOldShortcuts();
    deleteOldUninstallKey();
    return RemovalDone;
}

int removeOldShortcuts() {
    char programs[MAX_PATH];
    char desktop[MAX_PATH];
    if (readShellFolders(programs, desktop) != ShellFoldersRead) {
        return RemovalNotPossible;
    }
    char path[MAX_PATH];
    if (programs[0] != '\0' && joinPath(path, MAX_PATH, programs, oldGroupName) == TextFits) {
        emptyDirectory(path, 1);
    }
    if (desktop[0] != '\0' && joinPath(path, MAX_PATH, desktop, oldDesktopLink) == TextFits) {
        DeleteFileA(path);
    }
    return RemovalDone;
}

int deleteOldUninstallKey() {
    HKEY key;
    // The older generation's entry lives where ours does: in the 32-bit view.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, 0,
                      MAXIMUM_ALLOWED | uninstallKeyView, &key) != ERROR_SUCCESS) {
        return RemovalNotPossible;
    }
    RegDeleteValueA(key, "DisplayName");
    RegDeleteValueA(key, "UninstallString");
    RegCloseKey(key);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, oldUninstallKeyPath, uninstallKeyView, 0);
    return RemovalDone;
}
