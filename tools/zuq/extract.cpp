// zuq extract ARCHIVE DIR: the setup program's extraction walk, entry by
// entry, with DIR as the install directory.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/progress.h"

#include "archive/entry.h"
#include "archive/extract.h"

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
};

struct ArchiveTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// What the walk will meet, for the progress bar; stops at a bad entry.
ArchiveTotals countEntries(const ArchiveFile& archive) {
    ArchiveTotals totals;
    std::uint32_t size = archive.size();
    EntryHeader header;
    EntryFault fault;
    for (std::uint32_t offset = 0;
         readEntryHeader(archive.data(), size, offset, &header, &fault) == headerSound;
         offset = header.nextOffset) {
        ++totals.files;
        totals.bytes += header.unpackedSize;
    }
    return totals;
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
    std::string error;
    if (!archive.open(options.archive, &error)) {
        complain(error);
        return exitUsage;
    }
    std::string dir = installDirectory(options.dir);
    std::filesystem::path startDir = std::filesystem::current_path();

    std::uint32_t size = archive.size();
    ArchiveTotals totals = countEntries(archive);
    ProgressBar bar(totals.files, totals.bytes);
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    int result = exitSuccess;
    for (std::uint32_t offset = 0;;) {
        EntryHeader header;
        EntryFault fault;
        bool named = readEntryHeader(archive.data(), size, offset, &header, &fault) == headerSound;
        std::int32_t r = extractEntry(archive.data(), offset, size, dir.c_str());
        if (r == entryEndOfArchive) {
            break;
        }
        if (r < 0) {
            bar.clear();
            complain(describeEntry(offset, named ? header.name : nullptr) + ": " +
                     entryFaultText(entryFault));
            result = exitEntryFailed;
            break;
        }
        ++count;
        bytes += header.unpackedSize;
        if (!options.quiet) {
            bar.clear();
            std::cout << header.name << '\n' << std::flush;
        }
        bar.update(count, bytes, header.name);
        offset = static_cast<std::uint32_t>(r);
    }
    bar.finish();
    std::filesystem::current_path(startDir);
    if (result == exitSuccess) {
        std::cout << "extracted " << count << " entries\n";
    }
    return result;
}

} // namespace

void addExtractCommand(CLI::App& app) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* command = app.add_subcommand(
        "extract", "Extract every entry of ARCHIVE into DIR, as the setup program installs it.\n"
                   "Stops at the first entry that fails (exit code 1); a partly written file "
                   "is deleted.");
    command->add_option("ARCHIVE", options->archive, "Payload archive file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("DIR", options->dir, "Install directory; created when missing")->required();
    command->add_flag("-q,--quiet", options->quiet, "Do not list the extracted files");
    command->footer("Exit codes: 0 every entry extracted, 1 an entry failed, 2 usage error or "
                    "unreadable archive.");
    command->callback([options] {
        int code = runExtract(*options);
        if (code != exitSuccess) {
            exitWith(code);
        }
    });
}
