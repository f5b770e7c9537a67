// The lh5 encoder.
//
// How it works
// ------------
// An lh5 stream is a run of blocks. Each block starts with three Huffman
// codes, sent as canonical code lengths: the symbol code (256 literal bytes
// and 254 match lengths, 3 to 256), the distance code (14 classes of back
// distance, class c > 1 followed by c - 1 extra bits) and, first of all, a
// small "length code" that only serves to send the symbol code's lengths
// compactly, with three forms for runs of zero lengths. Then come the
// block's symbols. The symbol and distance codes are sent in a single-value
// form (no bits per symbol) when fewer than two of their symbols occur, since
// a one-symbol Huffman code is not complete and the decoder would refuse it.
// The length code always gets a real code of at least three entries, because
// some other lh5 readers refuse it otherwise; that costs a few header bits.
//
// Compressing well therefore means two things at once: choosing literals and
// matches (the parse) and choosing where blocks begin so that each block's
// codes fit its statistics. The two depend on each other, since what a match
// costs depends on the codes and the codes depend on the matches chosen. The
// strong level settles this by iteration, one chunk of input at a time:
//
//  1. Match finding. A binary tree match finder (encoder_matches.cpp) reports,
//     for every position of the chunk, the nearest match of each length it
//     can reach. Inside very long matches the search is skipped.
//  2. A first parse. The cheapest path through the chunk (encoder_parse.cpp)
//     under the codes of a parse of the chunk's first 64 KiB under guessed
//     prices: never under an earlier chunk's codes (see Chunks below).
//  3. Block splitting. The parse's symbols are split where separate codes
//     pay off: the cut of a range is placed where the entropy of the two
//     halves is lowest, and made only if the halves' real sizes (codes and
//     headers planned in full) beat the whole's; then each half in turn. No
//     block may exceed the 16-bit symbol count.
//  4. Refinement. Each block is parsed again under its own statistics, then
//     under its real code lengths, the codes rebuilt after each parse, for
//     as long as the block shrinks (two rounds at most: more paid a few
//     hundredths of a percent for a third of the time). A round that took
//     less than 1% off is the last: the next one seldom gains more than
//     that one did, and the parses saved are nearly a third of all, for
//     0.07% of the size.
//  5. Writing. The header is planned exactly (encoder_codes.cpp): code
//     lengths limited to 16 bits (plain Huffman, package-merge when that is
//     too deep), the zero-run forms chosen per run, shorter length limits
//     tried where they make the header smaller.
//
// The fast level replaces steps 1, 2 and 4 by hash chains and lazy matching
// (a match is put off when one starting one or two bytes on saves more,
// length weighed against the distance's extra bits) and splits blocks on a
// coarser grid.
//
// Chunks. Both levels work on chunks of 512 KiB that depend on nothing but
// the input: a chunk's matches reach back into the window before it, and its
// prices come from its own bytes. So chunks may be encoded on several
// threads (cores lent by the caller, see CoreBudget) and their bits joined
// in input order; only a few are in flight at once, so memory does not grow
// with the input. Starting each chunk afresh costs about 0.02% of the size.
//
// Output depends only on the input and the level: no clocks, no thread
// timing, no addresses, so the same tree always packs to the same bytes.
#include "lzh/encoder.h"

#include "lzh/encoder_codes.h"
#include "lzh/encoder_matches.h"
#include "lzh/encoder_parse.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace lzh {

