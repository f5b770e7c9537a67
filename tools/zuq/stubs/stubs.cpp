#include "tools/zuq/stubs/stubs.h"

// Laid down by stubs.S, each between a start and an end label.
extern "C" const std::uint8_t zuqStubI686[], zuqStubI686End[];
extern "C" const std::uint8_t zuqStubX8664[], zuqStubX8664End[];

std::span<const std::uint8_t> carriedStub(StubArch arch) {
    if (arch == StubArch::i686) {
        return {zuqStubI686, zuqStubI686End};
    }
    return {zuqStubX8664, zuqStubX8664End};
}

const char* archName(StubArch arch) {
    return arch == StubArch::i686 ? "i686" : "x86_64";
}
