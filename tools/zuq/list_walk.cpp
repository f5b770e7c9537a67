#include "tools/zuq/walks.h"

#include "tools/zuq/archive_file.h"
#include "tools/zuq/exit_codes.h"

#include "archive/entry.h"

#include <cstdio>
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

// The columns of one line: method, packed, unpacked, then the name.
std::string columns(const std::string& method, unsigned long long packed,
                    unsigned long long unpacked) {
    char text[64];
    std::snprintf(text, sizeof text, "%-10s %12llu %12llu  ", method.c_str(), packed, unpacked);
    return text;
}

} // namespace

int listArchive(const unsigned char* archive, std::uint32_t size, std::ostream& out,
                std::ostream& err) {
    std::uint64_t count = 0;
    std::uint64_t packed = 0;
    std::uint64_t unpacked = 0;
    char heading[64];
    std::snprintf(heading, sizeof heading, "%-10s %12s %12s  %s\n", "method", "packed", "unpacked",
                  "name");
    out << heading;
    EntryWalk walk;
    startEntryWalk(&walk, archive, size);
    for (;;) {
        HeaderResult read = readNextEntry(&walk);
        if (read == headerEndOfArchive) {
            break;
        }
        const EntryHeader& header = walk.header;
        if (read == headerBad) {
            out.flush();
            err << "zuq: " << describeEntry(walk.offset, header.name) << ": "
                << entryFaultText(walk.fault) << '\n';
            return exitEntryFailed;
        }
        out << columns(methodName(header.method), header.packedSize, header.unpackedSize)
            << printable(header.name) << '\n';
        ++count;
        packed += header.packedSize;
        unpacked += header.unpackedSize;
    }
    out << columns("total", packed, unpacked) << count << " entries";
    if (walk.offset < size) {
        out << ", " << size - walk.offset << " trailing bytes ignored";
    }
    out << '\n';
    return exitSuccess;
}
