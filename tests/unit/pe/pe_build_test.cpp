// The icon group and version resources, byte by byte, and the version and
// text parsing they rest on.
#include "tests/unit/pe/pe_test_support.h"
#include "tools/zuq/pe/pe.h"

#include <gtest/gtest.h>

using namespace pe_test;
using zuq::pe::iconGroupFromIco;
using zuq::pe::parseVersion;
using zuq::pe::VersionFields;
using zuq::pe::versionResource;

namespace {

// An .ico with a 40-byte bitmap header image (its directory entry leaves
// planes and bit count 0) and a PNG image.
Bytes twoImageIco() {
    Bytes dib(40 + 64, 0x11);
    put32(dib, 0, 40);
    dib[12] = 1;
    dib[13] = 0;
    dib[14] = 32;
    dib[15] = 0;
    const Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 1, 2, 3};
    Bytes ico = {0, 0, 1, 0, 2, 0};
    const auto entry = [&](std::uint8_t size, std::uint16_t bits, const Bytes& image,
                           std::uint32_t at) {
        ico.insert(ico.end(), {size, size, 0, 0, 1, 0, static_cast<std::uint8_t>(bits), 0});
        ico.resize(ico.size() + 8);
        put32(ico, ico.size() - 8, static_cast<std::uint32_t>(image.size()));
        put32(ico, ico.size() - 4, at);
    };
    const std::uint32_t first = 6 + 2 * 16;
    entry(16, 0, dib, first);
    entry(0, 32, png, first + static_cast<std::uint32_t>(dib.size()));
    ico[6 + 4] = 0; // planes 0 as well in the first entry
    ico.insert(ico.end(), dib.begin(), dib.end());
    ico.insert(ico.end(), png.begin(), png.end());
    return ico;
}

// One block of the version tree as read back.
struct Block {
    std::size_t at = 0;
    std::uint16_t length = 0, valueLength = 0, type = 0;
    std::u16string key;
    std::size_t value = 0; // offset of the value
    std::size_t end = 0;
};

Block readBlock(const Bytes& b, std::size_t at) {
    Block block{at, get16(b, at), get16(b, at + 2), get16(b, at + 4), {}, 0, 0};
    std::size_t p = at + 6;
    for (; get16(b, p) != 0; p += 2) {
        block.key += static_cast<char16_t>(get16(b, p));
    }
    block.value = (p + 2 + 3) / 4 * 4;
    block.end = at + block.length;
    return block;
}

std::vector<Block> children(const Bytes& b, const Block& parent, std::size_t first) {
    std::vector<Block> list;
    for (std::size_t at = (first + 3) / 4 * 4; at < parent.end;
         at = (at + list.back().length + 3) / 4 * 4) {
        EXPECT_EQ(at % 4, 0u);
        list.push_back(readBlock(b, at));
        EXPECT_LE(list.back().end, parent.end);
    }
    return list;
}

std::u16string textValue(const Bytes& b, const Block& block) {
    std::u16string s;
    for (std::size_t i = 0; i + 1 < block.valueLength; ++i) {
        s += static_cast<char16_t>(get16(b, block.value + i * 2));
    }
    EXPECT_EQ(get16(b, block.value + (block.valueLength - 1) * 2), 0) << "terminator";
    return s;
}

VersionFields sampleFields() {
    VersionFields f;
    f.version = "2.1.3";
    f.companyName = "Example Software Ltd";
    f.fileDescription = "Quillmoran Setup";
    f.productName = "Quillm\xC3\xB6ran";
    return f;
}

} // namespace

