// Points the real per-user shell folder list at scratch Programs and Desktop
// folders for one test, and puts the original values back afterwards.
#pragma once

#include <memory>
#include <string>

#include "scratch.h"
#include "system/shell_folders.h"

class ShellFoldersFixture {
  public:
    explicit ShellFoldersFixture(const ScratchFolder& scratch)
        : programs(scratch / "Programs"), desktop(scratch / "Desktop") {
        makeFolder(programs);
        makeFolder(desktop);
        programsValue = std::make_unique<RegistryValueOverride>(
            HKEY_CURRENT_USER, shellFoldersKeyPath, "Programs", programs);
        desktopValue = std::make_unique<RegistryValueOverride>(
            HKEY_CURRENT_USER, shellFoldersKeyPath, "Desktop", desktop);
    }

    std::string programs;
    std::string desktop;

  private:
    std::unique_ptr<RegistryValueOverride> programsValue;
    std::unique_ptr<RegistryValueOverride> desktopValue;
};

// A shell folder list of the test's own making, under a scratch key.
class ScratchShellFolderList {
  public:
    static constexpr const char* keyPath = "Software\\Quillmoran Tests\\Shell Folders";

    ScratchShellFolderList() : saved(shellFoldersKeyPath) {
        deleteRegistryTree(HKEY_CURRENT_USER, "Software\\Quillmoran Tests");
        shellFoldersKeyPath = keyPath;
    }
    ~ScratchShellFolderList() {
        shellFoldersKeyPath = saved;
        deleteRegistryTree(HKEY_CURRENT_USER, "Software\\Quillmoran Tests");
    }
    ScratchShellFolderList(const ScratchShellFolderList&) = delete;
    ScratchShellFolderList& operator=(const ScratchShellFolderList&) = delete;

    void set(const std::string& name, const std::string& value) {
        HKEY key;
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }

  private:
    const char* saved;
};
