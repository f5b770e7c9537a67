// Byte strings as the tests build and compare them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The bytes of a text, without its terminator.
inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The size as the archive calls take it.
inline std::uint32_t sizeOf(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}
