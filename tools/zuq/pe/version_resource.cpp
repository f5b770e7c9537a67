// The version resource is a tree of blocks. Each block: its length, its
// value's length, its type (1 text, 0 binary), its key as a terminated
// UTF-16 string, padding to 32 bits, the value, padding, its children. A
// block's length leaves out the padding after it; the parent's counts the
// padding that aligns each child.
#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/pe.h"
#include "tools/zuq/pe/pe_format.h"

#include <charconv>

namespace zuq::pe {

namespace v = format::version;
using namespace detail;

namespace {

void appendText(Bytes& out, const std::u16string& text) {
    for (char16_t c : text) {
        append16(out, static_cast<std::uint16_t>(c));
    }
    append16(out, 0);
}

struct Block {
    std::u16string key;
    std::uint16_t type = v::valueText;
    Bytes value;
    std::uint16_t valueLength = 0; // bytes, or characters for text values
    std::vector<Block> children;
};

Bytes encode(const Block& block) {
    Bytes out(6, 0);
    appendText(out, block.key);
    padTo(out, 4);
    out.insert(out.end(), block.value.begin(), block.value.end());
    for (const Block& child : block.children) {
        padTo(out, 4);
        const Bytes encoded = encode(child);
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    if (out.size() > 0xFFFF) {
        throw PeError("version resource block longer than 65535 bytes");
    }
    write16(out, 0, static_cast<std::uint16_t>(out.size()));
    write16(out, 2, block.valueLength);
    write16(out, 4, block.type);
    return out;
}

Block textBlock(const std::u16string& key, const std::u16string& value) {
    Block b{key, v::valueText, {}, static_cast<std::uint16_t>(value.size() + 1), {}};
    appendText(b.value, value);
    return b;
}

Bytes fixedInfo(const VersionNumber& n) {
    Bytes out;
    const std::uint32_t high = std::uint32_t{n[0]} << 16 | n[1];
    const std::uint32_t low = std::uint32_t{n[2]} << 16 | n[3];
    for (std::uint32_t word :
         {v::fixedSignature, v::fixedStructVersion, high, low, high, low, v::fileFlagsMask, 0u,
          v::osNtWindows32, v::fileTypeApp, 0u, 0u, 0u}) {
        append32(out, word);
    }
    return out;
}

Block stringFileInfo(const VersionFields& fields, const std::u16string& version) {
    Block table{u"040904B0", v::valueText, {}, 0, {}};
    const std::pair<const char16_t*, std::u16string> texts[] = {
        {u"CompanyName", utf16FromUtf8(fields.companyName)},
        {u"FileDescription", utf16FromUtf8(fields.fileDescription)},
        {u"FileVersion", version},
        {u"ProductName", utf16FromUtf8(fields.productName)},
        {u"ProductVersion", version},
    };
    for (const auto& [key, value] : texts) {
        if (!value.empty()) {
            table.children.push_back(textBlock(key, value));
        }
    }
    return {u"StringFileInfo", v::valueText, {}, 0, {table}};
}

Block varFileInfo() {
    Block translation{u"Translation", v::valueBinary, {}, 4, {}};
    append16(translation.value, v::languageUsEnglish);
    append16(translation.value, v::codePageUnicode);
    return {u"VarFileInfo", v::valueText, {}, 0, {translation}};
}

std::u16string ascii16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

} // namespace

VersionNumber parseVersion(std::string_view text) {
    VersionNumber n{};
    std::size_t part = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (;;) {
        unsigned value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc{} || next == at || value > 0xFFFF || part == n.size() ||
            (next != end && *next != '.')) {
            throw PeError("bad version \"" + std::string(text) +
                          "\": expected 1 to 4 numbers 0..65535 separated by dots, as 2.1.0.0");
        }
        n[part++] = static_cast<std::uint16_t>(value);
        if (next == end) {
            return n;
        }
        at = next + 1;
    }
}

std::string versionText(const VersionNumber& n) {
    return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." +
           std::to_string(n[3]);
}

Resource versionResource(const VersionFields& fields) {
    const VersionNumber number = parseVersion(fields.version);
    Block root{u"VS_VERSION_INFO", v::valueBinary, fixedInfo(number), v::fixedInfoSize, {}};
    root.children.push_back(stringFileInfo(fields, ascii16(versionText(number))));
    root.children.push_back(varFileInfo());
    return {ResourceId::number(format::typeVersion), ResourceId::number(1), fields.language, 0,
            encode(root)};
}

} // namespace zuq::pe
