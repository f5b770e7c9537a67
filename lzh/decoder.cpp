// lh5 block decoder.
//
// How it works
// ------------
// An lh5 stream is LZ77 over an 8192-byte window, coded with static Huffman
// codes. The stream is a run of blocks with nothing before the first and no
// marker after the last; the caller knows the unpacked size and stops asking.
// Each block starts with a header:
//
//   - a 16-bit count of the symbols in the block;
//   - the "length code" (19 symbols), sent as 3-bit lengths with a unary
//     extension for lengths above 6 and a 2-bit run of zeros after the third;
//   - the "symbol code" (510 symbols: literals 0-255, match lengths 3-256),
//     its lengths sent through the length code with three forms of zero runs;
//   - the "distance code" (14 symbols), sent like the length code but without
//     the zero run.
//
// A code with one symbol is sent in single-value form: a zero count and the
// value. Every lookup then gives that value and takes no bits.
//
// The body is the block's symbols. A literal is one output byte. A match
// symbol is followed by a distance code symbol s and, for s >= 2, s - 1 extra
// bits; the match copies (symbol - 253) bytes starting (distance + 1) bytes
// back, byte for byte as if one at a time, so a match may overlap its output.
//
// Output goes straight into the caller's buffer, which is decodeWindow: the
// buffer is the window. Every chunk but an entry's last is exactly 8192 bytes,
// so output byte k always lands at window position k mod 8192, and a match
// that reaches back before the chunk's start finds the previous chunk's bytes
// still in place above the current position. A match cut by the chunk's end
// is remembered in pendingCopy and copyPos and finished at the start of the
// next call.
//
// Why it is fast
// --------------
// Bits are read most significant first into a 64-bit buffer, bitBuffer, whose
// top bitCount bits are the next stream bits. While at least eight packed
// bytes remain it is refilled a whole word at a time without a branch per
// byte; near the end it is refilled byte by byte, so no byte at or past
// packedSize is ever read. After a refill the buffer holds at least 56 bits,
// enough for a whole match (symbol 16, distance code 16, extra bits 12) and
// the table bits of the symbol after it.
//
// A code is decoded by looking at its top bits: the top 11 bits index
// symbolTable, the top 8 bits index auxTable (shared by the length and
// distance codes). A table entry carries the symbol and its code length
// together (see packEntry), so one load gives both, and the buffer is shifted
// by the entry itself. Once the distance code is read, its table is turned
// into distance steps that also carry the extra bits and the base of each
// distance class. Codes longer than the direct lookup are rare: their slot
// holds a tree node number (any value at or above the alphabet size) and the
// decoder walks treeLeft / treeRight one further bit at a time. Tables are
// built canonically: codes ordered by length, then by symbol, counting
// upward. A block header costs about as much as a few thousand output bytes,
// so the builder avoids waiting on itself: it counts and orders the lengths
// in four independent lanes and fills the table in slot order, sixteen
// bytes a store, each short code's store running over into the next code's
// slots, which that code then overwrites.
//
// Most matches are short codes followed by a short distance code: in more
// than nine of ten both fit the 11 bits of a symbol table slot. Once the
// distance code is known, fuseDistances gives every such slot the whole
// match (length, distance base, number of extra bits, all the bits it takes;
// see the fused entry), so a match costs one lookup like a literal, and its
// extra bits are simply the last of the bits it takes. The table holds 2048
// 32-bit entries: the same 8 KiB as 4096 16-bit ones, and half the slots to
// rebuild for each block.
//
// What bounds the speed is the chain from one symbol to the next (table
// load, shift, table load) and, more, the processor's wrong guesses whether
// the next symbol is a literal or a match: on programs more than a third of
// the symbols are matches, in no order a predictor learns. The symbol loop
// (decodeSymbols) keeps the bit reader, the output position and the block
// count in local variables, since every store into the window could
// otherwise alias them. It refills before a symbol is told apart (in the
// Linux tool, the symbol after a literal, which takes at most 11 bits, goes
// without), and looks up the next symbol's entry by the shift the current
// entry gives before branching on it: for a literal and a fused match that
// lookup is the right one, and it does not wait for the branch. A match that
// neither wraps the window nor crosses the chunk's end is copied 16 (or 8)
// bytes at a time, putting back the bytes the last step writes past its end;
// a match closer than 8 bytes (runs of one byte, short patterns) is made
// into one repeated word and stored without reading back its own output.
// The rest take the byte loop.
//
// Hostile input
// -------------
// The stream is untrusted. Every check of a value that no sound encoder
// writes goes through streamDamaged(): it sets decodeError, and the decoder
// stops producing output for the chunk at once. Nothing outside the tables or
// the packed data is ever read or written, and no loop runs without bound.
// Bytes past packedSize read as zero, but a stream whose decoding consumed
// more bits than the packed data holds is damaged too.

#include "lzh/decoder.h"

#include <bit>
#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// Constants of the decoder
// ---------------------------------------------------------------------------

// The format's numbers are in lzh/lh5_format.h; these are the decoder's own.

constexpr std::uint32_t treeNodeCount = 2 * symbolAlphabet - 1;

constexpr std::uint32_t symbolTableBits = 11;
constexpr std::uint32_t auxTableBits = 8;

// ---------------------------------------------------------------------------
// Bit reader constants
// ---------------------------------------------------------------------------

constexpr std::uint32_t bufferBits = 64;
// What a refill guarantees at least: enough for a whole match (symbol 16,
// distance code 16, extra bits 12) and the next symbol's table bits.
constexpr std::uint32_t refilledBits = 56;
constexpr std::uint32_t wordBytes = 8;
static_assert(refilledBits >= longestCode + longestCode + distanceExtraBits(distanceAlphabet - 1) +
                                  symbolTableBits,
              "a refill covers a whole match and the next lookup");
// A word refill keeps whole bytes: 56 to 63 bits, with bitCount | 56 exact.
static_assert(refilledBits == bufferBits - wordBytes && (refilledBits & (wordBytes - 1)) == 0);

// ---------------------------------------------------------------------------
// Table entries: value and code length in one
// ---------------------------------------------------------------------------

// An entry is value << 6 | length. The value is the symbol, or for codes
// longer than the direct lookup a tree node number (at or above the
// alphabet size); the length is the number of bits the code takes (0 in the
// single-value form). Node numbers stay below 1019, so an entry fits 16 bits,
// below every fused entry.
// Six length bits, as many as a shift of the 64-bit buffer uses, let the
// processor shift by the entry itself.
constexpr std::uint32_t entryLengthBits = 6;
constexpr std::uint32_t entryLengthMask = (1u << entryLengthBits) - 1;
static_assert(((treeNodeCount - 1) << entryLengthBits | entryLengthMask) <= 0xFFFF,
              "a table entry fits 16 bits");
static_assert(entryLengthMask == bufferBits - 1, "a shift by the entry stays a valid shift");

// Tables hold 32-bit entries: the symbol table's fused matches need the room.
using Entry = std::uint32_t;

constexpr Entry packEntry(std::uint32_t value, std::uint32_t length) {
    return value << entryLengthBits | length;
}

// Whether the symbol loop decodes the symbol after a literal without a
// refill: a few percent faster on the Linux tool, but 350 bytes more on
// i686, where the setup program has none to spare.
#if defined(__x86_64__) && !defined(_WIN32)
constexpr bool secondSymbolWithoutRefill = true;
#else
constexpr bool secondSymbolWithoutRefill = false;
#endif

