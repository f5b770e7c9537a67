// Bounded text building for paths and command lines. A text that does not fit
// its buffer is refused whole: the buffer keeps its earlier content and the
// caller skips the step, so no path is ever cut into a different one.
#pragma once

#include <cstddef>

enum TextResult {
    TextTooLong = 0,
    TextFits = 1,
};

// Copies text into buffer (capacity bytes, terminator included).
int copyText(char* buffer, std::size_t capacity, const char* text);
// Appends text to the zero-terminated content of buffer.
int appendText(char* buffer, std::size_t capacity, const char* text);
// Appends a backslash unless the content already ends with one.
int appendBackslashIfMissing(char* buffer, std::size_t capacity);
// buffer = first + "\" + second, the usual way of naming an entry of a folder.
int joinPath(char* buffer, std::size_t capacity, const char* folder, const char* name);
