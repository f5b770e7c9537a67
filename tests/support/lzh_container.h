// Moving lh5 streams between .lzh archives (as peer programs read and write
// them) and our payload archive format. Test and benchmark code only.
#pragma once

#include "tests/support/bytes.h"

#include <cstdint>
#include <string>
#include <vector>

struct LzhEntry {
    std::string method; // "-lh5-", "-lh0-", ...
    std::string name;   // path with backslashes
    Bytes data;         // the packed data as it stands in the archive
    std::uint32_t originalSize = 0;
    std::uint16_t crc = 0; // CRC-16 of the original bytes
};

// CRC-16 as .lzh archives use it (reflected polynomial 0xA001, start 0).
std::uint16_t lzhCrc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0);

// Reads every entry of a .lzh archive with level 0, 1 or 2 headers. Throws
// std::runtime_error on anything it cannot read.
std::vector<LzhEntry> readLzhArchive(const Bytes& archive);

// Writes entries with level-2 headers (header CRC included) and the end mark.
Bytes writeLzhArchive(const std::vector<LzhEntry>& entries);

Bytes readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const Bytes& bytes);
