// zuq list and zuq test over one archive in memory. Both walk the same
// headers, so when list gets through, test must report the same number of
// entries.
#include "fuzz/output_limit.h"
#include "tools/zuq/exit_codes.h"
#include "tools/zuq/walks.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// The number in "... N entries" (list) or "tested N entries" / "D of N
// entries damaged" (test): the digits right before " entries".
long entryCount(const std::string& text) {
    std::size_t end = text.rfind(" entries");
    if (end == std::string::npos) {
        return -1;
    }
    std::size_t start = text.find_last_not_of("0123456789", end - 1) + 1;
    return std::stol(text.substr(start, end - start));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!withinOutputLimit(data, size, fuzzOutputLimit)) {
        return 0;
    }
    auto archiveSize = static_cast<std::uint32_t>(size);
    std::ostringstream listOut, listErr, testOut, testErr;
    int listed = listArchive(data, archiveSize, listOut, listErr);
    int tested = testArchive(data, archiveSize, false, 1, testOut, testErr);

    if (listed == exitSuccess) {
        if (entryCount(listOut.str()) != entryCount(testOut.str()) || !listErr.str().empty()) {
            std::abort();
        }
    } else if (tested != exitEntryFailed || listErr.str().empty()) {
        // A bad header ends both walks with a complaint.
        std::abort();
    }
    return 0;
}
