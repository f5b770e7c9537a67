#include "tests/support/lzh_container.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

constexpr std::uint8_t extCommon = 0x00;
constexpr std::uint8_t extFileName = 0x01;
constexpr std::uint8_t extDirName = 0x02;
constexpr std::uint8_t osGeneric = 'U';
constexpr std::uint8_t dirSeparator = 0xFF;

std::uint32_t get16(const Bytes& b, std::size_t at) {
    if (at + 2 > b.size()) {
        throw std::runtime_error("lzh header cut short");
    }
    return b[at] | b[at + 1] << 8;
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

std::string text(const Bytes& b, std::size_t at, std::size_t size) {
    if (at + size > b.size()) {
        throw std::runtime_error("lzh header cut short");
    }
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + size));
}

std::string withBackslashes(std::string path) {
    for (char& c : path) {
        if (c == '/' || static_cast<std::uint8_t>(c) == dirSeparator) {
            c = '\\';
        }
    }
    return path;
}

// Reads a chain of extended headers from at; the first size is firstSize.
// Returns the total size of the chain.
std::size_t readExtensions(const Bytes& b, std::size_t at, std::uint32_t firstSize, LzhEntry& entry,
                           std::string& dir) {
    std::size_t total = 0;
    for (std::uint32_t size = firstSize; size != 0;) {
        if (size < 3 || at + size > b.size()) {
            throw std::runtime_error("bad extended header");
        }
        std::uint8_t type = b[at];
        std::string body = text(b, at + 1, size - 3);
        if (type == extFileName) {
            entry.name = body;
        } else if (type == extDirName) {
            dir = body;
        }
        total += size;
        at += size;
        size = get16(b, at - 2);
    }
    return total;
}

} // namespace

std::uint16_t lzhCrc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

std::vector<LzhEntry> readLzhArchive(const Bytes& b) {
    std::vector<LzhEntry> entries;
    std::size_t at = 0;
    while (at < b.size() && b[at] != 0) {
        if (at + 22 > b.size()) {
            throw std::runtime_error("lzh header cut short");
        }
        LzhEntry entry;
        std::string dir;
        entry.method = text(b, at + 2, 5);
        std::uint32_t packed = get32(b, at + 7);
        entry.originalSize = get32(b, at + 11);
        std::uint8_t level = b[at + 20];
        std::size_t dataStart = 0;
        if (level == 0 || level == 1) {
            std::size_t headerSize = b[at] + 2u;
            std::size_t nameLength = b[at + 21];
            entry.name = text(b, at + 22, nameLength);
            entry.crc = static_cast<std::uint16_t>(get16(b, at + 22 + nameLength));
            dataStart = at + headerSize;
            if (level == 1) {
                std::size_t ext = readExtensions(b, dataStart, get16(b, dataStart - 2), entry, dir);
                dataStart += ext;
                packed -= static_cast<std::uint32_t>(ext);
            }
        } else if (level == 2) {
            std::size_t headerSize = get16(b, at);
            entry.crc = static_cast<std::uint16_t>(get16(b, at + 21));
            readExtensions(b, at + 26, get16(b, at + 24), entry, dir);
            dataStart = at + headerSize;
        } else {
            throw std::runtime_error("unknown lzh header level");
        }
        if (dataStart + packed > b.size()) {
            throw std::runtime_error("lzh entry data cut short");
        }
        entry.name = withBackslashes(dir + entry.name);
        entry.data.assign(b.begin() + static_cast<std::ptrdiff_t>(dataStart),
                          b.begin() + static_cast<std::ptrdiff_t>(dataStart + packed));
        entries.push_back(std::move(entry));
        at = dataStart + packed;
    }
    return entries;
}

Bytes writeLzhArchive(const std::vector<LzhEntry>& entries) {
    Bytes out;
    for (const LzhEntry& entry : entries) {
        Bytes h;
        put16(h, 0); // total header size, set below
        h.insert(h.end(), entry.method.begin(), entry.method.end());
        put32(h, static_cast<std::uint32_t>(entry.data.size()));
        put32(h, entry.originalSize);
        put32(h, 0);       // time stamp
        h.push_back(0x20); // attribute: archive
        h.push_back(2);    // header level
        put16(h, entry.crc);
        h.push_back(osGeneric);
        // Extended headers: header CRC, then the file name.
        put16(h, 5);
        h.push_back(extCommon);
        std::size_t crcAt = h.size();
        put16(h, 0);
        // The directory part goes in its own extended header, each level
        // closed by 0xFF: some readers take a separator in the file name
        // for part of the name.
        std::string::size_type cut = entry.name.find_last_of('\\');
        std::string name = cut == std::string::npos ? entry.name : entry.name.substr(cut + 1);
        put16(h, static_cast<std::uint32_t>(name.size() + 3));
        h.push_back(extFileName);
        h.insert(h.end(), name.begin(), name.end());
        if (cut != std::string::npos) {
            std::string dir = entry.name.substr(0, cut + 1);
            for (char& c : dir) {
                if (c == '\\') {
                    c = static_cast<char>(dirSeparator);
                }
            }
            put16(h, static_cast<std::uint32_t>(dir.size() + 3));
            h.push_back(extDirName);
            h.insert(h.end(), dir.begin(), dir.end());
        }
        put16(h, 0);
        // A header whose size has a zero low byte would read as the end mark.
        if ((h.size() & 0xFF) == 0) {
            h.push_back(0);
        }
        h[0] = static_cast<std::uint8_t>(h.size());
        h[1] = static_cast<std::uint8_t>(h.size() >> 8);
        std::uint16_t crc = lzhCrc16(h.data(), h.size());
        h[crcAt] = static_cast<std::uint8_t>(crc);
        h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    out.push_back(0);
    return out;
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}
