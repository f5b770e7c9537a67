// The setup stubs that zuq carries: the setup program built without a
// payload, once per architecture, made into a product's setup by `zuq setup`.
// A zuq built before the stubs carries none of them.
#pragma once

#include <cstdint>
#include <span>

enum class StubArch { i686, x86_64 };

// The stub's bytes; empty when this zuq does not carry it.
std::span<const std::uint8_t> carriedStub(StubArch arch);

const char* archName(StubArch arch);
