#include "system/path_text.h"

#include <cstring>

int copyText(char* buffer, std::size_t capacity, const char* text) {
    std::size_t length = std::strlen(text);
    if (length >= capacity) {
        return TextTooLong;
    }
    std::memcpy(buffer, text, length + 1);
    return TextFits;
}

int appendText(char* buffer, std::size_t capacity, const char* text) {
    std::size_t used = std::strlen(buffer);
    if (used >= capacity) {
        return TextTooLong;
    }
    return copyText(buffer + used, capacity - used, text);
}

int appendBackslashIfMissing(char* buffer, std::size_t capacity) {
    std::size_t used = std::strlen(buffer);
    if (used > 0 && buffer[used - 1] == '\\') {
        return TextFits;
    }
    return appendText(buffer, capacity, "\\");
}

int joinPath(char* buffer, std::size_t capacity, const char* folder, const char* name) {
    std::size_t folderLength = std::strlen(folder);
    std::size_t nameLength = std::strlen(name);
    if (folderLength + 1 + nameLength >= capacity) {
        return TextTooLong;
    }
    std::memmove(buffer, folder, folderLength);
    buffer[folderLength] = '\\';
    std::memcpy(buffer + folderLength + 1, name, nameLength + 1);
    return TextFits;
}
