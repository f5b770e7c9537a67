// The lh5 decoder as first written: one bit at a time through a 16-bit
// window on the stream, one symbol per table lookup, matches copied byte by
// byte. The tests hold the fast decoder in lzh/ against it: both must give
// the same bytes, the same damage flag and the same state after every chunk.
// Its state is its own, so the two can run side by side.
#include "tests/support/reference_lh5.h"

namespace referenceLh5 {

namespace {

// ---------------------------------------------------------------------------
// Constants of the stream
// ---------------------------------------------------------------------------

constexpr std::uint32_t symbolAlphabet = 510;  // literals 0-255, matches 256-509
constexpr std::uint32_t lengthAlphabet = 19;   // code that sends the symbol lengths
constexpr std::uint32_t distanceAlphabet = 14; // distance classes 0-13
constexpr std::uint32_t treeNodeCount = 2 * symbolAlphabet - 1;

constexpr std::uint32_t symbolTableBits = 12;
constexpr std::uint32_t auxTableBits = 8;
constexpr std::uint32_t longestCode = 16;

constexpr std::uint32_t blockCountBits = 16;
constexpr std::uint32_t lengthCountBits = 5;
constexpr std::uint32_t symbolCountBits = 9;
constexpr std::uint32_t distanceCountBits = 4;
// The length code carries a 2-bit zero run right after its third length.
constexpr std::uint32_t lengthZeroRunAfter = 3;
constexpr std::uint32_t noZeroRun = 0xFFFFFFFF;

// Symbols of the length code below 3 are runs of zero lengths.
constexpr std::uint32_t oneZero = 0;
constexpr std::uint32_t shortZeroRun = 1; // 4 bits follow: 3 to 18 zeros
constexpr std::uint32_t longZeroRun = 2;  // 9 bits follow: 20 to 531 zeros
constexpr std::uint32_t firstLengthSymbol = 3;

constexpr std::uint32_t firstMatchSymbol = 256;
constexpr std::uint32_t matchLengthBias = 253; // match length = symbol - 253

} // namespace

// ---------------------------------------------------------------------------
// Decoder state: one instance, zero at program start
// ---------------------------------------------------------------------------

// The packed data of the current entry. Bytes from packedSize on are never
// taken from packedData.
const unsigned char* packedData;
std::uint32_t packedSize;
// Index of the next packed byte to fetch.
std::uint32_t readIndex;
// Zero bytes fetched past packedSize. Together with readIndex and the bits
// still waiting in nextBits and heldByte, it tells how many bits the decoding
// really consumed; see streamOverran().
std::uint32_t paddingBytes;

// The next 16 stream bits, the next bit in the most significant position.
std::uint32_t nextBits;
// The byte fetched last and how many of its low bits are not yet in nextBits.
std::uint32_t heldByte;
std::int32_t heldBits;

// Symbols still to decode in the current block; 0 means a block header comes
// first. A block count of 0 makes it wrap, as a sound stream never sends.
std::uint32_t blockLeft;
// False from decodeStart until the entry's first block header is read.
bool headerSeen;
// Bytes of a match still owed after a chunk's end (0 or less: none), and the
// window position of the next byte to copy.
std::int32_t pendingCopy;
std::uint32_t copyPos;

// Symbol code: lengths (0 = absent from the block) and its direct lookup.
unsigned char symbolLen[symbolAlphabet];
std::uint32_t symbolTable[1u << symbolTableBits];
// Length code while a block header is read, then the distance code.
unsigned char auxLen[lengthAlphabet];
std::uint32_t auxTable[1u << auxTableBits];
// Child links of the tree nodes for codes longer than the direct lookup. The
// symbol code's nodes are numbered from 510, the small codes' from 19 or 14,
// so building a small code never touches the symbol code's tree.
std::uint32_t treeLeft[treeNodeCount];
std::uint32_t treeRight[treeNodeCount];

std::uint32_t decodeError;
unsigned char decodeWindow[windowSize];

// ---------------------------------------------------------------------------
// Hostile input
// ---------------------------------------------------------------------------

// The one place where damaged input is noted. Returns the condition so that a
// check reads: if (streamDamaged(...)) return;
bool streamDamaged(bool condition) {
    if (condition) {
        decodeError = 1;
    }
    return condition;
}

// True when the decoding so far consumed more bits than the packed data holds.
// The bit reader keeps 16 bits in nextBits and heldBits more in heldByte ahead
// of what was consumed, so those do not count.
bool streamOverran() {
    std::uint64_t fetched = (std::uint64_t{readIndex} + paddingBytes) * 8;
    std::uint64_t consumed = fetched - 16 - static_cast<std::uint32_t>(heldBits);
    return consumed > std::uint64_t{packedSize} * 8;
}

// ---------------------------------------------------------------------------
// Bit reader
// ---------------------------------------------------------------------------

std::uint32_t fetchByte() {
    if (readIndex < packedSize) {
        return packedData[readIndex++];
    }
    ++paddingBytes;
    return 0;
}

// Drops the top n bits of nextBits and brings n new stream bits in at the
// bottom (n from 0 to 16).
void fillBits(std::uint32_t n) {
    nextBits = (nextBits << n) & 0xFFFF;
    while (static_cast<std::int32_t>(n) > heldBits) {
        n -= static_cast<std::uint32_t>(heldBits);
        nextBits |= (heldByte << n) & 0xFFFF;
        heldByte = fetchByte();
        heldBits = 8;
    }
    heldBits -= static_cast<std::int32_t>(n);
    nextBits |= heldByte >> heldBits;
}

// Takes the next n bits (0 to 16) as a number.
std::uint32_t takeBits(std::uint32_t n) {
    std::uint32_t value = nextBits >> (16 - n);
    fillBits(n);
    return value;
}

// ---------------------------------------------------------------------------
// Table builder
// ---------------------------------------------------------------------------

// Builds the canonical code of the given lengths (each 0 to 16) into a direct
// table of 2^tableBits entries plus tree nodes numbered from the alphabet
// size. Lengths that do not make a complete prefix code leave the table and
// the trees as they were and mark the stream damaged.
void buildTable(std::uint32_t alphabet, const unsigned char* lengths, std::uint32_t tableBits,
                std::uint32_t* table) {
    std::uint32_t count[longestCode + 1] = {};
    std::uint32_t start[longestCode + 2] = {};
    std::uint32_t weight[longestCode + 1] = {};

    for (std::uint32_t c = 0; c < alphabet; ++c) {
        count[lengths[c]]++;
    }
    // start[L] is the first code of length L, left-aligned in 16 bits.
    for (std::uint32_t len = 1; len <= longestCode; ++len) {
        start[len + 1] = start[len] + (count[len] << (longestCode - len));
    }
    if (streamDamaged(start[longestCode + 1] != 0x10000)) {
        return;
    }

    std::uint32_t shift = longestCode - tableBits;
    for (std::uint32_t len = 1; len <= tableBits; ++len) {
        start[len] >>= shift;
        weight[len] = 1u << (tableBits - len);
    }
    for (std::uint32_t len = tableBits + 1; len <= longestCode; ++len) {
        weight[len] = 1u << (longestCode - len);
    }

    // Slots from the first long code on will hold tree roots.
    std::uint32_t tableSize = 1u << tableBits;
    for (std::uint32_t i = start[tableBits + 1] >> shift; i < tableSize; ++i) {
        table[i] = 0;
    }

    std::uint32_t freeNode = alphabet;
    std::uint32_t branchBit = 1u << (15 - tableBits);
    for (std::uint32_t c = 0; c < alphabet; ++c) {
        std::uint32_t len = lengths[c];
        if (len == 0) {
            continue;
        }
        std::uint32_t next = start[len] + weight[len];
        if (len <= tableBits) {
            for (std::uint32_t i = start[len]; i < next; ++i) {
                table[i] = c;
            }
        } else {
            std::uint32_t code = start[len];
            std::uint32_t* slot = &table[code >> shift];
            for (std::uint32_t step = tableBits; step < len; ++step) {
                if (*slot == 0) {
                    // A complete code needs fewer nodes than symbols; the
                    // check only keeps a broken table from writing past them.
                    if (streamDamaged(freeNode >= treeNodeCount)) {
                        return;
                    }
                    *slot = freeNode;
                    treeLeft[freeNode] = 0;
                    treeRight[freeNode] = 0;
                    ++freeNode;
                }
                slot = (code & branchBit) ? &treeRight[*slot] : &treeLeft[*slot];
                code <<= 1;
            }
            *slot = c;
        }
        start[len] = next;
    }
}

// ---------------------------------------------------------------------------
// Code lookup
// ---------------------------------------------------------------------------

// Looks up the code in the top bits of nextBits, walking the tree below the
// table bits for long codes. Does not consume the bits. A walk that runs past
// 16 bits only happens on tables that no complete code built; it is cut off.
std::uint32_t lookupCode(const std::uint32_t* table, std::uint32_t tableBits,
                         std::uint32_t alphabet) {
    std::uint32_t s = table[nextBits >> (16 - tableBits)];
    std::uint32_t bit = 1u << (15 - tableBits);
    while (s >= alphabet) {
        if (streamDamaged(bit == 0 || s >= treeNodeCount)) {
            return 0;
        }
        s = (nextBits & bit) ? treeRight[s] : treeLeft[s];
        bit >>= 1;
    }
    return s;
}

// ---------------------------------------------------------------------------
// Block header
// ---------------------------------------------------------------------------

// Single-value form: every lookup gives value and consumes no bits.
void setSingleValue(std::uint32_t value, unsigned char* lengths, std::uint32_t alphabet,
                    std::uint32_t* table, std::uint32_t tableBits) {
    if (streamDamaged(value >= alphabet)) {
        return;
    }
    for (std::uint32_t i = 0; i < alphabet; ++i) {
        lengths[i] = 0;
    }
    for (std::uint32_t i = 0; i < (1u << tableBits); ++i) {
        table[i] = value;
    }
}

// One length of the length or distance code: 3 bits, and for 7 a unary
// extension of one bits closed by a zero bit.
std::uint32_t readAuxLength() {
    std::uint32_t len = nextBits >> 13;
    if (len == 7) {
        for (std::uint32_t bit = 1u << 12; bit != 0 && (nextBits & bit); bit >>= 1) {
            ++len;
        }
        // Up to 20 fits in nextBits, but no code is longer than 16.
        if (streamDamaged(len > longestCode)) {
            return 0;
        }
    }
    fillBits(len < 7 ? 3 : len - 3);
    return len;
}

// Reads the length code (special = 3: zero run after the third length) or
// the distance code (special = noZeroRun) into auxLen and auxTable.
void readAuxLengths(std::uint32_t alphabet, std::uint32_t countBits, std::uint32_t special) {
    std::uint32_t n = takeBits(countBits);
    if (n == 0) {
        setSingleValue(takeBits(countBits), auxLen, alphabet, auxTable, auxTableBits);
        return;
    }
    if (streamDamaged(n > alphabet)) {
        return;
    }
    std::uint32_t i = 0;
    while (i < n) {
        auxLen[i] = static_cast<unsigned char>(readAuxLength());
        if (decodeError) {
            return;
        }
        ++i;
        if (i == special) {
            // At most 3 zeros after the third length: still inside 19.
            for (std::uint32_t z = takeBits(2); z > 0; --z) {
                auxLen[i++] = 0;
            }
        }
    }
    for (; i < alphabet; ++i) {
        auxLen[i] = 0;
    }
    buildTable(alphabet, auxLen, auxTableBits, auxTable);
}

// Reads the symbol code's lengths, sent through the length code.
void readSymbolLengths() {
    std::uint32_t n = takeBits(symbolCountBits);
    if (n == 0) {
        setSingleValue(takeBits(symbolCountBits), symbolLen, symbolAlphabet, symbolTable,
                       symbolTableBits);
        return;
    }
    if (streamDamaged(n > symbolAlphabet)) {
        return;
    }
    std::uint32_t i = 0;
    while (i < n) {
        std::uint32_t s = lookupCode(auxTable, auxTableBits, lengthAlphabet);
        fillBits(auxLen[s]);
        if (s >= firstLengthSymbol) {
            symbolLen[i++] = static_cast<unsigned char>(s - 2);
            continue;
        }
        std::uint32_t zeros = 0;
        if (s == oneZero) {
            zeros = 1;
        } else if (s == shortZeroRun) {
            zeros = takeBits(4) + 3;
        } else if (s == longZeroRun) {
            zeros = takeBits(9) + 20;
        }
        if (streamDamaged(decodeError || zeros > symbolAlphabet - i)) {
            return;
        }
        for (; zeros > 0; --zeros) {
            symbolLen[i++] = 0;
        }
    }
    for (; i < symbolAlphabet; ++i) {
        symbolLen[i] = 0;
    }
    buildTable(symbolAlphabet, symbolLen, symbolTableBits, symbolTable);
}

void readBlockHeader() {
    headerSeen = true;
    blockLeft = takeBits(blockCountBits);
    readAuxLengths(lengthAlphabet, lengthCountBits, lengthZeroRunAfter);
    if (decodeError) {
        return;
    }
    readSymbolLengths();
    if (decodeError) {
        return;
    }
    readAuxLengths(distanceAlphabet, distanceCountBits, noZeroRun);
}

// ---------------------------------------------------------------------------
// Symbols and distances
// ---------------------------------------------------------------------------

// The next symbol of the block, reading a block header first when the
// previous block is used up. Only meaningful while decodeError is 0.
std::uint32_t decodeSymbol() {
    if (blockLeft == 0) {
        readBlockHeader();
        if (decodeError) {
            return 0;
        }
    }
    --blockLeft;
    std::uint32_t s = lookupCode(symbolTable, symbolTableBits, symbolAlphabet);
    fillBits(symbolLen[s]);
    return s;
}

// The distance value of a match: the match starts distance + 1 bytes back.
std::uint32_t decodeDistance() {
    std::uint32_t s = lookupCode(auxTable, auxTableBits, distanceAlphabet);
    fillBits(auxLen[s]);
    if (s <= 1) {
        return s;
    }
    return (1u << (s - 1)) + takeBits(s - 1);
}

// ---------------------------------------------------------------------------
// Chunks
// ---------------------------------------------------------------------------

DecoderState decoderState() {
    if (pendingCopy > 0) {
        return decoderMatchPending;
    }
    if (blockLeft > 0) {
        return decoderBlockOpen;
    }
    return headerSeen ? decoderBlockUsedUp : decoderFresh;
}

void decodeStart(const unsigned char* packed, std::uint32_t size) {
    packedData = packed;
    packedSize = size;
    nextBits = 0;
    heldByte = 0;
    heldBits = 0;
    readIndex = 0;
    paddingBytes = 0;
    fillBits(16);
    blockLeft = 0;
    headerSeen = false;
    pendingCopy = 0;
}

// Copies owed match bytes into buffer from position r on. Returns the new r;
// stops at count with the rest still owed in pendingCopy.
std::uint32_t copyMatch(unsigned char* buffer, std::uint32_t r, std::uint32_t count) {
    while (pendingCopy > 0 && r < count) {
        buffer[r++] = buffer[copyPos];
        copyPos = (copyPos + 1) & windowMask;
        --pendingCopy;
    }
    return r;
}

void produceChunk(std::uint32_t count, unsigned char* buffer) {
    std::uint32_t r = 0;
    if (decoderState() == decoderMatchPending) {
        r = copyMatch(buffer, r, count);
    }
    while (r < count) {
        std::uint32_t s = decodeSymbol();
        if (decodeError) {
            return;
        }
        if (s < firstMatchSymbol) {
            buffer[r++] = static_cast<unsigned char>(s);
            continue;
        }
        pendingCopy = static_cast<std::int32_t>(s - matchLengthBias);
        std::uint32_t d = decodeDistance();
        if (decodeError) {
            return;
        }
        copyPos = (r - d - 1) & windowMask;
        r = copyMatch(buffer, r, count);
    }
}

void decodeChunk(std::uint32_t count, unsigned char* buffer) {
    if (decodeError) {
        return;
    }
    produceChunk(count, buffer);
    streamDamaged(streamOverran());
}

} // namespace referenceLh5
