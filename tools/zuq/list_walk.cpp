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
    std::uint32_t offset = 0;
    for (;;) {
        EntryHeader header;
        EntryFault fault;
        int read = readEntryHeader(archive, size, offset, &header, &fault);
        if (read == headerEndOfArchive) {
            break;
        }
        if (read == headerBad) {
            out.flush();
            err << "zuq: " << describeEntry(offset, nullptr) << ": " << entryFaultText(fault)
                << '\n';
            return exitEntryFailed;
        }
        out << columns(methodName(header.method), header.packedSize, header.unpackedSize)
            << header.name << '\n';
        ++count;
        packed += header.packedSize;
        unpacked += header.unpackedSize;
        offset = header.nextOffset;
    }
    out << columns("total", packed, unpacked) << count << " entries";
    if (offset < size) {
        out << ", " << size - offset << " trailing bytes ignored";
    }
    out << '\n';
    return exitSuccess;
}
