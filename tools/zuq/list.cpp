// zuq list ARCHIVE: one line per entry and a total.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/walks.h"

#include "archive/entry.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

// Prints just the number of entries, for build scripts. A bad header is
// reported as the full listing reports it.
int countArchive(const unsigned char* archive, std::uint32_t size) {
    std::uint64_t count = 0;
    EntryWalk walk;
    startEntryWalk(&walk, archive, size);
    HeaderResult read;
    while ((read = readNextEntry(&walk)) == headerSound) {
        ++count;
    }
    if (read == headerBad) {
        std::ostream discard(nullptr);
        return listArchive(archive, size, discard, std::cerr);
    }
    std::cout << count << '\n';
    return exitSuccess;
}

int runList(const std::string& path, bool countOnly) {
    ArchiveFile archive;
    std::string error;
    if (!archive.open(path, &error)) {
        complain(error);
        return exitUsage;
    }
    if (countOnly) {
        return countArchive(archive.data(), archive.size());
    }
    return listArchive(archive.data(), archive.size(), std::cout, std::cerr);
}

} // namespace

void addListCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    auto countOnly = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand(
        "list", "List the entries of ARCHIVE: method, packed and unpacked size, name.\n"
                "Stops at the first bad entry header (exit code 1).");
    command->add_option("ARCHIVE", *path, "Payload archive file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_flag("--count", *countOnly, "Print only the number of entries");
    command->footer(
        "Exit codes: 0 every header sound, 1 a bad entry, 2 usage error or unreadable archive.");
    command->callback([path, countOnly] {
        int code = runList(*path, *countOnly);
        if (code != exitSuccess) {
            exitWith(code);
        }
    });
}
