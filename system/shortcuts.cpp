#include "system/shortcuts.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "setup/settings.h"
#include "setup/state.h"
#include "system/empty_directory.h"
#include "system/path_text.h"
#include "system/shell_folders.h"

namespace {

const char linkExtension[] = ".lnk";
const char uninstallPrefix[] = "Uninstall ";

// The folder part of a target: its text before the last backslash, so that
// "D:\vorlenn.exe" starts in "D:". A target without a backslash gets none.
bool targetFolder(char* folder, const char* target) {
    const char* lastSlash = std::strrchr(target, '\\');
    if (lastSlash == nullptr) {
        return false;
    }
    std::size_t length = static_cast<std::size_t>(lastSlash - target);
    if (length >= MAX_PATH) {
        return false;
    }
    std::memcpy(folder, target, length);
    folder[length] = '\0';
    return true;
}

// A 32-bit process on 64-bit Windows sees "C:\Program Files (x86)" as the
// Program Files known folder, and a link that stores its target relative to
// that folder would resolve there instead of to the path it was given. Best
// effort, like the other settings: a link without the flag is still saved.
void keepTargetAsGiven(IShellLinkA* link) {
    IShellLinkDataList* data = nullptr;
    if (FAILED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data)))) {
        return;
    }
    DWORD flags = 0;
    if (SUCCEEDED(data->GetFlags(&flags))) {
        data->SetFlags(flags | SLDF_DISABLE_KNOWNFOLDER_RELATIVE_TRACKING);
    }
    data->Release();
}

HRESULT saveLink(IShellLinkA* link, const char* linkPath) {
    IPersistFile* file = nullptr;
    HRESULT result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        return result;
    }
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0) {
        result = HRESULT_FROM_WIN32(GetLastError());
    } else {
        result = file->Save(widePath, TRUE);
    }
    file->Release();
    return result;
}

// folder + "\" + prefix + name + suffix: the file name of one shortcut.
bool linkPathIn(char* path, const char* folder, const char* prefix, const char* name,
                const char* suffix) {
    return copyText(path, MAX_PATH, folder) == TextFits &&
           appendText(path, MAX_PATH, "\\") == TextFits &&
           appendText(path, MAX_PATH, prefix) == TextFits &&
           appendText(path, MAX_PATH, name) == TextFits &&
           appendText(path, MAX_PATH, suffix) == TextFits;
}

// An existing group is emptied (the user's additions go too); a new one made.
void prepareGroup(const char* group) {
    char remembered[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, remembered);
    bool remembers = length != 0 && length < MAX_PATH;
    if (remembers && SetCurrentDirectoryA(group)) {
        SetCurrentDirectoryA(remembered);
        emptyDirectory(group, 0);
    } else {
        CreateDirectoryA(group, nullptr);
    }
}

void makeLinks(const char* group, const char* desktop, const char* program) {
    char link[MAX_PATH];
    if (linkPathIn(link, group, "", settings.productName, linkExtension)) {
        createLink(program, link, nullptr, nullptr, 0);
    }
    if (settings.desktopIcon && desktop[0] != '\0' &&
        linkPathIn(link, desktop, "", settings.productName, linkExtension)) {
        createLink(program, link, nullptr, nullptr, 0);
    }
    char helpPath[MAX_PATH];
    if (settings.makeHelpShortcut && linkPathIn(link, group, "", settings.helpShortcutName, "") &&
        copyText(helpPath, MAX_PATH, installDir) == TextFits &&
        appendBackslashIfMissing(helpPath, MAX_PATH) == TextFits &&
        appendText(helpPath, MAX_PATH, settings.helpFile) == TextFits) {
        createLink(helpPath, link, nullptr, nullptr, 0);
    }
    if (settings.makeUninstall &&
        linkPathIn(link, group, uninstallPrefix, settings.productName, linkExtension)) {
        createLink(program, link, settings.uninstallSwitch, program, settings.uninstallIconIndex);
    }
}

} // namespace

bool installedProgramPath(char* path) {
    return copyText(path, MAX_PATH, installDir) == TextFits &&
           appendBackslashIfMissing(path, MAX_PATH) == TextFits &&
           appendText(path, MAX_PATH, settings.programBase) == TextFits &&
           appendText(path, MAX_PATH, ".exe") == TextFits;
}

HRESULT createLink(const char* target, const char* linkPath, const char* arguments,
                   const char* iconPath, int iconIndex) {
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link));
    if (FAILED(result)) {
        return result;
    }
    link->SetPath(target);
    char folder[MAX_PATH];
    if (targetFolder(folder, target)) {
        link->SetWorkingDirectory(folder);
    }
    if (arguments != nullptr) {
        link->SetArguments(arguments);
    }
    if (iconPath != nullptr) {
        link->SetIconLocation(iconPath, iconIndex);
    }
    keepTargetAsGiven(link);
    result = saveLink(link, linkPath);
    link->Release();
    return result;
}

int createShortcuts() {
    char programs[MAX_PATH];
    char desktop[MAX_PATH];
    if (readShellFolders(programs, desktop) != ShellFoldersRead || programs[0] == '\0') {
        return ShortcutsNoStartMenu;
    }
    // Without a group folder or a program path that fit, no shortcut could be made.
    char group[MAX_PATH];
    char program[MAX_PATH];
    if (joinPath(group, MAX_PATH, programs, settings.productName) != TextFits ||
        !installedProgramPath(program)) {
        return ShortcutsNoStartMenu;
    }
    HRESULT com = CoInitialize(nullptr);
    prepareGroup(group);
    makeLinks(group, desktop, program);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return ShortcutsMade;
}
