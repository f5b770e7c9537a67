// Real stubs: small programs built here by the MinGW compilers with windres
// resources (dialog 110, icon group 108, manifest 1), as the setup stub is.
// Their rebuilt images must read back, satisfy objdump and readpe, and
// still run and find every resource under Wine.
#include "tests/unit/pe/pe_test_support.h"
#include "tools/zuq/pe/image_layout.h"
#include "tools/zuq/pe/pe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace pe_test;
using zuq::pe::ImageLayout;
using zuq::pe::readLayout;
using zuq::pe::readResources;
using zuq::pe::replaceResources;
using zuq::pe::Resource;
using zuq::pe::ResourceId;

namespace {

struct Arch {
    const char* name;
    const char* objdump;
    std::uint16_t machine;
    const char* wineLoader; // 32-bit Wine exists only where the machine runs i386 programs
};

std::string fixture(const Arch& arch, const std::string& variant = "") {
    return std::string(QM_PE_FIXTURE_DIR) + "/fixture-" + arch.name + variant + ".exe";
}

bool isType(const Resource& r, std::uint16_t type) {
    return !r.type.isName() && r.type.id == type;
}

// What zuq setup writes: the stub's dialog and manifest, the icon group
// made again from the .ico, the payload and a version resource.
std::vector<Resource> setupResources(const std::vector<Resource>& stub, std::uint32_t payloadSize) {
    std::vector<Resource> out;
    for (const Resource& r : stub) {
        if (isType(r, 5) || isType(r, 24)) {
            out.push_back(r);
        }
    }
    const Bytes ico = readAll(std::string(QM_PE_FIXTURE_DIR) + "/fixture.ico");
    for (Resource& r : zuq::pe::iconGroupFromIco(ico, 108, 1, 0x409)) {
        out.push_back(std::move(r));
    }
    out.push_back({ResourceId::named(u"ZUQ"), ResourceId::number(119), 0x409, 0,
                   fixturePayload(payloadSize)});
    zuq::pe::VersionFields fields;
    fields.version = "2.1.0.0";
    fields.companyName = "Example Software Ltd";
    fields.productName = "Fixture Product";
    out.push_back(zuq::pe::versionResource(fields));
    return out;
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

std::uint32_t alignTo(std::uint64_t v, std::uint32_t a) {
    return static_cast<std::uint32_t>((v + a - 1) / a * a);
}

} // namespace

class Stub : public testing::TestWithParam<Arch> {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "the fixture stubs are built by the native build only";
#endif
        stub_ = readAll(fixture(GetParam()));
        if (stub_.empty()) {
            GTEST_SKIP() << "no MinGW compiler for " << GetParam().name << ": "
                         << fixture(GetParam()) << " was not built";
        }
        rebuilt_ = replaceResources(stub_, setupResources(readResources(stub_), 300000));
    }

    void TearDown() override {
        for (const std::string& path : written_) {
            std::filesystem::remove(path);
        }
    }

    std::string writeRebuilt(const std::string& name) {
        const std::string path = tempPath(std::string(GetParam().name) + "-" + name + ".exe");
        writeAll(path, rebuilt_);
        written_.push_back(path);
        return path;
    }

    std::vector<std::string> written_;

    Bytes stub_;
    Bytes rebuilt_;
};

TEST_P(Stub, WindresResourcesRead) {
    const auto resources = readResources(stub_);
    const auto has = [&](std::uint16_t type, std::uint16_t id) {
        return std::any_of(resources.begin(), resources.end(),
                           [&](const Resource& r) { return isType(r, type) && r.name.id == id; });
    };
    EXPECT_TRUE(has(5, 110));
    EXPECT_TRUE(has(14, 108));
    EXPECT_TRUE(has(24, 1));
    EXPECT_TRUE(std::any_of(resources.begin(), resources.end(),
                            [](const Resource& r) { return isType(r, 3); }));
    EXPECT_EQ(readLayout(stub_).machine, GetParam().machine);
}

TEST_P(Stub, RebuiltResourcesReadBack) {
    const auto wanted = setupResources(readResources(stub_), 300000);
    EXPECT_TRUE(sameSet(readResources(rebuilt_), wanted));
}

// Every section aligned, none overlapping, sizes and checksum recomputed.
TEST_P(Stub, LayoutHolds) {
    const ImageLayout l = readLayout(rebuilt_);
    const ImageLayout before = readLayout(stub_);
    ASSERT_EQ(l.sections.size(), before.sections.size());
    std::uint32_t nextAddress = l.sizeOfHeaders;
    std::uint64_t nextOffset = 0;
    for (const auto& s : l.sections) {
        EXPECT_EQ(s.virtualAddress % l.sectionAlignment, 0u) << s.name;
        EXPECT_GE(s.virtualAddress, nextAddress) << s.name;
        EXPECT_EQ(s.rawSize % l.fileAlignment, 0u) << s.name;
        if (s.rawSize != 0) {
            EXPECT_EQ(s.rawOffset % l.fileAlignment, 0u) << s.name;
            EXPECT_GE(s.rawOffset, nextOffset) << s.name;
            nextOffset = std::uint64_t{s.rawOffset} + s.rawSize;
        }
        nextAddress = s.virtualAddress + s.mappedSize();
    }
    EXPECT_EQ(l.sizeOfImage, alignTo(nextAddress, l.sectionAlignment));
    EXPECT_EQ(rebuilt_.size(), nextOffset);
    const auto* rsrc = l.sectionAt(l.directory(2).rva);
    ASSERT_NE(rsrc, nullptr);
    EXPECT_EQ(rsrc->name, ".rsrc");
    EXPECT_EQ(rsrc->virtualSize, l.directory(2).size);
    const auto* reloc = l.sectionAt(l.directory(5).rva);
    ASSERT_NE(reloc, nullptr);
    EXPECT_EQ(reloc->name, ".reloc");
    EXPECT_GT(reloc->virtualAddress, rsrc->virtualAddress);
    EXPECT_EQ(l.checksum, recomputedChecksum(rebuilt_, l.checksumOffset()));
    EXPECT_EQ(l.checksum, zuq::pe::imageChecksum(rebuilt_));
    const auto* oldRsrc = before.sectionAt(before.directory(2).rva);
    EXPECT_EQ(l.sizeOfInitializedData - before.sizeOfInitializedData,
              rsrc->rawSize - oldRsrc->rawSize);
}