namespace {

// ---- Settings -------------------------------------------------------------------------

// How finely a level looks for cuts: the grid in symbols, and the number of
// cut points of the coarse scan of a range.
struct SplitSettings {
    std::uint32_t grid;
    std::size_t coarseCuts;
};

struct StrongSettings {
    unsigned searchDepth = 32;             // tree nodes visited per position
    unsigned niceLength = 256;             // matches this long are taken without search inside
    unsigned refineRounds = 2;             // reparses of a block under its own codes
    unsigned statisticRounds = 1;          // of which priced by statistics, not code lengths
    std::uint64_t lastRoundGain = 100;     // a round that gains under 1/this of the bits ends it
    std::uint32_t chunkSize = 1u << 19;    // bytes parsed and split together
    std::uint32_t primingBytes = 1u << 16; // head of a chunk parsed under guessed prices
    SplitSettings split{32, 64};
};

struct FastSettings {
    unsigned searchDepth = 48; // chain links followed per position
    std::uint32_t chunkSize = 1u << 19;
    SplitSettings split{128, 32};
};

// Blocks are planned well below the count field's limit, so that a reparse
// that adds symbols still fits.
constexpr std::uint32_t plannedBlockSymbols = 60000;

// Every block costs the decoder a header to read and tables to build, about
// as long as decoding two kilobytes of output. A cut is made only when it
// saves at least this many bits: on programs that halves the number of
// blocks for 0.15% of the size.
constexpr std::uint64_t blockCostBits = 256;

// ---- Block splitting ---------------------------------------------------------------------
//
// Cut points lie on a grid of a few dozen symbols. Prefix histograms at the grid
// points give the histogram of any range of whole grid cells at once.

// f * log2(f), from a table for the common small counts. It is built on the
// first use, not before main: every zuq command would pay for it otherwise,
// decoding included. Each estimator fetches it once, so that a lookup is a
// plain load.
constexpr std::uint32_t fLog2FTableSize = 1u << 16;
const double* fLog2FTable() {
    static const std::vector<double> table = [] {
        std::vector<double> values(fLog2FTableSize, 0.0);
        for (std::uint32_t i = 1; i < fLog2FTableSize; ++i) {
            values[i] = i * std::log2(double(i));
        }
        return values;
    }();
    return table.data();
}

inline double fLog2F(const double* table, std::uint32_t f) {
    return f < fLog2FTableSize ? table[f] : f * std::log2(double(f));
}

// The prefix histograms live in a buffer of the caller's: for a chunk they
// take some twenty megabytes.
class SplitEstimator {
  public:
    SplitEstimator(std::span<const Symbol> symbols, std::uint32_t grid,
                   std::vector<std::uint32_t>& buffer)
        : symbols_(symbols), grid_(grid) {
        const std::size_t points = (symbols.size() + grid - 1) / grid + 1;
        if (buffer.size() < points * width) {
            buffer.resize(points * width);
        }
        prefix_ = std::span(buffer).first(points * width); // every point is written below
        std::vector<std::uint32_t> running(width, 0);
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            if (i % grid == 0) {
                std::copy(running.begin(), running.end(), prefix_.begin() + i / grid * width);
            }
            ++running[symbols[i].code];
            if (symbols[i].code >= 256) {
                ++running[symbolAlphabet + distanceClassOf(symbols[i].distance)];
            }
        }
        std::copy(running.begin(), running.end(), prefix_.begin() + (points - 1) * width);
    }

    std::size_t points() const {
        return prefix_.size() / width;
    }
    std::size_t symbolIndex(std::size_t point) const {
        return std::min(point * grid_, symbols_.size());
    }

    // Estimated bits of a block holding the cells [from, to): the entropy of
    // its symbols and distance classes. Only used to find where to cut; the
    // header is left out, since a guess at it only draws cuts to the ends.
    double cost(std::size_t from, std::size_t to) const {
        const std::uint32_t* low = &prefix_[from * width];
        const std::uint32_t* high = &prefix_[to * width];
        return entropyBits(low, high, 0, symbolAlphabet) +
               entropyBits(low, high, symbolAlphabet, width);
    }

    // Bits of a block holding the cells [from, to), its codes planned in full.
    std::uint64_t exactBits(std::size_t from, std::size_t to) const {
        const std::uint32_t* low = &prefix_[from * width];
        const std::uint32_t* high = &prefix_[to * width];
        Histogram histogram;
        for (std::size_t s = 0; s < symbolAlphabet; ++s) {
            histogram.symbols[s] = high[s] - low[s];
        }
        for (std::size_t c = 0; c < distanceAlphabet; ++c) {
            histogram.distances[c] = high[symbolAlphabet + c] - low[symbolAlphabet + c];
        }
        histogram.count = static_cast<std::uint32_t>(symbolIndex(to) - symbolIndex(from));
        return planBlock(histogram).totalBits();
    }

  private:
    static constexpr std::size_t width = symbolAlphabet + distanceAlphabet;

    double entropyBits(const std::uint32_t* low, const std::uint32_t* high, std::size_t from,
                       std::size_t to) const {
        std::uint32_t total = 0;
        double sumFLogF = 0;
        for (std::size_t s = from; s < to; ++s) {
            const std::uint32_t f = high[s] - low[s];
            total += f;
            sumFLogF += fLog2F(fLogF_, f);
        }
        return fLog2F(fLogF_, total) - sumFLogF;
    }

