// Loading a payload archive file into memory for the walk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file. On failure returns false with a message in *error.
bool loadArchive(const std::string& path, std::vector<unsigned char>* bytes, std::string* error);

// "entry at offset N (NAME)", or without the name when it is unknown.
std::string describeEntry(std::uint32_t offset, const char* name);

// Prints "zuq: WHAT" on stderr.
void complain(const std::string& what);
