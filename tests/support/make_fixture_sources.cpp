// make_fixture_sources DIR: writes every fixture original into DIR.
#include "tests/support/fixture_source.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fixture_sources DIR\n");
        return 2;
    }
    try {
        for (const std::string& name : fixtureSourceNames()) {
            writeFileBytes(std::string(argv[1]) + "/" + name, fixtureSource(name));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fixture_sources: %s\n", e.what());
        return 1;
    }
    return 0;
}
