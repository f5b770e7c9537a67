#include "installation.h"

#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace installation {

namespace {

const char shellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char uninstallKeyBase[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char scenarioRootPath[] = "C:\\qm e2e\\";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void removeTree(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

// Where a process keeps its current directory: the PEB points at the process
// parameters, which hold it as a UNICODE_STRING. The layouts differ only by
// the size of a pointer; a 32-bit process on 64-bit Windows has a PEB of each
// size, and a 64-bit reader may read either.
struct ParametersLayout {
    std::size_t pointerSize;
    std::size_t parametersInPeb;       // PEB.ProcessParameters
    std::size_t directoryInParameters; // RTL_USER_PROCESS_PARAMETERS.CurrentDirectory
};
constexpr ParametersLayout layout32{4, 0x10, 0x24};
constexpr ParametersLayout layout64{8, 0x20, 0x38};

bool readMemory(HANDLE process, std::uint64_t address, void* buffer, std::size_t size) {
    if (address > UINTPTR_MAX) {
        return false;
    }
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                             buffer, size, nullptr);
}

// A pointer of the read process's size, widened.
bool readPointer(HANDLE process, std::uint64_t address, std::size_t size, std::uint64_t* value) {
    std::uint64_t wide = 0;
    std::uint32_t narrow = 0;
    if (size == 8) {
        if (!readMemory(process, address, &wide, sizeof wide)) {
            return false;
        }
        *value = wide;
        return true;
    }
    if (!readMemory(process, address, &narrow, sizeof narrow)) {
        return false;
    }
    *value = narrow;
    return true;
}

// The address of the PEB in the process's own bitness and the layout to read it with.
bool findPeb(HANDLE process, std::uint64_t* peb, ParametersLayout* layout) {
    BOOL selfWow64 = FALSE;
    BOOL targetWow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &selfWow64) ||
        !IsWow64Process(process, &targetWow64)) {
        return false;
    }
    bool target32 = sizeof(void*) == 4 ? targetWow64 == selfWow64 : targetWow64 != FALSE;
    if (sizeof(void*) == 4 && !target32) {
        return false; // a 64-bit process's memory lies beyond a 32-bit reader's reach
    }
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0) {
        return false;
    }
    // The basic information names the PEB of the reader's bitness: a 64-bit
    // reader is shown a 32-bit process's 64-bit PEB.
    *peb = reinterpret_cast<uintptr_t>(basic.PebBaseAddress);
    *layout = sizeof(void*) == 8 ? layout64 : layout32;
    if (sizeof(void*) == 8 && target32) {
        // Windows gives the process's own 32-bit PEB here, the one its code
        // keeps up to date. Wine answers with a mere 1; the 64-bit PEB that it
        // keeps as well still names the directory the process started in.
        ULONG_PTR peb32 = 0;
        if (NtQueryInformationProcess(process, ProcessWow64Information, &peb32, sizeof peb32,
                                      nullptr) == 0 &&
            peb32 > 1) {
            *peb = peb32;
            *layout = layout32;
        }
    }
    return true;
}

} // namespace

std::string programsFolder() {
    return stringValue(HKEY_CURRENT_USER, shellFoldersKey, "Programs");
}

std::string desktopFolder() {
    return stringValue(HKEY_CURRENT_USER, shellFoldersKey, "Desktop");
}

void removeTraces() {
    // Both views: an earlier build may have written the other one.
    for (const char* product : {"Quillmoran", "Vorlenn"}) {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (std::string(uninstallKeyBase) + product).c_str(),
                            view, 0);
        }
    }
    for (const char* group : {"Quillmoran", "vorlenn"}) {
        removeTree(programsFolder() + "\\" + group);
    }
    for (const char* link : {"Quillmoran.lnk", "vorlenn.lnk"}) {
        DeleteFileA((desktopFolder() + "\\" + link).c_str());
    }
}

std::string scenarioRoot() {
    return scenarioRootPath;
}

void removeScenarios() {
    removeTree(scenarioRootPath);
}

std::string freshDirectory(const std::string& name) {
    std::string path = scenarioRootPath + name;
    removeTree(path);
    fs::create_directories(scenarioRootPath);
    return path;
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file()) {
            files.push_back(fs::relative(it->path(), folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> differingFiles(const std::string& stage, const std::string& installDir) {
    std::vector<std::string> differing;
    for (const std::string& name : filesBelow(stage)) {
        std::string installed = installDir + "\\" + name;
        if (!exists(installed) || readFile(installed) != readFile(stage + "\\" + name)) {
            differing.push_back(name);
        }
    }
    return differing;
}

Shortcut readShortcut(const std::string& linkPath) {
    Shortcut shortcut;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return shortcut;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t widePath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH);
        if (SUCCEEDED(file->Load(widePath, STGM_READ))) {
            char text[MAX_PATH * 2] = "";
            shortcut.loaded = true;
            link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
            shortcut.target = text;
            text[0] = '\0';
            link->GetWorkingDirectory(text, sizeof text);
            shortcut.workingDirectory = text;
            text[0] = '\0';
            link->GetArguments(text, sizeof text);
            shortcut.arguments = text;
            text[0] = '\0';
            link->GetIconLocation(text, sizeof text, &shortcut.iconIndex);
            shortcut.iconPath = text;
        }
        file->Release();
    }
    link->Release();
    return shortcut;
}

bool hasTwoRegistryViews() {
    if (sizeof(void*) == 8) {
        return true;
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool keyExists(HKEY root, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::string stringValue(HKEY root, const std::string& path, const std::string& name, REGSAM view) {
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return {};
    }
    LONG read =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) {
        return {};
    }
    data[size] = '\0';
    return data;
}

void createKeyWithValue(HKEY root, const std::string& path, const std::string& name,
                        const std::string& data, REGSAM view) {
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

std::string currentDirectoryOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) {
        return {};
    }
    std::string result;
    std::uint64_t peb = 0;
    std::uint64_t parameters = 0;
    std::uint64_t buffer = 0;
    USHORT length = 0;
    ParametersLayout layout{};
    if (findPeb(process, &peb, &layout) &&
        readPointer(process, peb + layout.parametersInPeb, layout.pointerSize, &parameters) &&
        readMemory(process, parameters + layout.directoryInParameters, &length, sizeof length) &&
        // UNICODE_STRING: two 16-bit lengths, then the buffer at pointer alignment.
        readPointer(process, parameters + layout.directoryInParameters + layout.pointerSize,
                    layout.pointerSize, &buffer)) {
        std::wstring wide(length / sizeof(wchar_t), L'\0');
        if (readMemory(process, buffer, wide.data(), length)) {
            char narrow[MAX_PATH * 2] = "";
            WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof narrow, nullptr,
                                nullptr);
            result = narrow;
        }
    }
    CloseHandle(process);
    return result;
}

namespace {

struct ClassSearch {
    const std::string* name;
    std::vector<HWND> found;
};

BOOL CALLBACK collectOfClass(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<ClassSearch*>(data);
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    if (*search->name == name) {
        search->found.push_back(window);
    }
    return TRUE;
}

} // namespace

std::vector<HWND> windowsOfClass(const std::string& className) {
    ClassSearch search{&className, {}};
    EnumWindows(collectOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool samePath(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string converted = "Z:" + path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}

} // namespace installation
