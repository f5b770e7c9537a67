// zuq test ARCHIVE: decodes every entry in memory and writes nothing.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/walks.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

struct TestOptions {
    std::string archive;
    bool quiet = false;
};

int runTest(const TestOptions& options) {
    ArchiveFile archive;
    std::string error;
    if (!archive.open(options.archive, &error)) {
        complain(error);
        return exitUsage;
    }
    return testArchive(archive.data(), archive.size(), options.quiet, std::cout, std::cerr);
}

} // namespace

void addTestCommand(CLI::App& app) {
    auto options = std::make_shared<TestOptions>();
    CLI::App* command = app.add_subcommand(
        "test", "Decode every entry of ARCHIVE in memory and check it; writes nothing.\n"
                "Exit code 0 when every entry is sound, 1 otherwise.");
    command->add_option("ARCHIVE", options->archive, "Payload archive file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_flag("-q,--quiet", options->quiet, "Print only damaged entries and the total");
    command->footer("Exit codes: 0 every entry sound, 1 a bad or damaged entry, 2 usage error or "
                    "unreadable archive.");
    command->callback([options] {
        int code = runTest(*options);
        if (code != exitSuccess) {
            exitWith(code);
        }
    });
}
