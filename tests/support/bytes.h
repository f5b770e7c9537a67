// Byte strings as the tests build and compare them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The bytes of a text, without its terminator.
inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Bytes that do not compress, the same for the same seed.
inline Bytes noise(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data(size);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(random());
    }
    return data;
}

// The size as the archive calls take it.
inline std::uint32_t sizeOf(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

// A copy of the bytes in an allocation of exactly their size: a grown
// vector has spare capacity behind its end, where ASan would not see a read
// one byte too far.
class ExactBytes {
  public:
    explicit ExactBytes(const Bytes& bytes)
        : data_(new std::uint8_t[bytes.size()]), size_(sizeOf(bytes)) {
        if (!bytes.empty()) {
            std::memcpy(data_.get(), bytes.data(), bytes.size());
        }
    }
    const std::uint8_t* data() const {
        return data_.get();
    }
    std::uint32_t size() const {
        return size_;
    }

  private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::uint32_t size_;
};
