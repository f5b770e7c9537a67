// Helpers of the system tests: scratch folders on the real file system and
// temporary changes to the real registry that are undone afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// A fresh folder under the temp folder, removed with everything in it at the end.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const {
        return path_;
    }
    // path() + "\" + relative
    std::string operator/(const std::string& relative) const;

  private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content = "data");
void makeFolder(const std::string& path);
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
std::string currentDirectory();
// Removes a tree, read-only files and long paths included.
void removeTree(const std::string& path);

// The registry helpers take the view to work in (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY); 0 is the calling process's own.

// Sets (or with nullopt deletes) a REG_SZ value and puts the old one back at
// the end; the key is created if needed and then deleted again if it was new.
class RegistryValueOverride {
  public:
    RegistryValueOverride(HKEY root, std::string keyPath, std::string valueName,
                          std::optional<std::string> value, REGSAM view = 0);
    ~RegistryValueOverride();
    RegistryValueOverride(const RegistryValueOverride&) = delete;
    RegistryValueOverride& operator=(const RegistryValueOverride&) = delete;

  private:
    HKEY root_;
    std::string keyPath_;
    std::string valueName_;
    REGSAM view_;
    bool keyExisted_ = false;
    std::optional<std::string> oldValue_;
    DWORD oldType_ = REG_SZ;
};

std::optional<std::string> readRegistryText(HKEY root, const std::string& keyPath,
                                            const std::string& valueName, REGSAM view = 0);
// The raw bytes of a value, with its type.
std::optional<std::string> readRegistryBytes(HKEY root, const std::string& keyPath,
                                             const std::string& valueName, DWORD* type,
                                             REGSAM view = 0);
bool registryKeyExists(HKEY root, const std::string& keyPath, REGSAM view = 0);
// Deletes a key and everything below it.
void deleteRegistryTree(HKEY root, const std::string& keyPath, REGSAM view = 0);
// Whether this Windows keeps separate 32-bit and 64-bit registry views: it is
// 64-bit, whichever bitness this test program has.
bool hasTwoRegistryViews();

// What a saved shell link says, read back through IShellLinkA.
struct LinkContents {
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = 0;
};
std::optional<LinkContents> readLink(const std::string& linkPath);
// The link flags as stored in a .lnk file's header, read from the file itself.
std::optional<DWORD> storedLinkFlags(const std::string& linkPath);
