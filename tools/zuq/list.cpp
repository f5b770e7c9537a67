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

struct ListOptions {
    std::string archive;
    bool countOnly = false;
};

int runList(const ListOptions& options) {
    ArchiveFile archive;
    if (!archive.openOrComplain(options.archive)) {
        return exitUsage;
    }
    if (options.countOnly) {
        return countArchive(archive.data(), archive.size());
    }
    return listArchive(archive.data(), archive.size(), std::cout, std::cerr);
}

const CommandText listText = {
    "list",
    "List the entries of ARCHIVE: method, packed and unpacked size, name.\n"
    "Stops at the first bad entry header (exit code 1).",
    "Exit codes: 0 every header sound, 1 a bad entry, 2 usage error or unreadable archive."};

} // namespace

void addListCommand(CLI::App& app) {
    auto [command, options] = addCommand<ListOptions>(app, listText, runList);
    addArchiveArgument(command, options->archive);
    command->add_flag("--count", options->countOnly, "Print only the number of entries");
}
