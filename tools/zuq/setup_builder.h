// Building a product's setup program from a stub: the payload packed from the
// product's files, the settings record filled in, and the resource section
// rebuilt with the payload, the icon and a version resource.
#pragma once

#include "tools/zuq/pack_tree.h"
#include "tools/zuq/product_file.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

enum class StubArch;

// A refusal of the build: bad input, with the message for the vendor.
class SetupError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the settings record lies in a stub; refuses a file that is not a stub
// of the layout this zuq writes.
std::size_t findSettingsRecord(std::span<const std::uint8_t> stub);

// The machine a stub is built for.
StubArch stubArch(std::span<const std::uint8_t> stub);

struct SetupBuild {
    std::vector<std::uint8_t> program;
    PackTotals totals;
};

// Packs the collected files on threads threads (0: one per core) and makes
// the setup program from the stub. Throws SetupError on input the setup
// cannot be built from.
SetupBuild buildSetup(const ProductFile& product, const Collection& files,
                      std::span<const std::uint8_t> stub, PackLevel level, unsigned threads = 0);

// Refuses a collection that lacks the program or the enabled help file.
void checkProductFiles(const ProductFile& product, const Collection& files);