// Entries below this one are literals from the direct table.
constexpr std::uint32_t firstMatchEntry = firstMatchSymbol << entryLengthBits;

// Tables are filled sixteen bytes (four entries) a store and have four
// spare entries after their last slot.
constexpr std::uint32_t fillStoreBytes = 16;
constexpr std::uint32_t fillStep = fillStoreBytes / sizeof(Entry);

// The table builder goes through a code's lengths in four lanes of equal
// size; the length arrays have room for the last lane's end, always zero.
constexpr std::uint32_t lengthLanes = 4;
constexpr std::uint32_t paddedLengths(std::uint32_t alphabet) {
    return (alphabet + lengthLanes - 1) / lengthLanes * lengthLanes;
}

// The smallest entry whose value is a tree node of the given code.
constexpr std::uint32_t firstNodeEntry(std::uint32_t alphabet) {
    return alphabet << entryLengthBits;
}

// ---------------------------------------------------------------------------
// Match copying
// ---------------------------------------------------------------------------

// Matches are copied in steps of 16 bytes, or 8 when source and target are
// closer than 16, as long as both stay clear of the window's end.
constexpr std::uint32_t copyStep = 16;
constexpr std::uint32_t copyWord = 8;

// A distance step says all that the symbol loop needs of one distance code
// symbol: bits 0-5 the bits it takes with its extra bits, 6-10 the code's
// own length, 11-15 the number of extra bits, 16-28 the distance they add
// to (the class's base + 1, as a match starts distance value + 1 bytes
// back).
// Bit 31 marks a slot that holds the root of a long code instead (its
// auxTable entry in the low bits).
constexpr std::uint32_t stepCodeShift = 6;
constexpr std::uint32_t stepExtraShift = 11;
constexpr std::uint32_t stepBaseShift = 16;
constexpr std::uint32_t stepFieldMask = 0x1F;
constexpr std::uint32_t stepBitsMask = 0x3F;
constexpr std::uint32_t stepLongCode = 0x80000000;
constexpr std::uint32_t widestExtra = distanceExtraBits(distanceAlphabet - 1);
static_assert(longestCode + widestExtra <= stepBitsMask, "the bits field holds code and extra");
static_assert(longestCode <= stepFieldMask && widestExtra <= stepFieldMask,
              "code length and extra bits fit their fields");
static_assert(stepCodeShift + 5 == stepExtraShift && stepExtraShift + 5 == stepBaseShift);
static_assert(std::uint64_t{distanceClassBase(distanceAlphabet - 1) + 1} << stepBaseShift <
                  stepLongCode,
              "the largest base stays below the long-code mark");

// A fused match: a symbol table slot whose match code and distance code
// both fit the table's bits holds the whole match but its extra bits: bits
// 0-5 the bits it takes with its extra bits, 6-9 the number of extra bits,
// 10-18 the match length, 19-31 the distance the extra bits add to (class
// base + 1). Every fused entry is at or above firstFusedEntry, every plain
// one below.
constexpr std::uint32_t fusedExtraShift = 6;
constexpr std::uint32_t fusedLengthShift = 10;
constexpr std::uint32_t fusedBaseShift = 19;
constexpr std::uint32_t fusedExtraMask = 0xF;
constexpr std::uint32_t fusedLengthMask = 0x1FF;
constexpr Entry firstFusedEntry = Entry{1} << fusedBaseShift;
// A fused match takes its table bits and extra bits; after a refill the
// next symbol's lookup still finds its bits.
static_assert(symbolTableBits + widestExtra + symbolTableBits <= refilledBits);
static_assert(widestExtra <= fusedExtraMask && maxMatch <= fusedLengthMask);
static_assert(fusedExtraShift + 4 == fusedLengthShift && fusedLengthShift + 9 == fusedBaseShift);
static_assert(distanceClassBase(distanceAlphabet - 1) + 1 < (1u << (32 - fusedBaseShift)),
              "the largest base fits the top bits");
static_assert(((treeNodeCount - 1) << entryLengthBits | entryLengthMask) < firstFusedEntry,
              "plain entries stay below fused ones");

constexpr std::uint32_t packDistanceStep(std::uint32_t classIndex, std::uint32_t codeLength) {
    std::uint32_t extra = distanceExtraBits(classIndex);
    return (distanceClassBase(classIndex) + 1u) << stepBaseShift | extra << stepExtraShift |
           codeLength << stepCodeShift | (codeLength + extra);
}

} // namespace

// ---------------------------------------------------------------------------
// Decoder state: one instance (a thread's), zero at start
// ---------------------------------------------------------------------------

// The packed data of the current entry. Bytes from packedSize on are never
// taken from packedData.
static DECODER_STATE const unsigned char* packedData;
static DECODER_STATE std::uint32_t packedSize;
// Index of the next packed byte to fetch.
static DECODER_STATE std::uint32_t readIndex;
// Zero bytes fetched past packedSize. Together with readIndex and the bits
// still waiting in bitBuffer, it tells how many bits the decoding really
// consumed; see streamOverran().
static DECODER_STATE std::uint32_t paddingBytes;

// The next stream bits, the next bit in the most significant position. Only
// the top bitCount bits count; the bits below them are zero or the stream's
// following bits, which a refill ORs in again unchanged.
static DECODER_STATE std::uint64_t bitBuffer;
static DECODER_STATE std::uint32_t bitCount;

// Symbols still to decode in the current block; 0 means a block header comes
// first. A block count of 0 makes it wrap, as a sound stream never sends.
static DECODER_STATE std::uint32_t blockLeft;
// False from decodeStart until the entry's first block header is read.
static DECODER_STATE bool headerSeen;
// Bytes of a match still owed after a chunk's end (0 or less: none), and the
// window position of the next byte to copy.
static DECODER_STATE std::int32_t pendingCopy;
static DECODER_STATE std::uint32_t copyPos;

// Symbol code: lengths (0 = absent from the block) and its direct lookup.
static DECODER_STATE unsigned char symbolLen[paddedLengths(symbolAlphabet)];
static DECODER_STATE Entry symbolTable[(1u << symbolTableBits) + fillStep];
// fillEntries stores fillStep entries at a time from any slot, so the last
// store may reach fillStep - 1 entries past a table's end.
static_assert(fillStep * sizeof(Entry) == fillStoreBytes);
// Length code while a block header is read, then the distance code.
static DECODER_STATE unsigned char auxLen[paddedLengths(lengthAlphabet)];
static DECODER_STATE Entry auxTable[(1u << auxTableBits) + fillStep];
// The distance code once more, by the same top 8 bits, as distance steps.
static DECODER_STATE std::uint32_t distanceSteps[1u << auxTableBits];
// Child links of the tree nodes for codes longer than the direct lookup: a
// symbol or another node number. The symbol code's nodes are numbered from
// 510, the small codes' from 19 or 14, so building a small code never touches
// the symbol code's tree.
static DECODER_STATE std::uint16_t treeLeft[treeNodeCount];
static DECODER_STATE std::uint16_t treeRight[treeNodeCount];

DECODER_STATE std::uint32_t decodeError;
DECODER_STATE unsigned char decodeWindow[windowSize];

