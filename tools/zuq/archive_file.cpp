#include "tools/zuq/archive_file.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

bool loadArchive(const std::string& path, std::vector<unsigned char>* bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > UINT32_MAX) {
        *error = path + " is not an archive of 4 GiB or less";
        return false;
    }
    bytes->resize(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes->data()), size)) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

std::string describeEntry(std::uint32_t offset, const char* name) {
    std::string text = "entry at offset " + std::to_string(offset);
    if (name) {
        text += " (" + std::string(name) + ")";
    }
    return text;
}

void complain(const std::string& what) {
    std::cout.flush();
    std::cerr << "zuq: " << what << '\n';
}
