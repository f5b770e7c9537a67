#include "tools/zuq/product_file.h"

#include "tools/zuq/pe/pe.h"

#include "setup/settings.h"
#include "ui/dialog_texts.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

// The texts end up in fixed buffers of the setup program: the field capacities
// must keep the messages built from them whole.
constexpr std::size_t messageBufferSize = 256; // finish prompt
constexpr std::size_t pathBufferSize = 260;
static_assert(sizeof finishFormat - 3 + nameCapacity - 1 < messageBufferSize);
static_assert(sizeof titlePrefix - 1 + versionCaptionCapacity == pathBufferSize);
static_assert(sizeof browseTitleFormat - 3 + nameCapacity - 1 < pathBufferSize);

namespace {

constexpr char typicalParentDir[] = "c:\\program files";

// A key of the file: where it is found and what it may hold.
enum class Kind { text, flag, integer };

struct Key {
    const char* name;
    Kind kind;
    bool required;
};

const Key topKeys[] = {
    {"name", Kind::text, true},
    {"version-caption", Kind::text, true},
    {"folder", Kind::text, true},
    {"program", Kind::text, true},
    {"default-parent-dir", Kind::text, false},
    {"desktop-icon", Kind::flag, false},
    {"files", Kind::text, false},
    {"output", Kind::text, false},
};
const Key uninstallKeys[] = {
    {"enabled", Kind::flag, true},
    {"switch", Kind::text, false},
    {"icon-index", Kind::integer, false},
};
const Key helpKeys[] = {
    {"enabled", Kind::flag, true},
    {"file", Kind::text, false},
    {"shortcut-name", Kind::text, false},
};
const Key setupKeys[] = {
    {"icon", Kind::text, false},
    {"version", Kind::text, false},
    {"company", Kind::text, false},
    {"description", Kind::text, false},
};
const char* const tableNames[] = {"uninstall", "help", "setup"};

const char* kindText(Kind kind) {
    switch (kind) {
    case Kind::text:
        return "a string";
    case Kind::flag:
        return "true or false";
    case Kind::integer:
        return "an integer";
    }
    return "";
}

std::string where(const toml::node& node) {
    const toml::source_position at = node.source().begin;
    return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
}

// Reads one table: refuses keys it does not know and values of the wrong
// kind, and says which required keys are missing.
class TableReader {
  public:
    TableReader(const toml::table& table, std::string prefix, ProductReport& report)
        : table_(table), prefix_(std::move(prefix)), report_(report) {}

    template <std::size_t N> void check(const Key (&keys)[N]) {
        for (const auto& [key, node] : table_) {
            const std::string name(key.str());
            const auto known = std::find_if(std::begin(keys), std::end(keys),
                                            [&](const Key& k) { return name == k.name; });
            if (known == std::end(keys)) {
                if (!node.is_table() || prefix_ != "") {
                    report_.errors.push_back("unknown key " + prefix_ + name + " (" + where(node) +
                                             ")");
                }
                continue;
            }
            if (!hasKind(node, known->kind)) {
                report_.errors.push_back(prefix_ + name + " must be " + kindText(known->kind) +
                                         " (" + where(node) + ")");
            }
        }
        for (const Key& k : keys) {
            if (k.required && !table_.contains(k.name)) {
                report_.errors.push_back("missing key " + prefix_ + k.name);
            }
        }
    }

    std::optional<std::string> text(const char* key) const {
        return value<std::string>(key);
    }
    std::optional<bool> flag(const char* key) const {
        return value<bool>(key);
    }
    std::optional<std::int64_t> integer(const char* key) const {
        return value<std::int64_t>(key);
    }

  private:
    static bool hasKind(const toml::node& node, Kind kind) {
        switch (kind) {
        case Kind::text:
            return node.is_string();
        case Kind::flag:
            return node.is_boolean();
        case Kind::integer:
            return node.is_integer();
        }
        return false;
    }

    template <typename T> std::optional<T> value(const char* key) const {
        return table_[key].value<T>();
    }