// ---------------------------------------------------------------------------
// Hostile input
// ---------------------------------------------------------------------------

// The one place where damaged input is noted. Returns the condition so that a
// check reads: if (streamDamaged(...)) return;
static bool streamDamaged(bool condition) {
    if (condition) {
        decodeError = 1;
    }
    return condition;
}

// The bits the decoding consumed so far. The bits still waiting in bitBuffer
// were fetched but not consumed.
static std::uint64_t bitsConsumed() {
    return (std::uint64_t{readIndex} + paddingBytes) * 8 - bitCount;
}

// True when the decoding so far consumed more bits than the packed data holds.
static bool streamOverran() {
    return bitsConsumed() > std::uint64_t{packedSize} * 8;
}

// ---------------------------------------------------------------------------
// Bit reader
// ---------------------------------------------------------------------------
//
// The symbol loop works on copies of bitBuffer, bitCount and readIndex kept
// in registers; it hands them back to the state before anything else runs.

static std::uint64_t loadBigEndian(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// Far from the end (at least eight bytes left at index): loads a whole word
// and keeps as many whole bytes of it as fit, which leaves 56 to 63 bits.
[[gnu::always_inline]] inline static void refillWord(const unsigned char* data,
                                                     std::uint64_t& buffer, std::uint32_t& count,
                                                     std::uint32_t& index) {
    buffer |= loadBigEndian(data + index) >> count;
    index += (bufferBits - 1 - count) / 8;
    count |= refilledBits;
}

// Near the end of the packed data: one byte at a time, zeros past its end,
// until at least 56 bits are there.
[[gnu::noinline]] static void refillByBytes() {
    while (bitCount <= bufferBits - 8) {
        std::uint64_t byte = 0;
        if (readIndex < packedSize) {
            byte = packedData[readIndex++];
        } else {
            ++paddingBytes;
        }
        bitBuffer |= byte << (bufferBits - 8 - bitCount);
        bitCount += 8;
    }
}

// Brings bitCount to at least 56.
static void refillBits() {
    if (packedSize - readIndex >= wordBytes) {
        refillWord(packedData, bitBuffer, bitCount, readIndex);
    } else {
        refillByBytes();
    }
}

// The top n bits (0 to 16) of the buffer, without consuming them. Shifting by
// one first keeps n = 0 defined (and 0).
[[gnu::always_inline]] inline static std::uint32_t peek(std::uint64_t buffer, std::uint32_t n) {
    return static_cast<std::uint32_t>((buffer >> 1) >> (bufferBits - 1 - n));
}

// The header reader works on the state itself.
static void ensureBits() {
    if (bitCount < longestCode) {
        refillBits();
    }
}

static std::uint32_t peekBits(std::uint32_t n) {
    ensureBits();
    return peek(bitBuffer, n);
}

static void dropBits(std::uint32_t n) {
    bitBuffer <<= n;
    bitCount -= n;
}

// Takes the next n bits (0 to 16) as a number.
static std::uint32_t takeBits(std::uint32_t n) {
    std::uint32_t value = peekBits(n);
    dropBits(n);
    return value;
}

// The symbol loops keep their own copies of the bit reader, with a pointer in
// place of readIndex: a store into a byte array could alias the state, and
// the compiler would reload it after every output byte. These hand the
// copies to the state and take them back around anything else that reads
// bits.
[[gnu::always_inline]] inline static void storeReader(std::uint64_t bits, std::uint32_t have,
                                                      const unsigned char* in) {
    bitBuffer = bits;
    bitCount = have;
    readIndex = static_cast<std::uint32_t>(in - packedData);
}

[[gnu::always_inline]] inline static void loadReader(std::uint64_t& bits, std::uint32_t& have,
                                                     const unsigned char*& in) {
    bits = bitBuffer;
    have = bitCount;
    in = packedData + readIndex;
}

// Brings the loop's copies to at least 56 bits. Refilling a word every time
// costs less than guessing whether it is needed. A whole word can be loaded
// from every address below wordEnd.
[[gnu::always_inline]] inline static void refillLoop(std::uintptr_t wordEnd, std::uint64_t& bits,
                                                     std::uint32_t& have,
                                                     const unsigned char*& in) {
    if (reinterpret_cast<std::uintptr_t>(in) < wordEnd) {
        bits |= loadBigEndian(in) >> have;
        in += (bufferBits - 1 - have) / 8;
        have |= refilledBits;
    } else {
        storeReader(bits, have, in);
        refillByBytes();
        loadReader(bits, have, in);
    }
}

// The end of the addresses from which a whole word can be loaded.
static std::uintptr_t wordLoadEnd() {
    std::uintptr_t end = reinterpret_cast<std::uintptr_t>(packedData);
    if (packedSize >= wordBytes) {
        end += packedSize - wordBytes + 1;
    }
    return end;
}

// ---------------------------------------------------------------------------
// Table builder
// ---------------------------------------------------------------------------

// Clears the next free tree node and makes *lastNode its number. A complete
// code needs fewer nodes than symbols; the check only keeps a broken table
// from writing past them.
static bool takeNode(std::uint32_t* lastNode) {
    std::uint32_t node = *lastNode + 1;
    if (streamDamaged(node >= treeNodeCount)) {
        return false;
    }
    treeLeft[node] = 0;
    treeRight[node] = 0;
    *lastNode = node;
    return true;
}

// Fills n slots with the same entry, sixteen bytes at a time. Codes are
// filled in slot order, so the slots a short fill writes past its own are
// filled again by the codes after it; the tables have room for the last one.
static void fillEntries(Entry* slots, std::uint32_t n, Entry entry) {
    std::uint64_t two = entry * 0x0000000100000001ull;
    std::uint64_t four[2] = {two, two};
    std::uint32_t i = 0;
    do {
        std::memcpy(slots + i, four, sizeof four);
        i += fillStep;
    } while (i < n);
}

// How many codes have each length, in each of the lanes: the lengths split
// into lengthLanes runs of laneSize. The lanes are counted side by side, so
// that runs of equal lengths do not wait on one counter.
static void countLengths(std::uint32_t laneSize, const unsigned char* lengths,
                         std::uint32_t (*lanes)[longestCode + 1]) {
    for (std::uint32_t t = 0; t < laneSize; ++t) {
        for (std::uint32_t j = 0; j < lengthLanes; ++j) {
            lanes[j][lengths[j * laneSize + t]]++;
        }
    }
}

// Puts the symbols in code order: by length, then by symbol; absent symbols
// after the others, which spares a branch per symbol. Each lane writes from
// its own positions, so the lanes do not wait on each other either.
static void orderSymbols(std::uint32_t laneSize, const unsigned char* lengths,
                         const std::uint32_t (*lanes)[longestCode + 1], const std::uint32_t* count,
                         std::uint16_t* ordered) {
    std::uint32_t first[longestCode + 1];
    first[1] = 0;
    for (std::uint32_t len = 1; len < longestCode; ++len) {
        first[len + 1] = first[len] + count[len];
    }
    first[0] = first[longestCode] + count[longestCode];
    std::uint32_t next[lengthLanes][longestCode + 1];
    for (std::uint32_t len = 0; len <= longestCode; ++len) {
        std::uint32_t position = first[len];
        for (std::uint32_t j = 0; j < lengthLanes; ++j) {
            next[j][len] = position;
            position += lanes[j][len];
        }
    }
    for (std::uint32_t t = 0; t < laneSize; ++t) {
        for (std::uint32_t j = 0; j < lengthLanes; ++j) {
            std::uint32_t c = j * laneSize + t;
            ordered[next[j][lengths[c]]++] = static_cast<std::uint16_t>(c);
        }
    }
}

// Puts the codes longer than the table's bits into trees hanging from the
// table's last slots. ordered holds those codes' symbols in code order; the
// codes of each length count upward from start[length] (left-aligned in 16
// bits). The root slot holds its node as an entry; nodes hold plain symbols
// and node numbers, one step per bit below the table.
static void growTrees(std::uint32_t alphabet, const std::uint16_t* ordered,
                      const std::uint32_t* count, const std::uint32_t* start,
                      std::uint32_t tableBits, Entry* table) {
    // The last node handed out; the first one is numbered alphabet.
    std::uint32_t lastNode = alphabet - 1;
    std::uint32_t branchBit = 1u << (15 - tableBits);
    std::uint32_t shift = longestCode - tableBits;
    for (std::uint32_t len = tableBits + 1; len <= longestCode; ++len) {
        std::uint32_t code = start[len];
        for (std::uint32_t n = count[len]; n > 0; --n, code += 1u << (longestCode - len)) {
            Entry& root = table[code >> shift];
            if (root == 0) {
                if (!takeNode(&lastNode)) {
                    return;
                }
                root = packEntry(lastNode, tableBits);
            }
            std::uint32_t node = root >> entryLengthBits;
            std::uint32_t bits = code;
            for (std::uint32_t step = tableBits + 1; step < len; ++step) {
                std::uint16_t& child = (bits & branchBit) ? treeRight[node] : treeLeft[node];
                if (child == 0) {
                    if (!takeNode(&lastNode)) {
                        return;
                    }
                    child = static_cast<std::uint16_t>(lastNode);
                }
                node = child;
                bits <<= 1;
            }
            ((bits & branchBit) ? treeRight[node] : treeLeft[node]) = *ordered++;
        }
    }
}

// Whether buildTable fills the slots of the codes that fit the direct table.
// The Linux tools' block reader builds a table of its own from the code
// order instead, and needs only the roots of the longer codes' trees.
enum class DirectSlots { fill, leave };

#ifndef _WIN32
// The symbol code as buildTable last left it for the block reader: its
// symbols in code order, and how many codes have each length.
static DECODER_STATE std::uint16_t symbolOrder[paddedLengths(symbolAlphabet)];
static DECODER_STATE std::uint32_t symbolLengthCount[longestCode + 1];
#endif

// Builds the canonical code of the given lengths (each 0 to 16) into a direct
// table of 2^tableBits entries plus tree nodes numbered from the alphabet
// size. Only the first `sent` lengths may be nonzero (a block sends the
// lengths up to its last symbol in use, often half the symbol alphabet), and
// the lengths array is zero from there up to its padded size.
// Lengths that do not make a complete prefix code leave the table and the
// trees as they were and mark the stream damaged.
template <DirectSlots direct = DirectSlots::fill>
static void buildTable(std::uint32_t alphabet, std::uint32_t sent, const unsigned char* lengths,
                       std::uint32_t tableBits, Entry* table) {
    std::uint32_t laneSize = paddedLengths(sent) / lengthLanes;
    std::uint32_t lanes[lengthLanes][longestCode + 1] = {};
    countLengths(laneSize, lengths, lanes);
    std::uint32_t count[longestCode + 1];
    for (std::uint32_t len = 0; len <= longestCode; ++len) {
        count[len] = lanes[0][len] + lanes[1][len] + lanes[2][len] + lanes[3][len];
    }
    // start[L] is the first code of length L, left-aligned in 16 bits.
    std::uint32_t start[longestCode + 2] = {};
    for (std::uint32_t len = 1; len <= longestCode; ++len) {
        start[len + 1] = start[len] + (count[len] << (longestCode - len));
    }
    if (streamDamaged(start[longestCode + 1] != 0x10000)) {
        return;
    }
    std::uint16_t localOrder[paddedLengths(symbolAlphabet)];
    std::uint16_t* ordered = localOrder;
#ifndef _WIN32
    if constexpr (direct == DirectSlots::leave) {
        ordered = symbolOrder;
        std::memcpy(symbolLengthCount, count, sizeof count);
    }
#endif
    orderSymbols(laneSize, lengths, lanes, count, ordered);

    // Codes that fit the table fill 2^(tableBits - length) slots each, in
    // slot order.
    std::uint32_t slot = 0;
    std::uint32_t k = 0;
    for (std::uint32_t len = 1; len <= tableBits; ++len) {
        std::uint32_t weight = 1u << (tableBits - len);
        if constexpr (direct == DirectSlots::leave) {
            slot += weight * count[len];
            k += count[len];
            continue;
        }
        for (std::uint32_t end = k + count[len]; k < end; ++k) {
            fillEntries(table + slot, weight, packEntry(ordered[k], len));
            slot += weight;
        }
    }
    // The remaining slots hold the roots of the longer codes' trees.
    std::uint32_t tableSize = 1u << tableBits;
    for (std::uint32_t i = slot; i < tableSize; ++i) {
        table[i] = 0;
    }
    growTrees(alphabet, ordered + k, count, start, tableBits, table);
}

// ---------------------------------------------------------------------------
// Code lookup
// ---------------------------------------------------------------------------

// Follows a long code from its root entry down the tree, one bit below the
// table bits per step. Returns the symbol's entry, its length the whole code.
// A walk that runs past 16 bits only happens on tables that no complete code
// built; it is cut off.
[[gnu::noinline]] static std::uint32_t walkTree(std::uint32_t rootEntry, std::uint64_t buffer,
                                                std::uint32_t alphabet,
                                                const unsigned char* lengths) {
    std::uint32_t depth = rootEntry & entryLengthMask;
    std::uint32_t s = rootEntry >> entryLengthBits;
    std::uint64_t bits = buffer << depth;
    while (s >= alphabet) {
        if (streamDamaged(depth >= longestCode || s >= treeNodeCount)) {
            return 0;
        }
        s = (bits >> (bufferBits - 1)) ? treeRight[s] : treeLeft[s];
        bits <<= 1;
        ++depth;
    }
    return packEntry(s, lengths[s]);
}

// The entry of the code in the top bits of the buffer.
[[gnu::always_inline]] inline static std::uint32_t
lookupEntry(const Entry* table, std::uint32_t tableBits, std::uint32_t alphabet,
            const unsigned char* lengths, std::uint64_t buffer) {
    std::uint32_t entry = table[buffer >> (bufferBits - tableBits)];
    if (entry >= firstNodeEntry(alphabet)) {
        entry = walkTree(entry, buffer, alphabet, lengths);
    }
    return entry;
}

// The distance step of the distance code at the top of the buffer; a long
// code walks its tree, and a damaged one sets decodeError.
[[gnu::always_inline]] inline static std::uint32_t distanceStepAt(std::uint64_t buffer) {
    std::uint32_t step = distanceSteps[buffer >> (bufferBits - auxTableBits)];
    if (step >= stepLongCode) {
        std::uint32_t entry = walkTree(step & ~stepLongCode, buffer, distanceAlphabet, auxLen);
        step = packDistanceStep(entry >> entryLengthBits, entry & entryLengthMask);
    }
    return step;
}

// The distance a step gives, with the buffer at its code: the extra bits
// follow the code.
[[gnu::always_inline]] inline static std::uint32_t stepDistance(std::uint32_t step,
                                                                std::uint64_t buffer) {
    std::uint32_t codeLength = step >> stepCodeShift & stepFieldMask;
    std::uint32_t extra = step >> stepExtraShift & stepFieldMask;
    return (step >> stepBaseShift) + peek(buffer << codeLength, extra);
}

// ---------------------------------------------------------------------------
// Block header
// ---------------------------------------------------------------------------

// Single-value form: every lookup gives value and consumes no bits.
static void setSingleValue(std::uint32_t value, unsigned char* lengths, std::uint32_t alphabet,
                           Entry* table, std::uint32_t tableBits) {
    if (streamDamaged(value >= alphabet)) {
        return;
    }
    for (std::uint32_t i = 0; i < alphabet; ++i) {
        lengths[i] = 0;
    }
    for (std::uint32_t i = 0; i < (1u << tableBits); ++i) {
        table[i] = packEntry(value, 0);
    }
}

// One length of the length or distance code: 3 bits, and for 7 a unary
// extension of one bits closed by a zero bit.
static std::uint32_t readAuxLength() {
    std::uint32_t next = peekBits(longestCode);
    std::uint32_t len = next >> (longestCode - auxLengthBits);
    if (len == unaryLengthStart) {
        for (std::uint32_t bit = 1u << (longestCode - auxLengthBits - 1); bit != 0 && (next & bit);
             bit >>= 1) {
            ++len;
        }
        // Up to 20 fits in 16 bits, but no code is longer than 16.
        if (streamDamaged(len > longestCode)) {
            return 0;
        }
    }
    // The 3 bits, and for the unary form its one bits and closing zero.
    dropBits(len < unaryLengthStart ? auxLengthBits : len - (unaryLengthStart - auxLengthBits) + 1);
    return len;
}

// Reads the length code (zeroRunAfter = 3: zero run after the third length)
// or the distance code (noZeroRunField) into auxLen and auxTable.
static void readAuxLengths(std::uint32_t alphabet, std::uint32_t countBits,
                           std::uint32_t zeroRunAfter) {
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
        if (i == zeroRunAfter) {
            // At most 3 zeros after the third length: still inside 19.
            for (std::uint32_t z = takeBits(lengthZeroRunBits); z > 0; --z) {
                auxLen[i++] = 0;
            }
        }
    }
    // Up to the padding: the length code's lengths must not show through
    // the distance code's.
    for (; i < paddedLengths(lengthAlphabet); ++i) {
        auxLen[i] = 0;
    }
    buildTable(alphabet, n, auxLen, auxTableBits, auxTable);
}

