// Decoding one large compressed entry on two threads, for `zuq test` when
// there are more threads than entries. A helper thread reads the entry's
// blocks into decoded symbols, a few blocks ahead of a second thread that
// puts them out chunk by chunk. The chunks and the verdict are those of
// decodeEntryChunks.
#pragma once

#include "tools/zuq/arrival.h"

#include "archive/entry.h"
#include "archive/entry_data.h"

// Whether this build decodes an entry on two threads (the Linux zuq).
bool canDecodeOnTwoThreads();

// Entries smaller than this are not worth a second thread.
inline constexpr std::uint32_t twoThreadMinimum = 4u << 20;

// As decodeEntryChunks. With an arrival, the threads ask it for the bytes
// they read, and the copying one, while it waits, brings in more.
EntryFault decodeEntryOnTwoThreads(const unsigned char* archive, const EntryHeader* header,
                                   ChunkTaker take, void* context, Arrival* arrival = nullptr);
