#include "tests/support/fixture_source.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// A fixed linear congruential generator: the same sequence on every machine.
struct Sequence {
    std::uint32_t state;
    std::uint32_t next(std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        // The top bits: the low bits of this generator repeat quickly.
        return static_cast<std::uint32_t>((std::uint64_t{state} * bound) >> 32);
    }
};

Bytes prose(std::size_t size) {
    const char* words[] = {"lorem",   "window", "stream",  "block",     "symbol", "the",
                           "archive", "entry",  "install", "directory", "of",     "and",
                           "a",       "quill",  "moran",   "template",  "help",   "file"};
    Sequence seq{7};
    Bytes out;
    while (out.size() < size) {
        std::string word = words[seq.next(18)];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(seq.next(9) == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

// Hex digits with little repetition: mostly literals, so many symbols per
// byte and several blocks.
Bytes hexNoise(std::size_t size) {
    Sequence seq{99};
    Bytes out;
    while (out.size() < size) {
        out.push_back(static_cast<std::uint8_t>("0123456789abcdef"[seq.next(16)]));
        if (out.size() % 64 == 63) {
            out.push_back('\n');
        }
    }
    out.resize(size);
    return out;
}

// Binary records that repeat at near and far distances (up to the window).
Bytes records(std::size_t size) {
    Sequence seq{2024};
    Bytes out;
    while (out.size() < size) {
        std::uint32_t kind = seq.next(4);
        if (kind == 0 || out.size() < 8192) {
            for (int i = 0; i < 16; ++i) {
                out.push_back(static_cast<std::uint8_t>(seq.next(256)));
            }
        } else {
            std::size_t back =
                kind == 1 ? 8000 + seq.next(192) : 1 + seq.next(kind == 2 ? 64 : 2000);
            std::size_t length = 3 + seq.next(kind == 3 ? 300 : 30);
            for (std::size_t i = 0; i < length; ++i) {
                out.push_back(out[out.size() - back]);
            }
        }
    }
    out.resize(size);
    return out;
}

// Long runs of one byte, for the longest matches with distance 0.
Bytes runs(std::size_t size) {
    Sequence seq{5};
    Bytes out;
    while (out.size() < size) {
        auto value = static_cast<std::uint8_t>(seq.next(4) * 60);
        std::size_t length = 1 + seq.next(900);
        out.insert(out.end(), length, value);
    }
    out.resize(size);
    return out;
}

} // namespace

std::vector<std::string> fixtureSourceNames() {
    return {"stored.txt",   "tiny.txt",    "prose.txt", "chunk8193.txt",
            "hexnoise.txt", "records.bin", "runs.bin"};
}

Bytes fixtureSource(const std::string& name) {
    if (name == "stored.txt") {
        // Too short to shrink: the peer stores it.
        const std::string text = "hello world\n";
        return Bytes(text.begin(), text.end());
    }
    if (name == "tiny.txt") {
        std::string text;
        for (int i = 0; i < 12; ++i) {
            text += "hello, world ";
            text += static_cast<char>('0' + i % 4);
            text += '\n';
        }
        return Bytes(text.begin(), text.end());
    }
    if (name == "prose.txt") {
        return prose(40000);
    }
    if (name == "chunk8193.txt") {
        return prose(8193);
    }
    if (name == "hexnoise.txt") {
        return hexNoise(40000);
    }
    if (name == "records.bin") {
        return records(60000);
    }
    if (name == "runs.bin") {
        return runs(30000);
    }
    throw std::invalid_argument("no fixture original named " + name);
}
