// The originals of the peer-encoded fixtures, made by code so that only the
// packed streams need to be committed. Same name, same bytes, everywhere.
#pragma once

#include "tests/support/lzh_container.h"

#include <string>
#include <vector>

// The names of every fixture original.
std::vector<std::string> fixtureSourceNames();

// The original bytes of a fixture; throws std::invalid_argument for an
// unknown name.
Bytes fixtureSource(const std::string& name);
