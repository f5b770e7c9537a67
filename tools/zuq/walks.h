// The walks behind zuq list and zuq test over an archive held in memory. They
// print to the streams they are given and return the command's exit code, so
// they run the same in the tool and in a fuzz target.
#pragma once

#include "tools/zuq/arrival.h"

#include <cstdint>
#include <ostream>

// One line per entry and a total line; stops at the first bad header.
int listArchive(const unsigned char* archive, std::uint32_t size, std::ostream& out,
                std::ostream& err);

// Decodes every entry and writes nothing, entries side by side on up to
// threads threads (one where the decoder has a single state); the output is
// the same for any number. A damaged stream under a sound header is reported
// and the walk goes on; a bad header ends it. With an arrival, the walk and
// the decoding ask it for the bytes they read.
int testArchive(const unsigned char* archive, std::uint32_t size, bool quiet, unsigned threads,
                std::ostream& out, std::ostream& err, Arrival* arrival = nullptr);