// Reads the symbol code's lengths, sent through the length code.
template <DirectSlots direct> static void readSymbolLengths() {
    std::uint32_t n = takeBits(symbolCountBits);
    if (n == 0) {
        setSingleValue(takeBits(symbolCountBits), symbolLen, symbolAlphabet, symbolTable,
                       symbolTableBits);
#ifndef _WIN32
        if constexpr (direct == DirectSlots::leave) {
            // No code of any length: the table holds the value.
            std::memset(symbolLengthCount, 0, sizeof symbolLengthCount);
        }
#endif
        return;
    }
    if (streamDamaged(n > symbolAlphabet)) {
        return;
    }
    std::uintptr_t wordEnd = wordLoadEnd();
    std::uint64_t bits;
    std::uint32_t have;
    const unsigned char* in;
    loadReader(bits, have, in);
    std::uint32_t i = 0;
    while (i < n) {
        // A code of up to 16 bits and a run of up to 9 fit the refill.
        refillLoop(wordEnd, bits, have, in);
        std::uint32_t entry = lookupEntry(auxTable, auxTableBits, lengthAlphabet, auxLen, bits);
        if (decodeError) {
            storeReader(bits, have, in);
            return;
        }
        bits <<= entry & entryLengthMask;
        have -= entry & entryLengthMask;
        std::uint32_t s = entry >> entryLengthBits;
        if (s >= firstLengthSymbol) {
            symbolLen[i++] = static_cast<unsigned char>(s - lengthSymbolBias);
            continue;
        }
        std::uint32_t zeros = 0;
        if (s == zeroRunOne) {
            zeros = 1;
        } else if (s == zeroRunShort) {
            zeros = peek(bits, shortRunBits) + shortRunMin;
            bits <<= shortRunBits;
            have -= shortRunBits;
        } else if (s == zeroRunLong) {
            zeros = peek(bits, longRunBits) + longRunMin;
            bits <<= longRunBits;
            have -= longRunBits;
        }
        if (streamDamaged(zeros > symbolAlphabet - i)) {
            storeReader(bits, have, in);
            return;
        }
        for (; zeros > 0; --zeros) {
            symbolLen[i++] = 0;
        }
    }
    storeReader(bits, have, in);
    for (; i < symbolAlphabet; ++i) {
        symbolLen[i] = 0;
    }
    buildTable<direct>(symbolAlphabet, n, symbolLen, symbolTableBits, symbolTable);
}