    const toml::table& table_;
    std::string prefix_;
    ProductReport& report_;
};

// The setup shows and stores its texts in the system's ANSI code page; plain
// printable ASCII reads the same in every one of them.
bool printableAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// Characters that no Windows file or folder name may hold.
bool validFileName(const std::string& name) {
    return !name.empty() && name.find_first_of("\\/:*?\"<>|") == std::string::npos && name != "." &&
           name != ".." && name.back() != '.' && name.back() != ' ';
}

// A name below the install directory: file names joined by backslashes.
bool validRelativeName(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find('\\', start);
        if (!validFileName(name.substr(start, end - start))) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string withBackslashes(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string firstLine(const char* text) {
    return std::string(text, std::strcspn(text, "\n"));
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

class ValueChecks {
  public:
    explicit ValueChecks(ProductReport& report) : report_(report) {}

    // A text for a field of capacity bytes, terminator included.
    void text(const std::string& key, const std::string& value, std::size_t capacity) {
        if (!printableAscii(value)) {
            error(key + " must be printable ASCII text: the setup shows it in the system's "
                        "ANSI code page");
        } else if (value.size() >= capacity) {
            error(key + " is " + std::to_string(value.size()) + " characters long; the setup " +
                  "holds at most " + std::to_string(capacity - 1));
        }
    }

    void fileName(const std::string& key, const std::string& value) {
        if (printableAscii(value) && !validFileName(value)) {
            error(key + " \"" + value + "\" is not a valid file name");
        }
    }

    void relativeName(const std::string& key, const std::string& value) {
        if (printableAscii(value) && !validRelativeName(value)) {
            error(key + " \"" + value + "\" is not a valid name below the install directory");
        }
    }

    void error(std::string text) {
        report_.errors.push_back(std::move(text));
    }
    void note(std::string text) {
        report_.notes.push_back(std::move(text));
    }

  private:
    ProductReport& report_;
};

void readTopLevel(const TableReader& top, ProductFile& out, ValueChecks& checks) {
    out.name = top.text("name").value_or("");
    out.versionCaption = top.text("version-caption").value_or("");
    out.folder = top.text("folder").value_or("");
    out.program = withBackslashes(top.text("program").value_or(""));
    out.defaultParentDir = top.text("default-parent-dir").value_or(typicalParentDir);
    out.desktopIcon = top.flag("desktop-icon").value_or(true);
    const fs::path base = out.path.parent_path();
    out.files = base / top.text("files").value_or("files");
    if (const auto output = top.text("output")) {
        out.output = base / *output;
    }

    checks.text("name", out.name, nameCapacity);
    checks.fileName("name", out.name);
    checks.text("version-caption", out.versionCaption, versionCaptionCapacity);
    checks.text("folder", out.folder, nameCapacity);
    checks.fileName("folder", out.folder);
    // The program file, programBase + ".exe", must fit a name field too.
    checks.text("program", out.program, nameCapacity - 4);
    checks.relativeName("program", out.program);
    checks.text("default-parent-dir", out.defaultParentDir, defaultParentDirCapacity);
    if (out.defaultParentDir.empty()) {
        checks.error("default-parent-dir must not be empty");
    }
    // The dialog appends a backslash to the directory it hands over.
    const std::string installDir = defaultInstallDir(out);
    if (installDir.size() >= pathBufferSize) {
        checks.error("default-parent-dir and folder make a " +
                     std::to_string(installDir.size() - 1) +
                     "-character install directory; the setup holds at most " +
                     std::to_string(pathBufferSize - 2));
    }
    if (lowerAscii(out.defaultParentDir) != typicalParentDir) {
        checks.note("default-parent-dir is \"" + out.defaultParentDir +
                    "\": the setup creates only the last level of the install directory, so "
                    "on a machine without that folder the install fails with \"" +
                    firstLine(decompressionError) + "\"");
    }
}

void readUninstall(const TableReader& table, ProductFile& out, ValueChecks& checks) {
    out.makeUninstall = table.flag("enabled").value_or(false);
    out.uninstallSwitch = table.text("switch").value_or("/uninstall");
    const std::int64_t index = table.integer("icon-index").value_or(0);
    if (index < INT32_MIN || index > INT32_MAX) {
        checks.error("uninstall.icon-index " + std::to_string(index) + " is out of range");
    }
    out.uninstallIconIndex = static_cast<int>(index);
    if (out.makeUninstall && out.uninstallSwitch.empty()) {
        checks.error("uninstall.switch must not be empty: the program is started with it");
    } else if (!printableAscii(out.uninstallSwitch)) {
        checks.error("uninstall.switch must be printable ASCII text");
    } else if (out.uninstallSwitch.size() >= uninstallSwitchCapacity) {
        checks.error("uninstall.switch \"" + out.uninstallSwitch + "\" is " +
                     std::to_string(out.uninstallSwitch.size()) +
                     " characters long; the setup holds at most " +
                     std::to_string(uninstallSwitchCapacity - 1));
    }
}

void readHelp(const TableReader& table, ProductFile& out, ValueChecks& checks) {
    out.makeHelpShortcut = table.flag("enabled").value_or(false);
    out.helpFile = withBackslashes(table.text("file").value_or(""));
    out.helpShortcutName = table.text("shortcut-name").value_or("");
    if (!out.makeHelpShortcut) {
        return;
    }
    if (out.helpFile.empty() || out.helpShortcutName.empty()) {
        checks.error("help.file and help.shortcut-name are needed when help.enabled is true");
        return;
    }
    checks.text("help.file", out.helpFile, nameCapacity);
    checks.relativeName("help.file", out.helpFile);
    checks.text("help.shortcut-name", out.helpShortcutName, nameCapacity);
    checks.fileName("help.shortcut-name", out.helpShortcutName);
    if (lowerAscii(fs::path(out.helpShortcutName).extension().string()) != ".lnk") {
        checks.note("help.shortcut-name \"" + out.helpShortcutName +
                    "\" does not end with .lnk: Windows will not show it as a shortcut");
    }
}

void readSetup(const TableReader& table, ProductFile& out, ValueChecks& checks) {
    if (const auto icon = table.text("icon")) {
        out.icon = out.path.parent_path() / *icon;
    }
    out.version = table.text("version").value_or("");
    out.company = table.text("company").value_or("");
    out.description = table.text("description").value_or("");
    if (!out.version.empty()) {
        try {
            zuq::pe::parseVersion(out.version);
        } catch (const zuq::pe::PeError& e) {
            checks.error(std::string("setup.version: ") + e.what());
        }
    }
    for (const auto& [key, value] : {std::pair{"setup.company", &out.company},
                                     std::pair{"setup.description", &out.description},
                                     std::pair{"setup.version", &out.version}}) {
        checks.text(key, *value, nameCapacity * 2);
    }
}

fs::path productFilePath(const fs::path& product) {
    std::error_code error;
    return fs::is_directory(product, error) ? product / "product.toml" : product;
}

} // namespace

std::string defaultInstallDir(const ProductFile& product) {
    return product.defaultParentDir + "\\" + product.folder + "\\";
}

bool readProductFile(const fs::path& product, ProductFile& out, ProductReport& report) {
    out = ProductFile{};
    out.path = productFilePath(product);
    std::ifstream in(out.path, std::ios::binary);
    if (!in) {
        report.errors.push_back("cannot read " + out.path.string());
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    toml::table root;
    try {
        root = toml::parse(text.str(), out.path.string());
    } catch (const toml::parse_error& e) {
        const toml::source_position at = e.source().begin;
        report.errors.push_back(out.path.string() + ":" + std::to_string(at.line) + ":" +
                                std::to_string(at.column) + ": " + std::string(e.description()));
        return false;
    }

    TableReader top(root, "", report);
    top.check(topKeys);
    for (const auto& [key, node] : root) {
        const std::string name(key.str());
        if (node.is_table() &&
            std::find(std::begin(tableNames), std::end(tableNames), name) == std::end(tableNames)) {
            report.errors.push_back("unknown table [" + name + "] (" + where(node) + ")");
        }
    }
    const toml::table empty;
    const auto tableOf = [&](const char* name) -> const toml::table& {
        const toml::table* table = root[name].as_table();
        if (!table && root.contains(name)) {
            report.errors.push_back(std::string(name) + " must be a table");
        }
        return table ? *table : empty;
    };
    TableReader uninstall(tableOf("uninstall"), "uninstall.", report);
    TableReader help(tableOf("help"), "help.", report);
    TableReader setup(tableOf("setup"), "setup.", report);
    if (root.contains("uninstall")) {
        uninstall.check(uninstallKeys);
    } else {
        report.notes.push_back("no [uninstall] table: the setup makes no uninstall entry");
    }
    if (root.contains("help")) {
        help.check(helpKeys);
    }
    setup.check(setupKeys);
    if (!report.errors.empty()) {
        return false; // the values are read only from a file of the right shape
    }

    ValueChecks checks(report);
    readTopLevel(top, out, checks);
    readUninstall(uninstall, out, checks);
    readHelp(help, out, checks);
    readSetup(setup, out, checks);
    return report.errors.empty();
}
