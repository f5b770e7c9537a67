#include "fuzz/output_limit.h"

#include "archive/entry.h"

bool withinOutputLimit(const std::uint8_t* data, std::size_t size, std::uint64_t limit) {
    auto archiveSize = static_cast<std::uint32_t>(size);
    std::uint64_t total = 0;
    EntryHeader header;
    EntryFault fault;
    for (std::uint32_t offset = 0;
         readEntryHeader(data, archiveSize, offset, &header, &fault) == headerSound;
         offset = header.nextOffset) {
        total += header.unpackedSize;
        if (total > limit) {
            return false;
        }
    }
    return true;
}
