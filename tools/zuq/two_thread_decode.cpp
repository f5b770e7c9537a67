#include "tools/zuq/two_thread_decode.h"

#ifdef _WIN32

bool canDecodeOnTwoThreads() {
    return false;
}

EntryFault decodeEntryOnTwoThreads(const unsigned char* archive, const EntryHeader* header,
                                   ChunkTaker take, void* context) {
    return decodeEntryChunks(archive, header, take, context);
}

#else

#include "tools/zuq/large_buffer.h"

#include "lzh/decoder.h"

#include <atomic>
#include <sched.h>
#include <system_error>
#include <thread>

namespace {

// The reader's symbols go into a ring that the copier empties behind it,
// each block's in one piece. Fresh memory is dear (every page is faulted in
// on its first write), so the ring is small, 2 MiB, and used again and
// again; a ring of block descriptors says where each block lies.
constexpr std::size_t ringSymbols = std::size_t{1} << 19;
constexpr std::uint32_t ringBlocks = 256;
static_assert(ringSymbols >= 2 * maxBlockSymbols);

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

// The helper thread: reads the entry's blocks from its start into the ring,
// ahead of the copier. `progress` is twice the number of blocks read, plus
// one once no more will come (the stream ended or turned out damaged, or
// the copier said stop): one word, so that a wait sees either change.
class BlockReader {
  public:
    BlockReader(const unsigned char* packed, std::uint32_t packedSize)
        : packed_(packed), packedSize_(packedSize) {
        ring_.allocate(ringSymbols);
    }

    bool ready() const {
        return ring_.size() > 0;
    }

    void run() {
        decodeError = 0;
        decodeStart(packed_, packedSize_);
        std::uint64_t next = 0; // where the next block's symbols go
        for (std::uint32_t i = 0;; ++i) {
            // A block does not wrap: one that would goes to the ring's start.
            if (next % ringSymbols + maxBlockSymbols > ringSymbols) {
                next += ringSymbols - next % ringSymbols;
            }
            if (!waitForRoom(i, next + maxBlockSymbols)) {
                break;
            }
            std::uint32_t bytes = 0;
            const std::uint32_t n = decodeSymbolBlock(ring_.data() + next % ringSymbols, &bytes);
            if (decodeError || n == 0) {
                break;
            }
            blocks_[i % ringBlocks] = {next, decodeBitsConsumed(), n, bytes};
            next += n;
            progress_.store(2 * (i + 1), std::memory_order_release);
        }
        progress_.fetch_or(1, std::memory_order_release);
    }

    // Waits for block i; false when none will come.
    bool waitForBlock(std::uint32_t i) {
        std::uint32_t seen = progress_.load(std::memory_order_acquire);
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
        freed_.store(end, std::memory_order_relaxed);
        taken_.store(i, std::memory_order_release);
    }
    void stop() {
        stop_.store(true, std::memory_order_relaxed);
    }

  private:
    // Until the copier has taken block i - ringBlocks and the symbols below
    // end - ringSymbols.
    bool waitForRoom(std::uint32_t i, std::uint64_t end) {
        for (Spin spin;; spin.once()) {
            if (stop_.load(std::memory_order_relaxed)) {
                return false;
            }
            const std::uint32_t taken = taken_.load(std::memory_order_acquire);
            if (i - taken < ringBlocks &&
                end - freed_.load(std::memory_order_relaxed) <= ringSymbols) {
                return true;
            }
        }
    }

    const unsigned char* packed_;
    std::uint32_t packedSize_;
    LargeBuffer<std::uint32_t> ring_;
    ReadBlock blocks_[ringBlocks] = {};
    std::atomic<std::uint32_t> progress_{0};
    std::atomic<std::uint32_t> taken_{0};
    std::atomic<std::uint64_t> freed_{0};
    std::atomic<bool> stop_{false};
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

    EntryFault run(const unsigned char* packed, std::uint32_t packedSize) {
        decodeError = 0;
        decodeStart(packed, packedSize);
        std::uint64_t resumeBit = 0;
        EntryFault fault = copyBlocks(&resumeBit);
        reader_.stop();
        if (fault != faultNone) {
            return fault;
        }
        decodeSeekBlock(resumeBit);
        while (remaining_ > 0) {
            r_ = decodeChunkFrom(r_, count_, decodeWindow);
            if (decodeError) {
                return faultDamagedStream;
            }
            if (const EntryFault taken = handOn(); taken != faultNone) {
                return taken;
            }
        }
        return faultNone;
    }

  private:
    std::uint32_t chunkSize() const {
        return remaining_ > windowSize ? windowSize : remaining_;
    }

    EntryFault handOn() {
        const EntryFault fault = take_(decodeWindow, count_, context_);
        remaining_ -= count_;
        count_ = chunkSize();
        r_ = 0;
        return fault;
    }

    // *resumeBit: where the reading on this thread starts.
    EntryFault copyBlocks(std::uint64_t* resumeBit) {
        for (std::uint32_t i = 0; reader_.waitForBlock(i); ++i) {
            const ReadBlock block = reader_.block(i);
            if (block.bytes >= remaining_ - r_) {
                return faultNone;
            }
            const std::uint32_t* symbol = reader_.symbols(block);
            const std::uint32_t* end = symbol + block.symbols;
            while (symbol < end) {
                r_ = copyDecodedSymbols(&symbol, end, r_, count_, decodeWindow);
                if (r_ == count_) {
                    if (const EntryFault fault = handOn(); fault != faultNone) {
                        return fault;
                    }
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
    std::uint32_t remaining_; // bytes not yet handed on, the chunk being filled among them
    std::uint32_t count_;     // the size of that chunk
    std::uint32_t r_ = 0;     // its bytes made so far
};

} // namespace

bool canDecodeOnTwoThreads() {
    // Two threads that spin while they wait need two processors.
    cpu_set_t allowed;
    return sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 2;
}

EntryFault decodeEntryOnTwoThreads(const unsigned char* archive, const EntryHeader* header,
                                   ChunkTaker take, void* context) {
    const unsigned char* packed = archive + header->dataOffset;
    BlockReader reader(packed, header->packedSize);
    if (!reader.ready()) {
        return decodeEntryChunks(archive, header, take, context);
    }
    // Both sides on threads of their own: a thread started while the
    // caller's is busy would wait for the system to move it to a free core.
    std::thread readThread;
    try {
        readThread = std::thread([&reader] { reader.run(); });
    } catch (const std::system_error&) {
        return decodeEntryChunks(archive, header, take, context);
    }
    BlockCopier copier(header, take, context, reader);
    EntryFault fault = faultNone;
    const auto copy = [&] { fault = copier.run(packed, header->packedSize); };
    try {
        std::thread(copy).join();
    } catch (const std::system_error&) {
        copy();
    }
    readThread.join();
    return fault;
}

#endif
