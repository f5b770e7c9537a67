// The resource directory is a three-level tree (type, name, language) of
// tables whose offsets count from the directory's start. The walk checks
// every offset against the resource section's file data and visits each
// table once, so a damaged or hostile tree ends in a PeError.
#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/image_layout.h"
#include "tools/zuq/pe/pe.h"
#include "tools/zuq/pe/pe_format.h"

#include <algorithm>
#include <set>

namespace zuq::pe {

namespace t = format::resource_table;
using namespace detail;

namespace {

class DirectoryWalk {
  public:
    DirectoryWalk(std::span<const std::uint8_t> image, const ImageLayout& layout,
                  std::span<const std::uint8_t> directory)
        : image_(image), layout_(layout), directory_(directory) {}

    std::vector<ResourcePlace> run() {
        ResourceId keys[t::levels];
        walkTable(0, 0, keys);
        return std::move(found_);
    }

  private:
    void need(std::uint64_t offset, std::uint64_t size, const char* what) const {
        if (!fits(directory_, offset, size)) {
            throw PeError(std::string("resource directory: ") + what + " at offset " +
                          std::to_string(offset) + " points outside the resource section");
        }
    }

    ResourceId readKey(std::uint32_t field) const {
        if ((field & t::highBit) == 0) {
            return ResourceId::number(static_cast<std::uint16_t>(field));
        }
        const std::uint32_t at = field & ~t::highBit;
        need(at, 2, "a name");
        const std::uint16_t length = read16(directory_, at);
        need(at + 2, std::uint64_t{length} * 2, "a name");
        std::u16string name;
        for (std::uint16_t i = 0; i < length; ++i) {
            name += static_cast<char16_t>(read16(directory_, at + 2 + i * 2));
        }
        if (name.empty()) {
            throw PeError("resource directory: empty name at offset " + std::to_string(at));
        }
        return ResourceId::named(std::move(name));
    }

    void walkTable(int level, std::uint32_t at, ResourceId* keys) {
        if (!visited_.insert(at).second) {
            throw PeError("resource directory: loop, the table at offset " + std::to_string(at) +
                          " is reached twice");
        }
        need(at, t::size, "a table");
        const std::uint32_t count =
            std::uint32_t{read16(directory_, at + t::numberOfNamedEntries)} +
            read16(directory_, at + t::numberOfIdEntries);
        need(at + t::size, std::uint64_t{count} * t::entrySize, "a table's entries");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t entry = at + t::size + i * t::entrySize;
            keys[level] = readKey(read32(directory_, entry));
            walkEntry(level, read32(directory_, entry + 4), keys);
        }
    }

    void walkEntry(int level, std::uint32_t target, ResourceId* keys) {
        const bool isTable = (target & t::highBit) != 0;
        if (level + 1 < t::levels) {
            if (!isTable) {
                throw PeError("resource directory: a resource at level " +
                              std::to_string(level + 1) + " where a table was expected");
            }
            walkTable(level + 1, target & ~t::highBit, keys);
            return;
        }
        if (isTable) {
            throw PeError("resource directory: more than three levels");
        }
        if (keys[level].isName()) {
            throw PeError("resource directory: a language given by name");
        }
        readLeaf(target, keys);
    }

    void readLeaf(std::uint32_t at, const ResourceId* keys) {
        need(at, t::dataEntrySize, "a data entry");
        const std::uint32_t rva = read32(directory_, at);
        const std::uint32_t size = read32(directory_, at + 4);
        ResourcePlace r;
        r.type = keys[0];
        r.name = keys[1];
        r.language = keys[2].id;
        r.codePage = read32(directory_, at + 8);
        r.offset = fileOffsetOf(layout_, image_, rva, size, "resource data");
        r.size = size;
        found_.push_back(std::move(r));
    }

    std::span<const std::uint8_t> image_;
    const ImageLayout& layout_;
    std::span<const std::uint8_t> directory_;
    std::set<std::uint32_t> visited_;
    std::vector<ResourcePlace> found_;
};

} // namespace

std::vector<ResourcePlace> resourcePlaces(std::span<const std::uint8_t> image) {
    const ImageLayout layout = readLayout(image);
    const DataDirectory dir = layout.directory(format::directoryResources);
    if (dir.rva == 0) {
        return {};
    }
    const std::size_t start =
        fileOffsetOf(layout, image, dir.rva, t::size, "the resource directory");
    const Section* section = layout.sectionAt(dir.rva);
    const std::size_t end = section->rawOffset + std::size_t{section->rawSize};
    const std::size_t available = std::min(end, image.size()) - start;
    return DirectoryWalk(image, layout, image.subspan(start, available)).run();
}

std::vector<Resource> readResources(std::span<const std::uint8_t> image) {
    std::vector<Resource> resources;
    for (ResourcePlace& place : resourcePlaces(image)) {
        const auto data = image.subspan(place.offset, place.size);
        resources.push_back({std::move(place.type), std::move(place.name), place.language,
                             place.codePage, Bytes(data.begin(), data.end())});
    }
    return resources;
}

} // namespace zuq::pe
