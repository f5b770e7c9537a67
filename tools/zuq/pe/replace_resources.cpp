// Rebuilding the resource section in place. The sections before it keep
// their addresses and file offsets; the section grows or shrinks, and the
// sections after it move with it when nothing but the base relocation
// directory points into them (relocation blocks name the pages they fix,
// not their own address, so moving them is safe). A stub without resources
// gets a new last section.
#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/image_layout.h"
#include "tools/zuq/pe/pe.h"
#include "tools/zuq/pe/pe_format.h"
#include "tools/zuq/pe/resource_section.h"

#include <algorithm>
#include <cstring>

namespace zuq::pe {

namespace f = format;
using namespace detail;

namespace {

bool inside(const Section& s, std::uint32_t rva) {
    return rva >= s.virtualAddress && rva - s.virtualAddress < s.mappedSize();
}

// Data directories other than `except` that point into the section. The
// certificate directory holds a file offset, not an address.
bool reachedByOtherDirectory(const ImageLayout& l, const Section& s, std::uint32_t except) {
    for (std::uint32_t i = 0; i < l.directories.size(); ++i) {
        const DataDirectory d = l.directories[i];
        if (i != except && i != f::directoryCertificates && d.size != 0 && inside(s, d.rva)) {
            return true;
        }
    }
    return false;
}

void checkMovable(const ImageLayout& l, const Section& s) {
    const DataDirectory relocs = l.directory(f::directoryBaseRelocations);
    const bool relocationSection =
        relocs.rva == s.virtualAddress && relocs.size <= s.mappedSize() &&
        !reachedByOtherDirectory(l, s, f::directoryBaseRelocations) && !inside(s, l.entryPoint) &&
        (s.characteristics & (f::sectionExecute | f::sectionWrite)) == 0 && s.rawSize != 0;
    if (!relocationSection) {
        throw PeError("section " + s.name +
                      " follows the resource section and cannot be moved: only a base "
                      "relocation section can");
    }
}

// Index of the resource section, or sections.size() when there is none.
std::size_t findResourceSection(const ImageLayout& l) {
    const DataDirectory dir = l.directory(f::directoryResources);
    if (dir.rva == 0 && dir.size == 0) {
        return l.sections.size();
    }
    for (std::size_t i = 0; i < l.sections.size(); ++i) {
        const Section& s = l.sections[i];
        if (!inside(s, dir.rva)) {
            continue;
        }
        if (dir.rva != s.virtualAddress || reachedByOtherDirectory(l, s, f::directoryResources)) {
            throw PeError("section " + s.name +
                          " holds more than the resources; cannot rebuild it");
        }
        return i;
    }
    throw PeError("the resource directory (RVA " + std::to_string(dir.rva) +
                  ") lies in no section");
}

// Where the file's image ends once a certificate table is dropped; any
// other data after the last section is refused.
std::uint64_t imageEnd(const ImageLayout& l, std::span<const std::uint8_t> image) {
    std::uint64_t end = image.size();
    const DataDirectory cert = l.directory(f::directoryCertificates);
    if (cert.size != 0) {
        if (std::uint64_t{cert.rva} + cert.size > image.size() || cert.rva < l.endOfSections()) {
            throw PeError("the certificate table lies outside the data after the sections");
        }
        end = cert.rva;
    }
    const std::uint64_t sections = l.endOfSections();
    if (sections > image.size()) {
        throw PeError("section data lies outside the file (" + std::to_string(sections) +
                      " bytes needed, file " + std::to_string(image.size()) + " bytes)");
    }
    if (alignUp(sections, l.fileAlignment) < end) {
        throw PeError(std::to_string(end - sections) +
                      " bytes after the last section (overlay or symbol table): "
                      "strip the stub, data there would be lost");
    }
    return end;
}

void checkHeaderRoom(const ImageLayout& l, std::size_t sectionCount) {
    std::uint64_t firstData = l.sizeOfHeaders;
    for (const Section& s : l.sections) {
        if (s.rawSize != 0) {
            firstData = std::min<std::uint64_t>(firstData, s.rawOffset);
        }
    }
    if (l.sectionTableOffset + sectionCount * f::section_header::size > firstData) {
        throw PeError("no room in the headers for another section header");
    }
}

void writeSectionHeader(Bytes& out, const Section& s) {
    namespace h = f::section_header;
    write32(out, s.headerOffset + h::virtualSize, s.virtualSize);
    write32(out, s.headerOffset + h::virtualAddress, s.virtualAddress);
    write32(out, s.headerOffset + h::sizeOfRawData, s.rawSize);
    write32(out, s.headerOffset + h::pointerToRawData, s.rawOffset);
    write32(out, s.headerOffset + h::characteristics, s.characteristics);
}

void newSectionHeader(Bytes& out, ImageLayout& l, Section& s) {
    s.name = ".rsrc";
    s.characteristics = f::resourceSectionFlags;
    s.headerOffset = l.sectionTableOffset + l.sections.size() * f::section_header::size;
    std::memcpy(out.data() + s.headerOffset, s.name.data(), s.name.size());
    write16(out, l.fileHeaderOffset + f::file_header::numberOfSections,
            static_cast<std::uint16_t>(l.sections.size() + 1));
}

class Rebuild {
  public:
    Rebuild(std::span<const std::uint8_t> image, const std::vector<Resource>& resources)
        : image_(image), layout_(readLayout(image)), resources_(resources) {}