// Turns the distance code's table into distance steps.
static void buildDistanceSteps() {
    for (std::uint32_t i = 0; i < (1u << auxTableBits); ++i) {
        std::uint32_t entry = auxTable[i];
        distanceSteps[i] =
            entry >= firstNodeEntry(distanceAlphabet)
                ? stepLongCode | entry
                : packDistanceStep(entry >> entryLengthBits, entry & entryLengthMask);
    }
}

// The distance step of the distance code that follows a match code of
// codeBits in symbol table slot i, when that code ends inside the table's
// bits; 0 when it does not. The bits after the match code are the slot's
// low bits. A step is never 0.
[[gnu::always_inline]] inline static std::uint32_t stepInSlot(std::uint32_t i,
                                                              std::uint32_t codeBits) {
    static_assert(symbolTableBits >= auxTableBits);
    std::uint32_t following = (i << codeBits) & ((1u << symbolTableBits) - 1);
    std::uint32_t step = distanceSteps[following >> (symbolTableBits - auxTableBits)];
    std::uint32_t distanceBits = step >> stepCodeShift & stepFieldMask;
    return step >= stepLongCode || codeBits + distanceBits > symbolTableBits ? 0 : step;
}

// Gives the slots of every match code of the symbol table the fused form
// where the distance code that follows ends inside the table's bits. The
// bits after a code of length L in slot i are slot i's low bits, so the
// distance code is looked up in them. The table is walked code by code:
// a literal's slots are passed over at once.
static void fuseDistances() {
    constexpr std::uint32_t slots = 1u << symbolTableBits;
    std::uint32_t i = 0;
    while (i < slots) {
        Entry entry = symbolTable[i];
        std::uint32_t codeBits = entry & entryLengthMask;
        // A root's code is longer than the table: one slot.
        std::uint32_t end =
            entry >= firstNodeEntry(symbolAlphabet) ? i + 1 : i + (slots >> codeBits);
        if (entry < firstMatchEntry || entry >= firstNodeEntry(symbolAlphabet)) {
            i = end;
            continue;
        }
        Entry match = ((entry >> entryLengthBits) - matchSymbolBias) << fusedLengthShift;
        for (; i < end; ++i) {
            std::uint32_t step = stepInSlot(i, codeBits);
            if (step == 0) {
                continue;
            }
            symbolTable[i] = (step >> stepBaseShift) << fusedBaseShift | match |
                             (step >> stepExtraShift & stepFieldMask) << fusedExtraShift |
                             (codeBits + (step & stepBitsMask));
        }
    }
}

