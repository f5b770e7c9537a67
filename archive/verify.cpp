#include "archive/verify.h"

#include "archive/entry_data.h"

namespace {

struct ChunkWatcher {
    void (*onChunk)(const unsigned char*, std::uint32_t, void*);
    void* context;
};

EntryFault watchChunk(const unsigned char* chunk, std::uint32_t size, void* context) {
    auto* watcher = static_cast<ChunkWatcher*>(context);
    if (watcher->onChunk) {
        watcher->onChunk(chunk, size, watcher->context);
    }
    return faultNone;
}

} // namespace

std::int32_t verifyEntry(const unsigned char* archive, std::uint32_t archiveSize,
                         std::uint32_t offset, EntryHeader* header, EntryFault* fault,
                         void (*onChunk)(const unsigned char*, std::uint32_t, void*),
                         void* context) {
    HeaderResult read = readEntryHeader(archive, archiveSize, offset, header, fault);
    if (read == headerEndOfArchive) {
        return verifyEndOfArchive;
    }
    if (read == headerBad) {
        return verifyBadHeader;
    }
    if (!isCompressed(header)) {
        if (onChunk) {
            onChunk(archive + header->dataOffset, header->unpackedSize, context);
        }
        return static_cast<std::int32_t>(header->nextOffset);
    }
    ChunkWatcher watcher = {onChunk, context};
    *fault = decodeEntryChunks(archive, header, watchChunk, &watcher);
    if (*fault != faultNone) {
        return verifyDamagedStream;
    }
    return static_cast<std::int32_t>(header->nextOffset);
}
