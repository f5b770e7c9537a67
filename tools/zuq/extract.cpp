// zuq extract ARCHIVE DIR: the setup program's extraction walk, entry by
// entry, with DIR as the install directory.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/progress.h"

#include "archive/entry.h"
#include "archive/extract.h"
#include "setup/state.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

namespace {

struct ExtractOptions {
    std::string archive;
    std::string dir;
    bool quiet = false;
    bool noProgress = false;
};

struct ArchiveTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// What the walk will meet, for the progress bar; stops at a bad entry.
ArchiveTotals countEntries(const ArchiveFile& archive) {
    ArchiveTotals totals;
    EntryWalk walk;
    startEntryWalk(&walk, archive.data(), archive.size());
    while (readNextEntry(&walk) == headerSound) {
        ++totals.files;
        totals.bytes += walk.header.unpackedSize;
    }
    return totals;
}

// The bar and the figures of the entries finished before the current one;
// extraction reports the current entry's bytes through entryBytesWritten.
struct BarState {
    ProgressBar* bar = nullptr;
    std::uint64_t filesDone = 0;
    std::uint64_t bytesDone = 0;
    std::size_t dirLength = 0; // currentFile starts with the install directory
};

BarState barState;

void showEntryBytes(std::uint32_t written) {
    // The entry being written counts as a file from its first byte on, as
    // the setup program's panel counts it.
    const char* name = currentFile + std::min(barState.dirLength, std::strlen(currentFile));
    barState.bar->update(barState.filesDone + 1, barState.bytesDone + written, name);
}

// The current directory, or a clear end of the run when it cannot be read
// (it was removed, or the process may not see it).
std::filesystem::path currentDirectory() {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::current_path(error);
    if (error) {
        complain("cannot read the current directory: " + error.message());
        exitWith(exitUsage);
    }
    return dir;
}

// Back to the directory the run started in, since the walk moves the
// current directory; false, with a message, when it is gone.
bool returnTo(const std::filesystem::path& dir) {
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        complain("cannot return to " + dir.string() + ": " + error.message());
    }
    return !error;
}

// The walk changes the current directory; the install directory must
// therefore be absolute.
std::string installDirectory(const std::string& dir) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(dir, error);
    if (error) {
        complain("cannot resolve " + dir + ": " + error.message());
        exitWith(exitUsage);
    }
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path)) {
        complain("cannot create the directory " + path.string());
        exitWith(exitUsage);
    }
    return path.lexically_normal().string();
}

int runExtract(const ExtractOptions& options) {
    ArchiveFile archive;
    if (!archive.openOrComplain(options.archive, ArchiveReading::whole)) {
        return exitUsage;
    }
    std::string dir = installDirectory(options.dir);
    std::filesystem::path startDir = currentDirectory();

    std::uint32_t size = archive.size();
    ArchiveTotals totals = countEntries(archive);
    ProgressBar bar(totals.files, totals.bytes, !options.noProgress);
    barState = {&bar, 0, 0, dir.size() + (dir.empty() || dir.back() != '\\' ? 1 : 0)};
    entryBytesWritten = showEntryBytes;
    std::uint64_t count = 0;
    int result = exitSuccess;
    for (std::uint32_t offset = 0;;) {
        std::int32_t r = extractEntry(archive.data(), offset, size, dir.c_str());
        if (r == entryEndOfArchive) {
            break;
        }
        // The header again, for the entry's name and size (also when only
        // its header was bad, as long as the name could be read).
        EntryHeader header;
        EntryFault headerFault;
        readEntryHeader(archive.data(), size, offset, &header, &headerFault);
        if (r < 0) {
            bar.clear();
            complain(describeEntry(offset, header.name) + ": " + entryFaultText(entryFault));
            result = exitEntryFailed;
            break;
        }
        ++count;
        barState.filesDone = count;
        barState.bytesDone += header.unpackedSize;
        if (!options.quiet) {
            bar.clear();
            std::cout << printable(header.name) << '\n' << std::flush;
        }
        offset = static_cast<std::uint32_t>(r);
    }
    entryBytesWritten = nullptr;
    bar.finish();
    if (!returnTo(startDir) && result == exitSuccess) {
        return exitUsage;
    }
    if (result == exitSuccess) {
        std::cout << "extracted " << count << " entries\n";
    }
    return result;
}

const CommandText extractText = {
    "extract",
    "Extract every entry of ARCHIVE into DIR, as the setup program installs it.\n"
    "Stops at the first entry that fails (exit code 1); a partly written file "
    "is deleted.",
    "Exit codes: 0 every entry extracted, 1 an entry failed, 2 usage error or "
    "unreadable archive."};

} // namespace

void addExtractCommand(CLI::App& app) {
    auto [command, options] = addCommand<ExtractOptions>(app, extractText, runExtract);
    addArchiveArgument(command, options->archive);
    command->add_option("DIR", options->dir, "Install directory; created when missing")->required();
    command->add_flag("-q,--quiet", options->quiet, "Do not list the extracted files");
    command->add_flag("--no-progress", options->noProgress,
                      "Draw no progress bar, even on a terminal");
}
