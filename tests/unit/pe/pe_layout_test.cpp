// The reader and the rebuild on small images made in memory: every field
// the rebuild touches, the directory order the loader relies on, and the
// refusals of images it must not read or rewrite.
#include "tests/unit/pe/pe_test_support.h"
#include "tools/zuq/pe/image_layout.h"
#include "tools/zuq/pe/pe.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace pe_test;
using zuq::pe::ImageLayout;
using zuq::pe::readLayout;
using zuq::pe::readResources;
using zuq::pe::replaceResources;
using zuq::pe::Resource;
using zuq::pe::ResourceId;

namespace {

Resource resource(ResourceId type, ResourceId name, std::uint16_t language, Bytes data) {
    return {std::move(type), std::move(name), language, 0, std::move(data)};
}

std::vector<Resource> smallSet() {
    return {resource(ResourceId::number(5), ResourceId::number(110), 0x409, pattern(100, 1)),
            resource(ResourceId::number(24), ResourceId::number(1), 0x409, pattern(30, 2))};
}

// A mixed set, given out of order: two named types, ids, two languages.
std::vector<Resource> mixedSet() {
    return {resource(ResourceId::number(16), ResourceId::number(1), 0x409, pattern(92, 3)),
            resource(ResourceId::named(u"ZUQ"), ResourceId::number(119), 0, pattern(70000, 4)),
            resource(ResourceId::number(5), ResourceId::number(110), 0x409, pattern(10, 5)),
            resource(ResourceId::number(5), ResourceId::named(u"about"), 0x407, pattern(11, 6)),
            resource(ResourceId::number(5), ResourceId::number(110), 0x407, pattern(12, 7)),
            resource(ResourceId::named(u"alpha"), ResourceId::number(2), 0, pattern(13, 8)),
            resource(ResourceId::number(3), ResourceId::number(1), 0, pattern(1, 9))};
}

bool sameSet(std::vector<Resource> a, std::vector<Resource> b) {
    auto key = [](const Resource& r) {
        return std::make_tuple(r.type.name, r.type.id, r.name.name, r.name.id, r.language);
    };
    auto less = [&](const Resource& x, const Resource& y) { return key(x) < key(y); };
    std::sort(a.begin(), a.end(), less);
    std::sort(b.begin(), b.end(), less);
    return a == b;
}

// Entry keys of the directory table at `at` in the resource section.
std::vector<std::uint32_t> tableKeys(const Bytes& section, std::size_t at) {
    const std::size_t count = get16(section, at + 12) + get16(section, at + 14);
    std::vector<std::uint32_t> keys;
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back(get32(section, at + 16 + i * 8));
    }
    return keys;
}

std::u16string nameAt(const Bytes& section, std::uint32_t key) {
    const std::size_t at = key & 0x7FFFFFFF;
    std::u16string s;
    for (std::size_t i = 0; i < get16(section, at); ++i) {
        s += static_cast<char16_t>(get16(section, at + 2 + i * 2));
    }
    return s;
}

Bytes sectionBytes(const Bytes& image, const zuq::pe::Section& s) {
    return Bytes(image.begin() + s.rawOffset, image.begin() + s.rawOffset + s.virtualSize);
}

const zuq::pe::Section& sectionNamed(const ImageLayout& l, const std::string& name) {
    for (const auto& s : l.sections) {
        if (s.name == name) {
            return s;
        }
    }
    throw std::runtime_error("no section " + name);
}

} // namespace

class RebuildBothFormats : public testing::TestWithParam<bool> {};

