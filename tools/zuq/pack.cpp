// zuq pack DIR [ARCHIVE]: every file below DIR becomes one entry, named by its
// path relative to DIR with backslashes, compressed with lh5 when that makes
// it smaller and stored otherwise.
//
// The order is fixed and the same tree always gives the same archive
// (pack_tree.cpp). Everything is checked before anything is written, and
// the archive is written to a temporary file that replaces ARCHIVE only at
// the end: a failed pack leaves no archive half written.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/pack_tree.h"

#include "archive/entry.h"
#include "archive/writer.h"
#include "lzh/encoder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct PackOptions {
    std::string dir;
    std::string archive; // positional
    std::string output;  // -o
    std::string installDir = typicalInstallDir;
    bool fast = false;
    bool store = false;
    unsigned threads = threadsPerCore();
};

std::string archivePath(const PackOptions& options) {
    if (!options.output.empty() && !options.archive.empty() && options.output != options.archive) {
        complain("two output archives given: " + options.archive + " and " + options.output);
        exitWith(exitUsage);
    }
    if (!options.output.empty()) {
        return options.output;
    }
    if (!options.archive.empty()) {
        return options.archive;
    }
    std::error_code error;
    const std::string base = bytesOf(fs::weakly_canonical(options.dir, error).filename());
    return (base.empty() || error ? std::string("payload") : base) + ".zuq";
}

void printSummary(const PackTotals& totals) {
    const double ratio =
        totals.bytesIn ? 100.0 * double(totals.bytesOut) / double(totals.bytesIn) : 0.0;
    std::printf("packed %llu entries: %llu bytes in, %llu bytes out, ratio %.1f%%\n",
                static_cast<unsigned long long>(totals.entries),
                static_cast<unsigned long long>(totals.bytesIn),
                static_cast<unsigned long long>(totals.bytesOut), ratio);
}

int runPack(const PackOptions& options) {
    if (!fs::is_directory(options.dir)) {
        complain(options.dir + " is not a directory");
        return exitUsage;
    }
    const fs::path archive = archivePath(options);
    const fs::path temporary = fs::path(archive).concat(".partial");

    const Collection found =
        collectFiles(options.dir, options.installDir.size(), {archive, temporary});
    if (!reportCollection(found)) {
        return exitEntryFailed;
    }

    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
        complain("cannot create " + bytesOf(temporary));
        return exitUsage;
    }
    PackTotals totals;
    std::string fault;
    const PackLevel level = options.store  ? PackLevel::store
                            : options.fast ? PackLevel::fast
                                           : PackLevel::strong;
    const bool written = writeEntries(found, level, options.threads, out, totals, fault);
    out.close();
    std::error_code error;
    if (!written || !out) {
        fs::remove(temporary, error);
        // A stream gone bad is a full or failing disk, not a file's fault.
        if (!out) {
            complain("cannot write " + bytesOf(archive) + ": the disk may be full");
            return exitUsage;
        }
        complain(fault);
        return exitEntryFailed;
    }
    fs::rename(temporary, archive, error);
    if (error) {
        fs::remove(temporary, error);
        complain("cannot replace " + bytesOf(archive));
        return exitUsage;
    }
    printSummary(totals);
    return exitSuccess;
}

const CommandText packText = {
    "pack",
    "Pack every file below DIR into a payload archive, named relative to DIR.\n"
    "Each entry is lh5-compressed, or stored when that is not smaller. The same "
    "tree always gives the same archive.",
    "Symbolic links and empty directories are skipped with a note. Names that "
    "the setup cannot install and files of 4 GiB or more stop the pack before "
    "anything is written.\n"
    "Exit codes: 0 packed, 1 a file cannot be packed, 2 usage error or the "
    "archive cannot be written."};

} // namespace

void addPackCommand(CLI::App& app) {
    auto [command, options] = addCommand<PackOptions>(app, packText, runPack);
    command->add_option("DIR", options->dir, "Directory to pack")->required();
    command->add_option("ARCHIVE", options->archive, "Archive to write (or use -o)");
    command->add_option("-o,--output", options->output,
                        "Archive to write; default DIR's name with .zuq, in the current directory");
    command->add_flag("--fast", options->fast, "Faster, slightly weaker compression");
    command->add_flag("--store", options->store, "Store every file uncompressed");
    addThreadsOption(*command, options->threads, packThreadsHelp);
    command
        ->add_option("--install-dir", options->installDir,
                     "Install directory that names must fit below (trailing backslash "
                     "included)")
        ->capture_default_str();
}
