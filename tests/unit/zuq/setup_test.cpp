// zuq setup as a vendor runs it: the product file's refusals, each with its
// message and no file left behind, and what a built setup program holds: the
// settings record, the payload packed as zuq pack packs, the resources.
#include "tests/support/scratch_dir.h"
#include "tests/unit/zuq/run_zuq.h"

#include "resources/ids.h"
#include "setup/settings.h"
#include "tools/zuq/pe/pe.h"
#include "tools/zuq/setup_builder.h"
#include "tools/zuq/stubs/stubs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;
namespace pe = zuq::pe;

namespace {

// The sample's product file, key by key, so that a test can change one line.
const std::vector<std::pair<std::string, std::string>> sampleLines = {
    {"name", "name = \"Quillmoran\""},
    {"version-caption", "version-caption = \"Quillmoran version 2.1\""},
    {"folder", "folder = \"Quillmoran\""},
    {"program", "program = \"vorlenn\""},
    {"default-parent-dir", "default-parent-dir = 'c:\\program files'"},
    {"desktop-icon", "desktop-icon = true"},
    {"files", "files = \"files\""},
    {"[uninstall]", "[uninstall]"},
    {"uninstall.enabled", "enabled = true"},
    {"uninstall.switch", "switch = \"/uninstall\""},
    {"uninstall.icon-index", "icon-index = 1"},
    {"[help]", "[help]"},
    {"help.enabled", "enabled = true"},
    {"help.file", "file = \"vorlenn.hlp\""},
    {"help.shortcut-name", "shortcut-name = \"Quillmoran Help.lnk\""},
};

std::string productText(const std::map<std::string, std::string>& changes) {
    std::string text;
    for (const auto& [key, line] : sampleLines) {
        const auto changed = changes.find(key);
        text += (changed == changes.end() ? line : changed->second) + "\n";
    }
    return text;
}

Bytes bytesOfText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A one-image .ico: the directory and a PNG-like image body.
Bytes tinyIco() {
    Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
    const Bytes image = bytesOfText("\x89PNG\r\n\x1a\nnot really a picture");
    const auto size = static_cast<std::uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) {
        ico.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    }
    ico.insert(ico.end(), {22, 0, 0, 0});
    ico.insert(ico.end(), image.begin(), image.end());
    return ico;
}

bool carriesStubs() {
    return !carriedStub(StubArch::i686).empty() && !carriedStub(StubArch::x86_64).empty();
}

class ZuqSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(hostPath(scratch.join("product\\files\\docs")));
        writeFile(scratch.join("product\\files\\VORLENN.EXE"), bytesOfText("MZ program"));
        writeFile(scratch.join("product\\files\\vorlenn.hlp"), bytesOfText("help"));
        writeFile(scratch.join("product\\files\\docs\\read me.txt"),
                  bytesOfText(std::string(3000, 'a')));
    }

    void writeProduct(const std::string& text) {
        writeFile(scratch.join("product\\product.toml"), bytesOfText(text));
    }

    ZuqRun setup(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"setup", hostPath(scratch.join("product")), "-o",
                                         hostPath(output())};
        args.insert(args.end(), extra.begin(), extra.end());
        fs::current_path(hostPath(scratch.path()));
        return runZuq(args, scratch.join("zuq.out"), scratch.join("zuq.err"));
    }

    std::string output() const {
        return scratch.join("out\\my-setup.exe");
    }

    // The run must refuse with exit 2, say `message`, and leave no file.
    void expectRefused(const ZuqRun& run, const std::string& message) {
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_FALSE(fileExists(output()));
        EXPECT_FALSE(fileExists(output() + ".partial"));
    }

    void SetUpOutputFolder() {
        fs::create_directories(hostPath(scratch.join("out")));
    }

    ScratchDir scratch;
};

// --- refusals of the product file ------------------------------------------------

TEST_F(ZuqSetup, InvalidTomlNamesLineAndColumn) {
    writeProduct("name = \"Quillmoran\"\nfolder = Quillmoran\n");
    const ZuqRun run = setup();
    expectRefused(run, "product.toml:2:");
}

