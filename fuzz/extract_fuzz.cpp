// The archive walk with extraction into files. Each input is extracted into
// an empty install directory inside a scratch folder of its own; afterwards
// nothing may exist in the scratch folder beside the install directory, and
// an archive that extracts must also pass the in-memory check entry by entry.
#include "archive/extract.h"
#include "archive/verify.h"
#include "fuzz/output_limit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Scratch folder in memory when the machine has one: the target writes files
// on every run.
fs::path makeScratch() {
    const char* bases[] = {"/dev/shm", "/tmp"};
    for (const char* base : bases) {
        std::string pattern = std::string(base) + "/qm-fuzz-extract.XXXXXX";
        if (mkdtemp(pattern.data())) {
            return pattern;
        }
    }
    std::abort();
}

struct Scratch {
    fs::path root = makeScratch();
    fs::path installDir = root / "install";
    fs::path startDir = fs::current_path();
    ~Scratch() {
        std::error_code ignored;
        fs::current_path(startDir, ignored);
        fs::remove_all(root, ignored);
    }
};

Scratch& scratch() {
    static Scratch instance;
    return instance;
}

// Entries the in-memory check accepts before the end; -1 when any fails.
std::int32_t soundEntries(const std::uint8_t* data, std::uint32_t size) {
    std::int32_t count = 0;
    for (std::uint32_t offset = 0;;) {
        EntryHeader header;
        EntryFault fault;
        std::int32_t r = verifyEntry(data, size, offset, &header, &fault);
        if (r == verifyEndOfArchive) {
            return count;
        }
        if (r < 0) {
            return -1;
        }
        ++count;
        offset = static_cast<std::uint32_t>(r);
    }
}

// Only the install directory may exist in the scratch folder.
void checkNothingEscaped(const Scratch& s) {
    for (const fs::directory_entry& entry : fs::directory_iterator(s.root)) {
        if (entry.path() != s.installDir) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!withinOutputLimit(data, size, fuzzOutputLimit)) {
        return 0;
    }
    Scratch& s = scratch();
    fs::current_path(s.startDir);
    // Most inputs are refused before anything is created.
    if (!fs::is_directory(s.installDir) || !fs::is_empty(s.installDir)) {
        fs::remove_all(s.installDir);
        fs::create_directory(s.installDir);
    }

    auto archiveSize = static_cast<std::uint32_t>(size);
    std::int32_t extracted = extractArchive(data, archiveSize, s.installDir.c_str());
    fs::current_path(s.startDir);
    checkNothingEscaped(s);
    // Tables and window carry over between entries, and both walks start
    // from whatever state the last run left; only the outcome must agree.
    if (extracted >= 0 && soundEntries(data, archiveSize) != extracted) {
        std::abort();
    }
    return 0;
}
