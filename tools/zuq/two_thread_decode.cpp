#include "tools/zuq/two_thread_decode.h"

#ifdef _WIN32

bool canDecodeOnTwoThreads() {
    return false;
}

EntryFault decodeEntryOnTwoThreads(const unsigned char* archive, const EntryHeader* header,
                                   ChunkTaker take, void* context, Arrival* arrival) {
    awaitBytes(arrival, header->nextOffset);
    return decodeEntryChunks(archive, header, take, context);
}

#else

#include "tools/zuq/large_buffer.h"

#include "lzh/decoder.h"

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <sched.h>
#include <system_error>
#include <thread>

namespace {

// The reader's symbols go into a ring that the copier empties behind it,
// each block's in one piece; a ring of block descriptors says where each
// block lies. The ring is small enough to stay in the reading core's cache,
// 512 KiB, and used again and again; its memory is a huge page, since every
// fresh page costs a fault. It holds twice the largest block, so that a
// block that goes to the ring's start always finds room there once the
// copier has caught up.
constexpr std::size_t ringSymbols = std::size_t{1} << 17;
constexpr std::size_t ringAllocation = std::size_t{1} << 19; // 2 MiB: one huge page
constexpr std::uint32_t ringBlocks = 256;
static_assert(ringSymbols >= 2 * maxBlockSymbols && ringAllocation >= ringSymbols);

// The threads wait for each other by spinning, without the processor's
// pause hint: each has a core of its own, waking a sleeping thread costs
// more than a block takes to read, and under a hypervisor a pause loop may
// have the core taken away. A wait that lasts gives the core up now and
// then, in case the other thread is waiting for it.
class Spin {
  public:
    void once() {
        if (++spins_ % 4096 == 0) {
            std::this_thread::yield();
        }
    }

  private:
    std::uint32_t spins_ = 0;
};

// One block as the reader read it: where its symbols start in the ring
// (counted from the entry's first, not wrapped), how many, the bytes they
// make, and the bit at which the next header starts.
struct ReadBlock {
    std::uint64_t first;
    std::uint64_t endBit;
    std::uint32_t symbols;
    std::uint32_t bytes;
};

// A block's bytes, and the word the bit reader loads ahead.
constexpr std::uint64_t blockBytesAtMost = longestBlockBytes + sizeof(std::uint64_t);

// The helper thread: reads the entry's blocks from its start into the ring,
// ahead of the copier. `progress` is twice the number of blocks read, plus
// one once no more will come (the stream ended or turned out damaged, or
// the copier said stop): one word, so that a wait sees either change.
class BlockReader {
  public:
    // The entry's packed data starts at dataOffset of the arriving archive.
    BlockReader(const unsigned char* packed, std::uint32_t packedSize, Arrival* arrival,
                std::uint64_t dataOffset)
        : packed_(packed), packedSize_(packedSize), arrival_(arrival), dataOffset_(dataOffset) {
        ring_.allocate(ringAllocation);
    }

    bool ready() const {
        return ring_.size() > 0;
    }

    void run() {
        decodeError = 0;
        decodeStart(packed_, packedSize_);
        std::uint64_t next = 0; // where the next block's symbols go
        for (std::uint32_t i = 0;; ++i) {
            awaitBlock();
            const std::uint32_t count = decodeBlockStart();
            if (decodeError || count == 0) {
                break;
            }
            // A block does not wrap: one that would goes to the ring's start.
            if (next % ringSymbols + count > ringSymbols) {
                next += ringSymbols - next % ringSymbols;
            }
            if (!waitForRoom(i, next + count)) {
                break;
            }
            std::uint32_t bytes = 0;
            const std::uint32_t n = decodeBlockSymbols(ring_.data() + next % ringSymbols, &bytes);
            if (decodeError) {
                break;
            }
            blocks_[i % ringBlocks] = {next, decodeBitsConsumed(), n, bytes};
            next += n;
            progress_.store(2 * (i + 1), std::memory_order_release);
        }
        progress_.fetch_or(1, std::memory_order_release);
    }

