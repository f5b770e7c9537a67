#include "scratch.h"

#include <objbase.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

int scratchCounter = 0;

fs::path longPath(const std::string& path) {
    std::error_code error;
    return fs::path(L"\\\\?\\" + fs::absolute(fs::path(path), error).wstring());
}

// Removes with the wide calls on "\\\\?\\" paths, which are not held to MAX_PATH.
void removeTreeW(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) {
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                removeTreeW(path + L"\\" + name);
            }
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryW(path.c_str());
}

} // namespace

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "qm-system-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64()) + "-" + std::to_string(++scratchCounter);
    removeTree(path_);
    makeFolder(path_);
}

ScratchFolder::~ScratchFolder() {
    removeTree(path_);
}

std::string ScratchFolder::operator/(const std::string& relative) const {
    return path_ + "\\" + relative;
}

void writeFile(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

void makeFolder(const std::string& path) {
    CreateDirectoryA(path.c_str(), nullptr);
}

bool fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string currentDirectory() {
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

void removeTree(const std::string& path) {
    removeTreeW(longPath(path).wstring());
}

RegistryValueOverride::RegistryValueOverride(HKEY root, std::string keyPath, std::string valueName,
                                             std::optional<std::string> value, REGSAM view)
    : root_(root), keyPath_(std::move(keyPath)), valueName_(std::move(valueName)), view_(view) {
    keyExisted_ = registryKeyExists(root_, keyPath_, view_);
    oldValue_ = readRegistryBytes(root_, keyPath_, valueName_, &oldType_, view_);
    HKEY key;
    if (RegCreateKeyExA(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value) {
        RegSetValueExA(key, valueName_.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>(value->size() + 1));
    } else {
        RegDeleteValueA(key, valueName_.c_str());
    }
    RegCloseKey(key);
}

RegistryValueOverride::~RegistryValueOverride() {
    if (!keyExisted_) {
        deleteRegistryTree(root_, keyPath_, view_);
        return;
    }
    // The test may have deleted the key: it is made again.
    HKEY key;
    if (RegCreateKeyExA(root_, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (oldValue_) {
        RegSetValueExA(key, valueName_.c_str(), 0, oldType_,
                       reinterpret_cast<const BYTE*>(oldValue_->data()),
                       static_cast<DWORD>(oldValue_->size()));
    } else {
        RegDeleteValueA(key, valueName_.c_str());
    }
    RegCloseKey(key);
}

std::optional<std::string> readRegistryBytes(HKEY root, const std::string& keyPath,
                                             const std::string& valueName, DWORD* type,
                                             REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        std::string bytes(size, '\0');
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, type,
                             reinterpret_cast<BYTE*>(bytes.data()), &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            result = bytes;
        }
    }
    RegCloseKey(key);
    return result;
}

std::optional<std::string> readRegistryText(HKEY root, const std::string& keyPath,
                                            const std::string& valueName, REGSAM view) {
    DWORD type = REG_NONE;
    auto bytes = readRegistryBytes(root, keyPath, valueName, &type, view);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->c_str());
}

bool registryKeyExists(HKEY root, const std::string& keyPath, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void deleteRegistryTree(HKEY root, const std::string& keyPath, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExA(root, keyPath.c_str(), view, 0);
}

bool hasTwoRegistryViews() {
    if (sizeof(void*) == 8) {
        return true;
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::optional<LinkContents> readLink(const std::string& linkPath) {
    CoInitialize(nullptr);
    std::optional<LinkContents> result;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            std::wstring widePath = fs::path(linkPath).wstring();
            if (SUCCEEDED(file->Load(widePath.c_str(), STGM_READ))) {
                char text[1024];
                LinkContents contents;
                if (link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH) == S_OK) {
                    contents.target = text;
                }
                if (SUCCEEDED(link->GetArguments(text, sizeof text))) {
                    contents.arguments = text;
                }
                if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof text))) {
                    contents.workingDirectory = text;
                }
                if (SUCCEEDED(link->GetIconLocation(text, sizeof text, &contents.iconIndex))) {
                    contents.iconPath = text;
                }
                result = contents;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

std::optional<DWORD> storedLinkFlags(const std::string& linkPath) {
    // Header: size (4 bytes), class id (16), then the link flags.
    std::ifstream file(fs::path(linkPath), std::ios::binary);
    unsigned char header[24];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) {
        return std::nullopt;
    }
    return static_cast<DWORD>(header[20] | header[21] << 8 | header[22] << 16 |
                              static_cast<DWORD>(header[23]) << 24);
}
