// zuq test ARCHIVE: decodes every entry in memory and writes nothing.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"

#include "archive/verify.h"

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
    std::uint32_t size = archive.size();
    std::uint64_t count = 0;
    std::uint64_t damaged = 0;
    for (std::uint32_t offset = 0;;) {
        EntryHeader header;
        EntryFault fault;
        std::int32_t r = verifyEntry(archive.data(), size, offset, &header, &fault);
        if (r == verifyEndOfArchive) {
            break;
        }
        if (r == verifyBadHeader) {
            complain(describeEntry(offset, nullptr) + ": " + entryFaultText(fault));
            return exitEntryFailed;
        }
        ++count;
        if (r == verifyDamagedStream) {
            // The header is sound, so the walk can go on to the next entry.
            ++damaged;
            complain(describeEntry(offset, header.name) + ": " + entryFaultText(fault));
            offset = header.nextOffset;
            continue;
        }
        if (!options.quiet) {
            std::cout << "ok  " << header.name << '\n';
        }
        offset = static_cast<std::uint32_t>(r);
    }
    if (damaged) {
        std::cout << damaged << " of " << count << " entries damaged\n";
        return exitEntryFailed;
    }
    std::cout << "tested " << count << " entries, all sound\n";
    return exitSuccess;
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
