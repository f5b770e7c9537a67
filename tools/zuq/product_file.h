// The product file (product.toml): what a vendor writes to describe the setup
// of their product. Reading it checks every key and value against what the
// setup program can hold and show; the files themselves are checked when
// they are packed (setup_builder.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ProductFile {
    std::filesystem::path path; // the product.toml itself
    std::string name;           // productName
    std::string versionCaption;
    std::string folder;  // folderName
    std::string program; // programBase, backslash separated
    std::string defaultParentDir = "c:\\program files";
    bool desktopIcon = true;
    std::filesystem::path files;  // folder of the files to install
    std::filesystem::path output; // empty when the file names none

    bool makeUninstall = false;
    std::string uninstallSwitch;
    int uninstallIconIndex = 0;

    bool makeHelpShortcut = false;
    std::string helpFile; // backslash separated
    std::string helpShortcutName;

    std::filesystem::path icon; // empty: the stub's own icon
    std::string version;        // "a.b.c.d"; empty: none
    std::string company;
    std::string description;
};

// What reading found: errors stop the build, notes are told and the build
// goes on.
struct ProductReport {
    std::vector<std::string> errors;
    std::vector<std::string> notes;
};

// Reads PRODUCT: a product.toml file, or a folder holding one. Paths in the
// file are taken relative to the file's folder. Returns false when
// report.errors is not empty.
bool readProductFile(const std::filesystem::path& product, ProductFile& out, ProductReport& report);

// The install directory the setup offers, with the trailing backslash the
// dialog appends: names of the packed files must fit below it.
std::string defaultInstallDir(const ProductFile& product);
