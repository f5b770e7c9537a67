// Encodes each file given with our lh5 encoder and prints the totals:
//   lh5-encode-files [--fast] [--lzh ARCHIVE] FILE...
// With --lzh the streams are also written as a .lzh archive, so that other
// programs can check them.
#include "lzh/encoder.h"
#include "tests/support/lzh_container.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    lzh::Effort effort = lzh::Effort::strong;
    std::string lzhPath;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fast") {
            effort = lzh::Effort::fast;
        } else if (arg == "--lzh" && i + 1 < argc) {
            lzhPath = argv[++i];
        } else {
            files.push_back(arg);
        }
    }
    std::uint64_t bytesIn = 0, bytesOut = 0;
    double seconds = 0;
    std::vector<LzhEntry> members;
    for (const std::string& file : files) {
        std::vector<std::uint8_t> data = readFileBytes(file);
        const std::clock_t start = std::clock();
        std::vector<std::uint8_t> packed = lzh::encode(data, effort);
        seconds +=
            double(std::clock() - start) / CLOCKS_PER_SEC; // processor time: steady under load
        bytesIn += data.size();
        bytesOut += packed.size();
        if (!lzhPath.empty()) {
            members.push_back({"-lh5-", file, std::move(packed),
                               static_cast<std::uint32_t>(data.size()),
                               lzhCrc16(data.data(), data.size())});
        }
    }
    if (!lzhPath.empty()) {
        writeFileBytes(lzhPath, writeLzhArchive(members));
    }
    std::printf("files %zu in %llu out %llu ratio %.4f seconds %.3f MB/s %.2f\n", files.size(),
                static_cast<unsigned long long>(bytesIn), static_cast<unsigned long long>(bytesOut),
                bytesIn ? double(bytesOut) / double(bytesIn) : 0.0, seconds,
                seconds > 0 ? double(bytesIn) / 1e6 / seconds : 0.0);
    return 0;
}
