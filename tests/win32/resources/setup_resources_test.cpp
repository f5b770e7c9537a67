// The setup program's resources as Windows reads them: the dialog template,
// the icon group, the payload archive and the manifest.
#include "resources/ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD buttonAtom = 0x80, editAtom = 0x81, staticAtom = 0x82;

// One resource of the setup program, as bytes.
std::string resourceBytes(LPCSTR type, LPCSTR name, WORD language) {
    HMODULE program = LoadLibraryExA(QM_TEST_SETUP_PROGRAM, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!program) {
        return {};
    }
    std::string bytes;
    HRSRC found = FindResourceExA(program, type, name, language);
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    if (loaded) {
        const char* data = static_cast<const char*>(LockResource(loaded));
        bytes.assign(data, SizeofResource(program, found));
    }
    FreeLibrary(program);
    return bytes;
}

// Ordinals of name fields, written "#<n>".
std::string atom(WORD value) {
    std::string name = "#";
    name += std::to_string(value);
    return name;
}

// Reads a dialog template front to back.
class TemplateReader {
  public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}

    DWORD dword() {
        DWORD v = 0;
        take(&v, sizeof v);
        return v;
    }
    WORD word() {
        WORD v = 0;
        take(&v, sizeof v);
        return v;
    }
    short number() {
        return static_cast<short>(word());
    }
    std::string text() {
        std::string s;
        for (WORD c = word(); c != 0; c = word()) {
            s.push_back(static_cast<char>(c));
        }
        return s;
    }
    // A name or ordinal field: ordinals come back as "#<n>".
    std::string nameOrOrdinal() {
        if (peekWord() == 0xFFFF) {
            word();
            return atom(word());
        }
        return text();
    }
    void alignToDword() {
        offset_ = (offset_ + 3) & ~static_cast<size_t>(3);
    }
    void skip(size_t n) {
        offset_ += n;
    }
    bool overrun() const {
        return offset_ > bytes_.size();
    }

  private:
    WORD peekWord() const {
        WORD v = 0;
        if (offset_ + sizeof v <= bytes_.size()) {
            std::memcpy(&v, bytes_.data() + offset_, sizeof v);
        }
        return v;
    }
    void take(void* out, size_t n) {
        if (offset_ + n <= bytes_.size()) {
            std::memcpy(out, bytes_.data() + offset_, n);
        }
        offset_ += n;
    }

    const std::string& bytes_;
    size_t offset_ = 0;
};

struct Control {
    int id;
    std::string className;
    std::string text;
    short x, y, width, height;
    DWORD style;

    bool operator==(const Control&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Control& c) {
    return out << "{id " << c.id << ", class " << c.className << ", \"" << c.text << "\", " << c.x
               << "," << c.y << " " << c.width << "x" << c.height << ", style 0x" << std::hex
               << c.style << std::dec << "}";
}

TEST(SetupResources, DialogTemplateHoldsTheSetupDialog) {
    std::string bytes = resourceBytes(RT_DIALOG, MAKEINTRESOURCEA(IDD_SETUP), english);
    ASSERT_FALSE(bytes.empty());
    TemplateReader reader(bytes);

    EXPECT_EQ(reader.dword(),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(reader.dword(), 0u);
    WORD count = reader.word();
    EXPECT_EQ(reader.number(), 0);
    EXPECT_EQ(reader.number(), 0);
    EXPECT_EQ(reader.number(), 220);
    EXPECT_EQ(reader.number(), 100);
    EXPECT_EQ(reader.nameOrOrdinal(), "");
    EXPECT_EQ(reader.nameOrOrdinal(), "");
    EXPECT_EQ(reader.text(), "title");
    EXPECT_EQ(reader.word(), 8);
    EXPECT_EQ(reader.text(), "MS Sans Serif");

    std::vector<Control> controls;
    for (WORD i = 0; i < count; ++i) {
        reader.alignToDword();
        Control c;
        c.style = reader.dword();
        reader.dword();
        c.x = reader.number();
        c.y = reader.number();
        c.width = reader.number();
        c.height = reader.number();
        c.id = reader.number();
        c.className = reader.nameOrOrdinal();
        c.text = reader.nameOrOrdinal();
        reader.skip(reader.word());
        controls.push_back(c);
    }
    ASSERT_FALSE(reader.overrun());

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<Control> expected = {
        {IDOK, atom(buttonAtom), "Install", 144, 79, 60, 14, child | BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, atom(buttonAtom), "Cancel", 16, 79, 60, 14, child | BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_DIRECTORY, atom(editAtom), "", 16, 25, 188, 13,
         child | ES_LEFT | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP},
        {IDC_BROWSE, atom(buttonAtom), "browse..", 144, 42, 60, 12,
         child | BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_DESKTOP_ICON, atom(buttonAtom), "Add icon to desktop", 18, 44, 121, 10,
         child | BS_AUTOCHECKBOX | WS_TABSTOP},
        {-1, atom(staticAtom), "Install to:", 18, 15, 82, 9, child | SS_LEFT | WS_GROUP},
        {IDC_PROGRESS, atom(staticAtom), "", 16, 56, 188, 20, child | SS_ETCHEDFRAME},
    };
    EXPECT_EQ(controls, expected);
}

TEST(SetupResources, IconGroupHoldsTwoImages) {
    std::string group = resourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_SETUP), english);
    ASSERT_GE(group.size(), 6u);
    WORD header[3];
    std::memcpy(header, group.data(), sizeof header);
    EXPECT_EQ(header[1], 1); // icons, not cursors
    EXPECT_EQ(header[2], 2);
    EXPECT_EQ(group.size(), 6u + 2 * 14u);
}

TEST(SetupResources, PayloadIsThePackedArchive) {
    std::string payload = resourceBytes("ZUQ", MAKEINTRESOURCEA(IDR_PAYLOAD), english);
    std::ifstream file(QM_TEST_PAYLOAD, std::ios::binary);
    std::string packed{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(packed.empty());
    EXPECT_TRUE(payload == packed);
}

// The version block as Windows' own version functions read it.
std::string versionText(const char* field) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(QM_TEST_SETUP_PROGRAM, &ignored);
    std::string block(size, '\0');
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + field;
    if (size == 0 || !GetFileVersionInfoA(QM_TEST_SETUP_PROGRAM, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return {};
    }
    return value;
}

TEST(SetupResources, VersionResourceNamesTheProductAndItsVersion) {
    EXPECT_EQ(versionText("ProductName"), "Quillmoran");
    EXPECT_EQ(versionText("FileVersion"), "2.1.0.0");
    EXPECT_EQ(versionText("ProductVersion"), "2.1.0.0");
    EXPECT_EQ(versionText("FileDescription"), "Quillmoran Setup");

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(QM_TEST_SETUP_PROGRAM, &ignored);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(QM_TEST_SETUP_PROGRAM, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
}

TEST(SetupResources, ManifestAsksForAdministratorAndCommonControls6) {
    std::string manifest = resourceBytes(RT_MANIFEST, MAKEINTRESOURCEA(1), english);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) { // Windows 10, 11
        EXPECT_NE(manifest.find(os), std::string::npos) << os;
    }
}

} // namespace
