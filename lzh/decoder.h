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

#ifndef _WIN32
// ---- One entry on two threads (the Linux tools) --------------------------------
//
// A helper thread may read an entry's blocks into decoded symbols
// (decodeBlockStart, decodeBlockSymbols) while another thread puts them out. That one reads the
// last block, and any the helper could not read, itself (decodeSeekBlock,
// then decodeChunkFrom), so the stream's end and its faults come out as with
// decodeChunk. A block header sends every code anew: a block decodes the same
// on whichever thread reads it.

// A decoded symbol: length << 16 | value, the length the bytes it makes. A
// literal has length 1 and its byte in the value's low 8 bits, a match its
// length (3 to 256) and its distance (the bytes back, 1 to 8192). A
// literal's value has bit 8 set as well, so that a copier may take it for a
// match from a table of bytes whose distance is never short.
inline constexpr std::uint32_t decodedLengthShift = 16;
inline constexpr std::uint32_t decodedValueMask = (1u << decodedLengthShift) - 1;
inline constexpr std::uint32_t firstDecodedMatch = minMatch << decodedLengthShift;
inline constexpr std::uint32_t decodedLiteralMark = 0x100;

constexpr std::uint32_t decodedLiteral(std::uint32_t byte) {
    return 1u << decodedLengthShift | decodedLiteralMark | byte;
}

// The bits of the packed data the decoding consumed so far.
std::uint64_t decodeBitsConsumed();

// Moves the reader to bit, where a block header starts (at most the packed
// size): the next decoding reads that header. The window, and a match that
// a chunk's end cut, stay.
void decodeSeekBlock(std::uint64_t bit);

// As decodeChunk, but from position r of the chunk on (the bytes before it
// are there); returns count, or less where the stream turned out damaged.
std::uint32_t decodeChunkFrom(std::uint32_t r, std::uint32_t count, unsigned char* buffer);

// Reads the block header at the reader; returns the block's symbol count
// (0 for a block that says it holds none), or 0 with decodeError set when a
// code is bad.
std::uint32_t decodeBlockStart();

// Reads all the symbols of the block just started into symbols. Returns
// their number and *bytes the bytes they make. decodeError is set when a
// long code is bad or the block took more bits than the packed data holds.
std::uint32_t decodeBlockSymbols(std::uint32_t* symbols, std::uint32_t* bytes);
#endif
