// The walk of a tree and the writing of its entries, shared by `zuq pack` and
// `zuq setup`.
//
// The order is fixed (in each directory its files by name, then its
// sub-directories by name; names compared without regard to case), and the
// encoder's output depends only on its input, so the same tree always gives
// the same archive, however many threads pack it: files are compressed side
// by side and written in that order.
#include "tools/zuq/pack_tree.h"
#include "tools/zuq/archive_file.h"
#include "tools/zuq/large_buffer.h"
#include "tools/zuq/progress.h"

#include "archive/entry.h"
#include "archive/writer.h"
#include "lzh/encoder.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <fstream>
#include <map>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return lowerAscii(c); });
    return text;
}

// Names without regard to case first, so that the order is the same on every
// file system; exact bytes break ties.
bool comesBefore(const std::string& a, const std::string& b) {
    const std::string la = lowerAscii(a), lb = lowerAscii(b);
    return la != lb ? la < lb : a < b;
}

bool samePath(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

class Walker {
  public:
    Walker(Collection& found, std::vector<fs::path> excluded)
        : found_(found), excluded_(std::move(excluded)) {}

    // Collects the files below dir; returns whether there was any.
    bool walk(const fs::path& dir, const std::string& prefix) {
        std::vector<std::pair<std::string, fs::directory_entry>> files, dirs;
        std::error_code error;
        for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
            const fs::directory_entry& entry = *it;
            const std::string component = bytesOf(entry.path().filename());
            const std::string name = prefix + component;
            if (component.find('\\') != std::string::npos) {
                // It would read as a folder separator in the archive.
                found_.faults.push_back(name + ": " + nameCheckText(nameBadCharacter));
                continue;
            }
            const fs::file_status status = entry.symlink_status(error);
            if (error) {
                break;
            }
            if (fs::is_symlink(status)) {
                found_.notes.push_back("skipped symbolic link " + name);
            } else if (fs::is_directory(status)) {
                dirs.emplace_back(name, entry);
            } else if (fs::is_regular_file(status)) {
                if (!isExcluded(entry.path())) {
                    files.emplace_back(name, entry);
                }
            } else {
                found_.notes.push_back("skipped " + name + ": not a regular file");
            }
        }
        if (error) {
            found_.faults.push_back("cannot read the directory " + bytesOf(dir) + ": " +
                                    error.message());
            return false;
        }
        const auto byName = [](const auto& a, const auto& b) {
            return comesBefore(a.first, b.first);
        };
        std::sort(files.begin(), files.end(), byName);
        std::sort(dirs.begin(), dirs.end(), byName);
        for (const auto& [name, entry] : files) {
            addFile(name, entry);
        }
        bool any = !files.empty();
        for (const auto& [name, entry] : dirs) {
            if (walk(entry.path(), name + "\\")) {
                any = true;
            } else {
                found_.notes.push_back("skipped empty directory " + name);
            }
        }
        return any;
    }

  private:
    bool isExcluded(const fs::path& path) const {
        return std::any_of(excluded_.begin(), excluded_.end(),
                           [&](const fs::path& e) { return samePath(path, e); });
    }

    void addFile(const std::string& name, const fs::directory_entry& entry) {
        std::error_code error;
        const std::uint64_t size = entry.file_size(error);
        if (error) {
            found_.faults.push_back(name + ": " + error.message());
            return;
        }
        if (size > largestEntryFile) {
            found_.faults.push_back(name + ": 4 GiB or more, larger than an entry can hold");
            return;
        }
        // Windows does not tell such names apart: one file would overwrite the other.
        const auto [previous, fresh] = seenNames_.emplace(lowerAscii(name), name);
        if (!fresh) {
            found_.faults.push_back(name + ": differs from " + previous->second + " only in case");
            return;
        }
        found_.files.push_back({entry.path(), name, size});
    }

    Collection& found_;
    std::vector<fs::path> excluded_;
    std::map<std::string, std::string> seenNames_;
};

void checkNames(Collection& found, std::size_t installDirLength) {
    for (const SourceFile& file : found.files) {
        const int check = checkEntryName(file.name, installDirLength);
        if (check != nameFits) {
            found.faults.push_back(file.name + ": " + nameCheckText(check));
        }
    }
}