TEST_P(Stub, Deterministic) {
    EXPECT_EQ(replaceResources(stub_, setupResources(readResources(stub_), 300000)), rebuilt_);
    EXPECT_EQ(replaceResources(rebuilt_, readResources(rebuilt_)), rebuilt_);
}

// The linker's symbol table lies after the last section; an unstripped
// stub is refused rather than cut.
TEST_P(Stub, UnstrippedStubRefused) {
    const Bytes unstripped = readAll(fixture(GetParam(), "-symbols"));
    ASSERT_FALSE(unstripped.empty());
    const std::string message =
        errorOf([&] { replaceResources(unstripped, readResources(unstripped)); });
    EXPECT_NE(message.find("after the last section"), std::string::npos) << message;
}

TEST_P(Stub, ObjdumpShowsTheResourceDirectory) {
    if (std::string(GetParam().objdump).empty()) {
        GTEST_SKIP() << "no objdump for " << GetParam().name;
    }
    const RunResult r = run(std::string(GetParam().objdump) + " -p " + writeRebuilt("objdump"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("The .rsrc Resource Directory section"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Resource Directory [.rsrc]"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Base Relocation Directory [.reloc]"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("len 3]: ZUQ"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("corrupt"), std::string::npos) << r.output;
    // One leaf line per resource written.
    std::size_t leaves = 0;
    for (auto at = r.output.find("Leaf: Addr:"); at != std::string::npos;
         at = r.output.find("Leaf: Addr:", at + 1)) {
        ++leaves;
    }
    EXPECT_EQ(leaves, readResources(rebuilt_).size());
}

TEST_P(Stub, ReadpeAcceptsIt) {
    if (std::string(QM_READPE).empty()) {
        GTEST_SKIP() << "readpe not installed (Debian package pev)";
    }
    const std::string path = writeRebuilt("readpe");
    const RunResult r = run(std::string(QM_READPE) + " -d " + path);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("IMAGE_DIRECTORY_ENTRY_RESOURCE"), std::string::npos) << r.output;
    // peres walks the whole resource tree: one data entry per resource.
    const std::string peres = (std::filesystem::path(QM_READPE).parent_path() / "peres").string();
    const RunResult stats = run(peres + " -s " + path);
    ASSERT_EQ(stats.exitCode, 0) << stats.output;
    const std::string entries = "Total Data Entry:";
    const auto at = stats.output.find(entries);
    ASSERT_NE(at, std::string::npos) << stats.output;
    EXPECT_EQ(std::stoul(stats.output.substr(at + entries.size())), readResources(rebuilt_).size());
    const RunResult version = run(peres + " -v " + path);
    EXPECT_NE(version.output.find("Product Version:                 2.1.0.0"), std::string::npos)
        << version.output;
}

// The loader finds every resource: the fixture exits 0 only when dialog,
// icon, manifest, payload and version all load (3 before the rebuild).
TEST_P(Stub, RunsUnderWine) {
    const std::string loader = GetParam().wineLoader;
    if (std::string(QM_WINE_RUN).empty() || !std::filesystem::exists(loader)) {
        GTEST_SKIP() << "no " << loader << " to run " << GetParam().name << " programs";
    }
    // 32-bit Wine may be installed on a kernel that cannot start it.
    if (run(loader + " --version >/dev/null 2>&1").exitCode != 0) {
        GTEST_SKIP() << loader << " does not start on this machine";
    }
    const std::string wine = "WINE=" + loader + " " + std::string(QM_WINE_RUN) + " ";
    EXPECT_EQ(run(wine + fixture(GetParam())).exitCode, 3);
    EXPECT_EQ(run(wine + writeRebuilt("wine")).exitCode, 0);
    // A stub without resources gets a new section, and runs as well.
    const Bytes bare = readAll(fixture(GetParam(), "-bare"));
    rebuilt_ = replaceResources(bare, setupResources(readResources(stub_), 1000));
    EXPECT_EQ(run(wine + writeRebuilt("wine-bare")).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Arches, Stub,
    testing::Values(Arch{"x86_64", QM_OBJDUMP_X86_64, 0x8664, "/usr/lib/wine/wine64"},
                    Arch{"i686", QM_OBJDUMP_I686, 0x14C, "/usr/lib/wine/wine"}),
    [](const auto& info) { return std::string(info.param.name); });
