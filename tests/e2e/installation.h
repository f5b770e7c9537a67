// What an installation leaves on the machine, read back through the real
// file system, registry and shell links of the Wine prefix.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace installation {

// The user's Programs and Desktop folders from the shell folder list.
std::string programsFolder();
std::string desktopFolder();

// Removes every trace of an earlier scenario: both products' uninstall keys,
// Start Menu folders and desktop shortcuts.
void removeTraces();

// The folder that holds every scenario's directories, with a trailing backslash.
std::string scenarioRoot();
// Removes the scenario folder with everything in it.
void removeScenarios();
// A fresh, absent directory C:\qm e2e\<name> (removed with its content).
std::string freshDirectory(const std::string& name);
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Relative paths of every file below folder, sorted.
std::vector<std::string> filesBelow(const std::string& folder);
// Relative paths of the staged product files that are missing from, or
// differ in content in, installDir.
std::vector<std::string> differingFiles(const std::string& stage, const std::string& installDir);

struct Shortcut {
    bool loaded = false;
    std::string target;
    std::string workingDirectory;
    std::string arguments;
    std::string iconPath;
    int iconIndex = 0;
};
Shortcut readShortcut(const std::string& linkPath);

// The registry view of the uninstall entries, the setup's own and the older
// generation's: the 32-bit one, whichever bitness the setup was built for.
constexpr REGSAM uninstallView = KEY_WOW64_32KEY;
// Whether this Windows keeps separate 32-bit and 64-bit registry views.
bool hasTwoRegistryViews();

// Registry keys and REG_SZ values, in the given view (0: this process's own);
// a missing value reads as empty.
bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);
std::string stringValue(HKEY root, const std::string& path, const std::string& name,
                        REGSAM view = 0);
void createKeyWithValue(HKEY root, const std::string& path, const std::string& name,
                        const std::string& data, REGSAM view = 0);

// The current directory of another process, read from its process parameters.
// The process may be 32-bit or 64-bit; empty when it cannot be read (a 64-bit
// process seen from a 32-bit one).
std::string currentDirectoryOf(DWORD pid);

// Windows of a class, of any process.
std::vector<HWND> windowsOfClass(const std::string& className);

// Case-insensitive comparison, as the file system compares paths.
bool samePath(const std::string& a, const std::string& b);

// A Linux path (as CMake hands it over) in Wine's Z: drive form.
std::string windowsPath(const std::string& path);

} // namespace installation
