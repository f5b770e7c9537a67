// Helpers of the resource module's tests: small images made in memory, the
// fixture stubs, and running the external tools that check the results.
#pragma once

#include "tools/zuq/pe/pe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pe_test {

using zuq::pe::Bytes;

struct SectionSpec {
    std::string name;
    std::uint32_t characteristics;
    Bytes data;
};

// A minimal image: headers, then each section at the next aligned address
// (file alignment 0x200, section alignment 0x1000).
struct ImagePlan {
    bool pe32Plus = true;
    std::vector<SectionSpec> sections;
    // Data directory index -> section index whose start and size it covers.
    std::vector<std::pair<std::uint32_t, std::size_t>> directories;
    std::uint32_t sizeOfHeaders = 0x400;
};

inline constexpr std::uint32_t fileAlignment = 0x200;
inline constexpr std::uint32_t sectionAlignment = 0x1000;
inline constexpr std::uint32_t codeFlags = 0x60000020;
inline constexpr std::uint32_t dataFlags = 0xC0000040;
inline constexpr std::uint32_t relocFlags = 0x42000040;
inline constexpr std::uint32_t rsrcFlags = 0x40000040;

Bytes makeImage(const ImagePlan& plan);
// .text, .rsrc holding `resources`, .reloc (the layout MinGW writes).
ImagePlan mingwLike(bool pe32Plus, const std::vector<zuq::pe::Resource>& resources);
// The bytes a resource section holding `resources` at `rva` has.
Bytes resourceSection(const std::vector<zuq::pe::Resource>& resources, std::uint32_t rva);

std::uint16_t get16(const Bytes& b, std::size_t at);
std::uint32_t get32(const Bytes& b, std::size_t at);
void put32(Bytes& b, std::size_t at, std::uint32_t v);

// The header checksum worked out independently: 32-bit words summed with
// end-around carry, folded to 16 bits, plus the file size.
std::uint32_t recomputedChecksum(const Bytes& image, std::size_t checksumOffset);

// Payload bytes the fixture program checks: a 4-byte length, then 7 * i + 3.
Bytes fixturePayload(std::uint32_t length);
Bytes pattern(std::size_t size, std::uint8_t seed);

Bytes readAll(const std::string& path);
void writeAll(const std::string& path, const Bytes& bytes);
std::string tempPath(const std::string& name);

struct RunResult {
    int exitCode = -1;
    std::string output;
};
RunResult run(const std::string& command);

// The message of the PeError that `f` throws, or "" when it throws none.
template <typename F> std::string errorOf(F&& f) {
    try {
        f();
    } catch (const zuq::pe::PeError& e) {
        return e.what();
    }
    return "";
}

} // namespace pe_test
