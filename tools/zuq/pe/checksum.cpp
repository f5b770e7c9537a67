// The header checksum: the image summed as 16-bit words with the carries
// folded back in, the checksum field itself left out, plus the file size.
#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/image_layout.h"
#include "tools/zuq/pe/pe.h"

namespace zuq::pe {

std::uint32_t imageChecksum(std::span<const std::uint8_t> image) {
    const std::size_t skip = readLayout(image).checksumOffset();
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < image.size(); at += 2) {
        if (at >= skip && at < skip + 4) {
            continue;
        }
        const std::uint32_t high = at + 1 < image.size() ? image[at + 1] : 0;
        sum += image[at] | high << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(image.size());
}

} // namespace zuq::pe