    // Waits for block i; false when none will come. While it waits, the
    // waiting thread reads on what is still to come of the archive.
    bool waitForBlock(std::uint32_t i) {
        std::uint32_t seen = progress_.load(std::memory_order_acquire);
        while (seen / 2 <= i && !(seen & 1) && arrival_ != nullptr && arrival_->readMore()) {
            seen = progress_.load(std::memory_order_acquire);
        }
        for (Spin spin; seen / 2 <= i && !(seen & 1); spin.once()) {
            seen = progress_.load(std::memory_order_acquire);
        }
        return seen / 2 > i;
    }
    const ReadBlock& block(std::uint32_t i) const {
        return blocks_[i % ringBlocks];
    }
    const std::uint32_t* symbols(const ReadBlock& block) const {
        return ring_.data() + block.first % ringSymbols;
    }
    // The copier is done with the blocks before i, whose symbols end at end.
    void release(std::uint32_t i, std::uint64_t end) {
        freed_.store(end, std::memory_order_release);
        taken_.store(i, std::memory_order_release);
    }
    void stop() {
        stop_.store(true, std::memory_order_relaxed);
    }

    // The entry's bytes, all of them.
    void awaitEntry() const {
        awaitBytes(arrival_, dataOffset_ + packedSize_);
    }

  private:
    // The bytes the next block may take.
    void awaitBlock() const {
        const std::uint64_t at = decodeBitsConsumed() / 8;
        awaitBytes(arrival_,
                   dataOffset_ + std::min<std::uint64_t>(packedSize_, at + blockBytesAtMost));
    }

    // Until the copier has taken block i - ringBlocks and the symbols below
    // end - ringSymbols.
    bool waitForRoom(std::uint32_t i, std::uint64_t end) {
        for (Spin spin;; spin.once()) {
            if (stop_.load(std::memory_order_relaxed)) {
                return false;
            }
            const std::uint32_t taken = taken_.load(std::memory_order_acquire);
            if (i - taken < ringBlocks &&
                end - freed_.load(std::memory_order_acquire) <= ringSymbols) {
                return true;
            }
        }
    }

    const unsigned char* packed_;
    std::uint32_t packedSize_;
    Arrival* arrival_;
    std::uint64_t dataOffset_;
    LargeBuffer<std::uint32_t> ring_;
    ReadBlock blocks_[ringBlocks] = {};
    std::atomic<std::uint32_t> progress_{0};
    std::atomic<std::uint32_t> taken_{0};
    std::atomic<std::uint64_t> freed_{0};
    std::atomic<bool> stop_{false};
};

// The byte values 0, 1, 2 ... counting on, wrapped: at index b, byte b.
template <std::size_t size> constexpr std::array<unsigned char, size> countingBytes() {
    std::array<unsigned char, size> bytes{};
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(i);
    }
    return bytes;
}

// The copying thread's output: a straight run of bytes, not the window's
// ring, so that a match is copied in 16-byte steps without a look at the
// window's end and may run over its own end, which the next bytes write
// again. The 8 KiB before the current chunk stay in front of it; every
// few chunks the rest moves down.
class LinearOutput {
  public:
    static constexpr std::size_t keptChunks = 8;
    static constexpr std::size_t margin = maxMatch + 16; // a match's over-run
    static constexpr std::size_t size = (keptChunks + 1) * windowSize + margin;