    std::span<const Symbol> symbols_;
    std::size_t grid_;
    std::span<std::uint32_t> prefix_;
    const double* fLogF_ = fLog2FTable();
};

// Where to cut the cells [from, to): the point at which the estimated sizes
// of the two halves add up to the least. A coarse scan, then every cell
// around its best point.
std::size_t bestCut(const SplitEstimator& estimator, std::size_t coarseCuts, std::size_t from,
                    std::size_t to) {
    const std::size_t stride = std::max<std::size_t>(1, (to - from) / coarseCuts);
    double bestCost = std::numeric_limits<double>::max();
    std::size_t best = from + 1;
    const auto tryCut = [&](std::size_t cut) {
        const double cost = estimator.cost(from, cut) + estimator.cost(cut, to);
        if (cost < bestCost) {
            bestCost = cost;
            best = cut;
        }
    };
    for (std::size_t cut = from + stride; cut < to; cut += stride) {
        tryCut(cut);
    }
    // Then ever finer steps around the best so far, down to single cells.
    for (std::size_t span = stride; span > 1;) {
        const std::size_t step = std::max<std::size_t>(1, span / 8);
        const std::size_t centre = best;
        for (std::size_t cut = std::max(from + 1, centre - std::min(centre, span - 1));
             cut < std::min(to, centre + span); cut += step) {
            tryCut(cut);
        }
        span = step;
    }
    return best;
}

