#include "tests/support/archive_builder.h"

#include "archive/entry.h"

#include <stdexcept>

void appendLittle32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void appendRawEntry(Bytes& archive, std::uint32_t headerSize, std::uint32_t method,
                    std::uint32_t packedSize, std::uint32_t unpackedSize,
                    const std::string& nameField, const Bytes& data) {
    archive.insert(archive.end(), std::begin(entryMagic), std::end(entryMagic));
    appendLittle32(archive, headerSize);
    appendLittle32(archive, method);
    appendLittle32(archive, packedSize);
    appendLittle32(archive, unpackedSize);
    archive.insert(archive.end(), nameField.begin(), nameField.end());
    archive.insert(archive.end(), data.begin(), data.end());
}

void appendEntry(Bytes& archive, const std::string& name, std::uint32_t method, const Bytes& data,
                 std::uint32_t unpackedSize) {
    appendRawEntry(archive, static_cast<std::uint32_t>(entryFixedSize + name.size() + 1), method,
                   static_cast<std::uint32_t>(data.size()), unpackedSize,
                   name + std::string(1, '\0'), data);
}

Bytes payloadFromLzh(const std::vector<LzhEntry>& entries) {
    Bytes archive;
    for (const LzhEntry& entry : entries) {
        std::uint32_t method;
        if (entry.method == "-lh5-") {
            method = builderCompressed;
        } else if (entry.method == "-lh0-") {
            method = builderStored;
        } else {
            throw std::runtime_error("cannot carry method " + entry.method);
        }
        appendEntry(archive, entry.name, method, entry.data, entry.originalSize);
    }
    return archive;
}

std::vector<LzhEntry> lzhFromPayload(const Bytes& archive, const std::vector<Bytes>& originals) {
    std::vector<LzhEntry> entries;
    auto size = static_cast<std::uint32_t>(archive.size());
    EntryHeader header;
    EntryFault fault;
    std::uint32_t offset = 0;
    for (std::size_t i = 0;; ++i) {
        int read = readEntryHeader(archive.data(), size, offset, &header, &fault);
        if (read == headerEndOfArchive) {
            break;
        }
        if (read != headerSound || i >= originals.size()) {
            throw std::runtime_error("payload archive does not match its originals");
        }
        LzhEntry entry;
        entry.method = isCompressed(&header) ? "-lh5-" : "-lh0-";
        entry.name = header.name;
        entry.data.assign(archive.begin() + header.dataOffset, archive.begin() + header.nextOffset);
        entry.originalSize = header.unpackedSize;
        entry.crc = lzhCrc16(originals[i].data(), originals[i].size());
        entries.push_back(std::move(entry));
        offset = header.nextOffset;
    }
    return entries;
}
