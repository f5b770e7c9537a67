// Reading and rebuilding the resource section of a Windows executable
// (32-bit and 64-bit images), and making the icon group and version
// resources that zuq setup puts into a stub.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zuq::pe {

using Bytes = std::vector<std::uint8_t>;

// Every refusal of the module: an image or icon it cannot read or rebuild.
class PeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A resource type, name or language key: an integer id or a UTF-16 name.
struct ResourceId {
    std::u16string name; // empty for an integer id
    std::uint16_t id = 0;

    static ResourceId number(std::uint16_t id) {
        return {{}, id};
    }
    static ResourceId named(std::u16string name) {
        return {std::move(name), 0};
    }
    bool isName() const {
        return !name.empty();
    }
    bool operator==(const ResourceId&) const = default;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    Bytes data;
    bool operator==(const Resource&) const = default;
};

// Every resource of the image, in directory order.
std::vector<Resource> readResources(std::span<const std::uint8_t> image);

// Where each resource's data lies in the image file, in directory order: a
// resource read in place, without a copy.
struct ResourcePlace {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    std::size_t offset = 0;
    std::uint32_t size = 0;
};
std::vector<ResourcePlace> resourcePlaces(std::span<const std::uint8_t> image);

// The image with its resource section rebuilt to hold exactly `resources`.
// Names are stored as given; the loader looks string names up in upper
// case, so give them in upper case ("ZUQ").
// Sections that follow the resource section are moved when only the base
// relocation directory reaches them; a certificate table is dropped (the
// signature would no longer match: sign the output); other data after the
// last section is refused.
Bytes replaceResources(std::span<const std::uint8_t> image, const std::vector<Resource>& resources);

// The header checksum of an image, its own field counted as zero.
std::uint32_t imageChecksum(std::span<const std::uint8_t> image);

// The icon group `groupId` and one icon resource per image of the .ico,
// numbered from `firstIconId`. The stub's own icon resources are the
// caller's to leave out, or their ids may clash.
std::vector<Resource> iconGroupFromIco(std::span<const std::uint8_t> ico, std::uint16_t groupId,
                                       std::uint16_t firstIconId, std::uint16_t language);

// "a.b.c.d": one to four numbers 0..65535; missing ones are 0.
using VersionNumber = std::array<std::uint16_t, 4>;
VersionNumber parseVersion(std::string_view text);
std::string versionText(const VersionNumber& version);

// The texts of a version resource, UTF-8. Empty texts are left out.
struct VersionFields {
    std::string version; // "a.b.c.d", required
    std::string companyName;
    std::string fileDescription;
    std::string productName;
    std::uint16_t language = 0x0409; // resource language
};
Resource versionResource(const VersionFields& fields);

// UTF-8 to UTF-16, refusing malformed text.
std::u16string utf16FromUtf8(std::string_view text);

} // namespace zuq::pe
