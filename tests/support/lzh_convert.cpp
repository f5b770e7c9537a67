// lzh_convert: moves lh5 streams between a .lzh archive and a payload
// archive, so that peer encoders' streams can be decoded by zuq and ours by
// the peers.
//
//   lzh_convert to-payload IN.lzh OUT.zuq
//   lzh_convert to-lzh IN.zuq OUT.lzh ORIGINAL...   (originals give the CRCs)
#include "tests/support/archive_builder.h"
#include "tests/support/lzh_container.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    try {
        std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "to-payload" && argc == 4) {
            writeFileBytes(argv[3], payloadFromLzh(readLzhArchive(readFileBytes(argv[2]))));
            return 0;
        }
        if (mode == "to-lzh" && argc >= 4) {
            std::vector<Bytes> originals;
            for (int i = 4; i < argc; ++i) {
                originals.push_back(readFileBytes(argv[i]));
            }
            writeFileBytes(argv[3],
                           writeLzhArchive(lzhFromPayload(readFileBytes(argv[2]), originals)));
            return 0;
        }
        std::fprintf(stderr, "usage: lzh_convert to-payload IN.lzh OUT.zuq\n"
                             "       lzh_convert to-lzh IN.zuq OUT.lzh ORIGINAL...\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lzh_convert: %s\n", e.what());
        return 1;
    }
}
