#include "support.h"

#include "file_count.h"

#include "setup/settings.h"
#include "setup/state.h"
#include "system/uninstall.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace install_test {

namespace fs = std::filesystem;

// The programs carry the sample product's payload; its builder would have
// written this count into the record.
const bool countWritten = (settings.fileCount = productFileCount, true);

static const char shellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

ScratchFolder::ScratchFolder(const std::string& tag) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    fs::path folder = fs::path(temp) / ("qm " + tag + " " + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    path_ = folder.string() + "\\";
}

ScratchFolder::~ScratchFolder() {
    // The program's current directory may lie inside; step out first.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path productFiles() {
    return fs::path(QM_TEST_PRODUCT_FILES);
}

void prepareRun(const std::string& folder) {
    std::strcpy(installDir, folder.c_str());
    failed = 0;
    progressMode = 0;
    progressTotal = 0;
    progressDone = 0;
    currentFile[0] = 0;
    progressPanel = nullptr;
}

std::vector<std::string> filesBelow(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            std::string name = fs::relative(entry.path(), folder).string();
            std::replace(name.begin(), name.end(), '/', '\\');
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> differingFiles(const fs::path& installed,
                                        const std::vector<std::string>& names) {
    std::vector<std::string> differing;
    for (const std::string& name : names) {
        fs::path copy = installed / name;
        if (!fs::is_regular_file(copy) || readFile(copy) != readFile(productFiles() / name)) {
            differing.push_back(name);
        }
    }
    return differing;
}

ShellFolders readShellFolders() {
    return {readText(HKEY_CURRENT_USER, shellFoldersKey, "Programs"),
            readText(HKEY_CURRENT_USER, shellFoldersKey, "Desktop")};
}

std::string uninstallKeyPath() {
    return std::string(uninstallKeyBase) + settings.productName;
}

namespace {

// The machine keys read here are uninstall entries, kept in their own view.
REGSAM viewOf(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? uninstallKeyView : 0;
}

} // namespace

bool keyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | viewOf(root), &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::string readText(HKEY root, const std::string& path, const char* name) {
    char data[1024];
    DWORD size = sizeof data, type = 0;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | viewOf(root), &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    LONG read = RegGetValueA(key, nullptr, name, RRF_RT_REG_SZ, &type, data, &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS) {
        return {};
    }
    return data;
}

void removeShellTraces() {
    ShellFolders folders = readShellFolders();
    std::error_code ignored;
    if (!folders.programs.empty()) {
        fs::remove_all(fs::path(folders.programs) / settings.productName, ignored);
    }
    if (!folders.desktop.empty()) {
        fs::remove(fs::path(folders.desktop) / (std::string(settings.productName) + ".lnk"),
                   ignored);
    }
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, uninstallKeyPath().c_str(), uninstallKeyView, 0);
}

ProgramsValueHidden::ProgramsValueHidden()
    : saved_(readText(HKEY_CURRENT_USER, shellFoldersKey, "Programs")) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, shellFoldersKey, 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, "Programs");
        RegCloseKey(key);
    }
}

ProgramsValueHidden::~ProgramsValueHidden() {
    HKEY key;
    if (saved_.empty() || RegOpenKeyExA(HKEY_CURRENT_USER, shellFoldersKey, 0, KEY_SET_VALUE,
                                        &key) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, "Programs", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_.c_str()),
                   static_cast<DWORD>(saved_.size() + 1));
    RegCloseKey(key);
}

} // namespace install_test