    Bytes run() {
        if (layout_.directories.size() <= f::directoryResources) {
            throw PeError("the image has no resource directory entry");
        }
        imageEnd(layout_, image_);
        index_ = findResourceSection(layout_);
        for (std::size_t i = index_ + 1; i < layout_.sections.size(); ++i) {
            checkMovable(layout_, layout_.sections[i]);
        }
        index_ == layout_.sections.size() ? startNewSection() : startExistingSection();
        placeResources();
        moveFollowingSections();
        finishHeaders();
        return std::move(out_);
    }

  private:
    void startNewSection() {
        checkHeaderRoom(layout_, layout_.sections.size() + 1);
        const std::uint64_t rawEnd = alignUp(layout_.endOfSections(), layout_.fileAlignment);
        std::uint64_t vaEnd = layout_.sizeOfHeaders;
        for (const Section& s : layout_.sections) {
            vaEnd =
                std::max<std::uint64_t>(vaEnd, std::uint64_t{s.virtualAddress} + s.mappedSize());
        }
        resources_section_.rawOffset = static_cast<std::uint32_t>(rawEnd);
        resources_section_.virtualAddress =
            static_cast<std::uint32_t>(alignUp(vaEnd, layout_.sectionAlignment));
        out_.assign(image_.begin(),
                    image_.begin() + static_cast<std::ptrdiff_t>(layout_.endOfSections()));
        newSectionHeader(out_, layout_, resources_section_);
    }

    void startExistingSection() {
        resources_section_ = layout_.sections[index_];
        oldRawSize_ = resources_section_.rawSize;
        for (std::size_t i = 0; i < index_; ++i) {
            const Section& s = layout_.sections[i];
            if (s.rawSize != 0 &&
                std::uint64_t{s.rawOffset} + s.rawSize > resources_section_.rawOffset) {
                throw PeError("section " + s.name + " has file data after the resource section");
            }
        }
        out_.assign(image_.begin(), image_.begin() + resources_section_.rawOffset);
    }

    void placeResources() {
        const Bytes content = buildResourceSection(resources_, resources_section_.virtualAddress);
        Section& s = resources_section_;
        s.virtualSize = static_cast<std::uint32_t>(content.size());
        s.rawSize = static_cast<std::uint32_t>(alignUp(content.size(), layout_.fileAlignment));
        out_.resize(s.rawOffset, 0);
        out_.insert(out_.end(), content.begin(), content.end());
        out_.resize(std::size_t{s.rawOffset} + s.rawSize, 0);
        writeSectionHeader(out_, s);
        setDirectory(f::directoryResources, {s.virtualAddress, s.virtualSize});
        last_ = s;
    }

    void moveFollowingSections() {
        for (std::size_t i = index_ + 1; i < layout_.sections.size(); ++i) {
            Section moved = layout_.sections[i];
            const std::uint32_t oldAddress = moved.virtualAddress;
            moved.virtualAddress = nextAddress();
            moved.rawOffset = static_cast<std::uint32_t>(out_.size());
            const auto from = image_.begin() + layout_.sections[i].rawOffset;
            out_.insert(out_.end(), from, from + moved.rawSize);
            padTo(out_, layout_.fileAlignment);
            writeSectionHeader(out_, moved);
            DataDirectory relocs = layout_.directory(f::directoryBaseRelocations);
            relocs.rva = relocs.rva - oldAddress + moved.virtualAddress;
            setDirectory(f::directoryBaseRelocations, relocs);
            last_ = moved;
        }
    }

    std::uint32_t nextAddress() const {
        const std::uint64_t end = std::uint64_t{last_.virtualAddress} + last_.mappedSize();
        const std::uint64_t next = alignUp(end, layout_.sectionAlignment);
        if (next > 0xFFFFFFFFu) {
            throw PeError("the image would exceed 4 GiB");
        }
        return static_cast<std::uint32_t>(next);
    }

    void setDirectory(std::uint32_t index, DataDirectory d) {
        const std::size_t at =
            layout_.dataDirectoryOffset + index * f::optional_header::dataDirectorySize;
        write32(out_, at, d.rva);
        write32(out_, at + 4, d.size);
    }

    void finishHeaders() {
        namespace o = f::optional_header;
        const std::size_t at = layout_.optionalHeaderOffset;
        if (layout_.directories.size() > f::directoryCertificates) {
            setDirectory(f::directoryCertificates, {});
        }
        write32(out_, at + o::sizeOfImage, nextAddress());
        write32(out_, at + o::sizeOfInitializedData,
                layout_.sizeOfInitializedData - oldRawSize_ + resources_section_.rawSize);
        write32(out_, layout_.checksumOffset(), imageChecksum(out_));
    }

    std::span<const std::uint8_t> image_;
    ImageLayout layout_;
    const std::vector<Resource>& resources_;
    std::size_t index_ = 0;
    Section resources_section_;
    Section last_;
    std::uint32_t oldRawSize_ = 0;
    Bytes out_;
};

} // namespace

Bytes replaceResources(std::span<const std::uint8_t> image,
                       const std::vector<Resource>& resources) {
    return Rebuild(image, resources).run();
}

} // namespace zuq::pe
