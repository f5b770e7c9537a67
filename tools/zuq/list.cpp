// zuq list ARCHIVE: one line per entry and a total.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/walks.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

int runList(const std::string& path) {
    ArchiveFile archive;
    std::string error;
    if (!archive.open(path, &error)) {
        complain(error);
        return exitUsage;
    }
    return listArchive(archive.data(), archive.size(), std::cout, std::cerr);
}

} // namespace

void addListCommand(CLI::App& app) {
    auto path = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(
        "list", "List the entries of ARCHIVE: method, packed and unpacked size, name.\n"
                "Stops at the first bad entry header (exit code 1).");
    command->add_option("ARCHIVE", *path, "Payload archive file")
        ->required()
        ->check(CLI::ExistingFile);
    command->footer(
        "Exit codes: 0 every header sound, 1 a bad entry, 2 usage error or unreadable archive.");
    command->callback([path] {
        int code = runList(*path);
        if (code != exitSuccess) {
            exitWith(code);
        }
    });
}
