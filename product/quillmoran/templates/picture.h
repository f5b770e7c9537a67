// A small RGB canvas with the few drawing operations the template pictures
// need, and writers for the two file formats the product ships (BMP, PNG).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace templates {

struct Colour {
    std::uint8_t r, g, b;
};

Colour mix(Colour a, Colour b, int num, int den);

class Picture {
  public:
    Picture(int width, int height);

    int width() const {
        return width_;
    }
    int height() const {
        return height_;
    }
    Colour at(int x, int y) const;
    void set(int x, int y, Colour c);

    void verticalGradient(Colour top, Colour bottom);
    void fillRect(int x0, int y0, int x1, int y1, Colour c);
    void frame(int inset, int thickness, Colour c);
    void disc(int cx, int cy, int radius, Colour c);
    void diagonalStripes(int period, int width, Colour c);
    // Deterministic speckle over the whole picture: every pixel gets its own
    // random offset, so nothing about it repeats.
    void grain(std::uint32_t seed, int strength);

  private:
    int width_, height_;
    std::vector<Colour> pixels_;
};

// 24-bit bottom-up Windows bitmap.
void writeBmp(const Picture& picture, const std::filesystem::path& path);

// Packing of the pixel data inside a PNG file.
enum class PngPacking {
    // Stored deflate blocks, no filtering: the payload's own compression
    // shrinks these files just as it shrinks the bitmaps.
    raw,
    // Best deflate with adaptive filters: already as small as it gets, so the
    // payload keeps such a file as it is.
    compact,
};

void writePng(const Picture& picture, const std::filesystem::path& path, PngPacking packing);

} // namespace templates
