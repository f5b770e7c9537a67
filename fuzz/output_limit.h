// Fuzz inputs may declare gigabytes of output in a few bytes: a compressed
// entry's unpacked size is not bounded by its packed size. The archive
// targets skip such inputs, so every run stays short.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes the archive targets let one input produce.
constexpr std::uint64_t fuzzOutputLimit = 64 * 1024;

// True when the entries that a walk over data would reach (up to the first
// bad header) declare no more than limit unpacked bytes in all.
bool withinOutputLimit(const std::uint8_t* data, std::size_t size, std::uint64_t limit);