TEST_F(ZuqSetup, MissingRequiredKeyIsNamed) {
    for (const char* key : {"name", "version-caption", "folder", "program"}) {
        writeProduct(productText({{key, ""}}));
        expectRefused(setup(), std::string("missing key ") + key);
    }
    writeProduct(productText({{"uninstall.enabled", ""}}));
    expectRefused(setup(), "missing key uninstall.enabled");
}

TEST_F(ZuqSetup, UnknownKeysAndTablesAreRefusedNotIgnored) {
    writeProduct(productText({{"folder", "foldr = \"Quillmoran\""}}));
    expectRefused(setup(), "unknown key foldr (line 3");
    writeProduct(productText({{"help.file", "flie = \"vorlenn.hlp\""}}));
    expectRefused(setup(), "unknown key help.flie");
    writeProduct(productText({}) + "[setpu]\nicon = \"a.ico\"\n");
    expectRefused(setup(), "unknown table [setpu]");
}

TEST_F(ZuqSetup, ValuesOfTheWrongKindAreRefused) {
    writeProduct(productText({{"desktop-icon", "desktop-icon = \"yes\""}}));
    expectRefused(setup(), "desktop-icon must be true or false");
    writeProduct(productText({{"uninstall.icon-index", "icon-index = \"1\""}}));
    expectRefused(setup(), "uninstall.icon-index must be an integer");
}

TEST_F(ZuqSetup, TextsLongerThanTheirBuffersAreRefused) {
    const std::string caption(versionCaptionCapacity, 'c'); // one character too many
    writeProduct(productText({{"version-caption", "version-caption = \"" + caption + "\""}}));
    expectRefused(setup(), "version-caption is 249 characters long; the setup holds at most 248");

    writeProduct(productText({{"name", "name = \"" + std::string(nameCapacity, 'n') + "\""}}));
    expectRefused(setup(), "name is 128 characters long");

    const std::string parent = "c:\\" + std::string(250, 'p');
    writeProduct(productText({{"default-parent-dir", "default-parent-dir = '" + parent + "'"}}));
    expectRefused(setup(), "install directory; the setup holds at most 258");
}

TEST_F(ZuqSetup, SwitchOfTwelveCharactersIsRefused) {
    writeProduct(productText({{"uninstall.switch", "switch = \"/uninstall12\""}}));
    expectRefused(setup(), "uninstall.switch \"/uninstall12\" is 12 characters long; the setup "
                           "holds at most 11");
}

TEST_F(ZuqSetup, EmptySwitchAndBadVersionAreRefused) {
    writeProduct(productText({{"uninstall.switch", "switch = \"\""}}));
    expectRefused(setup(), "uninstall.switch must not be empty");
    writeProduct(productText({}) + "[setup]\nversion = \"2.1.x\"\n");
    expectRefused(setup(), "setup.version: ");
    writeProduct(productText({}) + "[setup]\nversion = \"1.2.3.4.5\"\n");
    expectRefused(setup(), "setup.version: ");
}

TEST_F(ZuqSetup, TextsThatAreNotNamesOrNotAsciiAreRefused) {
    writeProduct(productText({{"folder", "folder = \"Quill:moran\""}}));
    expectRefused(setup(), "folder \"Quill:moran\" is not a valid file name");
    writeProduct(productText({{"name", "name = \"Caf\u00e9\""}}));
    expectRefused(setup(), "name must be printable ASCII text");
}

// --- refusals of the files ------------------------------------------------------

TEST_F(ZuqSetup, ProgramAndHelpFileMustBeAmongTheFiles) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
    writeProduct(productText({{"program", "program = \"quill\""}}));
    expectRefused(setup(), "program: quill.exe is not among the files");
    writeProduct(productText({{"help.file", "file = \"manual.chm\""}}));
    expectRefused(setup(), "help.file: manual.chm is not among the files");
}

