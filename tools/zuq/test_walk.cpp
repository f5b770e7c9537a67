#include "tools/zuq/walks.h"

#include "tools/zuq/archive_file.h"
#include "tools/zuq/exit_codes.h"

#include "archive/verify.h"

int testArchive(const unsigned char* archive, std::uint32_t size, bool quiet, std::ostream& out,
                std::ostream& err) {
    std::uint64_t count = 0;
    std::uint64_t damaged = 0;
    for (std::uint32_t offset = 0;;) {
        EntryHeader header;
        EntryFault fault;
        std::int32_t r = verifyEntry(archive, size, offset, &header, &fault);
        if (r == verifyEndOfArchive) {
            break;
        }
        if (r == verifyBadHeader) {
            out.flush();
            err << "zuq: " << describeEntry(offset, header.name) << ": " << entryFaultText(fault)
                << '\n';
            return exitEntryFailed;
        }
        ++count;
        if (r == verifyDamagedStream) {
            // The header is sound, so the walk can go on to the next entry.
            ++damaged;
            out.flush();
            err << "zuq: " << describeEntry(offset, header.name) << ": " << entryFaultText(fault)
                << '\n';
            offset = header.nextOffset;
            continue;
        }
        if (!quiet) {
            out << "ok  " << printable(header.name) << '\n';
        }
        offset = static_cast<std::uint32_t>(r);
    }
    if (damaged) {
        out << damaged << " of " << count << " entries damaged\n";
        return exitEntryFailed;
    }
    out << "tested " << count << " entries, all sound\n";
    return exitSuccess;
}