TEST(IconGroup, GroupEntriesFieldByField) {
    const Bytes ico = twoImageIco();
    const auto resources = iconGroupFromIco(ico, 108, 5, 0x409);
    ASSERT_EQ(resources.size(), 3u);
    const auto& group = resources[0];
    EXPECT_EQ(group.type.id, 14);
    EXPECT_EQ(group.name.id, 108);
    EXPECT_EQ(group.language, 0x409);
    const Bytes& g = group.data;
    ASSERT_EQ(g.size(), 6u + 2 * 14);
    EXPECT_EQ(get16(g, 0), 0);
    EXPECT_EQ(get16(g, 2), 1);
    EXPECT_EQ(get16(g, 4), 2);
    // First entry: 16x16, planes and bits taken from the bitmap header.
    EXPECT_EQ(g[6], 16);
    EXPECT_EQ(g[7], 16);
    EXPECT_EQ(get16(g, 6 + 4), 1);
    EXPECT_EQ(get16(g, 6 + 6), 32);
    EXPECT_EQ(get32(g, 6 + 8), 104u);
    EXPECT_EQ(get16(g, 6 + 12), 5);
    // Second: the PNG image, 256x256 written as 0, its directory values kept.
    EXPECT_EQ(g[20], 0);
    EXPECT_EQ(get16(g, 20 + 4), 1);
    EXPECT_EQ(get16(g, 20 + 6), 32);
    EXPECT_EQ(get32(g, 20 + 8), 11u);
    EXPECT_EQ(get16(g, 20 + 12), 6);
}

TEST(IconGroup, OneIconResourcePerImage) {
    const Bytes ico = twoImageIco();
    const auto resources = iconGroupFromIco(ico, 108, 5, 0x409);
    ASSERT_EQ(resources.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(resources[i].type.id, 3);
        EXPECT_EQ(resources[i].name.id, 4 + i);
        EXPECT_EQ(resources[i].language, 0x409);
    }
    EXPECT_EQ(resources[1].data, Bytes(ico.begin() + 38, ico.begin() + 38 + 104));
    EXPECT_EQ(resources[2].data, Bytes(ico.end() - 11, ico.end()));
}

TEST(IconGroup, RefusesFilesThatAreNotIcons) {
    const Bytes good = twoImageIco();
    const auto spoiled = [&](auto spoil) {
        Bytes b = good;
        spoil(b);
        return errorOf([&] { iconGroupFromIco(b, 108, 1, 0); });
    };
    EXPECT_NE(spoiled([](Bytes& b) { b[0] = 1; }).find("bad header"), std::string::npos);
    EXPECT_NE(spoiled([](Bytes& b) { b[2] = 2; }).find("bad header (reserved 0, type 2)"),
              std::string::npos);
    EXPECT_NE(spoiled([](Bytes& b) { b[4] = 0; }).find("holds no image"), std::string::npos);
    EXPECT_NE(spoiled([](Bytes& b) { b[4] = 20; }).find("cut short"), std::string::npos);
    EXPECT_NE(
        spoiled([](Bytes& b) { put32(b, 6 + 16 + 12, 0x10000); }).find("image 2 lies outside"),
        std::string::npos);
    EXPECT_NE(spoiled([](Bytes& b) { put32(b, 6 + 8, 0); }).find("image 1 lies outside"),
              std::string::npos);
    EXPECT_NE(spoiled([](Bytes& b) { b.resize(3); }).find("not an icon file"), std::string::npos);
    EXPECT_NE(errorOf([&] { iconGroupFromIco(good, 108, 0xFFFF, 0); }).find("do not fit"),
              std::string::npos);
    EXPECT_EQ(errorOf([&] { iconGroupFromIco(good, 108, 0xFFFE, 0); }), "");
}

TEST(VersionResource, FixedInfoFieldByField) {
    const auto r = versionResource(sampleFields());
    EXPECT_EQ(r.type.id, 16);
    EXPECT_EQ(r.name.id, 1);
    EXPECT_EQ(r.language, 0x409);
    const Bytes& b = r.data;
    const Block root = readBlock(b, 0);
    EXPECT_EQ(root.length, b.size());
    EXPECT_EQ(root.key, u"VS_VERSION_INFO");
    EXPECT_EQ(root.type, 0);
    EXPECT_EQ(root.valueLength, 52);
    EXPECT_EQ(root.value, 40u); // 6 + 32 key bytes + 2 padding
    const std::uint32_t expected[] = {0xFEEF04BD, 0x00010000, 0x00020001, 0x00030000, 0x00020001,
                                      0x00030000, 0x3F,       0,          0x00040004, 1,
                                      0,          0,          0};
    for (std::size_t i = 0; i < 13; ++i) {
        EXPECT_EQ(get32(b, root.value + i * 4), expected[i]) << "field " << i;
    }
}

