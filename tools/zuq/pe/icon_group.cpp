// An .ico file becomes one icon resource per image plus the group resource
// that lists them: the group repeats each directory entry, with the icon's
// resource id where the file had the image's offset.
#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/pe.h"
#include "tools/zuq/pe/pe_format.h"

namespace zuq::pe {

namespace i = format::icon;
using namespace detail;

namespace {

struct IcoEntry {
    std::uint8_t width, height, colorCount, reserved;
    std::uint16_t planes, bitCount;
    std::uint32_t size, offset;
};

std::uint16_t checkedCount(std::span<const std::uint8_t> ico) {
    if (ico.size() < i::headerSize) {
        throw PeError("not an icon file: " + std::to_string(ico.size()) + " bytes");
    }
    if (read16(ico, 0) != 0 || read16(ico, 2) != i::typeIcon) {
        throw PeError("not an icon file: bad header (reserved " + std::to_string(read16(ico, 0)) +
                      ", type " + std::to_string(read16(ico, 2)) + ")");
    }
    const std::uint16_t count = read16(ico, 4);
    if (count == 0) {
        throw PeError("icon file holds no image");
    }
    if (!fits(ico, i::headerSize, std::uint64_t{count} * i::fileEntrySize)) {
        throw PeError("icon file directory of " + std::to_string(count) + " images is cut short");
    }
    return count;
}

IcoEntry readEntry(std::span<const std::uint8_t> ico, std::uint16_t index) {
    const std::size_t at = i::headerSize + std::size_t{index} * i::fileEntrySize;
    IcoEntry e{ico[at],
               ico[at + 1],
               ico[at + 2],
               ico[at + 3],
               read16(ico, at + 4),
               read16(ico, at + 6),
               read32(ico, at + 8),
               read32(ico, at + 12)};
    if (e.size == 0 || !fits(ico, e.offset, e.size)) {
        throw PeError("icon file image " + std::to_string(index + 1) +
                      " lies outside the file (offset " + std::to_string(e.offset) + ", " +
                      std::to_string(e.size) + " bytes)");
    }
    return e;
}

// Some icon writers leave planes and bit count 0 in the directory; the
// loader picks images by them, so take them from the image's own header.
// PNG images are kept as they are.
void fillFromBitmapHeader(IcoEntry& e, std::span<const std::uint8_t> image) {
    if (e.bitCount != 0 || image.size() < i::dibHeaderSize ||
        read32(image, 0) != i::dibHeaderSize) {
        return;
    }
    e.planes = read16(image, 12);
    e.bitCount = read16(image, 14);
}

} // namespace

std::vector<Resource> iconGroupFromIco(std::span<const std::uint8_t> ico, std::uint16_t groupId,
                                       std::uint16_t firstIconId, std::uint16_t language) {
    const std::uint16_t count = checkedCount(ico);
    if (firstIconId == 0 || std::uint32_t{firstIconId} + count - 1 > 0xFFFF) {
        throw PeError("icon ids " + std::to_string(firstIconId) + " and up do not fit " +
                      std::to_string(count) + " images");
    }
    Resource group{ResourceId::number(groupId), ResourceId::number(groupId), language, 0, {}};
    group.type = ResourceId::number(format::typeGroupIcon);
    append16(group.data, 0);
    append16(group.data, i::typeIcon);
    append16(group.data, count);
    std::vector<Resource> icons;
    for (std::uint16_t n = 0; n < count; ++n) {
        IcoEntry e = readEntry(ico, n);
        const auto image = ico.subspan(e.offset, e.size);
        fillFromBitmapHeader(e, image);
        const auto id = static_cast<std::uint16_t>(firstIconId + n);
        group.data.insert(group.data.end(), {e.width, e.height, e.colorCount, e.reserved});
        append16(group.data, e.planes);
        append16(group.data, e.bitCount);
        append32(group.data, e.size);
        append16(group.data, id);
        icons.push_back({ResourceId::number(format::typeIcon), ResourceId::number(id), language, 0,
                         Bytes(image.begin(), image.end())});
    }
    icons.insert(icons.begin(), std::move(group));
    return icons;
}

} // namespace zuq::pe
