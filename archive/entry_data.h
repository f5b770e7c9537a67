// The one chunk loop over a compressed entry's data, shared by extraction
// (which writes each chunk) and verification (which only looks at it).
#pragma once

#include "archive/entry.h"

#include <cstdint>

// Receives one decoded chunk; any result but faultNone stops the loop.
using ChunkTaker = EntryFault (*)(const unsigned char* chunk, std::uint32_t size, void* context);

// Decodes the compressed entry's data, chunk by chunk into decodeWindow:
// every chunk but the last is exactly windowSize bytes, as the decoder needs.
// Each chunk goes to take before the next is decoded. Returns faultNone,
// faultDamagedStream when the decoder reported damage (that chunk is not
// handed on), or the first fault take returned.
EntryFault decodeEntryChunks(const unsigned char* archive, const EntryHeader* header,
                             ChunkTaker take, void* context);
