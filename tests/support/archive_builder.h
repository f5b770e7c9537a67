// Builds payload archives byte by byte, including broken ones.
#pragma once

#include "tests/support/lzh_container.h"

#include <cstdint>
#include <string>

constexpr std::uint32_t builderStored = 0;
constexpr std::uint32_t builderCompressed = 1;

// Appends one entry: header size 20 + name + NUL, packed size = data size.
void appendEntry(Bytes& archive, const std::string& name, std::uint32_t method, const Bytes& data,
                 std::uint32_t unpackedSize);

// Appends an entry whose fixed fields are given as they are; nameField is
// written verbatim (its size need not match headerSize).
void appendRawEntry(Bytes& archive, std::uint32_t headerSize, std::uint32_t method,
                    std::uint32_t packedSize, std::uint32_t unpackedSize,
                    const std::string& nameField, const Bytes& data);

void appendLittle32(Bytes& bytes, std::uint32_t value);

// The entries of a .lzh archive as payload archive entries: -lh5- becomes
// method 1, -lh0- stored. Throws std::runtime_error on other methods.
Bytes payloadFromLzh(const std::vector<LzhEntry>& entries);

// The entries of a payload archive as .lzh entries (CRC of the given
// originals, which must be listed in the same order).
std::vector<LzhEntry> lzhFromPayload(const Bytes& archive, const std::vector<Bytes>& originals);
