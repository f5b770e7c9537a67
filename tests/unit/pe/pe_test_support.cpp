#include "tests/unit/pe/pe_test_support.h"

#include "tools/zuq/pe/resource_section.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pe_test {

namespace {

std::uint32_t alignTo(std::uint32_t v, std::uint32_t a) {
    return (v + a - 1) / a * a;
}

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::uint16_t get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return get16(b, at) | static_cast<std::uint32_t>(get16(b, at + 2)) << 16;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, static_cast<std::uint16_t>(v));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

Bytes makeImage(const ImagePlan& plan) {
    const std::size_t optionalSize = plan.pe32Plus ? 240 : 224;
    const std::size_t fileHeader = 0x44;
    const std::size_t optional = fileHeader + 20;
    const std::size_t table = optional + optionalSize;
    Bytes out(plan.sizeOfHeaders, 0);
    put16(out, 0, 0x5A4D);
    put32(out, 0x3C, 0x40);
    put32(out, 0x40, 0x4550);
    put16(out, fileHeader, plan.pe32Plus ? 0x8664 : 0x14C);
    put16(out, fileHeader + 2, static_cast<std::uint16_t>(plan.sections.size()));
    put16(out, fileHeader + 16, static_cast<std::uint16_t>(optionalSize));
    put16(out, fileHeader + 18, 0x0102);
    put16(out, optional, plan.pe32Plus ? 0x20B : 0x10B);
    put32(out, optional + 32, sectionAlignment);
    put32(out, optional + 36, fileAlignment);
    put32(out, optional + 60, plan.sizeOfHeaders);
    put16(out, optional + 68, 3);
    put32(out, optional + (plan.pe32Plus ? 108 : 92), 16);
    const std::size_t directories = optional + (plan.pe32Plus ? 112 : 96);
    std::vector<std::uint32_t> addresses;
    std::uint32_t address = sectionAlignment;
    for (std::size_t i = 0; i < plan.sections.size(); ++i) {
        const SectionSpec& s = plan.sections[i];
        const std::size_t h = table + i * 40;
        const auto size = static_cast<std::uint32_t>(s.data.size());
        std::copy(s.name.begin(), s.name.end(), out.begin() + static_cast<std::ptrdiff_t>(h));
        put32(out, h + 8, size);
        put32(out, h + 12, address);
        put32(out, h + 16, alignTo(size, fileAlignment));
        put32(out, h + 20, static_cast<std::uint32_t>(out.size()));
        put32(out, h + 36, s.characteristics);
        out.insert(out.end(), s.data.begin(), s.data.end());
        out.resize(alignTo(static_cast<std::uint32_t>(out.size()), fileAlignment), 0);
        addresses.push_back(address);
        address = alignTo(address + size, sectionAlignment);
    }
    put32(out, optional + 56, address);
    for (const auto& [index, section] : plan.directories) {
        put32(out, directories + index * 8, addresses[section]);
        put32(out, directories + index * 8 + 4,
              static_cast<std::uint32_t>(plan.sections[section].data.size()));
    }
    return out;
}

Bytes resourceSection(const std::vector<zuq::pe::Resource>& resources, std::uint32_t rva) {
    return zuq::pe::detail::buildResourceSection(resources, rva);
}

ImagePlan mingwLike(bool pe32Plus, const std::vector<zuq::pe::Resource>& resources) {
    ImagePlan plan;
    plan.pe32Plus = pe32Plus;
    // One relocation block: page 0x1000, two entries.
    Bytes relocs = {0x00, 0x10, 0, 0, 12, 0, 0, 0, 0x10, 0xA0, 0x18, 0xA0};
    plan.sections = {{".text", codeFlags, pattern(0x300, 1)},
                     {".rsrc", rsrcFlags, resourceSection(resources, 0x2000)},
                     {".reloc", relocFlags, relocs}};
    plan.directories = {{2, 1}, {5, 2}};
    return plan;
}

std::uint32_t recomputedChecksum(const Bytes& image, std::size_t checksumOffset) {
    Bytes copy = image;
    put32(copy, checksumOffset, 0);
    copy.resize((copy.size() + 3) / 4 * 4, 0);
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < copy.size(); at += 4) {
        sum += get32(copy, at);
        sum = (sum & 0xFFFFFFFF) + (sum >> 32);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>((sum & 0xFFFF) + image.size());
}

Bytes fixturePayload(std::uint32_t length) {
    Bytes b(4 + std::size_t{length});
    put32(b, 0, length);
    for (std::uint32_t i = 0; i < length; ++i) {
        b[4 + i] = static_cast<std::uint8_t>(7 * i + 3);
    }
    return b;
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        b[i] = static_cast<std::uint8_t>(i * 31 + seed);
    }
    return b;
}

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string tempPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "zuq-pe-test";
    std::filesystem::create_directories(dir);
#ifdef _WIN32
    return (dir / name).string();
#else
    return (dir / (std::to_string(getpid()) + "-" + name)).string();
#endif
}

RunResult run(const std::string& command) {
    RunResult result;
#ifdef _WIN32
    (void)command;
#else
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

} // namespace pe_test
