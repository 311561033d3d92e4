#include "colour_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "colour_match.h"
#include "test_palettes.h"

namespace {

// Colours where a wrong answer is most likely: around every entry (where
// ties with neighbours and duplicates decide), the faces and corners of the
// cube, a coarse lattice through the whole of it, and a random spread.
std::vector<uint32_t> SampleColours(const TestPalette& palette) {
    std::vector<uint32_t> colours;
    for (const SDL_Color& c : palette) {
        for (int dr = -2; dr <= 2; ++dr) {
            for (int dg = -2; dg <= 2; ++dg) {
                for (int db = -2; db <= 2; ++db) {
                    const int r = c.r + dr, g = c.g + dg, b = c.b + db;
                    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) continue;
                    colours.push_back(ColourTableKey(r, g, b));
                }
            }
        }
    }
    for (int r = 0; r < 256; r += 7) {
        for (int g = 0; g < 256; g += 7) {
            for (int b = 0; b < 256; b += 7) colours.push_back(ColourTableKey(r, g, b));
        }
    }
    for (int a = 0; a < 256; ++a) {
        for (int b : {0, 255}) {
            colours.push_back(ColourTableKey(a, b, b));
            colours.push_back(ColourTableKey(b, a, b));
            colours.push_back(ColourTableKey(b, b, a));
        }
    }
    std::mt19937 random(4242);
    for (int i = 0; i < 50000; ++i) colours.push_back(random() & 0xFFFFFF);
    return colours;
}

// Counts the sampled colours on which `table` and the rule disagree,
// reporting the first few.
int Disagreements(const uint8_t* table, const TestPalette& palette, const std::string& name) {
    int wrong = 0;
    for (uint32_t key : SampleColours(palette)) {
        const uint8_t want = NearestReferenceColour(key >> 16, key >> 8, key, palette.data());
        if (table[key] != want && ++wrong <= 5) {
            ADD_FAILURE() << name << ": colour " << std::hex << key << std::dec << " gave "
                          << int{table[key]} << ", rule " << int{want};
        }
    }
    return wrong;
}

TestPalette Degenerate(int kind) {
    TestPalette p;
    for (int k = 0; k < 256; ++k) {
        switch (kind) {
            case 0:
                p[k] = {77, 77, 77, 0};
                break;  // one colour everywhere
            case 1:
                p[k] = k % 2 ? SDL_Color{255, 255, 255, 0} : SDL_Color{0, 0, 0, 0};
                break;
            default:  // the corners, repeated, last index first
                const int corner = (255 - k) % 8;
                p[k] = {static_cast<uint8_t>(corner & 1 ? 255 : 0),
                        static_cast<uint8_t>(corner & 2 ? 255 : 0),
                        static_cast<uint8_t>(corner & 4 ? 255 : 0), 0};
        }
    }
    return p;
}

}  // namespace

// The table agrees with the rule on a large fixed sample, for awkward palettes too.
TEST(ColourTable, AgreesWithTheRuleOnSample) {
    std::unique_ptr<uint8_t[]> table(new uint8_t[kColourTableSize]);
    std::vector<NamedPalette> palettes = SweepPalettes();
    palettes.push_back({"one colour", Degenerate(0)});
    palettes.push_back({"black and white", Degenerate(1)});
    palettes.push_back({"corners", Degenerate(2)});
    for (const NamedPalette& p : palettes) {
        ASSERT_TRUE(BuildColourTable(p.colours.data(), table.get())) << p.name;
        EXPECT_EQ(Disagreements(table.get(), p.colours, p.name), 0) << p.name;
    }
}