TEST(VersionResource, StringAndVarFileInfo) {
    const Bytes b = versionResource(sampleFields()).data;
    const Block root = readBlock(b, 0);
    const auto top = children(b, root, root.value + 52);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].key, u"StringFileInfo");
    EXPECT_EQ(top[0].type, 1);
    EXPECT_EQ(top[0].valueLength, 0);
    const auto tables = children(b, top[0], top[0].value);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0].key, u"040904B0");
    const auto strings = children(b, tables[0], tables[0].value);
    ASSERT_EQ(strings.size(), 5u);
    const std::pair<std::u16string, std::u16string> want[] = {
        {u"CompanyName", u"Example Software Ltd"},
        {u"FileDescription", u"Quillmoran Setup"},
        {u"FileVersion", u"2.1.3.0"},
        {u"ProductName", u"Quillm\u00F6ran"},
        {u"ProductVersion", u"2.1.3.0"}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(strings[i].key, want[i].first);
        EXPECT_EQ(strings[i].type, 1);
        EXPECT_EQ(strings[i].valueLength, want[i].second.size() + 1);
        EXPECT_EQ(textValue(b, strings[i]), want[i].second);
        EXPECT_EQ(strings[i].end, strings[i].value + strings[i].valueLength * 2);
    }
    EXPECT_EQ(top[1].key, u"VarFileInfo");
    EXPECT_EQ(top[1].type, 1);
    const auto vars = children(b, top[1], top[1].value);
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(vars[0].key, u"Translation");
    EXPECT_EQ(vars[0].type, 0);
    EXPECT_EQ(vars[0].valueLength, 4);
    EXPECT_EQ(get16(b, vars[0].value), 0x0409);
    EXPECT_EQ(get16(b, vars[0].value + 2), 1200);
    EXPECT_EQ(top[1].end, b.size());
}

TEST(VersionResource, EmptyTextsLeftOut) {
    VersionFields f;
    f.version = "7";
    f.productName = "P";
    const Bytes b = versionResource(f).data;
    const Block root = readBlock(b, 0);
    const auto top = children(b, root, root.value + 52);
    const auto strings = children(b, children(b, top[0], top[0].value)[0],
                                  children(b, top[0], top[0].value)[0].value);
    std::vector<std::u16string> keys;
    for (const auto& s : strings) {
        keys.push_back(s.key);
    }
    EXPECT_EQ(keys,
              (std::vector<std::u16string>{u"FileVersion", u"ProductName", u"ProductVersion"}));
    EXPECT_EQ(textValue(b, strings[0]), u"7.0.0.0");
}

TEST(VersionResource, RefusesBadTexts) {
    VersionFields f = sampleFields();
    f.companyName = "bad \xC3";
    EXPECT_NE(errorOf([&] { versionResource(f); }).find("not valid UTF-8"), std::string::npos);
    f = sampleFields();
    f.version = "";
    EXPECT_NE(errorOf([&] { versionResource(f); }).find("bad version"), std::string::npos);
}

TEST(ParseVersion, AcceptsOneToFourNumbers) {
    EXPECT_EQ(parseVersion("2"), (zuq::pe::VersionNumber{2, 0, 0, 0}));
    EXPECT_EQ(parseVersion("2.1"), (zuq::pe::VersionNumber{2, 1, 0, 0}));
    EXPECT_EQ(parseVersion("65535.0.7.65535"), (zuq::pe::VersionNumber{65535, 0, 7, 65535}));
    EXPECT_EQ(zuq::pe::versionText(parseVersion("1.02.3")), "1.2.3.0");
}

TEST(ParseVersion, RefusesAnythingElse) {
    for (const char* bad :
         {"", ".", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.-2", "1.2a", "v1", " 1", "1,2"}) {
        const std::string message = errorOf([&] { parseVersion(bad); });
        EXPECT_NE(message.find("bad version \"" + std::string(bad) + "\""), std::string::npos)
            << bad;
    }
}

TEST(Utf16FromUtf8, ConvertsAndRefuses) {
    EXPECT_EQ(zuq::pe::utf16FromUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              u"A\u00E9\u20AC\U0001F600");
    for (const char* bad :
         {"\x80", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
        EXPECT_NE(errorOf([&] { zuq::pe::utf16FromUtf8(bad); }), "") << bad;
    }
}