TEST_F(ZuqSetup, FilesFolderMissingOrEmptyIsRefused) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
    writeProduct(productText({{"files", "files = \"nowhere\""}}));
    expectRefused(setup(), "does not exist");
    fs::create_directories(hostPath(scratch.join("product\\empty")));
    writeProduct(productText({{"files", "files = \"empty\""}}));
    expectRefused(setup(), "holds no files");
}

TEST_F(ZuqSetup, WhatZuqPackRefusesStopsTheSetup) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
#ifndef _WIN32
    writeFile(scratch.join("product\\files\\a:b.txt"), bytesOfText("colon"));
    writeProduct(productText({}));
    expectRefused(setup(), "a:b.txt");
#endif
    // A name that fits below c:\program files\Quillmoran\ but not below a
    // longer install directory of the product's own.
    fs::remove(hostPath(scratch.join("product\\files\\a:b.txt")));
    const std::string deep(200, 'd');
    writeFile(scratch.join("product\\files\\" + deep), bytesOfText("deep"));
    writeProduct(productText(
        {{"default-parent-dir", "default-parent-dir = 'c:\\" + std::string(50, 'p') + "'"}}));
    expectRefused(setup(), deep.substr(0, 40));
}

TEST_F(ZuqSetup, IconThatIsNotAnIcoIsRefused) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
    writeFile(scratch.join("product\\setup.ico"), bytesOfText("GIF89a not an icon"));
    writeProduct(productText({}) + "[setup]\nicon = \"setup.ico\"\n");
    expectRefused(setup(), "setup.ico is not a usable .ico file");
}

TEST_F(ZuqSetup, StubOfAnotherLayoutIsRefused) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
    const auto carried = carriedStub(StubArch::x86_64);
    Bytes stub(carried.begin(), carried.end());
    const std::size_t record = findSettingsRecord(stub);
    stub[record + offsetof(Settings, layout)] = settingsLayout + 1;
    writeFile(scratch.join("other-layout.exe"), stub);
    writeProduct(productText({}));
    expectRefused(setup({"--stub", hostPath(scratch.join("other-layout.exe"))}),
                  "settings record has layout 2");

    stub[record] ^= 0x20; // the marker no longer reads
    writeFile(scratch.join("no-record.exe"), stub);
    expectRefused(setup({"--stub", hostPath(scratch.join("no-record.exe"))}),
                  "holds no settings record");

    const auto i686 = carriedStub(StubArch::i686);
    writeFile(scratch.join("i686.exe"), Bytes(i686.begin(), i686.end()));
    expectRefused(setup({"--stub", hostPath(scratch.join("i686.exe")), "--arch", "x86_64"}),
                  "is an i686 program, not x86_64");
}

TEST_F(ZuqSetup, SurprisingValuesGetANoteAndStillBuild) {
    if (!carriesStubs()) {
        GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
    }
    SetUpOutputFolder();
    writeProduct(productText({{"default-parent-dir", "default-parent-dir = 'd:\\apps'"}}));
    const ZuqRun run = setup();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("zuq: note: default-parent-dir is \"d:\\apps\""), std::string::npos)
        << run.err;
    EXPECT_TRUE(fileExists(output()));
}

// --- what a built setup holds ----------------------------------------------------

Settings recordOf(const Bytes& program) {
    Settings record;
    std::memcpy(&record, &program[findSettingsRecord(program)], sizeof record);
    return record;
}

const pe::Resource* findResource(const std::vector<pe::Resource>& resources,
                                 const pe::ResourceId& type, std::uint16_t id) {
    for (const pe::Resource& r : resources) {
        if (r.type == type && r.name == pe::ResourceId::number(id)) {
            return &r;
        }
    }
    return nullptr;
}

class BuiltSetup : public ZuqSetup {
  protected:
    void SetUp() override {
        if (!carriesStubs()) {
            GTEST_SKIP() << "this zuq carries no stubs (built before the Windows builds)";
        }
        ZuqSetup::SetUp();
        SetUpOutputFolder();
    }
};

