#include "tools/zuq/walks.h"

#include "tools/zuq/archive_file.h"
#include "tools/zuq/exit_codes.h"
#include "tools/zuq/two_thread_decode.h"

#include "archive/verify.h"
#include "lzh/decoder.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

struct Verdict {
    std::uint32_t offset;
    EntryHeader header;
    EntryFault fault;
    std::int32_t result;
};

// Asks for the bytes of the header at offset: its fixed part, then as much
// as its size field says. A walk over small entries asks for a good way
// past the fixed part, so that the file comes in a few large reads.
constexpr std::uint64_t walkAhead = std::uint64_t{1} << 20;
void awaitHeader(Arrival* arrival, const unsigned char* archive, std::uint64_t offset) {
    if (arrival == nullptr) {
        return;
    }
    arrival->await(offset + walkAhead);
    arrival->await(offset + readLittle32(archive + offset + headerSizeField));
}

// The entries up to the end of the archive or the first bad header, whose
// verdict comes last.
std::vector<Verdict> walkHeaders(const unsigned char* archive, std::uint32_t size,
                                 Arrival* arrival) {
    std::vector<Verdict> entries;
    EntryWalk walk;
    startEntryWalk(&walk, archive, size);
    for (;;) {
        const std::uint32_t offset = walk.offset;
        if (size - offset > entryFixedSize) {
            awaitHeader(arrival, archive, offset); // else the walk reads nothing more
        }
        const HeaderResult read = readNextEntry(&walk);
        if (read == headerEndOfArchive) {
            return entries;
        }
        entries.push_back(
            {offset, walk.header, walk.fault, read == headerBad ? verifyBadHeader : 0});
        if (read == headerBad) {
            return entries;
        }
    }
}

// Decodes the entries on `threads` threads, each with a decoder of its own;
// the largest go first, so that no thread is left with a large one at the
// end. Whichever thread finishes the entry the report waits for reports it
// and every finished one after it: verdicts come out in archive order as
// soon as they can, with no thread woken for each one. One thread is the
// caller's own, in archive order. With threads to spare (fewer entries than
// threads), a large entry is decoded on two.
class Verifier {
  public:
    using Report = std::function<void(const Verdict&)>;

    Verifier(const unsigned char* archive, std::uint32_t size, Arrival* arrival,
             std::vector<Verdict>& entries, Report report)
        : archive_(archive), size_(size), arrival_(arrival), entries_(entries),
          report_(std::move(report)), done_(entries.size(), false), order_(entries.size()) {
        std::iota(order_.begin(), order_.end(), std::size_t{0});
    }

    void run(unsigned threads, bool twoThreadEntries) {
        twoThreadEntries_ = twoThreadEntries && canDecodeOnTwoThreads();
        if (threads == 1) {
            work();
            return;
        }
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
            return entries_[a].header.unpackedSize > entries_[b].header.unpackedSize;
        });
        // All on threads of their own: one started while the caller's thread
        // is busy would wait for the system to move it to a free core.
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < threads; ++i) {
            workers.emplace_back([this] { work(); });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }

  private:
    void decode(Verdict& v) const {
        if (v.result == verifyBadHeader) {
            return;
        }
        if (twoThreadEntries_ && isCompressed(&v.header) &&
            v.header.unpackedSize >= twoThreadMinimum) {
            // The walk found the header sound.
            v.fault =
                decodeEntryOnTwoThreads(archive_, &v.header, lookAtNothing, nullptr, arrival_);
            v.result = v.fault == faultNone ? static_cast<std::int32_t>(v.header.nextOffset)
                                            : verifyDamagedStream;
            return;
        }
        awaitBytes(arrival_, v.header.nextOffset);
        v.result = verifyEntry(archive_, size_, v.offset, &v.header, &v.fault);
    }

    static EntryFault lookAtNothing(const unsigned char*, std::uint32_t, void*) {
        return faultNone;
    }

    void work() {
        for (std::size_t taken; (taken = next_++) < order_.size();) {
            const std::size_t i = order_[taken];
            decode(entries_[i]);
            std::lock_guard lock(mutex_);
            done_[i] = true;
            for (; reported_ < entries_.size() && done_[reported_]; ++reported_) {
                report_(entries_[reported_]);
            }
        }
    }

    const unsigned char* archive_;
    std::uint32_t size_;
    Arrival* arrival_;
    std::vector<Verdict>& entries_;
    Report report_;
    bool twoThreadEntries_ = false;
    std::vector<bool> done_;
    std::vector<std::size_t> order_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;         // guards done_, reported_ and the report
    std::size_t reported_ = 0; // entries reported so far, in archive order
};

} // namespace

int testArchive(const unsigned char* archive, std::uint32_t size, bool quiet, unsigned threads,
                std::ostream& out, std::ostream& err, Arrival* arrival) {
    std::vector<Verdict> entries = walkHeaders(archive, size, arrival);
    if (!decoderPerThread) {
        threads = 1;
    }
    std::uint64_t count = 0;
    std::uint64_t damaged = 0;
    bool badHeader = false;
    Verifier verifier(archive, size, arrival, entries, [&](const Verdict& v) {
        if (v.result == verifyBadHeader || v.result == verifyDamagedStream) {
            out.flush();
            err << "zuq: " << describeEntry(v.offset, v.header.name) << ": "
                << entryFaultText(v.fault) << '\n';
        }
        if (v.result == verifyBadHeader) {
            // The walk ended here: it is the last verdict.
            badHeader = true;
            return;
        }
        ++count;
        if (v.result == verifyDamagedStream) {
            // The header is sound, so the walk goes on to the next entry.
            ++damaged;
        } else if (!quiet) {
            out << "ok  " << printable(v.header.name) << '\n';
        }
    });
    verifier.run(static_cast<unsigned>(std::clamp<std::size_t>(entries.size(), 1, threads)),
                 entries.size() < threads);
    if (badHeader) {
        return exitEntryFailed;
    }
    if (damaged) {
        out << damaged << " of " << count << " entries damaged\n";
        return exitEntryFailed;
    }
    out << "tested " << count << " entries, all sound\n";
    return exitSuccess;
}
