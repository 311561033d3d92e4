// The pixel loop behind ConvertTrueColourToReference. It skips the table for
// pixels that repeat the run of colour before them or the row above; these
// tests put the breaks in those repeats at every place the loop could miss
// them.
#include "colour_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "colour_match.h"
#include "test_palettes.h"

namespace {

// Colours one step apart in any channel get different indices here, unlike in
// a palette's table, where neighbours mostly share an entry and a pixel taken
// for its neighbour would go unnoticed.
const uint8_t* ScrambledTable() {
    static const std::unique_ptr<uint8_t[]> table = [] {
        std::unique_ptr<uint8_t[]> made(new uint8_t[kColourTableSize]);
        for (uint32_t key = 0; key < kColourTableSize; ++key) {
            made[key] = static_cast<uint8_t>(((key ^ 0x5A5A5A) * 0x9E3779B1u) >> 24);
        }
        return made;
    }();
    return table.get();
}

// 32-bit pixels in storage that ends right after the last pixel of the last
// row, so that reading past a row under the sanitizers is caught there.
struct Picture {
    Picture(int width, int height, int pitchSlack)
        : w(width),
          h(height),
          pitch(4 * width + pitchSlack),
          bytes(static_cast<size_t>(pitch) * (height - 1) + 4 * width, 0xEE) {}
    void Put(int x, int y, uint32_t value) {
        std::memcpy(&bytes[static_cast<size_t>(y) * pitch + 4 * x], &value, 4);
    }
    uint32_t At(int x, int y) const {
        uint32_t value;
        std::memcpy(&value, &bytes[static_cast<size_t>(y) * pitch + 4 * x], 4);
        return value;
    }
    int w, h, pitch;
    std::vector<uint8_t> bytes;
};

constexpr uint8_t kGuard = 0xA5;

// Maps `picture` into rows with padding of their own and counts the pixels
// whose index is not table[colour] and the padding bytes that were written,
// reporting the first few.
int Faults(const Picture& picture, const std::string& what) {
    const uint8_t* table = ScrambledTable();
    const int toPitch = picture.w + 3;
    std::vector<uint8_t> out(static_cast<size_t>(toPitch) * (picture.h - 1) + picture.w, kGuard);
    MapThroughColourTable(table, picture.bytes.data(), picture.pitch, picture.w, picture.h,
                          out.data(), toPitch);
    int faults = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const int x = static_cast<int>(i % toPitch), y = static_cast<int>(i / toPitch);
        const uint8_t want = x < picture.w ? table[picture.At(x, y) & 0xFFFFFF] : kGuard;
        if (out[i] != want && ++faults <= 5) {
            ADD_FAILURE() << what << ": (" << x << ", " << y << ") gave " << int{out[i]}
                          << ", want " << int{want};
        }
    }
    return faults;
}

}  // namespace

// Short runs, rows repeated with new top bytes, and rows that differ, at
// widths around the loop's block of sixteen and with and without slack in the
// pitch.
TEST(MapThroughColourTable, EveryWidthAndPitch) {
    std::mt19937 random(21);
    const uint32_t colours[] = {0x102030, 0x102031, 0x112030, 0xFFFFFF, 0x000000};
    for (int w : {1, 2, 3, 5, 15, 16, 17, 31, 33, 303}) {
        for (int slack : {0, 4, 12}) {
            Picture picture(w, 6, slack);
            for (int y = 0; y < picture.h; ++y) {
                uint32_t colour = colours[random() % 5];
                for (int x = 0; x < w; ++x) {
                    // Row 3 is flat; rows 2 and 4 repeat the row above in
                    // colour but not in top bytes.
                    if (y != 3 && random() % 7 == 0) colour = colours[random() % 5];
                    const uint32_t rgb = y % 2 == 0 && y > 0 ? picture.At(x, y - 1) : colour;
                    picture.Put(x, y, (rgb & 0xFFFFFF) | static_cast<uint32_t>(random()) << 24);
                }
            }
            const std::string what =
                "width " + std::to_string(w) + " slack " + std::to_string(slack);
            EXPECT_EQ(Faults(picture, what), 0) << what;
        }
    }
}