TEST_F(BuiltSetup, RecordCarriesTheProductsValuesAndTheCount) {
    writeProduct(productText({
        {"name", "name = \"Zeltrane Studio\""},
        {"version-caption", "version-caption = 'Zeltrane \"Studio\" 3.0'"},
        {"folder", "folder = \"Zeltrane\""},
        {"program", "program = \"vorlenn\""},
        {"default-parent-dir", "default-parent-dir = 'd:\\apps\\tools'"},
        {"desktop-icon", "desktop-icon = false"},
        {"uninstall.enabled", "enabled = false"},
        {"uninstall.switch", "switch = \"/deinstall!\""},
        {"uninstall.icon-index", "icon-index = 3"},
        {"help.file", "file = \"VORLENN.HLP\""},
        {"help.shortcut-name", "shortcut-name = \"Zeltrane Manual.lnk\""},
    }));
    const ZuqRun run = setup({"--arch", "x86_64"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Settings record = recordOf(readFile(output()));
    EXPECT_EQ(record.desktopIcon, 0);
    EXPECT_EQ(record.fileCount, 3);
    EXPECT_STREQ(record.versionCaption, "Zeltrane \"Studio\" 3.0");
    EXPECT_STREQ(record.productName, "Zeltrane Studio");
    EXPECT_STREQ(record.folderName, "Zeltrane");
    EXPECT_STREQ(record.programBase, "vorlenn");
    EXPECT_EQ(record.makeUninstall, 0);
    EXPECT_STREQ(record.uninstallSwitch, "/deinstall!"); // eleven characters fit inline
    EXPECT_EQ(record.uninstallIconIndex, 3);
    EXPECT_EQ(record.makeHelpShortcut, 1);
    EXPECT_STREQ(record.helpFile, "VORLENN.HLP"); // found among the files without regard to case
    EXPECT_STREQ(record.helpShortcutName, "Zeltrane Manual.lnk");
    EXPECT_STREQ(record.defaultParentDir, "d:\\apps\\tools");
}

TEST_F(BuiltSetup, PayloadIsWhatZuqPackWritesAndTheResourcesAreKept) {
    writeProduct(productText({}) + "[setup]\nversion = \"2.1.0.7\"\ncompany = \"Example Ltd\"\n");
    ASSERT_EQ(setup().exitCode, 0);
    fs::current_path(hostPath(scratch.path()));
    const ZuqRun pack = runZuq({"pack", hostPath(scratch.join("product\\files")), "-o",
                                hostPath(scratch.join("packed.zuq"))},
                               scratch.join("pack.out"), scratch.join("pack.err"));
    ASSERT_EQ(pack.exitCode, 0) << pack.err;

    const Bytes program = readFile(output());
    const std::vector<pe::Resource> resources = pe::readResources(program);
    const pe::Resource* payload =
        findResource(resources, pe::ResourceId::named(u"ZUQ"), IDR_PAYLOAD);
    ASSERT_NE(payload, nullptr);
    EXPECT_TRUE(payload->data == readFile(scratch.join("packed.zuq")));
    EXPECT_NE(findResource(resources, pe::ResourceId::number(5), IDD_SETUP), nullptr);
    EXPECT_NE(findResource(resources, pe::ResourceId::number(14), IDI_SETUP), nullptr);
    EXPECT_NE(findResource(resources, pe::ResourceId::number(24), 1), nullptr); // manifest
    const pe::Resource* version = findResource(resources, pe::ResourceId::number(16), 1);
    ASSERT_NE(version, nullptr);
    const std::u16string company = u"Example Ltd";
    const std::string companyBytes(reinterpret_cast<const char*>(company.data()),
                                   company.size() * 2);
    EXPECT_NE(textOf(version->data).find(companyBytes), std::string::npos);
}

TEST_F(BuiltSetup, VendorIconReplacesTheIconGroup) {
    writeFile(scratch.join("product\\brand.ico"), tinyIco());
    writeProduct(productText({}) + "[setup]\nicon = \"brand.ico\"\n");
    ASSERT_EQ(setup().exitCode, 0);
    const std::vector<pe::Resource> resources = pe::readResources(readFile(output()));
    const pe::Resource* group = findResource(resources, pe::ResourceId::number(14), IDI_SETUP);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->data[4], 1); // one image, as the .ico has
    int icons = 0;
    for (const pe::Resource& r : resources) {
        icons += r.type == pe::ResourceId::number(3);
    }
    EXPECT_EQ(icons, 1); // the stub's own two images are gone
}

TEST_F(BuiltSetup, SameInputGivesTheSameBytes) {
    writeProduct(productText({}));
    ASSERT_EQ(setup().exitCode, 0);
    const Bytes first = readFile(output());
    ASSERT_EQ(setup().exitCode, 0);
    EXPECT_TRUE(readFile(output()) == first);
}

#ifndef _WIN32
// Whoever may read the setup may run it; nobody gains a right to read it.
TEST_F(BuiltSetup, WrittenProgramCanBeRunByWhoeverMayReadIt) {
    writeProduct(productText({}));
    const mode_t before = umask(027);
    const auto run = setup();
    umask(before);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::perms perms = fs::status(hostPath(output())).permissions();
    EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::owner_exec | fs::perms::group_read |
                                          fs::perms::group_exec);
}
#endif

