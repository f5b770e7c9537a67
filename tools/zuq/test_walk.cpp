#include "tools/zuq/walks.h"

#include "tools/zuq/archive_file.h"
#include "tools/zuq/exit_codes.h"

#include "archive/verify.h"
#include "lzh/decoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
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

// The entries up to the end of the archive or the first bad header, whose
// verdict comes last.
std::vector<Verdict> walkHeaders(const unsigned char* archive, std::uint32_t size) {
    std::vector<Verdict> entries;
    EntryWalk walk;
    startEntryWalk(&walk, archive, size);
    for (;;) {
        const std::uint32_t offset = walk.offset;
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

// Decodes the entries on worker threads, each with a decoder of its own, and
// hands the verdicts over in archive order as they come in. The largest
// entries go first, so that no thread is left with a large one at the end.
// With one thread, the caller's thread decodes each entry as it asks for it.
class Verifier {
  public:
    Verifier(const unsigned char* archive, std::uint32_t size, std::vector<Verdict>& entries,
             unsigned threads)
        : archive_(archive), size_(size), entries_(entries), done_(entries.size(), false),
          order_(entries.size()) {
        std::iota(order_.begin(), order_.end(), std::size_t{0});
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
            return entries[a].header.unpackedSize > entries[b].header.unpackedSize;
        });
        for (unsigned i = 0; threads > 1 && i < threads; ++i) {
            workers_.emplace_back([this] { work(); });
        }
    }
    ~Verifier() {
        next_ = entries_.size(); // a walk cut short leaves the rest undecoded
        for (std::thread& worker : workers_) {
            worker.join();
        }
    }
    const Verdict& waitFor(std::size_t i) {
        if (workers_.empty()) {
            decode(entries_[i]);
            return entries_[i];
        }
        std::unique_lock lock(mutex_);
        decoded_.wait(lock, [&] { return done_[i]; });
        return entries_[i];
    }

  private:
    void decode(Verdict& v) const {
        if (v.result != verifyBadHeader) {
            v.result = verifyEntry(archive_, size_, v.offset, &v.header, &v.fault);
        }
    }

    void work() {
        for (std::size_t taken; (taken = next_++) < order_.size();) {
            const std::size_t i = order_[taken];
            decode(entries_[i]);
            std::lock_guard lock(mutex_);
            done_[i] = true;
            decoded_.notify_all();
        }
    }

    const unsigned char* archive_;
    std::uint32_t size_;
    std::vector<Verdict>& entries_;
    std::vector<bool> done_;
    std::vector<std::size_t> order_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable decoded_;
    std::vector<std::thread> workers_;
};

} // namespace

int testArchive(const unsigned char* archive, std::uint32_t size, bool quiet, unsigned threads,
                std::ostream& out, std::ostream& err) {
    std::vector<Verdict> entries = walkHeaders(archive, size);
    if (!decoderPerThread) {
        threads = 1;
    }
    Verifier verifier(archive, size, entries,
                      static_cast<unsigned>(std::clamp<std::size_t>(entries.size(), 1, threads)));
    std::uint64_t count = 0;
    std::uint64_t damaged = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Verdict& v = verifier.waitFor(i);
        if (v.result == verifyBadHeader || v.result == verifyDamagedStream) {
            out.flush();
            err << "zuq: " << describeEntry(v.offset, v.header.name) << ": "
                << entryFaultText(v.fault) << '\n';
        }
        if (v.result == verifyBadHeader) {
            return exitEntryFailed;
        }
        ++count;
        if (v.result == verifyDamagedStream) {
            // The header is sound, so the walk goes on to the next entry.
            ++damaged;
        } else if (!quiet) {
            out << "ok  " << printable(v.header.name) << '\n';
        }
    }
    if (damaged) {
        out << damaged << " of " << count << " entries damaged\n";
        return exitEntryFailed;
    }
    out << "tested " << count << " entries, all sound\n";
    return exitSuccess;
}
