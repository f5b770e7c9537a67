// Draws the icons the setup program and the product program carry, and
// writes each as an .ico file with two images (16 and 32 pixels, 32-bit
// colour with alpha). Drawn from simple shapes so that no binary picture
// lives in the repository and every build gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Rgba {
    std::uint8_t r, g, b, a;
};

constexpr Rgba clear{0, 0, 0, 0};
constexpr Rgba outline{40, 40, 60, 255};

class Canvas {
  public:
    explicit Canvas(int size)
        : size_(size), pixels_(static_cast<std::size_t>(size * size), clear) {}

    int size() const {
        return size_;
    }
    Rgba at(int x, int y) const {
        return pixels_[static_cast<std::size_t>(y * size_ + x)];
    }
    // Shapes are given in a 32-unit square and scaled to the canvas.
    void box(int x0, int y0, int x1, int y1, Rgba fill) {
        for (int y = scale(y0); y < scale(y1); ++y) {
            for (int x = scale(x0); x < scale(x1); ++x) {
                pixels_[static_cast<std::size_t>(y * size_ + x)] = fill;
            }
        }
    }
    void framedBox(int x0, int y0, int x1, int y1, Rgba fill) {
        box(x0, y0, x1, y1, outline);
        int border = size_ >= 32 ? 1 : 2;
        box(x0 + border, y0 + border, x1 - border, y1 - border, fill);
    }
    // A thick cross from corner to corner of the given square.
    void cross(int x0, int y0, int x1, Rgba colour) {
        int n = scale(x1) - scale(x0);
        int width = size_ >= 32 ? 3 : 2;
        for (int i = 0; i < n; ++i) {
            for (int w = 0; w < width; ++w) {
                plot(scale(x0) + i + w, scale(y0) + i, colour);
                plot(scale(x0) + n - 1 - i + w, scale(y0) + i, colour);
            }
        }
    }

  private:
    int scale(int v) const {
        return v * size_ / 32;
    }
    void plot(int x, int y, Rgba c) {
        if (x >= 0 && y >= 0 && x < size_ && y < size_) {
            pixels_[static_cast<std::size_t>(y * size_ + x)] = c;
        }
    }

    int size_;
    std::vector<Rgba> pixels_;
};

// The setup program: a parcel with a green arrow into it.
void drawSetup(Canvas& c) {
    c.framedBox(4, 14, 28, 30, {200, 150, 80, 255});
    c.box(4, 20, 28, 22, {150, 100, 50, 255});
    c.box(13, 2, 19, 12, {40, 170, 60, 255});
    c.box(9, 10, 23, 14, {40, 170, 60, 255});
}

// The product program: a template sheet with a picture on it.
void drawProgram(Canvas& c) {
    c.framedBox(4, 2, 28, 30, {250, 250, 245, 255});
    c.box(8, 6, 24, 18, {60, 110, 200, 255});
    c.box(12, 12, 20, 18, {240, 200, 60, 255});
    c.box(8, 21, 24, 23, {150, 150, 150, 255});
    c.box(8, 25, 20, 27, {150, 150, 150, 255});
}

// Removing the product: the template sheet struck through.
void drawUninstall(Canvas& c) {
    drawProgram(c);
    c.cross(4, 4, 28, {210, 30, 30, 255});
}

void put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One icon image: a bitmap header (height counts colour and mask rows), the
// colour rows bottom-up, and an all-zero mask (alpha does the masking).
std::string iconImage(const Canvas& c) {
    const unsigned size = static_cast<unsigned>(c.size());
    const unsigned maskStride = ((size + 31) / 32) * 4;
    std::string out;
    put32(out, 40);
    put32(out, size);
    put32(out, size * 2);
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, size * size * 4 + maskStride * size);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (int y = c.size() - 1; y >= 0; --y) {
        for (int x = 0; x < c.size(); ++x) {
            Rgba p = c.at(x, y);
            out.push_back(static_cast<char>(p.b));
            out.push_back(static_cast<char>(p.g));
            out.push_back(static_cast<char>(p.r));
            out.push_back(static_cast<char>(p.a));
        }
    }
    out.append(maskStride * size, '\0');
    return out;
}

std::string iconFile(void (*draw)(Canvas&)) {
    std::vector<std::string> images;
    for (int size : {16, 32}) {
        Canvas c(size);
        draw(c);
        images.push_back(iconImage(c));
    }
    std::string out;
    put16(out, 0);
    put16(out, 1); // icon, not cursor
    put16(out, static_cast<unsigned>(images.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    int size = 16;
    for (const std::string& image : images) {
        out.push_back(static_cast<char>(size));
        out.push_back(static_cast<char>(size));
        out.push_back(0); // no palette
        out.push_back(0);
        put16(out, 1);  // planes
        put16(out, 32); // bits per pixel
        put32(out, static_cast<unsigned>(image.size()));
        put32(out, offset);
        offset += static_cast<unsigned>(image.size());
        size *= 2;
    }
    for (const std::string& image : images) {
        out += image;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s setup|program|uninstall <file.ico>\n", argv[0]);
        return 2;
    }
    std::string_view motif = argv[1];
    void (*draw)(Canvas&) = motif == "setup"       ? drawSetup
                            : motif == "program"   ? drawProgram
                            : motif == "uninstall" ? drawUninstall
                                                   : nullptr;
    if (!draw) {
        std::fprintf(stderr, "unknown icon: %s\n", argv[1]);
        return 2;
    }
    std::string bytes = iconFile(draw);
    std::ofstream file(argv[2], std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
