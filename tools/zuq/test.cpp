// zuq test ARCHIVE: decodes every entry in memory and writes nothing.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/pack_tree.h"
#include "tools/zuq/walks.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

struct TestOptions {
    std::string archive;
    bool quiet = false;
    unsigned threads = threadsPerCore();
};

int runTest(const TestOptions& options) {
    ArchiveFile archive;
    if (!archive.openOrComplain(options.archive, ArchiveReading::arriving)) {
        return exitUsage;
    }
    const int verdict = testArchive(archive.data(), archive.size(), options.quiet, options.threads,
                                    std::cout, std::cerr, &archive);
    if (archive.readFailed()) {
        complain("cannot read " + options.archive);
        return exitUsage;
    }
    return verdict;
}

const CommandText testText = {
    "test",
    "Decode every entry of ARCHIVE in memory and check it; writes nothing.\n"
    "Exit code 0 when every entry is sound, 1 otherwise.",
    "Exit codes: 0 every entry sound, 1 a bad or damaged entry, 2 usage error or "
    "unreadable archive."};

} // namespace

void addTestCommand(CLI::App& app) {
    auto [command, options] = addCommand<TestOptions>(app, testText, runTest);
    addArchiveArgument(command, options->archive);
    command->add_flag("-q,--quiet", options->quiet, "Print only damaged entries and the total");
    addThreadsOption(*command, options->threads,
                     "Entries decoded side by side (one large entry on two when threads are "
                     "spare); the output is the same for any number");
}
