// make_fuzz_seeds OUT ARCHIVE...: writes the seed corpus of the fuzz targets.
//
//   OUT/archive/  every given payload archive, and small archives built here
//                 that reach the walk's corners (empty and stored entries,
//                 nested names with spaces, a short tail)
//   OUT/decoder/  every lh5 stream of the given archives, as the decoder
//                 target reads it: two bytes of unpacked size, then the stream
#include "archive/entry.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

void putLittle32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

void appendEntry(Bytes& archive, const std::string& name, std::uint32_t method, const Bytes& data,
                 std::uint32_t unpackedSize) {
    archive.insert(archive.end(), entryMagic, entryMagic + sizeof entryMagic);
    putLittle32(archive, entryFixedSize + static_cast<std::uint32_t>(name.size()) + 1);
    putLittle32(archive, method);
    putLittle32(archive, static_cast<std::uint32_t>(data.size()));
    putLittle32(archive, unpackedSize);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.push_back(0);
    archive.insert(archive.end(), data.begin(), data.end());
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Archives that no encoder run gives but the walk must handle.
std::vector<Bytes> builtArchives() {
    // Block of 3 symbols, every code in single-value form: three 'a'.
    const Bytes threeLetters = {0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00};
    std::vector<Bytes> archives(5);
    appendEntry(archives[0], "readme.txt", methodStored, text("hello\n"), 6);
    appendEntry(archives[1], "empty", methodStored, {}, 0);
    appendEntry(archives[1], "also empty", methodCompressed, {}, 0);
    appendEntry(archives[1], "last.txt", methodStored, text("x"), 1);
    appendEntry(archives[2], "templates\\Soft Pastel\\large\\a b.txt", methodCompressed,
                threeLetters, 3);
    appendEntry(archives[2], "templates\\Soft Pastel\\small\\c.txt", 2, text("cc"), 2);
    appendEntry(archives[3], "aaa", methodCompressed, threeLetters, 3);
    archives[3].insert(archives[3].end(), 20, 0xEE); // a tail the walk ignores
    appendEntry(archives[4], "dir\\file", methodStored, text("1"), 1);
    appendEntry(archives[4], "dir\\file\\below", methodStored, text("2"), 1);
    return archives;
}

// Two bytes of size (at most 65535), then the stream.
Bytes decoderSeed(const unsigned char* packed, const EntryHeader& header) {
    std::uint32_t size = header.unpackedSize > 0xFFFF ? 0xFFFF : header.unpackedSize;
    Bytes seed = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8)};
    seed.insert(seed.end(), packed, packed + header.packedSize);
    return seed;
}

int decoderSeeds(const Bytes& archive, const fs::path& dir, int next) {
    auto size = static_cast<std::uint32_t>(archive.size());
    EntryHeader header;
    EntryFault fault;
    for (std::uint32_t offset = 0;
         readEntryHeader(archive.data(), size, offset, &header, &fault) == headerSound;
         offset = header.nextOffset) {
        if (isCompressed(&header)) {
            writeBytes(dir / ("stream-" + std::to_string(next++)),
                       decoderSeed(archive.data() + header.dataOffset, header));
        }
    }
    return next;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUT [ARCHIVE...]\n");
        return 2;
    }
    fs::path out = argv[1];
    fs::create_directories(out / "archive");
    fs::create_directories(out / "decoder");
    std::vector<Bytes> archives = builtArchives();
    int built = 0;
    for (const Bytes& archive : archives) {
        writeBytes(out / "archive" / ("built-" + std::to_string(built++)), archive);
    }
    int streams = decoderSeeds(archives[2], out / "decoder", 0);
    for (int i = 2; i < argc; ++i) {
        Bytes archive = readBytes(argv[i]);
        writeBytes(out / "archive" / fs::path(argv[i]).filename(), archive);
        streams = decoderSeeds(archive, out / "decoder", streams);
    }
    return 0;
}
