#include "tools/zuq/setup_builder.h"

#include "tools/zuq/pe/pe.h"
#include "tools/zuq/stubs/stubs.h"

#include "resources/ids.h"
#include "setup/settings.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
namespace pe = zuq::pe;

namespace {

constexpr std::uint16_t machineI386 = 0x014c;
constexpr std::uint16_t machineAmd64 = 0x8664;
constexpr std::uint16_t typeIcon = 3;
constexpr std::uint16_t typeDialog = 5;
constexpr std::uint16_t typeGroupIcon = 14;
constexpr std::uint16_t typeVersion = 16;
constexpr std::uint16_t englishUs = 0x0409; // the language of the stub's resources
constexpr char16_t payloadType[] = u"ZUQ";

std::uint32_t read32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

void copyText(char* field, std::size_t capacity, const std::string& text) {
    // The product file's checks keep every text inside its field.
    if (text.size() >= capacity) {
        throw SetupError("internal: a text does not fit its settings field");
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
}

Settings settingsOf(const ProductFile& product, std::uint64_t fileCount) {
    Settings record;
    std::memset(&record, 0, sizeof record); // padding included: the bytes are reproducible
    std::memcpy(record.marker, settingsMarker, settingsMarkerSize);
    record.layout = settingsLayout;
    record.size = sizeof(Settings);
    record.desktopIcon = product.desktopIcon ? 1 : 0;
    record.fileCount = static_cast<std::int32_t>(fileCount);
    copyText(record.versionCaption, sizeof record.versionCaption, product.versionCaption);
    copyText(record.productName, sizeof record.productName, product.name);
    copyText(record.folderName, sizeof record.folderName, product.folder);
    copyText(record.programBase, sizeof record.programBase, product.program);
    record.makeUninstall = product.makeUninstall ? 1 : 0;
    copyText(record.uninstallSwitch, sizeof record.uninstallSwitch, product.uninstallSwitch);
    record.uninstallIconIndex = product.uninstallIconIndex;
    record.makeHelpShortcut = product.makeHelpShortcut ? 1 : 0;
    copyText(record.helpFile, sizeof record.helpFile, product.helpFile);
    copyText(record.helpShortcutName, sizeof record.helpShortcutName, product.helpShortcutName);
    copyText(record.defaultParentDir, sizeof record.defaultParentDir, product.defaultParentDir);
    return record;
}

std::vector<std::uint8_t> readFile(const fs::path& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw SetupError(std::string("cannot read the ") + what + " " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool isGroup(const pe::Resource& r, std::uint16_t id) {
    return !r.type.isName() && r.type.id == typeGroupIcon && !r.name.isName() && r.name.id == id;
}

// The icon ids an icon group names: 14-byte entries after a 6-byte header,
// the id in the last two bytes of each.
std::set<std::uint16_t> iconsOfGroup(const pe::Bytes& group) {
    std::set<std::uint16_t> ids;
    const std::size_t count = group.size() >= 6 ? (group[4] | group[5] << 8) : 0;
    for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const std::size_t at = 6 + 14 * i + 12;
        ids.insert(static_cast<std::uint16_t>(group[at] | group[at + 1] << 8));
    }
    return ids;
}

// Puts the vendor's .ico in place of icon group 108 and the images it named.
void replaceIcon(std::vector<pe::Resource>& resources, const fs::path& icoPath) {
    const std::vector<std::uint8_t> ico = readFile(icoPath, "icon");
    std::set<std::uint16_t> dropped;
    std::uint16_t language = englishUs;
    for (const pe::Resource& r : resources) {
        if (isGroup(r, IDI_SETUP)) {
            dropped = iconsOfGroup(r.data);
            language = r.language;
        }
    }
    std::erase_if(resources, [&](const pe::Resource& r) {
        const bool icon = !r.type.isName() && r.type.id == typeIcon && !r.name.isName() &&
                          dropped.count(r.name.id);
        return icon || isGroup(r, IDI_SETUP);
    });
    std::uint16_t firstFree = 1;
    for (const pe::Resource& r : resources) {
        if (!r.type.isName() && r.type.id == typeIcon && !r.name.isName()) {
            firstFree = std::max<std::uint16_t>(firstFree, r.name.id + 1);
        }
    }
    std::vector<pe::Resource> icon;
    try {
        icon = pe::iconGroupFromIco(ico, IDI_SETUP, firstFree, language);
    } catch (const pe::PeError& e) {
        throw SetupError(icoPath.string() + " is not a usable .ico file: " + e.what());
    }
    resources.insert(resources.end(), icon.begin(), icon.end());
}

pe::Resource versionOf(const ProductFile& product) {
    pe::VersionFields fields;
    fields.version = product.version.empty() ? "0.0.0.0" : product.version;
    fields.companyName = product.company;
    fields.fileDescription =
        product.description.empty() ? product.name + " Setup" : product.description;
    fields.productName = product.name;
    fields.language = englishUs;
    try {
        return pe::versionResource(fields);
    } catch (const pe::PeError& e) {
        throw SetupError(std::string("setup.version: ") + e.what());
    }
}

std::vector<pe::Resource> setupResources(std::span<const std::uint8_t> stub,
                                         const ProductFile& product, pe::Bytes payload) {
    std::vector<pe::Resource> resources = pe::readResources(stub);
    const bool hasDialog = std::any_of(resources.begin(), resources.end(), [](const auto& r) {
        return !r.type.isName() && r.type.id == typeDialog && !r.name.isName() &&
               r.name.id == IDD_SETUP;
    });
    if (!hasDialog) {
        throw SetupError("the stub has no setup dialog (dialog 110): it is not a setup stub");
    }
    // An earlier payload or version resource gives way to the new ones.
    std::erase_if(resources, [](const pe::Resource& r) {
        return (r.type.isName() && r.type.name == payloadType) ||
               (!r.type.isName() && r.type.id == typeVersion);
    });
    if (!product.icon.empty()) {
        replaceIcon(resources, product.icon);
    }
    resources.push_back(versionOf(product));
    resources.push_back({pe::ResourceId::named(payloadType), pe::ResourceId::number(IDR_PAYLOAD),
                         englishUs, 0, std::move(payload)});
    return resources;
}

pe::Bytes packPayload(const Collection& files, PackLevel level, unsigned threads,
                      PackTotals& totals) {
    std::ostringstream out(std::ios::binary);
    std::string fault;
    if (!writeEntries(files, level, threads, out, totals, fault)) {
        throw SetupError(fault);
    }
    const std::string bytes = std::move(out).str();
    return {bytes.begin(), bytes.end()};
}

} // namespace

std::size_t findSettingsRecord(std::span<const std::uint8_t> stub) {
    const auto marker =
        std::span(reinterpret_cast<const std::uint8_t*>(settingsMarker), settingsMarkerSize);
    const auto first = std::search(stub.begin(), stub.end(), marker.begin(), marker.end());
    if (first == stub.end()) {
        throw SetupError("the stub holds no settings record: it is not a setup stub");
    }
    if (std::search(first + 1, stub.end(), marker.begin(), marker.end()) != stub.end()) {
        throw SetupError("the stub holds two settings records: it is not a setup stub");
    }
    const auto at = static_cast<std::size_t>(first - stub.begin());
    if (stub.size() - at < offsetof(Settings, desktopIcon)) {
        throw SetupError("the stub's settings record is cut short");
    }
    const std::uint32_t layout = read32(stub, at + offsetof(Settings, layout));
    const std::uint32_t size = read32(stub, at + offsetof(Settings, size));
    if (layout != settingsLayout || size != sizeof(Settings) || stub.size() - at < size) {
        throw SetupError("the stub's settings record has layout " + std::to_string(layout) + " (" +
                         std::to_string(size) + " bytes); this zuq writes layout " +
                         std::to_string(settingsLayout) + " (" + std::to_string(sizeof(Settings)) +
                         " bytes): use the zuq that came with the stub");
    }
    return at;
}

StubArch stubArch(std::span<const std::uint8_t> stub) {
    if (stub.size() >= 0x40 && stub[0] == 'M' && stub[1] == 'Z') {
        const std::uint32_t header = read32(stub, 0x3c);
        if (header <= stub.size() - 6 && std::memcmp(&stub[header], "PE\0\0", 4) == 0) {
            const std::uint16_t machine = stub[header + 4] | stub[header + 5] << 8;
            if (machine == machineI386) {
                return StubArch::i686;
            }
            if (machine == machineAmd64) {
                return StubArch::x86_64;
            }
        }
    }
    throw SetupError("the stub is not an i686 or x86_64 Windows program");
}

void checkProductFiles(const ProductFile& product, const Collection& files) {
    const auto holds = [&](const std::string& name) {
        const std::string wanted = lowerAscii(name);
        return std::any_of(files.files.begin(), files.files.end(),
                           [&](const SourceFile& f) { return lowerAscii(f.name) == wanted; });
    };
    if (files.files.empty()) {
        throw SetupError("the files folder " + product.files.string() + " holds no files");
    }
    if (!holds(product.program + ".exe")) {
        throw SetupError("program: " + product.program + ".exe is not among the files in " +
                         product.files.string());
    }
    if (product.makeHelpShortcut && !holds(product.helpFile)) {
        throw SetupError("help.file: " + product.helpFile + " is not among the files in " +
                         product.files.string());
    }
}

SetupBuild buildSetup(const ProductFile& product, const Collection& files,
                      std::span<const std::uint8_t> stub, PackLevel level, unsigned threads) {
    const std::size_t recordAt = findSettingsRecord(stub);
    SetupBuild build;
    pe::Bytes payload = packPayload(files, level, threads, build.totals);
    if (build.totals.entries > static_cast<std::uint64_t>(INT32_MAX)) {
        throw SetupError("more files than the setup can count");
    }
    pe::Bytes image(stub.begin(), stub.end());
    const Settings record = settingsOf(product, build.totals.entries);
    std::memcpy(&image[recordAt], &record, sizeof record);
    try {
        build.program =
            pe::replaceResources(image, setupResources(image, product, std::move(payload)));
    } catch (const pe::PeError& e) {
        throw SetupError(std::string("cannot rebuild the stub's resources: ") + e.what());
    }
    return build;
}
