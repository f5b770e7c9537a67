#include "tests/support/lh5_stream.h"

#include "lzh/decoder.h"

#include <algorithm>
#include <stdexcept>

void StreamBits::put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        if (bitCount_ % 8 == 0) {
            bytes_.push_back(0);
        }
        if ((value >> i) & 1) {
            bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bitCount_ % 8));
        }
        ++bitCount_;
    }
}

Bytes StreamBits::bytes() const {
    return bytes_;
}

std::vector<int> flatLengths(int alphabet, const std::vector<int>& symbols) {
    int n = static_cast<int>(symbols.size());
    if (n < 2) {
        throw std::invalid_argument("a code of lengths needs two symbols");
    }
    int shortBits = 0;
    while ((2 << shortBits) <= n) {
        ++shortBits;
    }
    // (2^(b+1) - n) symbols of b bits and the rest of b + 1 bits.
    int shortCount = (2 << shortBits) - n;
    std::vector<int> lens(static_cast<std::size_t>(alphabet), 0);
    std::vector<int> sorted = symbols;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < n; ++i) {
        lens[static_cast<std::size_t>(sorted[static_cast<std::size_t>(i)])] =
            i < shortCount ? shortBits : shortBits + 1;
    }
    return lens;
}

std::vector<std::uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    std::vector<std::uint32_t> codes(lengths.size(), 0);
    std::uint32_t next = 0;
    for (int len = 1; len <= 16; ++len) {
        for (std::size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == len) {
                codes[s] = next++;
            }
        }
        next <<= 1;
    }
    return codes;
}

void Lh5Writer::code(const std::vector<int>& lens, const std::vector<std::uint32_t>& codes,
                     std::uint32_t single, int symbol) {
    if (lens.empty()) {
        if (static_cast<std::uint32_t>(symbol) != single) {
            throw std::invalid_argument("symbol is not the block's single value");
        }
        return; // single-value form: no bits
    }
    auto s = static_cast<std::size_t>(symbol);
    if (lens[s] == 0) {
        throw std::invalid_argument("symbol not in the block's code");
    }
    bits_.put(codes[s], lens[s]);
}

void Lh5Writer::auxLengths(const std::vector<int>& lens, int countBits, bool zeroRunField) {
    int n = static_cast<int>(lens.size());
    while (n > 0 && lens[static_cast<std::size_t>(n - 1)] == 0) {
        --n;
    }
    bits_.put(static_cast<std::uint32_t>(n), countBits);
    for (int i = 0; i < n; ++i) {
        int len = lens[static_cast<std::size_t>(i)];
        if (len < 7) {
            bits_.put(static_cast<std::uint32_t>(len), 3);
        } else {
            bits_.put(7, 3);
            for (int k = 7; k < len; ++k) {
                bits_.put(1, 1);
            }
            bits_.put(0, 1);
        }
        if (zeroRunField && i == 2) {
            int zeros = 0;
            while (zeros < 3 && i + 1 + zeros < n &&
                   lens[static_cast<std::size_t>(i + 1 + zeros)] == 0) {
                ++zeros;
            }
            bits_.put(static_cast<std::uint32_t>(zeros), 2);
            i += zeros;
        }
    }
}

void Lh5Writer::symbolLengths(const std::vector<int>& lens) {
    int n = static_cast<int>(lens.size());
    while (n > 0 && lens[static_cast<std::size_t>(n - 1)] == 0) {
        --n;
    }
    bits_.put(static_cast<std::uint32_t>(n), 9);
    for (int i = 0; i < n;) {
        int len = lens[static_cast<std::size_t>(i)];
        if (len != 0) {
            code(lengthLens_, lengthCodes_, lengthSingle_, len + 2);
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && lens[static_cast<std::size_t>(i + run)] == 0) {
            ++run;
        }
        if (run >= 20) {
            run = std::min(run, 531);
            code(lengthLens_, lengthCodes_, lengthSingle_, 2);
            bits_.put(static_cast<std::uint32_t>(run - 20), 9);
        } else if (run >= 3) {
            run = std::min(run, 18);
            code(lengthLens_, lengthCodes_, lengthSingle_, 1);
            bits_.put(static_cast<std::uint32_t>(run - 3), 4);
        } else {
            run = 1;
            code(lengthLens_, lengthCodes_, lengthSingle_, 0);
        }
        i += run;
    }
}

void Lh5Writer::header(const Header& h) {
    bits_.put(h.symbolCount, 16);
    lengthLens_ = h.lengthLens;
    lengthSingle_ = h.lengthSingle;
    symbolSingle_ = h.symbolSingle;
    distanceSingle_ = h.distanceSingle;
    lengthCodes_ = canonicalCodes(lengthLens_);
    if (h.lengthLens.empty()) {
        bits_.put(0, 5);
        bits_.put(h.lengthSingle, 5);
    } else {
        auxLengths(h.lengthLens, 5, true);
    }
    symbolLens_ = h.symbolLens;
    symbolCodes_ = canonicalCodes(symbolLens_);
    if (h.symbolLens.empty()) {
        bits_.put(0, 9);
        bits_.put(h.symbolSingle, 9);
    } else {
        symbolLengths(h.symbolLens);
    }
    distanceLens_ = h.distanceLens;
    distanceCodes_ = canonicalCodes(distanceLens_);
    if (h.distanceLens.empty()) {
        bits_.put(0, 4);
        bits_.put(h.distanceSingle, 4);
    } else {
        auxLengths(h.distanceLens, 4, false);
    }
}

