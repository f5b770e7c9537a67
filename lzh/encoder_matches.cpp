// Match finders for the lh5 encoder.
//
// Both finders hash the next few bytes to find the newest earlier position
// with the same hash. Window slots are taken modulo twice the window, so the
// slot of every position still within reach (8192 back) belongs to it alone.
// A candidate further back than the window ends the search before its slot
// is read.
#include "lzh/encoder_matches.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzh {

namespace {

constexpr std::uint32_t none = 0xFFFFFFFFu;
constexpr unsigned hashBits = 15;
constexpr unsigned slotCount = 2 * windowSize;
constexpr unsigned slotMask = slotCount - 1;

// A key's top bits after a multiplication by a large odd constant.
unsigned hashOf(std::uint32_t key, unsigned bits) {
    return (key * 2654435761u) >> (32 - bits);
}

unsigned hash3(const std::uint8_t* p, unsigned bits = hashBits) {
    return hashOf(p[0] | (p[1] << 8) | (p[2] << 16), bits);
}

// The chain finder's keys and probes are words of four bytes.
constexpr unsigned chainKeyBytes = 4;
constexpr unsigned shortHashBits = 16;
static_assert(chainKeyBytes == minMatch + 1);

std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, chainKeyBytes);
    return word;
}

unsigned hash4(const std::uint8_t* p) {
    return hashOf(load32(p), hashBits);
}

// How far a and b agree from length on, up to limit: a word at a time while a
// whole word remains, so that long matches cost an eighth of the compares.
unsigned agreeingLength(const std::uint8_t* a, const std::uint8_t* b, unsigned length,
                        unsigned limit) {
    for (; length + 8 <= limit; length += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) {
            const std::uint64_t differ = x ^ y;
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(differ)
                                                                       : std::countl_zero(differ);
            return length + static_cast<unsigned>(bit) / 8;
        }
    }
    while (length < limit && a[length] == b[length]) {
        ++length;
    }
    return length;
}

bool withinWindow(std::uint32_t pos, std::uint32_t candidate) {
    return candidate != none && pos - candidate <= windowSize;
}

} // namespace

// ---- Binary tree finder ---------------------------------------------------------
//
// All positions with the same hash form a binary search tree ordered by the
// strings that start there, the newest position at the root. Each new
// position becomes the root: walking down from the old root splits the tree
// into the part smaller than the new string and the part larger, and the
// walk passes exactly the candidates that share the longest prefixes with it.
// A candidate equal over the whole match length takes no further part: the
// new root inherits its two subtrees.

TreeMatchFinder::TreeMatchFinder(std::span<const std::uint8_t> data, unsigned searchDepth)
    : data_(data), searchDepth_(searchDepth), head_(std::size_t{1} << hashBits, none),
      children_(2 * slotCount, none) {}

void TreeMatchFinder::walk(std::uint32_t pos, std::vector<Match>* out) {
    const std::size_t available = data_.size() - pos;
    if (available < minMatch) {
        return; // too close to the end to start a match or to be one's source
    }
    const unsigned limit = static_cast<unsigned>(std::min<std::size_t>(maxMatch, available));
    const std::uint8_t* current = data_.data() + pos;
    std::uint32_t& headSlot = head_[hash3(current)];
    std::uint32_t candidate = headSlot;
    headSlot = pos;

    std::uint32_t* smallerSlot = &children_[2 * (pos & slotMask)];
    std::uint32_t* largerSlot = smallerSlot + 1;
    unsigned smallerLength = 0, largerLength = 0; // prefix known to match on each side
    unsigned bestLength = minMatch - 1;
    for (unsigned depth = searchDepth_; withinWindow(pos, candidate) && depth > 0; --depth) {
        const std::uint8_t* source = data_.data() + candidate;
        const unsigned length =
            agreeingLength(source, current, std::min(smallerLength, largerLength), limit);
        std::uint32_t* node = &children_[2 * (candidate & slotMask)];
        if (length > bestLength) {
            bestLength = length;
            if (out) {
                out->push_back({static_cast<std::uint16_t>(length),
                                static_cast<std::uint16_t>(pos - candidate)});
            }
        }
        if (length == limit) {
            *smallerSlot = node[0];
            *largerSlot = node[1];
            return;
        }
        if (source[length] < current[length]) {
            *smallerSlot = candidate;
            smallerSlot = node + 1;
            candidate = *smallerSlot;
            smallerLength = length;
        } else {
            *largerSlot = candidate;
            largerSlot = node;
            candidate = *largerSlot;
            largerLength = length;
        }
    }
    *smallerSlot = none;
    *largerSlot = none;
}

// ---- Hash chain finder --------------------------------------------------------------
//
// The chains link positions by a hash of four bytes, so that the links
// followed are mostly real candidates for matches of four or more; three
// bytes hash into a table of their own that keeps only the newest position,
// the nearest candidate for a match of three, the only one worth its
// distance. A candidate can only beat the best match so far if it agrees on
// the four bytes that end just past it, so those are compared first.

ChainMatchFinder::ChainMatchFinder(std::span<const std::uint8_t> data, unsigned searchDepth)
    : data_(data), searchDepth_(searchDepth), head_(std::size_t{1} << hashBits, none),
      previous_(slotCount, none), newest3_(std::size_t{1} << shortHashBits, none) {}

Match ChainMatchFinder::longest(std::uint32_t pos) const {
    Match best{0, 0};
    const std::size_t available = data_.size() - pos;
    if (available < minMatch) {
        return best;
    }
    const unsigned limit = static_cast<unsigned>(std::min<std::size_t>(maxMatch, available));
    const std::uint8_t* current = data_.data() + pos;
    unsigned bestLength = minMatch - 1;
    const std::uint32_t nearest = newest3_[hash3(current, shortHashBits)];
    if (withinWindow(pos, nearest)) {
        const unsigned length = agreeingLength(data_.data() + nearest, current, 0, limit);
        if (length >= minMatch) {
            bestLength = length;
            best = {static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(pos - nearest)};
        }
    }
    if (available < chainKeyBytes || bestLength == limit) {
        return best;
    }
    // Before a match of four, the probe is the first four bytes.
    unsigned probeAt = bestLength < chainKeyBytes ? 0 : bestLength + 1 - chainKeyBytes;
    std::uint32_t probe = load32(current + probeAt);
    std::uint32_t candidate = head_[hash4(current)];
    for (unsigned depth = searchDepth_; withinWindow(pos, candidate) && depth > 0; --depth) {
        const std::uint8_t* source = data_.data() + candidate;
        if (load32(source + probeAt) == probe) {
            const unsigned length = agreeingLength(source, current, 0, limit);
            if (length > bestLength) {
                bestLength = length;
                best = {static_cast<std::uint16_t>(length),
                        static_cast<std::uint16_t>(pos - candidate)};
                if (length == limit) {
                    break;
                }
                probeAt = bestLength + 1 - chainKeyBytes;
                probe = load32(current + probeAt);
            }
        }
        candidate = previous_[candidate & slotMask];
    }
    return best;
}

void ChainMatchFinder::insert(std::uint32_t pos) {
    const std::size_t available = data_.size() - pos;
    if (available < minMatch) {
        return;
    }
    newest3_[hash3(data_.data() + pos, shortHashBits)] = pos;
    if (available < chainKeyBytes) {
        return;
    }
    std::uint32_t& headSlot = head_[hash4(data_.data() + pos)];
    previous_[pos & slotMask] = headSlot;
    headSlot = pos;
}

} // namespace lzh
