// A second product, unlike the sample in every setting, whose setup was built
// by zuq setup alone (other_product/): installed through its dialog under
// Wine, everything it leaves behind carries that product's names.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/entry.h"
#include "installation.h"
#include "setup_run.h"

namespace {

std::string setupProgram; // given on the command line by ctest
std::string productFiles;

const std::string productName = "Zeltrane Studio";
const std::string dialogTitle = "Installing Zeltrane \"Studio\" 3.0";
const std::string parentDirectory = "c:\\zeltrane apps";
const std::string defaultDirectory = parentDirectory + "\\Zeltrane";
const std::string finishText = "Zeltrane Studio has successfully\ninstalled to your computer.\n"
                               "Do you want to launch the program now?";
const std::string uninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productName;
constexpr int dialogDesktopIcon = IDC_DESKTOP_ICON;

using e2e::SetupRun;

void removeTraces() {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), installation::uninstallView, 0);
    std::error_code ignored;
    std::filesystem::remove_all(installation::programsFolder() + "\\" + productName, ignored);
    DeleteFileA((installation::desktopFolder() + "\\" + productName + ".lnk").c_str());
    std::filesystem::remove_all(parentDirectory, ignored);
}

// One resource of the setup program file, as bytes.
std::string resourceOf(LPCSTR type, LPCSTR name) {
    HMODULE program = LoadLibraryExA(setupProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::string bytes;
    HRSRC found = program ? FindResourceA(program, name, type) : nullptr;
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    if (loaded) {
        bytes.assign(static_cast<const char*>(LockResource(loaded)),
                     SizeofResource(program, found));
    }
    if (program) {
        FreeLibrary(program);
    }
    return bytes;
}

std::string versionText(const char* field) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(setupProgram.c_str(), &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(setupProgram.c_str(), 0, size, block.data())) {
        return {};
    }
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + field;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return {};
    }
    return std::string(value);
}

class OtherProduct : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(driver::topWindowsTitled(dialogTitle).empty())
            << "a setup dialog of another run is still open";
        removeTraces();
        startDirectory = installation::freshDirectory("other start");
        CreateDirectoryA(startDirectory.c_str(), nullptr);
    }
    void TearDown() override {
        removeTraces();
    }

    std::string startDirectory;
};

TEST_F(OtherProduct, SetupFileCarriesTheVendorsIconAndVersion) {
    // The vendor's .ico has as many images as the group names.
    const std::string group = resourceOf(RT_GROUP_ICON, MAKEINTRESOURCEA(108));
    ASSERT_GE(group.size(), 6u);
    EXPECT_GE(static_cast<unsigned char>(group[4]), 1);
    EXPECT_EQ(versionText("ProductName"), productName);
    EXPECT_EQ(versionText("CompanyName"), "Zeltrane Ltd");
    EXPECT_EQ(versionText("FileDescription"), "Zeltrane Studio Installer");
    EXPECT_EQ(versionText("FileVersion"), "3.0.1.2");
}

TEST_F(OtherProduct, PayloadHoldsAStoredAndACompressedEntry) {
    const std::string payload = resourceOf("ZUQ", MAKEINTRESOURCEA(119));
    int stored = 0, compressed = 0;
    for (std::size_t at = 0; at + entryFixedSize <= payload.size();) {
        std::uint32_t header, method, packed;
        std::memcpy(&header, &payload[at + headerSizeField], 4);
        std::memcpy(&method, &payload[at + methodField], 4);
        std::memcpy(&packed, &payload[at + packedSizeField], 4);
        (method == methodCompressed ? compressed : stored) += 1;
        at += header + packed;
    }
    EXPECT_GE(stored, 1);
    EXPECT_GE(compressed, 1);
}

TEST_F(OtherProduct, InstallsWithItsOwnNamesEverywhere) {
    // The setup creates only the last level of the install directory.
    CreateDirectoryA(parentDirectory.c_str(), nullptr);
    SetupRun run(setupProgram, dialogTitle, startDirectory);
    ASSERT_TRUE(run.started) << "cannot start " << setupProgram;
    ASSERT_NE(run.dialog, nullptr) << "no window titled \"" << dialogTitle << "\"";
    EXPECT_EQ(run.directoryText(), defaultDirectory);
    EXPECT_FALSE(driver::isChecked(run.item(dialogDesktopIcon)));
    run.screenshot("other-product-dialog");
    run.press(IDOK);

    e2e::MessageBoxSeen box = run.nextBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.caption, "Finish..!");
    EXPECT_EQ(box.text, finishText);
    driver::answer(box, IDNO);
    EXPECT_EQ(run.exitCode(), 1u);

    const std::vector<std::string> files = installation::filesBelow(productFiles);
    EXPECT_EQ(files.size(), 4u);
    const std::vector<std::string> differing =
        installation::differingFiles(productFiles, defaultDirectory);
    EXPECT_TRUE(differing.empty()) << differing.size() << " files missing or different";

    const std::string group = installation::programsFolder() + "\\" + productName + "\\";
    const std::string program = defaultDirectory + "\\zstudio.exe";
    installation::Shortcut main = installation::readShortcut(group + productName + ".lnk");
    EXPECT_TRUE(installation::samePath(main.target, program)) << main.target;
    installation::Shortcut help = installation::readShortcut(group + "Zeltrane Manual.lnk");
    EXPECT_TRUE(
        installation::samePath(help.target, defaultDirectory + "\\docs\\Zeltrane Manual.chm"))
        << help.target;
    installation::Shortcut uninstall =
        installation::readShortcut(group + "Uninstall " + productName + ".lnk");
    EXPECT_TRUE(installation::samePath(uninstall.target, program)) << uninstall.target;
    EXPECT_EQ(uninstall.arguments, "/remove");
    EXPECT_EQ(uninstall.iconIndex, 0);
    EXPECT_FALSE(installation::exists(installation::desktopFolder() + "\\" + productName + ".lnk"));

    EXPECT_EQ(installation::stringValue(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName",
                                        installation::uninstallView),
              productName);
    const std::string command = installation::stringValue(
        HKEY_LOCAL_MACHINE, uninstallKey, "UninstallString", installation::uninstallView);
    EXPECT_TRUE(installation::samePath(command, "\"" + program + "\" /remove")) << command;
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto take = [&](const char* prefix, std::string& into, bool windows) {
            const std::string p = prefix;
            if (argument.rfind(p, 0) == 0) {
                const std::string value = argument.substr(p.size());
                into = windows ? installation::windowsPath(value) : value;
            }
        };
        take("--setup=", setupProgram, true);
        take("--files=", productFiles, true);
        take("--screenshots=", e2e::screenshots.folder, false);
        take("--capture=", e2e::screenshots.script, false);
    }
    if (setupProgram.empty() || productFiles.empty() || e2e::screenshots.folder.empty()) {
        std::fprintf(stderr, "usage: other_product_e2e_test --setup=EXE --files=DIR "
                             "--screenshots=DIR --capture=SCRIPT\n");
        return 2;
    }
    CreateDirectoryA(installation::windowsPath(e2e::screenshots.folder).c_str(), nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = RUN_ALL_TESTS();
    installation::removeScenarios();
    CoUninitialize();
    return result;
}