// Reads a block's count and codes, up to the distance steps.
template <DirectSlots direct = DirectSlots::fill> static void readBlockCodes() {
    headerSeen = true;
    blockLeft = takeBits(blockCountBits);
    readAuxLengths(lengthAlphabet, lengthCountBits, lengthZeroRunAfter);
    if (decodeError) {
        return;
    }
    readSymbolLengths<direct>();
    if (decodeError) {
        return;
    }
    readAuxLengths(distanceAlphabet, distanceCountBits, noZeroRunField);
    if (decodeError) {
        return;
    }
    buildDistanceSteps();
}

// The header as the symbol loop reads it, with its fused matches.
[[gnu::noinline]] static void readBlockHeader() {
    readBlockCodes();
    if (decodeError) {
        return;
    }
    fuseDistances();
}

// ---------------------------------------------------------------------------
// Match copying
// ---------------------------------------------------------------------------

// Copies owed match bytes into buffer from position r on, one at a time
// through the window. Returns the new r; stops at count with the rest still
// owed in pendingCopy.
static std::uint32_t copyPending(unsigned char* buffer, std::uint32_t r, std::uint32_t count) {
    while (pendingCopy > 0 && r < count) {
        buffer[r++] = buffer[copyPos];
        copyPos = (copyPos + 1) & windowMask;
        --pendingCopy;
    }
    return r;
}

// Copies length bytes from window position from to position to, step bytes
// (8 or 16) at a time, with the same result as copying byte by byte. The
// caller makes sure that neither range nor the step after the target reaches
// the window's end, and that the source does not lie less than a step before
// the target. The last step may run past the target's end: the bytes there
// are put back.
[[gnu::always_inline]] inline static void copySteps(unsigned char* window, std::uint32_t to,
                                                    std::uint32_t from, std::uint32_t length,
                                                    std::uint32_t step) {
    unsigned char* target = window + to;
    const unsigned char* source = window + from;
    unsigned char after[copyStep];
    unsigned char piece[copyStep];
    std::memcpy(after, target + length, step);
    for (std::uint32_t i = 0; i < length; i += step) {
        std::memcpy(piece, source + i, step);
        std::memcpy(target + i, piece, step);
    }
    std::memcpy(target + length, after, step);
}

// A match closer than 8 bytes repeats its last `distance` bytes: they are
// made into a word holding the pattern, which is stored every multiple of
// the distance up to eight bytes, with no load waiting on a store before it.
// The caller makes sure that the target and the word after it stay clear of
// the window's end; the bytes the last store writes past the target's end
// are put back.
[[gnu::always_inline]] inline static void repeatPattern(unsigned char* window, std::uint32_t to,
                                                        std::uint32_t from, std::uint32_t length,
                                                        std::uint32_t distance) {
    // Byte k of the pattern is the k-th byte of the word in memory.
    std::uint64_t word = 0;
    for (std::uint32_t k = 0; k < distance; ++k) {
        word |= std::uint64_t{window[(from + k) & windowMask]} << (8 * k);
    }
    for (std::uint32_t width = 8 * distance; width < 64; width *= 2) {
        word |= word << width;
    }
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    unsigned char* target = window + to;
    unsigned char after[copyWord];
    std::memcpy(after, target + length, copyWord);
    std::uint32_t step = copyWord - copyWord % distance;
    for (std::uint32_t i = 0; i < length; i += step) {
        std::memcpy(target + i, &word, copyWord);
    }
    std::memcpy(target + length, after, copyWord);
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
    bitBuffer = 0;
    bitCount = 0;
    readIndex = 0;
    paddingBytes = 0;
    blockLeft = 0;
    headerSeen = false;
    pendingCopy = 0;
}

[[gnu::always_inline]] inline static std::uint32_t nextSymbolEntry(std::uint64_t bits) {
    return symbolTable[bits >> (bufferBits - symbolTableBits)];
}

// Consumes a literal's code, puts the literal out and returns the next
// symbol's entry.
[[gnu::always_inline]] inline static std::uint32_t
takeLiteral(std::uint32_t entry, std::uint64_t& bits, std::uint32_t& have, unsigned char* buffer,
            std::uint32_t& r) {
    bits <<= entry & entryLengthMask;
    have -= entry & entryLengthMask;
    buffer[r++] = static_cast<unsigned char>(entry >> entryLengthBits);
    return nextSymbolEntry(bits);
}

