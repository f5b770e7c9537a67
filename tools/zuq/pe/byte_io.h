// Little-endian reads and writes at byte offsets, bounds-checked.
#pragma once

#include "tools/zuq/pe/pe.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zuq::pe::detail {

inline bool fits(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t size) {
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

inline void require(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t size,
                    const char* what) {
    if (!fits(bytes, offset, size)) {
        throw PeError(std::string(what) + " lies outside the file (offset " +
                      std::to_string(offset) + ", " + std::to_string(size) + " bytes, file " +
                      std::to_string(bytes.size()) + " bytes)");
    }
}

inline std::uint16_t read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

inline std::uint32_t read32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(read16(b, at)) | static_cast<std::uint32_t>(read16(b, at + 2))
                                                           << 16;
}

inline void write16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void write32(Bytes& b, std::size_t at, std::uint32_t v) {
    write16(b, at, static_cast<std::uint16_t>(v));
    write16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void append16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void append32(Bytes& b, std::uint32_t v) {
    append16(b, static_cast<std::uint16_t>(v));
    append16(b, static_cast<std::uint16_t>(v >> 16));
}

inline void padTo(Bytes& b, std::size_t alignment) {
    b.resize((b.size() + alignment - 1) / alignment * alignment, 0);
}

inline std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace zuq::pe::detail
