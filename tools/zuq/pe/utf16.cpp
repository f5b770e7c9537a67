#include "tools/zuq/pe/pe.h"

namespace zuq::pe {

namespace {

[[noreturn]] void malformed(std::string_view text) {
    throw PeError("text is not valid UTF-8: \"" + std::string(text) + "\"");
}

// Length of the sequence that starts with `lead`, and the bits it carries.
int sequenceLength(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) {
        bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        bits = lead & 0x07;
        return 4;
    }
    return 0;
}

void appendCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

} // namespace

std::u16string utf16FromUtf8(std::string_view text) {
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const int length = sequenceLength(static_cast<unsigned char>(text[i]), c);
        if (length == 0 || i + length > text.size()) {
            malformed(text);
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                malformed(text);
            }
            c = c << 6 | (next & 0x3F);
        }
        if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            malformed(text);
        }
        appendCodePoint(out, c);
        i += length;
    }
    return out;
}

} // namespace zuq::pe
