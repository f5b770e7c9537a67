// The bytes of a resource section holding exactly the given resources.
#pragma once

#include "tools/zuq/pe/pe.h"

#include <cstdint>
#include <vector>

namespace zuq::pe::detail {

// Tables sorted as the loader searches them, then the data entries, the
// names, and the data, each piece aligned to 8 bytes. Data entries hold
// RVAs, hence the section's address.
Bytes buildResourceSection(const std::vector<Resource>& resources, std::uint32_t sectionRva);

// Resource key order: names first, compared in upper case, then ids.
bool keyLess(const ResourceId& a, const ResourceId& b);

} // namespace zuq::pe::detail
