#include "picture.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace templates {

Colour mix(Colour a, Colour b, int num, int den) {
    auto channel = [&](int x, int y) { return static_cast<std::uint8_t>(x + (y - x) * num / den); };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

Picture::Picture(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height)) {}

Colour Picture::at(int x, int y) const {
    return pixels_[static_cast<std::size_t>(y * width_ + x)];
}

void Picture::set(int x, int y, Colour c) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        pixels_[static_cast<std::size_t>(y * width_ + x)] = c;
    }
}

void Picture::verticalGradient(Colour top, Colour bottom) {
    for (int y = 0; y < height_; ++y) {
        Colour c = mix(top, bottom, y, height_ - 1);
        for (int x = 0; x < width_; ++x) {
            set(x, y, c);
        }
    }
}

void Picture::fillRect(int x0, int y0, int x1, int y1, Colour c) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            set(x, y, c);
        }
    }
}

void Picture::frame(int inset, int thickness, Colour c) {
    int x0 = inset, y0 = inset, x1 = width_ - inset, y1 = height_ - inset;
    fillRect(x0, y0, x1, y0 + thickness, c);
    fillRect(x0, y1 - thickness, x1, y1, c);
    fillRect(x0, y0, x0 + thickness, y1, c);
    fillRect(x1 - thickness, y0, x1, y1, c);
}

void Picture::disc(int cx, int cy, int radius, Colour c) {
    for (int y = cy - radius; y <= cy + radius; ++y) {
        for (int x = cx - radius; x <= cx + radius; ++x) {
            int dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= radius * radius) {
                set(x, y, c);
            }
        }
    }
}

void Picture::diagonalStripes(int period, int width, Colour c) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if ((x + y) % period < width) {
                set(x, y, c);
            }
        }
    }
}

void Picture::grain(std::uint32_t seed, int strength) {
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    auto shift = [&](std::uint8_t v) {
        int delta =
            static_cast<int>(next() % static_cast<std::uint32_t>(2 * strength + 1)) - strength;
        int n = v + delta;
        return static_cast<std::uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
    };
    for (auto& p : pixels_) {
        p = {shift(p.r), shift(p.g), shift(p.b)};
    }
}

namespace {

void put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void fail(const std::filesystem::path& path, const char* what) {
    throw std::runtime_error(path.string() + ": " + what);
}

} // namespace

void writeBmp(const Picture& picture, const std::filesystem::path& path) {
    constexpr unsigned fileHeaderSize = 14, infoHeaderSize = 40;
    const unsigned stride = (static_cast<unsigned>(picture.width()) * 3 + 3) & ~3u;
    const unsigned imageSize = stride * static_cast<unsigned>(picture.height());

    std::string out;
    out += "BM";
    put32(out, fileHeaderSize + infoHeaderSize + imageSize);
    put32(out, 0);
    put32(out, fileHeaderSize + infoHeaderSize);
    put32(out, infoHeaderSize);
    put32(out, static_cast<unsigned>(picture.width()));
    put32(out, static_cast<unsigned>(picture.height()));
    put16(out, 1);  // planes
    put16(out, 24); // bits per pixel
    put32(out, 0);  // no compression
    put32(out, imageSize);
    put32(out, 2835); // 72 dpi, in pixels per metre
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = picture.height() - 1; y >= 0; --y) {
        std::size_t rowStart = out.size();
        for (int x = 0; x < picture.width(); ++x) {
            Colour c = picture.at(x, y);
            out.push_back(static_cast<char>(c.b));
            out.push_back(static_cast<char>(c.g));
            out.push_back(static_cast<char>(c.r));
        }
        out.resize(rowStart + stride, '\0');
    }

    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file) {
        fail(path, "cannot write");
    }
}

namespace {

// libpng reports errors by long jump; this function keeps nothing with a
// destructor alive across the jump.
bool encodePng(std::FILE* file, const std::vector<png_bytep>& rows, int width, int height,
               PngPacking packing) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    if (packing == PngPacking::raw) {
        png_set_compression_level(png, 0);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    } else {
        png_set_compression_level(png, 9);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void writePng(const Picture& picture, const std::filesystem::path& path, PngPacking packing) {
    const int width = picture.width(), height = picture.height();
    std::vector<png_byte> pixels(static_cast<std::size_t>(width * height * 3));
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        png_bytep row = &pixels[static_cast<std::size_t>(y * width * 3)];
        rows[static_cast<std::size_t>(y)] = row;
        for (int x = 0; x < width; ++x) {
            Colour c = picture.at(x, y);
            row[x * 3] = c.r;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.b;
        }
    }
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        fail(path, "cannot create");
    }
    bool written = encodePng(file, rows, width, height, packing);
    if (std::fclose(file) != 0 || !written) {
        fail(path, "cannot write");
    }
}

} // namespace templates