// The headers describe the rebuilt file exactly: alignments, sizes, the
// moved relocations, the checksum.
TEST_P(RebuildBothFormats, HeadersDescribeTheNewLayout) {
    const Bytes image = makeImage(mingwLike(GetParam(), smallSet()));
    const ImageLayout before = readLayout(image);
    const Bytes out = replaceResources(image, mixedSet());
    const ImageLayout after = readLayout(out);

    ASSERT_EQ(after.sections.size(), 3u);
    EXPECT_EQ(after.pe32Plus, GetParam());
    const auto& rsrc = sectionNamed(after, ".rsrc");
    const auto& reloc = sectionNamed(after, ".reloc");
    EXPECT_EQ(rsrc.virtualAddress, before.sections[1].virtualAddress);
    EXPECT_EQ(rsrc.rawOffset, before.sections[1].rawOffset);
    EXPECT_EQ(after.directory(2).rva, rsrc.virtualAddress);
    EXPECT_EQ(after.directory(2).size, rsrc.virtualSize);
    EXPECT_EQ(rsrc.rawSize % fileAlignment, 0u);
    EXPECT_GE(rsrc.rawSize, rsrc.virtualSize);
    EXPECT_LT(rsrc.rawSize - rsrc.virtualSize, fileAlignment);
    // .reloc follows, at the next aligned address and file offset, unchanged.
    EXPECT_EQ(reloc.virtualAddress,
              (rsrc.virtualAddress + rsrc.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(reloc.rawOffset, rsrc.rawOffset + rsrc.rawSize);
    EXPECT_EQ(after.directory(5).rva, reloc.virtualAddress);
    EXPECT_EQ(after.directory(5).size, before.directory(5).size);
    EXPECT_EQ(sectionBytes(out, reloc), sectionBytes(image, before.sections[2]));
    EXPECT_EQ(after.sizeOfImage,
              (reloc.virtualAddress + reloc.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(out.size(), std::size_t{reloc.rawOffset} + reloc.rawSize);
    EXPECT_EQ(after.sizeOfInitializedData - before.sizeOfInitializedData,
              rsrc.rawSize - before.sections[1].rawSize);
    EXPECT_EQ(after.checksum, recomputedChecksum(out, after.checksumOffset()));
    EXPECT_NE(after.checksum, 0u);
    // What lies before the resource section is untouched but for the headers.
    EXPECT_TRUE(
        std::equal(image.begin() + 0x400, image.begin() + rsrc.rawOffset, out.begin() + 0x400));
}

TEST_P(RebuildBothFormats, ResourcesReadBackAsWritten) {
    const Bytes out = replaceResources(makeImage(mingwLike(GetParam(), smallSet())), mixedSet());
    EXPECT_TRUE(sameSet(readResources(out), mixedSet()));
}

// The same input gives the same bytes, and rebuilding the result with its
// own resources gives it back.
TEST_P(RebuildBothFormats, DeterministicAndStable) {
    const Bytes image = makeImage(mingwLike(GetParam(), smallSet()));
    const Bytes once = replaceResources(image, mixedSet());
    EXPECT_EQ(replaceResources(image, mixedSet()), once);
    EXPECT_EQ(replaceResources(once, readResources(once)), once);
}

// A stub without resources gets a new last section.
TEST_P(RebuildBothFormats, AddsASectionWhenThereIsNone) {
    ImagePlan plan;
    plan.pe32Plus = GetParam();
    plan.sections = {{".text", codeFlags, pattern(0x300, 1)},
                     {".data", dataFlags, pattern(0x80, 2)}};
    const Bytes out = replaceResources(makeImage(plan), mixedSet());
    const ImageLayout l = readLayout(out);
    ASSERT_EQ(l.sections.size(), 3u);
    EXPECT_EQ(l.sections[2].name, ".rsrc");
    EXPECT_EQ(l.sections[2].virtualAddress, 0x3000u);
    EXPECT_EQ(l.sections[2].characteristics, rsrcFlags);
    EXPECT_EQ(l.sizeOfImage, (0x3000 + l.sections[2].virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(l.checksum, recomputedChecksum(out, l.checksumOffset()));
    EXPECT_TRUE(sameSet(readResources(out), mixedSet()));
}

INSTANTIATE_TEST_SUITE_P(Formats, RebuildBothFormats, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

// Named entries first, in upper-case order, then ids ascending; languages
// ascending; data entries and data aligned to 8.
TEST(ResourceDirectoryOrder, TablesSortedAsTheLoaderSearches) {
    const Bytes section = resourceSection(mixedSet(), 0x5000);
    const auto root = tableKeys(section, 0);
    ASSERT_EQ(root.size(), 5u);
    EXPECT_EQ(get16(section, 12), 2);
    EXPECT_EQ(get16(section, 14), 3);
    EXPECT_EQ(nameAt(section, root[0]), u"alpha");
    EXPECT_EQ(nameAt(section, root[1]), u"ZUQ");
    EXPECT_EQ(std::vector<std::uint32_t>(root.begin() + 2, root.end()),
              (std::vector<std::uint32_t>{3, 5, 16}));
    const std::uint32_t dialogs = get32(section, 16 + 3 * 8 + 4) & 0x7FFFFFFF;
    const auto names = tableKeys(section, dialogs);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(nameAt(section, names[0]), u"about");
    EXPECT_EQ(names[1], 110u);
    const std::uint32_t dialog110 = get32(section, dialogs + 16 + 8 + 4) & 0x7FFFFFFF;
    EXPECT_EQ(tableKeys(section, dialog110), (std::vector<std::uint32_t>{0x407, 0x409}));
    const std::uint32_t leaf = get32(section, dialog110 + 16 + 4);
    EXPECT_EQ(leaf % 4, 0u);
    EXPECT_EQ(get32(section, leaf) % 8, 0u);
    EXPECT_EQ(get32(section, leaf + 4), 12u);
    EXPECT_EQ(Bytes(section.begin() + get32(section, leaf) - 0x5000,
                    section.begin() + get32(section, leaf) - 0x5000 + 12),
              pattern(12, 7));
}

TEST(ResourceDirectoryOrder, NamesCompareWithoutCase) {
    const std::vector<Resource> set = {
        resource(ResourceId::named(u"beta"), ResourceId::number(1), 0, {1}),
        resource(ResourceId::named(u"ALPHA"), ResourceId::number(1), 0, {2}),
        resource(ResourceId::named(u"B_"), ResourceId::number(1), 0, {3})};
    const Bytes section = resourceSection(set, 0x1000);
    const auto root = tableKeys(section, 0);
    ASSERT_EQ(root.size(), 3u);
    // Upper case: "ALPHA" < "BETA" < "B_" ('E' 0x45 < '_' 0x5F; lower 'e' would sort after).
    EXPECT_EQ(nameAt(section, root[0]), u"ALPHA");
    EXPECT_EQ(nameAt(section, root[1]), u"beta");
    EXPECT_EQ(nameAt(section, root[2]), u"B_");
}

TEST(RebuildRefuses, ResourcesGivenTwice) {
    auto set = smallSet();
    set.push_back(set[0]);
    const Bytes image = makeImage(mingwLike(true, smallSet()));
    EXPECT_NE(errorOf([&] { replaceResources(image, set); }).find("given twice"),
              std::string::npos);
}

TEST(RebuildRefuses, DataAfterTheLastSection) {
    Bytes image = makeImage(mingwLike(true, smallSet()));
    image.resize(image.size() + 0x200, 0xEE);
    EXPECT_NE(errorOf([&] {
                  replaceResources(image, smallSet());
              }).find("512 bytes after the last section"),
              std::string::npos);
}

TEST(RebuildRefuses, ASectionItCannotMove) {
    ImagePlan plan = mingwLike(false, smallSet());
    plan.sections.push_back({".data", dataFlags, pattern(64, 3)});
    const Bytes image = makeImage(plan);
    EXPECT_NE(errorOf([&] { replaceResources(image, smallSet()); }).find("section .data follows"),
              std::string::npos);
}

TEST(RebuildRefuses, NoRoomForANewSectionHeader) {
    ImagePlan plan;
    plan.sizeOfHeaders = 0x200;
    // Headers end at 0x44 + 20 + 240 = 0x148; four headers of 40 bytes fill the rest up to 0x1E8.
    for (int i = 0; i < 4; ++i) {
        plan.sections.push_back({".d" + std::to_string(i), dataFlags, pattern(16, 1)});
    }
    const Bytes image = makeImage(plan);
    EXPECT_NE(errorOf([&] { replaceResources(image, smallSet()); }).find("no room in the headers"),
              std::string::npos);
    plan.sections.pop_back();
    EXPECT_EQ(errorOf([&] { replaceResources(makeImage(plan), smallSet()); }), "");
}

// A signature cannot survive the rebuild; the table goes and the output is
// ready to be signed again.
TEST(RebuildCertificate, IsDropped) {
    const Bytes unsigned_ = makeImage(mingwLike(true, smallSet()));
    Bytes image = unsigned_;
    const ImageLayout l = readLayout(image);
    const auto certificate = static_cast<std::uint32_t>(image.size());
    image.resize(image.size() + 0x100, 0xCC);
    put32(image, l.dataDirectoryOffset + 4 * 8, certificate);
    put32(image, l.dataDirectoryOffset + 4 * 8 + 4, 0x100);
    const Bytes out = replaceResources(image, smallSet());
    const ImageLayout after = readLayout(out);
    EXPECT_EQ(after.directory(4).rva, 0u);
    EXPECT_EQ(after.directory(4).size, 0u);
    EXPECT_EQ(out.size(), after.endOfSections());
    EXPECT_EQ(out, replaceResources(unsigned_, smallSet()));
}

// Images the reader refuses, each with what is wrong.
struct BadImage {
    const char* name;
    void (*spoil)(Bytes&);
    const char* message;
};

class ReadRefuses : public testing::TestWithParam<BadImage> {};

TEST_P(ReadRefuses, WithItsMessage) {
    Bytes image = makeImage(mingwLike(true, smallSet()));
    GetParam().spoil(image);
    const std::string message = errorOf([&] { readResources(image); });
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
}

// The resource section of the mingwLike image starts at file offset 0x800.
constexpr std::size_t rsrc = 0x800;
// Its data directory entry (PE32+): 0x58 + 112 + 2 * 8.
constexpr std::size_t rsrcDirectory = 0x58 + 112 + 16;

INSTANTIATE_TEST_SUITE_P(
    Images, ReadRefuses,
    testing::Values(
        BadImage{"NotMz", [](Bytes& b) { b[0] = 'X'; }, "no MZ header"},
        BadImage{"TooShort", [](Bytes& b) { b.resize(0x20); }, "no MZ header"},
        BadImage{"NoSignature", [](Bytes& b) { b[0x41] = 'X'; }, "no PE signature"},
        BadImage{"HeaderOffsetOutside", [](Bytes& b) { put32(b, 0x3C, 0x7FFFFFF0); },
                 "lies outside the file"},
        BadImage{"HeadersCut", [](Bytes& b) { b.resize(0x60); },
                 "the optional header lies outside the file"},
        BadImage{"BadMagic", [](Bytes& b) { b[0x58] = 0x77; }, "optional header magic"},
        BadImage{"SectionTableCut", [](Bytes& b) { b.resize(0x150); }, "the section table"},
        BadImage{"DirectoryInNoSection", [](Bytes& b) { put32(b, rsrcDirectory, 0x90000); },
                 "outside every section"},
        BadImage{"TableOutside", [](Bytes& b) { put32(b, rsrc + 16 + 4, 0x8000F000); },
                 "points outside the resource section"},
        BadImage{"NameOutside", [](Bytes& b) { put32(b, rsrc + 16, 0x8000F000); },
                 "points outside the resource section"},
        BadImage{"DataOutside",
                 [](Bytes& b) {
                     // The first data entry follows the root (32 bytes) and four tables of 24.
                     put32(b, rsrc + 32 + 4 * 24, 0x7FFFFF00);
                 },
                 "resource data at RVA"},
        BadImage{"SectionDataCut", [](Bytes& b) { b.resize(rsrc + 0x20); }, "outside"},
        // The first language table's entry (offset 96) pointing to another table.
        BadImage{"TooDeep", [](Bytes& b) { put32(b, rsrc + 100, 0x80000000 | 104); },
                 "more than three levels"},
        // Its key pointing to a string (the root's id count 2, then key 5).
        BadImage{"NamedLanguage", [](Bytes& b) { put32(b, rsrc + 96, 0x8000000E); },
                 "language given by name"},
        BadImage{"Loop", [](Bytes& b) { put32(b, rsrc + 16 + 4, 0x80000000); }, "loop"},
        BadImage{"LeafTooEarly", [](Bytes& b) { put32(b, rsrc + 16 + 4, 0x60); },
                 "where a table was expected"}),
    [](const auto& info) { return info.param.name; });
