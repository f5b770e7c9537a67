// Entry names that Windows opens as devices in any directory. Written as a
// file, "NUL" swallows the data and "COM1" sends it to a port, while the walk
// would count the entry as installed; such names are refused like names that
// climb out of the install directory, on every platform, so that zuq judges
// an archive as the setup program does.
#include "archive/entry.h"
#include "archive/extract.h"
#include "archive/writer.h"

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/scratch_dir.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace {} // namespace

TEST(DeviceNames, DeviceComponentsAreUnsafe) {
    for (const char* name :
         {"NUL", "nul", "nul.txt", "Con", "PRN.log", "aux", "AUX .txt", "com1", "COM9.bmp", "LPT1",
          "lpt9.x.y", "CONIN$", "conout$", "templates\\CON\\a.bmp", "a\\b\\nul.png", "x/Com3/y"}) {
        EXPECT_FALSE(isSafeEntryName(name)) << name;
    }
}

TEST(DeviceNames, NamesThatOnlyResembleDevicesAreSafe) {
    for (const char* name :
         {"CONSOLE", "nullable.txt", "COM10", "COM0", "LPT", "com", "con_", "a.nul", "x.con\\y",
          "NUL_", "_AUX", "templates\\Console\\c.bmp", "AUXILIARY.hlp", "LPTX"}) {
        EXPECT_TRUE(isSafeEntryName(name)) << name;
    }
}

TEST(DeviceNames, ExtractionStopsAtADeviceName) {
    ScratchDir scratch;
    std::string dir = scratch.join("inst");
    std::filesystem::create_directory(hostPath(dir));
    Bytes archive;
    appendEntry(archive, "first.txt", builderStored, text("kept"), 4);
    appendEntry(archive, "templates\\nul.bmp", builderStored, text("lost"), 4);
    appendEntry(archive, "after.txt", builderStored, text("never"), 5);

    auto size = static_cast<std::uint32_t>(archive.size());
    std::int32_t second = extractEntry(archive.data(), 0, size, dir.c_str());
    ASSERT_GT(second, 0);
    EXPECT_EQ(extractEntry(archive.data(), static_cast<std::uint32_t>(second), size, dir.c_str()),
              entryBadHeader);
    EXPECT_EQ(entryFault, faultUnsafeName);
    EXPECT_EQ(extractArchive(archive.data(), size, dir.c_str()), archiveFailed);
    EXPECT_EQ(readFile(dir + "\\first.txt"), text("kept"));
    EXPECT_FALSE(directoryExists(dir + "\\templates"));
    EXPECT_FALSE(fileExists(dir + "\\after.txt"));
}

TEST(DeviceNames, PackRefusesThemBeforeAnArchiveIsWritten) {
    std::size_t dirLength = std::strlen(typicalInstallDir);
    for (const char* name : {"NUL", "templates\\nul.bmp", "Com1.txt", "a\\LPT3\\b"}) {
        EXPECT_EQ(checkEntryName(name, dirLength), nameDevice) << name;
    }
    for (const char* name : {"CONSOLE.txt", "templates\\Console\\c.bmp", "COM10"}) {
        EXPECT_EQ(checkEntryName(name, dirLength), nameFits) << name;
    }
}
