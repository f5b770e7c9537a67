#include "archive/writer.h"

#include "archive/entry.h"

#include <cstring>

namespace {

// The walk's bound: install directory + name field (name and NUL) + 1 < 256.
constexpr std::size_t pathBound = 256;
constexpr std::size_t nameFieldExtra = 2; // the NUL and the walk's one spare

bool isPrintableAscii(char c) {
    return c >= 0x20 && c <= 0x7E;
}

// Characters Windows refuses in a file name; a backslash would be read as a
// separator, so a name from a file system that allows it is refused too.
bool isReservedOnWindows(char c) {
    return std::strchr("<>:\"/|?*", c) != nullptr;
}

int checkComponent(const std::string& component) {
    if (component.empty() || component == "." || component == "..") {
        return nameBadComponent;
    }
    // Windows drops trailing dots and spaces: the file would get another name.
    const char last = component.back();
    if (last == '.' || last == ' ') {
        return nameBadComponent;
    }
    return nameFits;
}

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

} // namespace

int checkEntryName(const std::string& name, std::size_t installDirLength) {
    if (name.empty()) {
        return nameEmpty;
    }
    for (char c : name) {
        if (!isPrintableAscii(c) || isReservedOnWindows(c)) {
            return nameBadCharacter;
        }
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find('\\', start);
        const int component = checkComponent(name.substr(start, end - start));
        if (component != nameFits) {
            return component;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (installDirLength + name.size() + nameFieldExtra >= pathBound) {
        return nameTooLong;
    }
    // What the checks above leave to the walk's own name check are device
    // names; an archive holding one would stop the install there.
    if (!isSafeEntryName(name.c_str())) {
        return nameDevice;
    }
    return nameFits;
}

const char* nameCheckText(int result) {
    switch (result) {
    case nameFits:
        return "fits";
    case nameEmpty:
        return "empty name";
    case nameTooLong:
        return "name too long for a path below the install directory";
    case nameBadCharacter:
        return "name holds a character outside printable ASCII or one Windows refuses "
               "(< > : \" / \\ | ? *)";
    case nameBadComponent:
        return "name holds an empty, \".\" or \"..\" part, or one ending in a dot or space";
    case nameDevice:
        return "name holds a part Windows opens as a device (CON, PRN, AUX, NUL, COM1-9, "
               "LPT1-9)";
    default:
        return "unknown name check result";
    }
}

std::vector<unsigned char> makeEntryHeader(const std::string& name, std::uint32_t method,
                                           std::uint32_t packedSize, std::uint32_t unpackedSize) {
    std::vector<unsigned char> header(entryMagic, entryMagic + sizeof entryMagic);
    put32(header, static_cast<std::uint32_t>(entryFixedSize + name.size() + 1));
    put32(header, method);
    put32(header, packedSize);
    put32(header, unpackedSize);
    header.insert(header.end(), name.begin(), name.end());
    header.push_back(0);
    return header;
}

std::uint32_t closingPaddingAfter(std::uint32_t lastPackedSize) {
    return lastPackedSize == 0 ? 1 : 0;
}
