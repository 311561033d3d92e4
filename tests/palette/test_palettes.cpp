#include "test_palettes.h"

#include <algorithm>
#include <random>

namespace {

SDL_Color Colour(uint32_t rgb) {
    return SDL_Color{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                     static_cast<uint8_t>(rgb), 0};
}

}  // namespace

TestPalette RandomPalette(unsigned seed) {
    std::mt19937 random(seed);
    TestPalette palette;
    for (SDL_Color& c : palette) c = Colour(random() & 0xFFFFFF);
    return palette;
}

TestPalette DuplicatesPalette(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> colours;
    for (int i = 0; i < 64; ++i) {
        const uint32_t rgb = random() & 0xFFFFFF;
        for (int copy = 0; copy < 4; ++copy) colours.push_back(rgb);
    }
    std::shuffle(colours.begin(), colours.end(), random);
    TestPalette palette;
    for (int k = 0; k < 256; ++k) palette[k] = Colour(colours[k]);
    return palette;
}

TestPalette TiesPalette(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> colours;
    // Spacing 50: halfway points are whole numbers, so ties are everywhere.
    for (uint32_t r = 0; r <= 250; r += 50) {
        for (uint32_t g = 0; g <= 250; g += 50) {
            for (uint32_t b = 0; b <= 250; b += 50) colours.push_back(r << 16 | g << 8 | b);
        }
    }
    while (colours.size() < 256) {
        const uint32_t v = 25 + 50 * static_cast<uint32_t>(random() % 5);
        colours.push_back(v << 16 | v << 8 | v);
    }
    std::shuffle(colours.begin(), colours.end(), random);
    TestPalette palette;
    for (int k = 0; k < 256; ++k) palette[k] = Colour(colours[k]);
    return palette;
}

std::vector<NamedPalette> SweepPalettes() {
    return {{"random", RandomPalette(1)},
            {"duplicates", DuplicatesPalette(2)},
            {"ties", TiesPalette(3)}};
}
