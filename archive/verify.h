// Checking an archive without writing anything: each entry's header is read
// and its data decoded in memory, as extraction would.
#pragma once

#include "archive/entry.h"

#include <cstdint>

// Results of verifyEntry; a positive result is the next entry's offset.
enum VerifyResult {
    verifyEndOfArchive = 0,
    verifyBadHeader = -1,     // the header is bad; the walk cannot go on
    verifyDamagedStream = -2, // the header is sound, the lh5 stream is not
};

// Checks the entry at offset. *header is filled whenever the header is sound
// (also for verifyDamagedStream, so a caller may go on at nextOffset);
// *fault tells why a check failed. onChunk, when given, sees every decoded
// chunk (or the stored data) in order.
std::int32_t verifyEntry(const unsigned char* archive, std::uint32_t archiveSize,
                         std::uint32_t offset, EntryHeader* header, EntryFault* fault,
                         void (*onChunk)(const unsigned char* data, std::uint32_t size,
                                         void* context) = nullptr,
                         void* context = nullptr);