std::vector<int> lengthCodeSymbolsFor(const std::vector<int>& symbolLens) {
    std::vector<bool> used(lh5LengthAlphabet, false);
    int n = static_cast<int>(symbolLens.size());
    while (n > 0 && symbolLens[static_cast<std::size_t>(n - 1)] == 0) {
        --n;
    }
    for (int i = 0; i < n;) {
        int len = symbolLens[static_cast<std::size_t>(i)];
        if (len != 0) {
            used[static_cast<std::size_t>(len + 2)] = true;
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && symbolLens[static_cast<std::size_t>(i + run)] == 0) {
            ++run;
        }
        int step = run >= 20 ? std::min(run, 531) : run >= 3 ? std::min(run, 18) : 1;
        used[static_cast<std::size_t>(run >= 20 ? 2 : run >= 3 ? 1 : 0)] = true;
        i += step;
    }
    std::vector<int> symbols;
    for (int s = 0; s < lh5LengthAlphabet; ++s) {
        if (used[static_cast<std::size_t>(s)]) {
            symbols.push_back(s);
        }
    }
    return symbols;
}

void Lh5Writer::header(std::uint32_t symbolCount, const std::vector<int>& symbols,
                       const std::vector<int>& distanceClasses) {
    Header h;
    h.symbolCount = symbolCount;
    if (symbols.size() == 1) {
        h.symbolSingle = static_cast<std::uint32_t>(symbols[0]);
    } else {
        h.symbolLens = flatLengths(lh5SymbolAlphabet, symbols);
        std::vector<int> lengthSymbols = lengthCodeSymbolsFor(h.symbolLens);
        if (lengthSymbols.size() == 1) {
            h.lengthSingle = static_cast<std::uint32_t>(lengthSymbols[0]);
        } else {
            h.lengthLens = flatLengths(lh5LengthAlphabet, lengthSymbols);
        }
    }
    if (distanceClasses.size() == 1) {
        h.distanceSingle = static_cast<std::uint32_t>(distanceClasses[0]);
    } else if (distanceClasses.size() > 1) {
        h.distanceLens = flatLengths(lh5DistanceAlphabet, distanceClasses);
    }
    header(h);
}

void Lh5Writer::literal(std::uint8_t byte) {
    code(symbolLens_, symbolCodes_, symbolSingle_, byte);
}

void Lh5Writer::match(int length, std::uint32_t distance) {
    code(symbolLens_, symbolCodes_, symbolSingle_, length + 253);
    int c = static_cast<int>(distanceClassOf(distance));
    code(distanceLens_, distanceCodes_, distanceSingle_, c);
    if (c >= 2) {
        bits_.put(distance - (1u << (c - 1)), c - 1);
    }
}

void Lh5Writer::headerWithLengths(std::uint32_t symbolCount, const std::vector<int>& symbolLens,
                                  const std::vector<int>& distanceLens) {
    Header h;
    h.symbolCount = symbolCount;
    h.symbolLens = symbolLens;
    h.distanceLens = distanceLens;
    std::vector<int> lengthSymbols = lengthCodeSymbolsFor(symbolLens);
    if (lengthSymbols.size() == 1) {
        h.lengthSingle = static_cast<std::uint32_t>(lengthSymbols[0]);
    } else if (lengthSymbols.size() > 1) {
        h.lengthLens = flatLengths(lh5LengthAlphabet, lengthSymbols);
    }
    header(h);
}

Lh5Result decodeLh5(const std::uint8_t* packed, std::size_t packedSize, std::size_t size) {
    Lh5Result result;
    decodeError = 0;
    decodeStart(packed, static_cast<std::uint32_t>(packedSize));
    for (std::size_t remaining = size; remaining > 0;) {
        auto n = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, windowSize));
        decodeChunk(n, decodeWindow);
        if (decodeError) {
            result.damaged = true;
            break;
        }
        result.output.insert(result.output.end(), decodeWindow, decodeWindow + n);
        remaining -= n;
    }
    return result;
}

Lh5Result decodeLh5(const Bytes& packed, std::size_t size) {
    return decodeLh5(packed.data(), packed.size(), size);
}

Bytes literalStream(const Bytes& data) {
    std::vector<int> literals;
    for (int s = 0; s < 256; ++s) {
        literals.push_back(s);
    }
    Lh5Writer writer;
    for (std::size_t at = 0; at < data.size();) {
        std::size_t block = std::min<std::size_t>(data.size() - at, 0xFFFF);
        writer.header(static_cast<std::uint32_t>(block), literals, {});
        for (std::size_t i = 0; i < block; ++i) {
            writer.literal(data[at + i]);
        }
        at += block;
    }
    return writer.bytes();
}