// Decodes symbols into buffer from position r until count bytes are there;
// returns the position reached (less than count when the stream is damaged).
//
// Each pass refills, then looks up the next symbol's entry by the bits the
// current entry takes, before telling the current symbol apart. A refill
// leaves at least 56 bits; a literal takes at most 11, a fused match at most
// 23, and the lookup needs 11 more: so after a literal a second symbol, even
// a match that did not fit its slot (44), needs no refill
// (secondSymbolWithoutRefill). A match that did not fit its slot (up to
// 44 bits) refills again before its own lookup of the next entry.
//
// The steps of one pass, as marked below: (1) block used up: read the next
// header; (2) literals from the direct table, one or two; (3) a fused match; (4) a code
// longer than the table: walk its tree; a match whose distance code did not
// fit the slot: its distance step and extra bits, and the next symbol's
// entry; (5) copy the match. The loop stays in one function: the bit reader
// lives in registers throughout.
static std::uint32_t decodeSymbols(std::uint32_t r, std::uint32_t count, unsigned char* buffer) {
    std::uintptr_t wordEnd = wordLoadEnd();
    std::uint64_t bits;
    std::uint32_t have;
    const unsigned char* in;
    loadReader(bits, have, in);
    std::uint32_t left = blockLeft;
    refillLoop(wordEnd, bits, have, in);
    std::uint32_t entry = nextSymbolEntry(bits);
    for (;;) {
        // (1) Block used up: the next header, read on the state itself.
        if (left == 0) {
            storeReader(bits, have, in);
            readBlockHeader();
            if (decodeError) {
                return r;
            }
            loadReader(bits, have, in);
            left = blockLeft;
            refillLoop(wordEnd, bits, have, in);
            entry = nextSymbolEntry(bits);
        }
        // (2) The next symbol's entry is looked up before this one is told
        // apart: the lookup then does not wait for the branch, which the
        // processor often guesses wrong. For a literal and a fused match it
        // is the right one; the other symbols look up their own.
        --left;
        refillLoop(wordEnd, bits, have, in);
        std::uint32_t taken = entry & entryLengthMask;
        std::uint64_t rest = bits << taken;
        std::uint32_t next = nextSymbolEntry(rest);
        if (entry < firstMatchEntry) {
            buffer[r++] = static_cast<unsigned char>(entry >> entryLengthBits);
            bits = rest;
            have -= taken;
            entry = next;
            if (r == count) {
                break;
            }
            if (!secondSymbolWithoutRefill || left == 0) {
                continue;
            }
            // A literal takes at most 11 bits: a second symbol needs no
            // refill.
            --left;
            taken = entry & entryLengthMask;
            rest = bits << taken;
            next = nextSymbolEntry(rest);
            if (entry < firstMatchEntry) {
                buffer[r++] = static_cast<unsigned char>(entry >> entryLengthBits);
                bits = rest;
                have -= taken;
                entry = next;
                if (r == count) {
                    break;
                }
                continue;
            }
        }

        std::uint32_t length;
        std::uint32_t distance;
        if (entry >= firstFusedEntry) {
            // (3) A fused match: its extra bits are the last of the bits it
            // takes.
            std::uint32_t extra = entry >> fusedExtraShift & fusedExtraMask;
            length = entry >> fusedLengthShift & fusedLengthMask;
            distance = (entry >> fusedBaseShift) + (peek(bits, taken) & ((1u << extra) - 1));
            bits = rest;
            have -= taken;
            entry = next;
        } else {
            // (4) A code longer than the direct table: a literal or a match.
            if (entry >= firstNodeEntry(symbolAlphabet)) {
                entry = walkTree(entry, bits, symbolAlphabet, symbolLen);
                if (decodeError) {
                    break;
                }
                if (entry < firstMatchEntry) {
                    entry = takeLiteral(entry, bits, have, buffer, r);
                    if (r == count) {
                        break;
                    }
                    continue;
                }
            }
            // A match whose distance code did not fit the slot: length,
            // distance code and extra bits.
            bits <<= entry & entryLengthMask;
            have -= entry & entryLengthMask;
            length = (entry >> entryLengthBits) - matchSymbolBias;

            std::uint32_t step = distanceStepAt(bits);
            if (decodeError) {
                break;
            }
            // Only the shift by the whole step lies on the way to the next
            // symbol.
            distance = stepDistance(step, bits);
            bits <<= step & stepBitsMask;
            have -= step & stepBitsMask;
            // Then the next symbol's entry, so that its load overlaps the
            // copy.
            if (have < symbolTableBits) {
                refillLoop(wordEnd, bits, have, in);
            }
            entry = nextSymbolEntry(bits);
        }

        // (5) The copy: 16- or 8-byte steps, a repeated word for distances
        // below 8, else the byte loop, which leaves the match pending when
        // the chunk ends inside it.
        std::uint32_t from = (r - distance) & windowMask;
        bool targetClear = r + length <= count && r + length + copyStep <= windowSize;
        bool clear = targetClear && from + length + copyStep <= windowSize;
        if (clear && distance >= copyStep) {
            copySteps(buffer, r, from, length, copyStep);
            r += length;
        } else if (clear && distance >= copyWord) {
            copySteps(buffer, r, from, length, copyWord);
            r += length;
        } else if (targetClear && distance < copyWord) {
            repeatPattern(buffer, r, from, length, distance);
            r += length;
        } else {
            pendingCopy = static_cast<std::int32_t>(length);
            copyPos = from;
            r = copyPending(buffer, r, count);
        }
        if (r == count) {
            break;
        }
    }
    storeReader(bits, have, in);
    blockLeft = left;
    return r;
}

void decodeChunk(std::uint32_t count, unsigned char* buffer) {
    if (decodeError) {
        return;
    }
    std::uint32_t r = 0;
    if (decoderState() == decoderMatchPending) {
        r = copyPending(buffer, r, count);
    }
    if (r < count) {
        decodeSymbols(r, count, buffer);
    }
    streamDamaged(streamOverran());
}

#ifndef _WIN32

// ---------------------------------------------------------------------------
// One entry on two threads (the Linux tools)
// ---------------------------------------------------------------------------

std::uint64_t decodeBitsConsumed() {
    return bitsConsumed();
}

void decodeSeekBlock(std::uint64_t bit) {
    readIndex = static_cast<std::uint32_t>(bit / 8);
    paddingBytes = 0;
    bitBuffer = 0;
    bitCount = 0;
    refillBits();
    dropBits(static_cast<std::uint32_t>(bit % 8));
    blockLeft = 0;
    headerSeen = true;
}

std::uint32_t decodeChunkFrom(std::uint32_t r, std::uint32_t count, unsigned char* buffer) {
    if (decodeError) {
        return r;
    }
    if (pendingCopy > 0) {
        r = copyPending(buffer, r, count);
    }
    if (r < count) {
        r = decodeSymbols(r, count, buffer);
    }
    streamDamaged(streamOverran());
    return r;
}

// The block reader's own table, made after each header in place of the
// fused symbol table: one 64-bit word a slot, so that every fast symbol is
// made by the same few steps, with no branch on whether it is a literal or
// a match and no field to take apart. The low word holds the bits the
// symbol takes (0-5) and a mask of the last of them that it keeps (8-31:
// a match's extra bits, none for a literal); the high word the decoded
// symbol they add to. Slots the loop cannot finish alone (matches whose
// distance code does not fit the slot, and long codes) are marked and hold
// the symbol table's entry in the high word.
constexpr std::uint64_t readerSlowSlot = 0x40;
constexpr std::uint32_t readerMaskShift = 8;
static_assert(readerSlowSlot > entryLengthMask && readerSlowSlot < (1u << readerMaskShift));
static_assert(widestExtra + readerMaskShift <= 32, "the mask fits the low word");
static_assert(windowSize <= decodedValueMask && maxMatch < (1u << (32 - decodedLengthShift)),
              "a decoded symbol's value stays below its length");
static_assert(1 < minMatch, "a literal decodes below every match");
// The table is filled four slots a store, and has room for the last store of its last code.
constexpr std::uint32_t readerFillStep = 4;
static DECODER_STATE std::uint64_t readerTable[(1u << symbolTableBits) + readerFillStep - 1];

constexpr std::uint64_t readerSlot(std::uint32_t symbol, std::uint32_t keptBits,
                                   std::uint32_t takenBits) {
    return std::uint64_t{symbol} << 32 | ((1u << keptBits) - 1) << readerMaskShift | takenBits;
}

constexpr std::uint64_t slowReaderSlot(Entry entry) {
    return std::uint64_t{entry} << 32 | readerSlowSlot;
}

// The reader's words of a match code of codeBits, but for its length: one
// for each value of the bits after the code in its slots, with 0 where the
// distance code does not end inside the slot. A match code fills its slots
// from these, so the distance steps are looked up once for each code
// length in a block, not once for each slot. All lengths share one table,
// the 2^(symbolTableBits - codeBits) words of codeBits from index one less
// than their count: a single-value code, of no bits, has one for every slot.
static DECODER_STATE std::uint64_t distanceWords[(2u << symbolTableBits) - 1];
static_assert(symbolTableBits < 32, "a bit for each code length");
static DECODER_STATE std::uint32_t distanceWordsMade; // bit L: the words of length L

static const std::uint64_t* distanceWordsOf(std::uint32_t codeBits) {
    const std::uint32_t count = 1u << (symbolTableBits - codeBits);
    std::uint64_t* words = distanceWords + (count - 1);
    if (distanceWordsMade & (1u << codeBits)) {
        return words;
    }
    distanceWordsMade |= 1u << codeBits;
    for (std::uint32_t following = 0; following < count; ++following) {
        const std::uint32_t step = stepInSlot(following, codeBits);
        words[following] =
            step == 0 ? 0
                      : readerSlot(step >> stepBaseShift, step >> stepExtraShift & stepFieldMask,
                                   codeBits + (step & stepBitsMask));
    }
    return words;
}