    bool allocate() {
        bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size);
        return bytes_ != nullptr;
    }
    // The window as it stands before the entry's first byte.
    void start(const unsigned char* window) {
        std::memcpy(bytes_.get(), window, windowSize);
        chunk_ = windowSize;
        end_ = windowSize;
    }

    unsigned char* chunk() const {
        return bytes_.get() + chunk_;
    }
    std::uint32_t filled() const {
        return static_cast<std::uint32_t>(end_ - chunk_);
    }

    // Puts the symbols out until the chunk holds at least count bytes (a
    // match may reach past it) or they run out.
    void put(const std::uint32_t*& symbol, const std::uint32_t* last, std::uint32_t count) {
        unsigned char* out = bytes_.get() + end_;
        unsigned char* const full = bytes_.get() + chunk_ + count;
        while (out < full && symbol < last) {
            const std::uint32_t s = *symbol++;
            const std::uint32_t length = s >> decodedLengthShift;
            const std::uint32_t distance = s & decodedValueMask;
            copyMatch(out, sourceOf(s, out), length, distance);
            out += length;
        }
        end_ = static_cast<std::size_t>(out - bytes_.get());
    }

    // The chunk of count bytes is handed on: the next one follows it.
    void nextChunk(std::uint32_t count) {
        chunk_ += count;
        if (chunk_ >= keptChunks * windowSize) {
            const std::size_t from = chunk_ - windowSize;
            std::memmove(bytes_.get(), bytes_.get() + from, end_ - from);
            chunk_ -= from;
            end_ -= from;
        }
    }

    // Gives the window the last 8 KiB, at the places decodeChunk keeps them,
    // for the reading to go on from the chunk's filled bytes.
    void toWindow(unsigned char* window) const {
        const std::uint32_t r = filled();
        std::memcpy(window, chunk(), r);
        std::memcpy(window + r, chunk() - windowSize + r, windowSize - r);
    }

  private:
    // Matches up to shortMatch long are copied in two whole steps, without
    // a loop whose count varies from match to match.
    static constexpr std::uint32_t copyStep = 16;
    static constexpr std::uint32_t shortMatch = 2 * copyStep;
    static_assert(margin >= shortMatch);

    // A literal is copied as a short match from a table of every byte, so
    // that literals and matches take the same steps: a choice between them
    // at every symbol would go the wrong way at every other one. The source
    // is picked by a mask, not a branch.
    static constexpr auto everyByte = countingBytes<256 + shortMatch>();
    static_assert(decodedLiteralMark >= copyStep, "a literal's copy takes the short way");

    static const unsigned char* sourceOf(std::uint32_t symbol, const unsigned char* out) {
        const auto byte = static_cast<unsigned char>(symbol);
        const auto literal = reinterpret_cast<std::uintptr_t>(everyByte.data() + byte);
        const auto match = reinterpret_cast<std::uintptr_t>(out) - (symbol & decodedValueMask);
        const std::uintptr_t isLiteral = std::uintptr_t{0} - (symbol < firstDecodedMatch);
        return reinterpret_cast<const unsigned char*>((literal & isLiteral) | (match & ~isLiteral));
    }

    // One step, loaded whole before it is stored: from may lie within the
    // step's reach of out.
    static void copyStepFrom(unsigned char* out, const unsigned char* from) {
        unsigned char step[copyStep];
        std::memcpy(step, from, copyStep);
        std::memcpy(out, step, copyStep);
    }

    // Byte for byte as if one at a time, so that a match may overlap its
    // output: no step reads a byte the match has still to write.
    static void copyMatch(unsigned char* out, const unsigned char* from, std::uint32_t length,
                          std::uint32_t distance) {
        // A match no longer than its distance reads no byte it writes.
        if ((length <= shortMatch) & ((distance >= copyStep) | (length <= distance))) {
            copyStepFrom(out, from);
            copyStepFrom(out + copyStep, from + copyStep);
        } else if (distance >= copyStep) {
            for (std::uint32_t i = 0; i < length; i += copyStep) {
                std::memcpy(out + i, from + i, copyStep);
            }
        } else if (distance >= 8) {
            for (std::uint32_t i = 0; i < length; i += 8) {
                std::memcpy(out + i, from + i, 8);
            }
        } else {
            // A run of a short pattern: past its first period of 8 or more
            // bytes, it is copied from that far back in 8-byte steps.
            const std::uint32_t period = (8 + distance - 1) / distance * distance;
            std::uint32_t i = 0;
            for (; i < length && i < period; ++i) {
                out[i] = from[i];
            }
            for (; i < length; i += 8) {
                std::memcpy(out + i, out + i - period, 8);
            }
        }
    }

    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t chunk_ = 0; // where the chunk being filled starts
    std::size_t end_ = 0;   // where the next byte goes
};

// The copying thread: puts the reader's blocks out, chunk by chunk, but
// not the block that makes the entry's last byte, nor any after a block the
// reader could not read: from there it reads on itself, so that the
// stream's end and its faults come out as always.
class BlockCopier {
  public:
    BlockCopier(const EntryHeader* header, ChunkTaker take, void* context, BlockReader& reader)
        : take_(take), context_(context), reader_(reader), remaining_(header->unpackedSize),
          count_(chunkSize()) {}

    bool ready() {
        return output_.allocate();
    }

    EntryFault run(const unsigned char* packed, std::uint32_t packedSize,
                   const unsigned char* window) {
        decodeError = 0;
        decodeStart(packed, packedSize);
        output_.start(window);
        std::uint64_t resumeBit = 0;
        EntryFault fault = copyBlocks(&resumeBit);
        reader_.stop();
        if (fault != faultNone) {
            return fault;
        }
        output_.toWindow(decodeWindow);
        reader_.awaitEntry();
        decodeSeekBlock(resumeBit);
        std::uint32_t r = output_.filled();
        while (remaining_ > 0) {
            r = decodeChunkFrom(r, count_, decodeWindow);
            if (decodeError) {
                return faultDamagedStream;
            }
            if (const EntryFault taken = handOn(decodeWindow); taken != faultNone) {
                return taken;
            }
            r = 0;
        }
        return faultNone;
    }

