// Writes the product's template pictures: four styles, a few variants each,
// bitmaps and PNG images, under <out>/templates/<style>/<variant>/. Also
// writes the list of their installed names (backslash paths relative to the
// install directory), which the product program uses to uninstall exactly
// what was installed. The output depends on nothing but this source.
#include "picture.h"

#include <array>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace {

using templates::Colour;
using templates::Picture;

enum class Style { classicFrames, softPastel, boldLines, nightSky };

struct Variant {
    Style style;
    const char* styleFolder;
    const char* folder;
    const char* filePrefix;
    int width, height;
    int bitmaps;
    int plainPngs;
    // Photographic star fields, kept compressed as PNG writes them.
    int grainyPngs;
};

// 44 bitmaps and 31 PNG images, 6 of them grainy.
constexpr std::array<Variant, 9> catalogue{{
    {Style::classicFrames, "Classic Frames", "Landscape", "landscape", 96, 64, 6, 3, 0},
    {Style::classicFrames, "Classic Frames", "Portrait", "portrait", 64, 96, 6, 3, 0},
    {Style::softPastel, "Soft Pastel", "Cards", "card", 80, 56, 5, 4, 0},
    {Style::softPastel, "Soft Pastel", "Banners", "banner", 120, 40, 5, 4, 0},
    {Style::boldLines, "Bold Lines", "Posters", "poster", 72, 96, 5, 3, 0},
    {Style::boldLines, "Bold Lines", "Labels", "label", 96, 48, 5, 3, 0},
    {Style::boldLines, "Bold Lines", "Icons", "icon", 48, 48, 4, 3, 0},
    {Style::nightSky, "Night Sky", "Stars", "stars", 96, 72, 4, 2, 3},
    {Style::nightSky, "Night Sky", "Moons", "moon", 80, 80, 4, 0, 3},
}};

constexpr std::array<Colour, 8> accents{{
    {192, 48, 48},
    {48, 128, 192},
    {64, 160, 80},
    {224, 160, 32},
    {128, 64, 176},
    {32, 160, 160},
    {208, 96, 144},
    {96, 96, 96},
}};

constexpr Colour white{255, 255, 255}, black{0, 0, 0};

void drawClassicFrame(Picture& p, int index) {
    Colour accent = accents[static_cast<std::size_t>(index) % accents.size()];
    p.verticalGradient({250, 240, 215}, {215, 195, 160});
    p.frame(2, 4, {120, 80, 40});
    p.frame(8, 2, {200, 160, 60});
    int r = (p.width() < p.height() ? p.width() : p.height()) / 5;
    p.disc(p.width() / 2, p.height() / 2, r, accent);
}

void drawSoftPastel(Picture& p, int index) {
    Colour accent = accents[static_cast<std::size_t>(index) % accents.size()];
    Colour pastel = templates::mix(accent, white, 3, 4);
    p.verticalGradient(white, pastel);
    p.diagonalStripes(16, 3, templates::mix(pastel, white, 1, 2));
    for (int i = 0; i < 4; ++i) {
        int cx = (p.width() * (1 + 2 * i)) / 8;
        int cy = p.height() / 2 + ((i + index) % 3 - 1) * p.height() / 6;
        p.disc(cx, cy, p.height() / 6, templates::mix(accent, white, i + 1, 6));
    }
}

void drawBoldLines(Picture& p, int index) {
    Colour accent = accents[static_cast<std::size_t>(index + 3) % accents.size()];
    p.fillRect(0, 0, p.width(), p.height(), white);
    p.diagonalStripes(12 + 2 * (index % 3), 5, accent);
    p.fillRect(p.width() / 4, p.height() / 3, p.width() * 3 / 4, p.height() * 2 / 3, white);
    p.frame(0, 3, black);
}

void drawNightSky(Picture& p, int index, bool grainy) {
    p.verticalGradient({8, 12, 40}, {40, 48, 96});
    std::uint32_t state = 12345u + static_cast<std::uint32_t>(index) * 977u;
    for (int i = 0; i < 40; ++i) {
        state = state * 1103515245u + 12345u;
        int x = static_cast<int>((state >> 8) % static_cast<std::uint32_t>(p.width()));
        state = state * 1103515245u + 12345u;
        int y = static_cast<int>((state >> 8) % static_cast<std::uint32_t>(p.height()));
        p.set(x, y, {255, 255, 220});
    }
    int r = p.height() / 5;
    p.disc(p.width() - r - 6, r + 6, r, {240, 230, 180});
    p.disc(p.width() - r - 1, r + 3, r - 2, {12, 18, 50});
    if (grainy) {
        p.grain(static_cast<std::uint32_t>(index) + 1, 48);
    }
}

Picture draw(const Variant& v, int index, bool grainy) {
    Picture p(v.width, v.height);
    switch (v.style) {
    case Style::classicFrames:
        drawClassicFrame(p, index);
        break;
    case Style::softPastel:
        drawSoftPastel(p, index);
        break;
    case Style::boldLines:
        drawBoldLines(p, index);
        break;
    case Style::nightSky:
        drawNightSky(p, index, grainy);
        break;
    }
    return p;
}

std::string fileName(const Variant& v, int number, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%02d.%s", v.filePrefix, number, extension);
    return name;
}

std::vector<std::string> writeVariant(const Variant& v, const std::filesystem::path& out) {
    const std::filesystem::path folder = out / "templates" / v.styleFolder / v.folder;
    std::filesystem::create_directories(folder);
    const std::string installedFolder =
        std::string("templates\\") + v.styleFolder + "\\" + v.folder + "\\";

    std::vector<std::string> names;
    int number = 1;
    for (int i = 0; i < v.bitmaps; ++i, ++number) {
        std::string name = fileName(v, number, "bmp");
        templates::writeBmp(draw(v, number, false), folder / name);
        names.push_back(installedFolder + name);
    }
    for (int i = 0; i < v.plainPngs + v.grainyPngs; ++i, ++number) {
        bool grainy = i >= v.plainPngs;
        std::string name = fileName(v, number, "png");
        templates::writePng(draw(v, number, grainy), folder / name,
                            grainy ? templates::PngPacking::compact : templates::PngPacking::raw);
        names.push_back(installedFolder + name);
    }
    return names;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output folder> <list file>\n", argv[0]);
        return 2;
    }
    try {
        std::ofstream list(argv[2], std::ios::binary);
        for (const Variant& v : catalogue) {
            for (const std::string& name : writeVariant(v, argv[1])) {
                list << name << '\n';
            }
        }
        if (!list.flush()) {
            std::fprintf(stderr, "%s: cannot write\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
