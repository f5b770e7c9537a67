// Throughput of the lh5 decoder and of the extraction walk on real payload
// archives, in bytes of output per second.
//
//   lh5_decode_bench [--benchmark_...] ARCHIVE...
//
// For each archive two benchmarks run: "decode/NAME" decodes every entry in
// memory, chunk by chunk into the window, as zuq test does; "extract/NAME"
// runs extractArchive into a scratch folder, files written as the setup
// program writes them. bench/peers builds a corpus of this machine's files
// and calls this program on it.
#include "archive/entry.h"
#include "archive/extract.h"
#include "archive/verify.h"
#include "lzh/decoder.h"
#include "tools/zuq/archive_file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Corpus {
    std::string name;
    std::unique_ptr<ArchiveFile> archive;
    std::uint64_t entries = 0;
    std::uint64_t unpackedBytes = 0;
};

// Totals from the headers; false when an entry header is bad.
bool countArchive(Corpus& corpus) {
    EntryWalk walk;
    startEntryWalk(&walk, corpus.archive->data(), corpus.archive->size());
    HeaderResult read;
    while ((read = readNextEntry(&walk)) == headerSound) {
        ++corpus.entries;
        corpus.unpackedBytes += walk.header.unpackedSize;
    }
    return read == headerEndOfArchive;
}

void decodeArchive(benchmark::State& state, const Corpus* corpus) {
    const unsigned char* data = corpus->archive->data();
    std::uint32_t size = corpus->archive->size();
    for (auto _ : state) {
        EntryHeader header;
        EntryFault fault;
        for (std::uint32_t offset = 0;;) {
            std::int32_t r = verifyEntry(data, size, offset, &header, &fault);
            if (r <= 0) {
                if (r < 0) {
                    state.SkipWithError("damaged entry");
                }
                break;
            }
            offset = static_cast<std::uint32_t>(r);
        }
        benchmark::DoNotOptimize(decodeWindow[0]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus->unpackedBytes));
    state.counters["entries"] = static_cast<double>(corpus->entries);
}

void extractIntoScratch(benchmark::State& state, const Corpus* corpus) {
    std::filesystem::path startDir = std::filesystem::current_path();
    std::filesystem::path target =
        std::filesystem::temp_directory_path() / ("qm-extract-bench-" + corpus->name);
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    std::string dir = target.string();
    for (auto _ : state) {
        std::int32_t count =
            extractArchive(corpus->archive->data(), corpus->archive->size(), dir.c_str());
        if (count < 0) {
            state.SkipWithError("extraction failed");
            break;
        }
    }
    std::filesystem::current_path(startDir);
    std::filesystem::remove_all(target);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus->unpackedBytes));
    state.counters["entries"] = static_cast<double>(corpus->entries);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: lh5_decode_bench [--benchmark_...] ARCHIVE...\n");
        return 2;
    }
    std::vector<std::unique_ptr<Corpus>> corpora;
    for (int i = 1; i < argc; ++i) {
        auto corpus = std::make_unique<Corpus>();
        corpus->name = std::filesystem::path(argv[i]).stem().string();
        corpus->archive = std::make_unique<ArchiveFile>();
        std::string error;
        if (!corpus->archive->open(argv[i], &error) || !countArchive(*corpus)) {
            std::fprintf(stderr, "lh5_decode_bench: %s: %s\n", argv[i],
                         error.empty() ? "bad entry header" : error.c_str());
            return 1;
        }
        corpora.push_back(std::move(corpus));
    }
    for (const auto& corpus : corpora) {
        benchmark::RegisterBenchmark(("decode/" + corpus->name).c_str(), decodeArchive,
                                     corpus.get())
            ->Unit(benchmark::kMillisecond);
    }
    for (const auto& corpus : corpora) {
        benchmark::RegisterBenchmark(("extract/" + corpus->name).c_str(), extractIntoScratch,
                                     corpus.get())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