// A file's bytes as read, into a buffer the read fills in full.
class FileBytes {
  public:
    bool read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) {
            return false;
        }
        const std::streamoff size = in.tellg();
        if (size < 0 || !buffer_.allocate(static_cast<std::size_t>(size))) {
            return false;
        }
        in.seekg(0);
        in.read(reinterpret_cast<char*>(buffer_.data()), size);
        return static_cast<bool>(in) || size == 0;
    }
    std::span<const std::uint8_t> bytes() const {
        return {buffer_.data(), buffer_.size()};
    }
    void release() {
        buffer_.release();
    }

  private:
    LargeBuffer<std::uint8_t> buffer_;
};

// One entry on its way from its file to the archive: the bytes that follow
// its header, or why it cannot be packed.
struct PackedEntry {
    std::vector<std::uint8_t> packed; // the lh5 stream, when compressed
    FileBytes file;                   // the file's bytes, when stored
    std::span<const std::uint8_t> body() const {
        return compressed ? std::span<const std::uint8_t>(packed) : file.bytes();
    }
    std::uint64_t size = 0; // the file's own bytes
    bool compressed = false;
    std::string fault;
    std::exception_ptr failure; // thrown by the encoder, rethrown in archive order
};

// Reads and compresses one file. Only the body is kept: the input is freed as
// soon as the stream is smaller, so a file is never held twice.
PackedEntry packFile(const SourceFile& file, PackLevel level, lzh::CoreBudget& cores) {
    PackedEntry entry;
    if (!entry.file.read(file.path)) {
        entry.fault = file.name + ": cannot read the file";
        return entry;
    }
    const std::span<const std::uint8_t> data = entry.file.bytes();
    if (data.size() > largestEntryFile) {
        entry.fault = file.name + ": grew to 4 GiB or more while being packed";
        return entry;
    }
    entry.size = data.size();
    if (level != PackLevel::store && !data.empty() && data.size() <= lzh::largestInput) {
        entry.packed = lzh::encode(
            data, level == PackLevel::fast ? lzh::Effort::fast : lzh::Effort::strong, &cores);
    }
    entry.compressed = !entry.packed.empty() && entry.packed.size() < data.size();
    if (entry.compressed) {
        entry.file.release();
    } else {
        entry.packed = {};
    }
    return entry;
}

// Packs the files on worker threads and hands the entries over in archive
// order. The encoder's output depends only on its input, so the archive does
// not depend on the number of threads.
//
// Memory stays bounded by a window: a file is started only while fewer than
// sixteen per thread wait to be written (so that the other threads go on
// with small files while one packs a large one), and while the files in
// flight hold at most inFlightBudget bytes between them (a larger file goes
// alone). A fault stops the start of any later file; the writer reaches it
// after the entries before it, so the first fault in archive order is the
// one reported.
//
// The threads share one budget of cores with the encoder: a worker holds a
// core while it packs, and the encoder lends any core left over (fewer
// files than threads, or one large file at the end) to pieces of a large
// file. So N threads keep at most N cores busy.
class EntryPipeline {
  public:
    static constexpr std::uint64_t inFlightBudget = std::uint64_t{1} << 30;

    EntryPipeline(const std::vector<SourceFile>& files, PackLevel level, unsigned threads)
        : files_(files), level_(level), cores_(std::max(1u, threads)), end_(files.size()) {
        const std::size_t workers = std::max<std::size_t>(1, std::min<std::size_t>(threads, end_));
        window_ = 16 * workers;
        for (std::size_t i = 0; i < workers; ++i) {
            try {
                workers_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                // Fewer threads than asked for still pack the same archive.
                if (workers_.empty()) {
                    throw;
                }
                break;
            }
        }
    }

