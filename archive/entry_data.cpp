#include "archive/entry_data.h"

#include "lzh/decoder.h"

EntryFault decodeEntryChunks(const unsigned char* archive, const EntryHeader* header,
                             ChunkTaker take, void* context) {
    decodeError = 0;
    decodeStart(archive + header->dataOffset, header->packedSize);
    // Unsigned: sizes of 2 GiB and more are decoded in full.
    for (std::uint32_t remaining = header->unpackedSize; remaining > 0;) {
        std::uint32_t n = remaining > windowSize ? windowSize : remaining;
        decodeChunk(n, decodeWindow);
        if (decodeError) {
            return faultDamagedStream;
        }
        EntryFault taken = take(decodeWindow, n, context);
        if (taken != faultNone) {
            return taken;
        }
        remaining -= n;
    }
    return faultNone;
}