  private:
    std::uint32_t chunkSize() const {
        return remaining_ > windowSize ? windowSize : remaining_;
    }

    EntryFault handOn(const unsigned char* chunk) {
        const EntryFault fault = take_(chunk, count_, context_);
        remaining_ -= count_;
        count_ = chunkSize();
        return fault;
    }

    // *resumeBit: where the reading on this thread starts.
    EntryFault copyBlocks(std::uint64_t* resumeBit) {
        for (std::uint32_t i = 0; reader_.waitForBlock(i); ++i) {
            const ReadBlock block = reader_.block(i);
            if (block.bytes >= remaining_ - output_.filled()) {
                return faultNone;
            }
            const std::uint32_t* symbol = reader_.symbols(block);
            const std::uint32_t* end = symbol + block.symbols;
            while (symbol < end) {
                output_.put(symbol, end, count_);
                if (output_.filled() >= count_) {
                    const std::uint32_t count = count_;
                    if (const EntryFault fault = handOn(output_.chunk()); fault != faultNone) {
                        return fault;
                    }
                    output_.nextChunk(count);
                }
            }
            *resumeBit = block.endBit;
            reader_.release(i + 1, block.first + block.symbols);
        }
        return faultNone;
    }

    ChunkTaker take_;
    void* context_;
    BlockReader& reader_;
    LinearOutput output_;
    std::uint32_t remaining_; // bytes not yet handed on, the chunk being filled among them
    std::uint32_t count_;     // the size of that chunk
};

// Two processors for the two threads, the caller's own first: left to
// itself, the system may start both on one and part them only later, while
// each spins waiting for the other.
struct TwoProcessors {
    int own = -1;
    int other = -1;
};

TwoProcessors pickProcessors() {
    TwoProcessors picked;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
        return picked;
    }
    const int own = sched_getcpu();
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed) && cpu != own) {
            picked = {own, cpu};
            break;
        }
    }
    return picked;
}

void runOn(int cpu) {
    if (cpu >= 0) {
        cpu_set_t only;
        CPU_ZERO(&only);
        CPU_SET(cpu, &only);
        sched_setaffinity(0, sizeof only, &only); // a wish: if refused, the thread runs anywhere
    }
}

} // namespace

bool canDecodeOnTwoThreads() {
    // Two threads that spin while they wait need two processors.
    cpu_set_t allowed;
    return sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 2;
}

EntryFault decodeEntryOnTwoThreads(const unsigned char* archive, const EntryHeader* header,
                                   ChunkTaker take, void* context, Arrival* arrival) {
    const unsigned char* packed = archive + header->dataOffset;
    BlockReader reader(packed, header->packedSize, arrival, header->dataOffset);
    // Decoding on this thread alone, once the entry is there.
    const auto decodeHere = [&] {
        reader.awaitEntry();
        return decodeEntryChunks(archive, header, take, context);
    };
    if (!reader.ready()) {
        return decodeHere();
    }
    // Both sides on threads of their own: a thread started while the
    // caller's is busy would wait for the system to move it to a free core.
    const TwoProcessors processors = pickProcessors();
    std::thread readThread;
    try {
        readThread = std::thread([&reader, processors] {
            runOn(processors.other);
            reader.run();
        });
    } catch (const std::system_error&) {
        return decodeHere();
    }
    BlockCopier copier(header, take, context, reader);
    if (!copier.ready()) {
        reader.stop();
        readThread.join();
        return decodeHere();
    }
    // The copying thread starts from this thread's window, as the decoding
    // here would.
    const unsigned char* window = decodeWindow;
    EntryFault fault = faultNone;
    const auto copy = [&] {
        runOn(processors.own);
        fault = copier.run(packed, header->packedSize, window);
    };
    std::thread copying;
    try {
        copying = std::thread(copy);
    } catch (const std::system_error&) {
        copy();
    }
    if (copying.joinable()) {
        copying.join();
    }
    readThread.join();
    return fault;
}

#endif
