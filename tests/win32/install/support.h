// Helpers of the install-run tests: scratch folders, file listings, the
// registry and the shell folders of the Wine prefix the tests run in.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace install_test {

// A fresh empty folder below the temp folder, removed with its content.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with a trailing backslash, as the dialog hands it over.
    const std::string& path() const {
        return path_;
    }

  private:
    std::string path_;
};

// The product's files as the build staged them (before packing).
std::filesystem::path productFiles();

// Puts folder into installDir and resets the run's shared state as the
// program entry does.
void prepareRun(const std::string& folder);

// Relative names of every file below folder, with backslashes, sorted.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& path);

// Relative names of the staged files whose installed copy below installed is
// missing or differs.
std::vector<std::string> differingFiles(const std::filesystem::path& installed,
                                        const std::vector<std::string>& names);

struct ShellFolders {
    std::string programs;
    std::string desktop;
};
ShellFolders readShellFolders();

// HKEY_LOCAL_MACHINE path of the product's uninstall key.
std::string uninstallKeyPath();
bool keyExists(HKEY root, const std::string& path);
// The REG_SZ value, or an empty text when it is missing.
std::string readText(HKEY root, const std::string& path, const char* name);

// Removes what a run made outside the install folder: the Start Menu group,
// the desktop shortcut and the uninstall key.
void removeShellTraces();

// Keeps the shell folder list's "Programs" value aside while it lives.
class ProgramsValueHidden {
  public:
    ProgramsValueHidden();
    ~ProgramsValueHidden();
    ProgramsValueHidden(const ProgramsValueHidden&) = delete;
    ProgramsValueHidden& operator=(const ProgramsValueHidden&) = delete;

  private:
    std::string saved_;
};

} // namespace install_test