// Symbol indexes where blocks begin, with the end appended. A range is cut at
// its best point as long as the real sizes of the two halves (their codes
// and headers planned in full) beat the whole's by blockCostBits, then each
// half the same way. The ranges wait on a stack of their own, not the call stack: a long
// run of small blocks must not exhaust it.
std::vector<std::size_t> splitBlocks(std::span<const Symbol> symbols, SplitSettings settings,
                                     std::vector<std::uint32_t>& prefixBuffer) {
    std::vector<std::size_t> bounds{0};
    if (symbols.empty()) {
        return bounds;
    }
    const SplitEstimator estimator(symbols, settings.grid, prefixBuffer);
    struct Range {
        std::size_t from, to;
        std::uint64_t bits;
    };
    const std::size_t last = estimator.points() - 1;
    std::vector<Range> pending{{0, last, estimator.exactBits(0, last)}};
    while (!pending.empty()) {
        const Range range = pending.back();
        pending.pop_back();
        if (range.to - range.from < 2) {
            continue;
        }
        const std::size_t cut = bestCut(estimator, settings.coarseCuts, range.from, range.to);
        const std::uint64_t leftBits = estimator.exactBits(range.from, cut);
        const std::uint64_t rightBits = estimator.exactBits(cut, range.to);
        const bool tooLong = estimator.symbolIndex(range.to) - estimator.symbolIndex(range.from) >
                             plannedBlockSymbols;
        if (!tooLong && leftBits + rightBits + blockCostBits >= range.bits) {
            continue;
        }
        bounds.push_back(estimator.symbolIndex(cut));
        pending.push_back({range.from, cut, leftBits});
        pending.push_back({cut, range.to, rightBits});
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.push_back(symbols.size());
    return bounds;
}

// ---- Writing ----------------------------------------------------------------------------

// Writes the symbols as one block, or as several if they exceed the count field.
void emitSymbols(BitWriter& writer, std::span<const Symbol> symbols) {
    while (!symbols.empty()) {
        const std::size_t take = std::min<std::size_t>(symbols.size(), maxBlockSymbols);
        const auto block = symbols.first(take);
        writeCodedBlock(writer, block, planBlock(histogramOf(block)));
        symbols = symbols.subspan(take);
    }
}

std::uint32_t bytesCovered(std::span<const Symbol> symbols) {
    std::uint32_t bytes = 0;
    for (const Symbol& symbol : symbols) {
        bytes += symbol.code < 256 ? 1 : symbol.code - matchSymbolBias;
    }
    return bytes;
}

// ---- Working memory ---------------------------------------------------------------------
//
// A chunk is encoded in some tens of megabytes: its match table, the parse's
// costs, the split's prefix histograms. Fresh pages for every chunk cost more
// in page faults and zeroing than the splitting itself, so each chunk
// borrows a set that earlier chunks (on any thread) used and gives it back.
// The pool keeps as many sets as chunks were ever encoded at once.

struct ChunkMemory {
    MatchTable matches;
    ParseBuffers parse;
    std::vector<std::uint32_t> splitPrefix;
    std::vector<Symbol> symbols;   // the chunk's parse
    std::vector<Symbol> block;     // one block's best parse so far
    std::vector<Symbol> candidate; // and its reparse
};

class BorrowedMemory {
  public:
    BorrowedMemory() {
        Pool& pool = thePool();
        std::lock_guard lock(pool.mutex);
        if (pool.sets.empty()) {
            memory_ = std::make_unique<ChunkMemory>();
        } else {
            memory_ = std::move(pool.sets.back());
            pool.sets.pop_back();
        }
    }
    ~BorrowedMemory() {
        Pool& pool = thePool();
        std::lock_guard lock(pool.mutex);
        pool.sets.push_back(std::move(memory_));
    }
    BorrowedMemory(const BorrowedMemory&) = delete;
    BorrowedMemory& operator=(const BorrowedMemory&) = delete;

    ChunkMemory* operator->() {
        return memory_.get();
    }

  private:
    struct Pool {
        std::mutex mutex;
        std::vector<std::unique_ptr<ChunkMemory>> sets;
    };
    static Pool& thePool() {
        static Pool pool;
        return pool;
    }

    std::unique_ptr<ChunkMemory> memory_;
};

// ---- Strong level -------------------------------------------------------------------------

// Encodes the chunk [begin, end) of the input on its own: its matches reach
// back into the window before it but never past its end, and its first parse
// is priced by guesses, then by its own codes, never by an earlier chunk's.
class StrongChunk {
  public:
    StrongChunk(std::span<const std::uint8_t> input, std::uint32_t begin, std::uint32_t end)
        : input_(input.first(end)), begin_(begin), end_(end),
          finder_(input_, settings_.searchDepth) {}

    BitWriter run() {
        for (std::uint32_t pos = begin_ - std::min(begin_, windowSize); pos < begin_; ++pos) {
            finder_.skip(pos);
        }
        memory_->matches.collect(finder_, begin_, end_, settings_.niceLength);
        std::vector<Symbol>& symbols = memory_->symbols;
        symbols.clear();
        // The guessed prices only start things off: a parse of the chunk's
        // head under them gives the codes the whole chunk is parsed under.
        const std::uint32_t headEnd = std::min(end_, begin_ + settings_.primingBytes);
        parseOptimal(input_, begin_, headEnd, memory_->matches, startingPrices(), memory_->parse,
                     symbols);
        const Prices prices = pricesFromPlan(planBlock(histogramOf(symbols)));
        symbols.clear();
        parseOptimal(input_, begin_, end_, memory_->matches, prices, memory_->parse, symbols);
        const std::vector<std::size_t> bounds =
            splitBlocks(symbols, settings_.split, memory_->splitPrefix);
        std::uint32_t blockBegin = begin_;
        for (std::size_t b = 0; b + 1 < bounds.size(); ++b) {
            const auto slice = std::span(symbols).subspan(bounds[b], bounds[b + 1] - bounds[b]);
            const std::uint32_t blockEnd = blockBegin + bytesCovered(slice);
            encodeBlock(blockBegin, blockEnd, slice);
            blockBegin = blockEnd;
        }
        return std::move(writer_);
    }

  private:
    // Reparses the block under its own codes while that makes it smaller.
    void encodeBlock(std::uint32_t begin, std::uint32_t end, std::span<const Symbol> parsed) {
        std::vector<Symbol>& symbols = memory_->block;
        std::vector<Symbol>& candidate = memory_->candidate;
        symbols.assign(parsed.begin(), parsed.end());
        BlockPlan plan = planBlock(histogramOf(symbols));
        for (unsigned round = 0; round < settings_.refineRounds; ++round) {
            // The first rounds price by the symbols' plain statistics: whole
            // bits of code length would lock the parse in too early.
            const Prices prices = round < settings_.statisticRounds
                                      ? pricesFromHistogram(histogramOf(symbols))
                                      : pricesFromPlan(plan);
            candidate.clear();
            parseOptimal(input_, begin, end, memory_->matches, prices, memory_->parse, candidate);
            if (candidate.size() > maxBlockSymbols) {
                break;
            }
            BlockPlan candidatePlan = planBlock(histogramOf(candidate));
            if (candidatePlan.totalBits() >= plan.totalBits()) {
                break;
            }
            const bool gainedLittle =
                (plan.totalBits() - candidatePlan.totalBits()) * settings_.lastRoundGain <
                plan.totalBits();
            plan = std::move(candidatePlan);
            symbols.swap(candidate);
            if (gainedLittle) {
                break;
            }
        }
        if (symbols.size() <= maxBlockSymbols) {
            writeCodedBlock(writer_, symbols, plan);
        } else {
            emitSymbols(writer_, symbols);
        }
    }

    const StrongSettings settings_{};
    std::span<const std::uint8_t> input_;
    std::uint32_t begin_, end_;
    TreeMatchFinder finder_;
    BorrowedMemory memory_;
    BitWriter writer_;
};

// ---- Fast level ----------------------------------------------------------------------------

BitWriter encodeFastChunk(std::span<const std::uint8_t> input, std::uint32_t begin,
                          std::uint32_t end) {
    const FastSettings settings;
    LazyParser parser(input.first(end), settings.searchDepth);
    parser.start(begin);
    BorrowedMemory memory;
    std::vector<Symbol>& symbols = memory->symbols;
    symbols.clear();
    parser.parse(end, symbols);
    BitWriter writer;
    const std::vector<std::size_t> bounds =
        splitBlocks(symbols, settings.split, memory->splitPrefix);
    for (std::size_t b = 0; b + 1 < bounds.size(); ++b) {
        emitSymbols(writer, std::span(symbols).subspan(bounds[b], bounds[b + 1] - bounds[b]));
    }
    return writer;
}

// ---- Chunks -------------------------------------------------------------------------------
//
// Chunks depend on nothing but the input, so any of them may be encoded on
// any thread; their bits are joined in input order. Chunks are claimed in
// order, by the caller's thread and by helpers on the cores the budget can
// spare; a helper goes on claiming chunks until none is left to claim, so
// that its core does not wait for the caller to hand it the next. At most a
// few chunks are in flight beyond the oldest one not yet joined, so memory
// stays bounded whatever the input's size.

class ChunkedEncoder {
  public:
    ChunkedEncoder(std::span<const std::uint8_t> input, Effort effort, CoreBudget* cores)
        : input_(input), effort_(effort), cores_(cores),
          chunkSize_(effort == Effort::fast ? FastSettings{}.chunkSize
                                            : StrongSettings{}.chunkSize),
          count_((input.size() + chunkSize_ - 1) / chunkSize_), results_(count_) {}

    ~ChunkedEncoder() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true; // after a failure, helpers claim nothing more
        }
        if (standby_.joinable()) {
            cores_->callOff(standbyWait_);
            standby_.join();
        }
        for (Helper& helper : helpers_) {
            helper.thread.join();
        }
    }

    std::vector<std::uint8_t> run() {
        BitWriter stream;
        standBy();
        // joined_ changes only here: this thread reads it without the lock.
        while (joined_ < count_) {
            lendCores();
            const std::optional<std::size_t> index = claim();
            if (index) {
                finish(*index, encodeChunk(*index));
            }
            std::unique_lock lock(mutex_);
            if (!index) {
                // The oldest chunk is a helper's: this thread waits for it.
                done_.wait(lock, [&] { return results_[joined_].ready; });
            }
            while (joined_ < count_ && results_[joined_].ready) {
                Result& result = results_[joined_];
                if (result.failure) {
                    std::rethrow_exception(result.failure);
                }
                stream.append(result.bits);
                result = Result{};
                ++joined_;
            }
            lock.unlock();
            joinFinishedHelpers();
        }
        stream.flush();
        return std::move(stream.bytes());
    }

  private:
    // Chunks in flight beyond the oldest unjoined one, at most.
    static constexpr std::size_t window = 8;

    struct Result {
        BitWriter bits;
        std::exception_ptr failure;
        bool ready = false;
    };

    struct Helper {
        std::thread thread;
        bool finished = false; // set, under the lock, as it stops claiming
    };

    BitWriter encodeChunk(std::size_t index) const {
        const auto begin = static_cast<std::uint32_t>(index * chunkSize_);
        const auto end = static_cast<std::uint32_t>(
            std::min<std::size_t>(input_.size(), std::size_t{begin} + chunkSize_));
        return effort_ == Effort::fast ? encodeFastChunk(input_, begin, end)
                                       : StrongChunk(input_, begin, end).run();
    }

    // The next chunk to encode, if one may start now.
    std::optional<std::size_t> claim() {
        std::lock_guard lock(mutex_);
        return claimLocked();
    }
    std::optional<std::size_t> claimLocked() {
        if (stopping_ || next_ == count_ || next_ - joined_ >= window) {
            return std::nullopt;
        }
        return next_++;
    }

    void finish(std::size_t index, BitWriter bits, std::exception_ptr failure = nullptr) {
        {
            std::lock_guard lock(mutex_);
            results_[index].bits = std::move(bits);
            results_[index].failure = failure;
            results_[index].ready = true;
            stopping_ = stopping_ || failure != nullptr;
        }
        done_.notify_all();
    }

    // Starts a helper on every core the budget can spare while more chunks
    // wait than the threads already at work will claim soon.
    void lendCores() {
        while (cores_ != nullptr) {
            {
                std::lock_guard lock(mutex_);
                const std::size_t claimable = std::min(count_, joined_ + window) - next_;
                if (stopping_ || claimable <= 1 + activeHelpers_) {
                    return; // this thread takes the next one itself
                }
            }
            if (!cores_->tryTake()) {
                return;
            }
            std::lock_guard lock(mutex_);
            // The helper's place is made before its thread, and a list's
            // places stay where they are when it is joined to the others.
            try {
                std::list<Helper> fresh(1);
                Helper& helper = fresh.front();
                helper.thread = std::thread([this, &helper] { helpOut(&helper.finished); });
                helpers_.splice(helpers_.end(), fresh);
            } catch (...) {
                cores_->give(); // no helper: the chunks are done here in their turn
                return;
            }
            ++activeHelpers_; // before the helper can take the lock
        }
    }

    // A core that comes free while this input is encoded, from whoever gave
    // it back, should start on a chunk at once, not when this thread next
    // looks: one thread waits for it.
    void standBy() {
        if (cores_ == nullptr || count_ < 2) {
            return;
        }
        try {
            standby_ = std::thread([this] {
                if (!cores_->takeUnlessCalledOff(standbyWait_)) {
                    return;
                }
                std::unique_lock lock(mutex_);
                ++activeHelpers_;
                lock.unlock();
                helpOut(nullptr);
            });
        } catch (const std::system_error&) {
            // No standby: cores are lent between chunks only.
        }
    }

    // A helper's life: chunks, as long as there are chunks to claim. Then
    // *finished (if given) tells the caller that the thread may be joined.
    void helpOut(bool* finished) {
        std::unique_lock lock(mutex_);
        while (const std::optional<std::size_t> index = claimLocked()) {
            lock.unlock();
            BitWriter bits;
            std::exception_ptr failure;
            try {
                bits = encodeChunk(*index);
            } catch (...) {
                failure = std::current_exception();
            }
            finish(*index, std::move(bits), failure);
            lock.lock();
        }
        --activeHelpers_;
        if (finished != nullptr) {
            *finished = true;
        }
        lock.unlock();
        cores_->give();
    }

    void joinFinishedHelpers() {
        std::list<Helper> finished;
        {
            std::lock_guard lock(mutex_);
            for (auto helper = helpers_.begin(); helper != helpers_.end();) {
                const auto next = std::next(helper);
                if (helper->finished) {
                    finished.splice(finished.end(), helpers_, helper);
                }
                helper = next;
            }
        }
        for (Helper& helper : finished) {
            helper.thread.join();
        }
    }

    std::span<const std::uint8_t> input_;
    Effort effort_;
    CoreBudget* cores_;
    std::size_t chunkSize_;
    std::size_t count_;
    std::vector<Result> results_;
    std::mutex mutex_; // guards all below, and results_
    std::condition_variable done_;
    std::size_t next_ = 0;   // chunks claimed
    std::size_t joined_ = 0; // chunks joined
    std::size_t activeHelpers_ = 0;
    bool stopping_ = false;
    std::list<Helper> helpers_;
    CoreBudget::Wait standbyWait_;
    std::thread standby_; // joined first in the destructor
};

} // namespace

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input, Effort effort,
                                 CoreBudget* cores) {
    if (input.size() > largestInput) {
        throw std::length_error("input too large for the lh5 encoder");
    }
    return ChunkedEncoder(input, effort, cores).run();
}

} // namespace lzh
