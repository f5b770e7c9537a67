#include "archive/verify.h"

#include "lzh/decoder.h"

std::int32_t verifyEntry(const unsigned char* archive, std::uint32_t archiveSize,
                         std::uint32_t offset, EntryHeader* header, EntryFault* fault,
                         void (*onChunk)(const unsigned char*, std::uint32_t, void*),
                         void* context) {
    int read = readEntryHeader(archive, archiveSize, offset, header, fault);
    if (read == headerEndOfArchive) {
        return verifyEndOfArchive;
    }
    if (read == headerBad) {
        return verifyBadHeader;
    }
    const unsigned char* data = archive + header->dataOffset;
    if (!isCompressed(header)) {
        if (onChunk) {
            onChunk(data, header->unpackedSize, context);
        }
        return static_cast<std::int32_t>(header->nextOffset);
    }
    decodeError = 0;
    decodeStart(data, header->packedSize);
    for (std::uint32_t remaining = header->unpackedSize; remaining > 0;) {
        std::uint32_t n = remaining > windowSize ? windowSize : remaining;
        decodeChunk(n, decodeWindow);
        if (decodeError) {
            *fault = faultDamagedStream;
            return verifyDamagedStream;
        }
        if (onChunk) {
            onChunk(decodeWindow, n, context);
        }
        remaining -= n;
    }
    return static_cast<std::int32_t>(header->nextOffset);
}