// One pixel differing from a flat area, or from the row above, at each place
// of three blocks: by one bit of one channel it must be looked up, by its top
// byte alone it must not matter.
TEST(MapThroughColourTable, OnePixelBreaksARepeat) {
    const uint32_t flat = 0x4080C0;
    const uint32_t changes[] = {0x010000, 0x000100, 0x000001, 0x800000, 0x000080, 0x5A000000};
    for (uint32_t change : changes) {
        for (int at = 0; at < 48; ++at) {
            Picture picture(48, 4, 8);
            for (int y = 0; y < picture.h; ++y) {
                for (int x = 0; x < picture.w; ++x) {
                    picture.Put(x, y, 0x11000000u * static_cast<uint32_t>(x % 3) | flat);
                }
            }
            // Row 1 breaks the run and the repeat of row 0, row 2 repeats
            // row 1 with other top bytes, and row 3, flat again, breaks the
            // repeat of row 2.
            picture.Put(at, 1, picture.At(at, 1) ^ change);
            for (int x = 0; x < picture.w; ++x) picture.Put(x, 2, picture.At(x, 1) ^ 0xFF000000);
            const std::string what =
                "change " + std::to_string(change) + " at " + std::to_string(at);
            EXPECT_EQ(Faults(picture, what), 0) << what;
        }
    }
}

// The first pixels, before any colour has been seen, may be any colour and
// any top byte, black and white included.
TEST(MapThroughColourTable, FirstPixelsAnyColour) {
    const uint8_t* table = ScrambledTable();
    ASSERT_TRUE(table[0] != 0 && table[0xFFFFFF] != 0) << "a blank start would go unnoticed";
    for (uint32_t value : {0x00000000u, 0xFF000000u, 0x00FFFFFFu, 0xFFFFFFFFu, 0x7F000001u}) {
        for (int w : {1, 4, 16, 17}) {
            Picture picture(w, 2, 0);
            for (int y = 0; y < picture.h; ++y) {
                for (int x = 0; x < w; ++x) picture.Put(x, y, value);
            }
            const std::string what =
                "value " + std::to_string(value) + " width " + std::to_string(w);
            EXPECT_EQ(Faults(picture, what), 0) << what;
        }
    }
}

// Flat areas, outlines and repeated rows in colours held at several indices
// of the palette, converted whole and checked against the rule.
TEST(ConvertTrueColourToReference, PixelArtByTheRule) {
    const TestPalette reference = DuplicatesPalette(17);
    const int w = 77, h = 40;
    SDL_Surface* surface = SDL_CreateRGBSurface(0, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    ASSERT_NE(surface, nullptr);
    std::mt19937 random(23);
    std::vector<uint32_t> colours(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const SDL_Color& entry = reference[(x / 9 + y / 7) % 256];
            uint32_t rgb = uint32_t{entry.r} << 16 | uint32_t{entry.g} << 8 | entry.b;
            if (x % 9 == 0 || y % 7 == 0) rgb = 0x000000;
            if (y % 11 == 5 && x % 13 == 6) rgb ^= 0x000001;
            colours[static_cast<size_t>(y) * w + x] = rgb;
            const uint32_t value = static_cast<uint32_t>(random()) << 24 | rgb;
            std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + 4 * x, &value,
                        4);
        }
    }
    ASSERT_TRUE(ConvertTrueColourToReference(&surface, reference.data()));
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colours[static_cast<size_t>(y) * w + x];
            const uint8_t want = NearestReferenceColour(c >> 16, c >> 8, c, reference.data());
            const uint8_t got =
                static_cast<const uint8_t*>(surface->pixels)[y * surface->pitch + x];
            if (got != want && ++wrong <= 5) {
                ADD_FAILURE() << "(" << x << ", " << y << ") gave " << int{got} << ", rule "
                              << int{want};
            }
        }
    }
    SDL_FreeSurface(surface);
}