TEST_F(BuiltSetup, AnyNumberOfThreadsGivesTheSameBytes) {
    writeProduct(productText({}));
    for (int i = 0; i < 16; ++i) {
        writeFile(scratch.join("product\\files\\docs\\page" + std::to_string(i) + ".txt"),
                  bytesOfText(std::string(200 + 300 * i, char('a' + i)) + "end of the page\n"));
    }
    ASSERT_EQ(setup({"--threads", "1"}).exitCode, 0);
    const Bytes one = readFile(output());
    ASSERT_EQ(setup({"--threads", "6"}).exitCode, 0);
    EXPECT_TRUE(readFile(output()) == one);
    ASSERT_EQ(setup({"--threads", "6", "--fast"}).exitCode, 0);
    const Bytes fastMany = readFile(output());
    ASSERT_EQ(setup({"--threads", "1", "--fast"}).exitCode, 0);
    EXPECT_TRUE(readFile(output()) == fastMany);
}

TEST_F(BuiltSetup, ListTestAndExtractReadTheSetupsPayload) {
    writeProduct(productText({}));
    ASSERT_EQ(setup().exitCode, 0);
    const ZuqRun list = runZuq({"list", "--count", hostPath(output())}, scratch.join("l.out"),
                               scratch.join("l.err"));
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find('3'), std::string::npos) << list.out;
    const ZuqRun test =
        runZuq({"test", hostPath(output())}, scratch.join("t.out"), scratch.join("t.err"));
    EXPECT_EQ(test.exitCode, 0) << test.err;
    fs::create_directories(hostPath(scratch.join("x")));
    const ZuqRun extract =
        runZuq({"extract", "-q", hostPath(output()), hostPath(scratch.join("x"))},
               scratch.join("x.out"), scratch.join("x.err"));
    EXPECT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_TRUE(readFile(scratch.join("x\\docs\\read me.txt")) ==
                readFile(scratch.join("product\\files\\docs\\read me.txt")));
}

TEST_F(BuiltSetup, AProgramWithoutPayloadIsNotAnArchive) {
    const auto stub = carriedStub(StubArch::i686);
    writeFile(scratch.join("stub.exe"), Bytes(stub.begin(), stub.end()));
    const ZuqRun list = runZuq({"list", hostPath(scratch.join("stub.exe"))}, scratch.join("l.out"),
                               scratch.join("l.err"));
    EXPECT_EQ(list.exitCode, 2);
    EXPECT_NE(list.err.find("without a payload"), std::string::npos) << list.err;
}

} // namespace
