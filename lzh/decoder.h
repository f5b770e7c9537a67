// The lh5 block decoder: turns the packed data of a compressed archive entry
// back into the file's bytes, 8192 bytes at a time, in place in decodeWindow.
// One decoder state for the whole process (a thread in the Linux tools, see
// decoderPerThread); not re-entrant.
#pragma once

#include "lzh/lh5_format.h"

#include <cstdint>

// The Linux tools test entries on several threads, so there every thread has
// a decoder state of its own; thread-local storage costs nothing there. The
// Windows builds, the setup program among them, keep one plain instance: the
// toolchain reaches thread-local data through a call at every use.
#ifdef _WIN32
#define DECODER_STATE
inline constexpr bool decoderPerThread = false;
#else
#define DECODER_STATE thread_local
inline constexpr bool decoderPerThread = true;
#endif

// What the next decodeChunk does first.
enum DecoderState {
    decoderFresh,        // just started: read a block header, then symbols
    decoderMatchPending, // a chunk's end cut a match: copy the owed bytes first
    decoderBlockOpen,    // decode the next symbol of the current block
    decoderBlockUsedUp,  // read the next block header, then symbols
};

// Set to 1 when the stream is damaged: a block's code lengths do not make a
// complete prefix code, a field holds a value no sound encoder writes, or the
// decoding needed more bits than the packed data holds. Never cleared by the
// decoder: the caller clears it before decodeStart and tests it after every
// chunk; a chunk decoded while it is set is not to be used.
extern DECODER_STATE std::uint32_t decodeError;

// The output buffer of every chunk and the sliding window.
extern DECODER_STATE unsigned char decodeWindow[windowSize];

// Prepares the decoder for one entry's packed data. Bytes at or past
// packedSize are never read; the stream behaves as if zeros followed.
void decodeStart(const unsigned char* packed, std::uint32_t packedSize);

// Produces exactly count bytes (1 to 8192) at buffer[0 .. count - 1].
// buffer must be decodeWindow, the same for every call of an entry, and every
// call but an entry's last must ask for exactly 8192 bytes.
void decodeChunk(std::uint32_t count, unsigned char* buffer);

DecoderState decoderState();