// Fills n slots (at least one) with the same word, four at a time, as
// fillEntries does: later codes write over what a fill writes past its own
// slots.
static void fillReaderSlots(std::uint64_t* slots, std::uint32_t n, std::uint64_t word) {
    const std::uint64_t four[readerFillStep] = {word, word, word, word};
    std::uint32_t i = 0;
    do {
        std::memcpy(slots + i, four, sizeof four);
        i += readerFillStep;
    } while (i < n);
}

// Fills the slots of one code of codeBits, given its table entry: a literal
// fills them with one word, a match adds its length to the words of its
// code length.
static void fillCodeSlots(std::uint64_t* slots, Entry entry, std::uint32_t codeBits) {
    const std::uint32_t count = 1u << (symbolTableBits - codeBits);
    if (entry < firstMatchEntry) {
        fillReaderSlots(slots, count,
                        readerSlot(decodedLiteral(entry >> entryLengthBits), 0, codeBits));
        return;
    }
    const std::uint32_t length = (entry >> entryLengthBits) - matchSymbolBias;
    const std::uint64_t lengthWord = std::uint64_t{length << decodedLengthShift} << 32;
    const std::uint64_t slow = slowReaderSlot(entry);
    const std::uint64_t* words = distanceWordsOf(codeBits);
    for (std::uint32_t f = 0; f < count; ++f) {
        slots[f] = words[f] == 0 ? slow : words[f] + lengthWord;
    }
}

// Goes through the symbol code in code order, as buildTable does. The slots
// after the codes that fit hold the roots of the longer ones' trees, from
// the symbol table; in the single-value form, its one entry fills them all.
static void buildReaderTable() {
    constexpr std::uint32_t slots = 1u << symbolTableBits;
    distanceWordsMade = 0;
    std::uint32_t codes = 0;
    for (std::uint32_t len = 1; len <= longestCode; ++len) {
        codes |= symbolLengthCount[len];
    }
    if (codes == 0) {
        fillCodeSlots(readerTable, symbolTable[0], 0);
        return;
    }
    std::uint32_t slot = 0;
    const std::uint16_t* symbol = symbolOrder;
    for (std::uint32_t len = 1; len <= symbolTableBits; ++len) {
        for (const std::uint16_t* end = symbol + symbolLengthCount[len]; symbol < end; ++symbol) {
            fillCodeSlots(readerTable + slot, packEntry(*symbol, len), len);
            slot += slots >> len;
        }
    }
    for (; slot < slots; ++slot) {
        readerTable[slot] = slowReaderSlot(symbolTable[slot]);
    }
}

[[gnu::always_inline]] inline static std::uint64_t nextReaderSlot(std::uint64_t bits) {
    return readerTable[bits >> (bufferBits - symbolTableBits)];
}

// A symbol the loop could not take from its entry alone, read on the state
// itself: the loop's copies of the reader then never have their address
// taken, and stay in registers. Returns the decoded symbol; 0 with
// decodeError set on a damaged tree.
[[gnu::noinline]] static std::uint32_t readSlowSymbol(std::uint32_t entry) {
    if (entry >= firstNodeEntry(symbolAlphabet)) {
        entry = walkTree(entry, bitBuffer, symbolAlphabet, symbolLen);
        if (decodeError) {
            return 0;
        }
    }
    dropBits(entry & entryLengthMask);
    if (entry < firstMatchEntry) {
        return decodedLiteral(entry >> entryLengthBits);
    }
    std::uint32_t length = (entry >> entryLengthBits) - matchSymbolBias;
    std::uint32_t step = distanceStepAt(bitBuffer);
    if (decodeError) {
        return 0;
    }
    std::uint32_t distance = stepDistance(step, bitBuffer);
    dropBits(step & stepBitsMask);
    return length << decodedLengthShift | distance;
}

std::uint32_t decodeBlockStart() {
    if (decodeError) {
        return 0;
    }
    readBlockCodes<DirectSlots::leave>();
    if (decodeError) {
        return 0;
    }
    buildReaderTable();
    return blockLeft;
}

// The Linux tool's block reader is built twice, the second time for
// processors with BMI2, whose shifts by a register take one step and leave
// the flags alone; the loader picks one when the program starts. The setup
// program's decoder stays plain.
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("bmi2", "default")]]
#endif
std::uint32_t
decodeBlockSymbols(std::uint32_t* symbols, std::uint32_t* bytes) {
    *bytes = 0;
    if (decodeError) {
        return 0;
    }
    std::uintptr_t wordEnd = wordLoadEnd();
    std::uint64_t bits;
    std::uint32_t have;
    const unsigned char* in;
    loadReader(bits, have, in);
    std::uint32_t left = blockLeft;
    std::uint32_t* put = symbols;
    std::uint32_t produced = 0; // at most 65535 matches of 256 bytes
    refillLoop(wordEnd, bits, have, in);
    std::uint64_t slot = nextReaderSlot(bits);
    for (; left > 0; --left) {
        if (slot & readerSlowSlot) [[unlikely]] {
            const std::uint32_t entry = static_cast<std::uint32_t>(slot >> 32);
            // Most of these are matches whose distance code fits the distance
            // table but not the slot: read here, the reader staying in registers.
            const std::uint32_t codeBits = entry & entryLengthMask;
            const std::uint64_t atDistance = bits << codeBits;
            const std::uint32_t step = distanceSteps[atDistance >> (bufferBits - auxTableBits)];
            if (entry < firstNodeEntry(symbolAlphabet) && step < stepLongCode) {
                const std::uint32_t length = (entry >> entryLengthBits) - matchSymbolBias;
                *put++ = length << decodedLengthShift | stepDistance(step, atDistance);
                produced += length;
                const std::uint32_t taken = codeBits + (step & stepBitsMask);
                bits <<= taken;
                have -= taken;
                refillLoop(wordEnd, bits, have, in);
                slot = nextReaderSlot(bits);
                continue;
            }
            storeReader(bits, have, in);
            std::uint32_t symbol = readSlowSymbol(entry);
            loadReader(bits, have, in);
            if (decodeError) {
                break;
            }
            *put++ = symbol;
            produced += symbol >> decodedLengthShift;
            refillLoop(wordEnd, bits, have, in);
            slot = nextReaderSlot(bits);
            continue;
        }
        // The bits taken come round to the bottom: a match's extra bits are
        // the last of them.
        const std::uint32_t taken = slot & entryLengthMask;
        const std::uint64_t rest = bits << taken;
        const std::uint64_t next = nextReaderSlot(rest);
        const std::uint32_t kept =
            static_cast<std::uint32_t>(std::rotl(bits, static_cast<int>(taken))) &
            (static_cast<std::uint32_t>(slot) >> readerMaskShift);
        const std::uint32_t symbol = static_cast<std::uint32_t>(slot >> 32) + kept;
        *put++ = symbol;
        produced += symbol >> decodedLengthShift;
        bits = rest;
        have -= taken;
        slot = next;
        refillLoop(wordEnd, bits, have, in);
    }
    storeReader(bits, have, in);
    blockLeft = left;
    streamDamaged(streamOverran());
    *bytes = produced;
    return static_cast<std::uint32_t>(put - symbols);
}

#endif