    ~EntryPipeline() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
    }

    EntryPipeline(const EntryPipeline&) = delete;
    EntryPipeline& operator=(const EntryPipeline&) = delete;

    // Waits for the entry of the next file in archive order and takes it.
    PackedEntry take() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return done_.contains(taken_); });
        auto node = done_.extract(taken_);
        bytesInFlight_ -= files_[taken_].size;
        ++taken_;
        lock.unlock();
        room_.notify_all();
        return std::move(node.mapped());
    }

  private:
    // Whether file next_ may start now. When nothing is in flight, it may:
    // the writer waits for it.
    bool mayStart() const {
        const std::uint64_t size = files_[next_].size;
        return next_ < taken_ + window_ &&
               (bytesInFlight_ == 0 || bytesInFlight_ + size <= inFlightBudget);
    }

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            room_.wait(lock, [this] { return stopping_ || next_ >= end_ || mayStart(); });
            if (stopping_ || next_ >= end_) {
                return;
            }
            const std::size_t index = next_++;
            bytesInFlight_ += files_[index].size;
            lock.unlock();
            PackedEntry entry;
            cores_.take();
            try {
                entry = packFile(files_[index], level_, cores_);
            } catch (...) {
                entry.failure = std::current_exception();
            }
            cores_.give();
            lock.lock();
            if (!entry.fault.empty() || entry.failure) {
                end_ = std::min(end_, index + 1);
            }
            done_.emplace(index, std::move(entry));
            ready_.notify_all();
            // A lowered end lets idle workers go.
            room_.notify_all();
        }
    }

    const std::vector<SourceFile>& files_;
    const PackLevel level_;
    lzh::CoreBudget cores_;
    std::vector<std::thread> workers_;

    std::mutex mutex_;
    std::condition_variable ready_; // an entry was packed
    std::condition_variable room_;  // an entry was taken, or the end moved
    std::size_t window_ = 1;
    std::size_t end_;                 // files past this are not started (a fault before them)
    std::size_t next_ = 0;            // the next file to start
    std::size_t taken_ = 0;           // entries handed to the writer
    std::uint64_t bytesInFlight_ = 0; // file bytes started and not yet taken
    bool stopping_ = false;
    std::map<std::size_t, PackedEntry> done_; // packed, waiting for their turn
};

} // namespace

unsigned threadsPerCore() {
    return std::max(1u, std::thread::hardware_concurrency());
}

bool writeEntries(const Collection& found, PackLevel level, unsigned threads, std::ostream& out,
                  PackTotals& totals, std::string& fault) {
    std::uint64_t totalBytes = 0;
    for (const SourceFile& file : found.files) {
        totalBytes += file.size;
    }
    ProgressBar bar(found.files.size(), totalBytes);
    EntryPipeline pipeline(found.files, level, threads == 0 ? threadsPerCore() : threads);
    std::uint32_t lastPackedSize = 0;
    for (const SourceFile& file : found.files) {
        // The file about to be packed counts from now on, as in extraction.
        bar.update(totals.entries + 1, totals.bytesIn, file.name);
        const PackedEntry entry = pipeline.take();
        if (entry.failure) {
            std::rethrow_exception(entry.failure);
        }
        if (!entry.fault.empty()) {
            fault = entry.fault;
            return false;
        }
        const std::span<const std::uint8_t> body = entry.body();
        const auto bodySize = static_cast<std::uint32_t>(body.size());
        const std::vector<unsigned char> header =
            makeEntryHeader(file.name, entry.compressed ? methodCompressed : methodStored, bodySize,
                            static_cast<std::uint32_t>(entry.size));
        totals.bytesOut += header.size() + body.size();
        if (totals.bytesOut + closingPaddingAfter(bodySize) > largestArchive) {
            fault = file.name + ": the archive would grow past 2 GiB, more than the setup reads";
            return false;
        }
        out.write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(header.size()));
        out.write(reinterpret_cast<const char*>(body.data()),
                  static_cast<std::streamsize>(body.size()));
        lastPackedSize = bodySize;
        ++totals.entries;
        totals.bytesIn += entry.size;
    }
    bar.finish();
    if (totals.entries > 0 && closingPaddingAfter(lastPackedSize) > 0) {
        out.put(0);
        ++totals.bytesOut;
    }
    out.flush();
    if (!out) {
        fault = "cannot write the archive";
        return false;
    }
    return true;
}
Collection collectFiles(const fs::path& dir, std::size_t installDirLength,
                        std::vector<fs::path> excluded) {
    Collection found;
    Walker walker(found, std::move(excluded));
    walker.walk(dir, "");
    checkNames(found, installDirLength);
    return found;
}

bool reportCollection(const Collection& found) {
    for (const std::string& skipped : found.notes) {
        note(skipped);
    }
    if (found.faults.empty()) {
        return true;
    }
    for (const std::string& fault : found.faults) {
        complain(fault);
    }
    complain("nothing packed: " + std::to_string(found.faults.size()) +
             " file(s) cannot go into an archive");
    return false;
}
