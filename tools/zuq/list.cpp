// zuq list ARCHIVE: one line per entry and a total.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"

#include "archive/entry.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

std::string methodName(std::uint32_t method) {
    if (method == methodCompressed) {
        return "lh5";
    }
    if (method == methodStored) {
        return "stored";
    }
    return "stored:" + std::to_string(method);
}

int runList(const std::string& path) {
    ArchiveFile archive;
    std::string error;
    if (!archive.open(path, &error)) {
        complain(error);
        return exitUsage;
    }
    std::uint32_t size = archive.size();
    std::uint64_t count = 0;
    std::uint64_t packed = 0;
    std::uint64_t unpacked = 0;
    std::printf("%-10s %12s %12s  %s\n", "method", "packed", "unpacked", "name");
    std::uint32_t offset = 0;
    for (;;) {
        EntryHeader header;
        EntryFault fault;
        int read = readEntryHeader(archive.data(), size, offset, &header, &fault);
        if (read == headerEndOfArchive) {
            break;
        }
        if (read == headerBad) {
            std::fflush(stdout);
            complain(describeEntry(offset, nullptr) + ": " + entryFaultText(fault));
            return exitEntryFailed;
        }
        std::printf("%-10s %12u %12u  %s\n", methodName(header.method).c_str(), header.packedSize,
                    header.unpackedSize, header.name);
        ++count;
        packed += header.packedSize;
        unpacked += header.unpackedSize;
        offset = header.nextOffset;
    }
    std::printf("%-10s %12llu %12llu  %llu entries", "total",
                static_cast<unsigned long long>(packed), static_cast<unsigned long long>(unpacked),
                static_cast<unsigned long long>(count));
    if (offset < size) {
        std::printf(", %u trailing bytes ignored", size - offset);
    }
    std::printf("\n");
    return exitSuccess;
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
