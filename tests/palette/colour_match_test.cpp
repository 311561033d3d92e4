#include "colour_match.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "sdl_fixture.h"
#include "test_palettes.h"

namespace {

TestPalette FilledPalette(SDL_Color colour) {
    TestPalette palette;
    palette.fill(colour);
    return palette;
}

uint32_t Rgb(const SDL_Color& c) {
    return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

struct SurfaceDeleter {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

SurfacePtr Make8Bit(int w, int h, const TestPalette& colours) {
    SurfacePtr s(SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0));
    if (s) SDL_SetColors(s.get(), const_cast<SDL_Color*>(colours.data()), 0, 256);
    return s;
}

SurfacePtr Make32Bit(int w, int h) {
    return SurfacePtr(SDL_CreateRGBSurface(0, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0));
}

void Put32(SDL_Surface* s, int x, int y, uint32_t value) {
    std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch + 4 * x, &value, 4);
}

}  // namespace

// The rule takes the smallest sum, then the lowest index, ignoring the fourth byte.
TEST(NearestReferenceColour, SmallestSumThenLowestIndex) {
    TestPalette palette = FilledPalette({255, 255, 255, 0});
    palette[3] = {0, 0, 0, 0};
    palette[7] = {10, 10, 10, 0};
    EXPECT_EQ(NearestReferenceColour(5, 5, 5, palette.data()), 3) << "equal sums 15 and 15";
    EXPECT_EQ(NearestReferenceColour(6, 6, 6, palette.data()), 7) << "sums 18 and 12";
    EXPECT_EQ(NearestReferenceColour(4, 5, 6, palette.data()), 3) << "sums 15 and 15, uneven";
    EXPECT_EQ(NearestReferenceColour(255, 255, 255, palette.data()), 0);

    // An exact colour held at several indices goes to the first of them.
    palette[200] = {12, 34, 56, 0};
    palette[90] = {12, 34, 56, 0};
    palette[150] = {12, 34, 56, 0};
    EXPECT_EQ(NearestReferenceColour(12, 34, 56, palette.data()), 90);

    // A fourth byte that differs does not push an entry away.
    palette[40] = {100, 0, 0, 255};
    palette[41] = {101, 0, 0, 0};
    EXPECT_EQ(NearestReferenceColour(100, 0, 0, palette.data()), 40);

    // One entry nearer in one channel but farther in sum loses.
    TestPalette two = FilledPalette({0, 0, 0, 0});
    two[0] = {0, 0, 0, 0};
    two[1] = {200, 90, 90, 0};
    EXPECT_EQ(NearestReferenceColour(200, 40, 40, two.data()), 1) << "sums 280 and 100";
    EXPECT_EQ(NearestReferenceColour(100, 40, 40, two.data()), 0) << "sums 180 and 200";
}

// Palette equality covers all four bytes of all 256 entries, whatever the declared count.
TEST(IsReferencePalette, EveryByteOfEveryEntryCounts) {
    const TestPalette reference = RandomPalette(11);
    SurfacePtr surface = Make8Bit(4, 4, reference);
    ASSERT_TRUE(surface);
    EXPECT_TRUE(IsReferencePalette(surface.get(), reference.data()));

    surface->format->palette->ncolors = 2;
    EXPECT_TRUE(IsReferencePalette(surface.get(), reference.data()));
    for (int entry : {0, 1, 2, 128, 255}) {
        for (int byte = 0; byte < 4; ++byte) {
            TestPalette changed = reference;
            reinterpret_cast<uint8_t*>(&changed[entry])[byte] ^= 1;
            EXPECT_FALSE(IsReferencePalette(surface.get(), changed.data()))
                << "entry " << entry << " byte " << byte << " differs";
        }
    }
    surface->format->palette->ncolors = 256;

    SurfacePtr trueColour = Make32Bit(4, 4);
    ASSERT_TRUE(trueColour);
    EXPECT_FALSE(IsReferencePalette(trueColour.get(), reference.data()));
}

// Every stored byte, padding included, becomes the nearest index of its own colour.
TEST(ConvertPaletteToReference, TranslatesEveryStoredByte) {
    const TestPalette reference = TiesPalette(5);
    const TestPalette own = RandomPalette(6);
    SurfacePtr surface = Make8Bit(5, 3, own);
    ASSERT_TRUE(surface);
    ASSERT_GT(surface->pitch, surface->w) << "the test needs padding bytes";
    surface->format->palette->ncolors = 4;
    uint8_t* pixels = static_cast<uint8_t*>(surface->pixels);
    const size_t bytes = static_cast<size_t>(surface->pitch) * surface->h;
    std::vector<uint8_t> before(bytes);
    for (size_t i = 0; i < bytes; ++i) before[i] = pixels[i] = static_cast<uint8_t>(255 - 17 * i);

    ConvertPaletteToReference(surface.get(), reference.data());

    for (size_t i = 0; i < bytes; ++i) {
        const SDL_Color& c = own[before[i]];
        EXPECT_EQ(pixels[i], NearestReferenceColour(c.r, c.g, c.b, reference.data()))
            << "byte " << i << " was " << int{before[i]};
    }
    EXPECT_EQ(std::memcmp(surface->format->palette->colors, own.data(), sizeof own), 0);
}

// Each pixel of a padded source, top byte ignored, lands matched at its own place.
TEST(ConvertTrueColourToReference, EveryPixelByTheRule) {
    const TestPalette reference = DuplicatesPalette(8);
    const int w = 303, h = 7;
    const int pitch = 4 * w + 12;
    std::vector<uint8_t> storage(static_cast<size_t>(pitch) * h, 0xAB);
    std::mt19937 random(9);
    std::vector<uint32_t> colours(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t value = random();
            // Every few pixels an exact reference colour, where duplicates
            // decide the index.
            if (x % 5 == 0) value = (value & 0xFF000000) | Rgb(reference[value % 256]);
            colours[y * w + x] = value & 0xFFFFFF;
            std::memcpy(&storage[y * pitch + 4 * x], &value, 4);
        }
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceFrom(storage.data(), w, h, 32, pitch, 0xFF0000, 0xFF00, 0xFF, 0);
    ASSERT_NE(surface, nullptr);
    SDL_Surface* original = surface;

    ASSERT_TRUE(ConvertTrueColourToReference(&surface, reference.data()));
    SurfacePtr result(surface);
    ASSERT_NE(surface, original);
    EXPECT_EQ(surface->format->BitsPerPixel, 8);
    EXPECT_EQ(surface->w, w);
    EXPECT_EQ(surface->h, h);
    EXPECT_TRUE(IsReferencePalette(surface, reference.data()));
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colours[y * w + x];
            const uint8_t want = NearestReferenceColour(c >> 16, c >> 8, c, reference.data());
            if (IndexAt(surface, x, y) != want && ++wrong <= 5) {
                ADD_FAILURE() << "(" << x << ", " << y << ") colour " << std::hex << c << std::dec
                              << " gave " << int{IndexAt(surface, x, y)} << ", rule " << int{want};
            }
        }
    }
}

// Surfaces that are not 32-bit or have short rows are refused and kept as they were.
TEST(ConvertTrueColourToReference, RefusesWhatItCannotRead) {
    const TestPalette reference = RandomPalette(12);
    for (int depth : {8, 16, 24}) {
        SDL_Surface* surface = SDL_CreateRGBSurface(0, 4, 4, depth, 0, 0, 0, 0);
        ASSERT_NE(surface, nullptr);
        SDL_Surface* before = surface;
        EXPECT_FALSE(ConvertTrueColourToReference(&surface, reference.data())) << depth;
        EXPECT_EQ(surface, before);
        SDL_FreeSurface(surface);
    }
    SurfacePtr narrow = Make32Bit(4, 4);
    ASSERT_TRUE(narrow);
    narrow->pitch = 12;
    SDL_Surface* surface = narrow.get();
    EXPECT_FALSE(ConvertTrueColourToReference(&surface, reference.data()));
    EXPECT_EQ(surface, narrow.get());
    narrow->pitch = 16;
    SDL_Surface* none = nullptr;
    EXPECT_FALSE(ConvertTrueColourToReference(&none, reference.data()));
}

// Matching follows the palette's colours, not its address, when changed in place.
TEST(ConvertTrueColourToReference, FollowsPaletteChangedInPlace) {
    TestPalette reference = RandomPalette(13);
    const uint32_t colour = 0x405060;
    auto convert = [&]() -> int {
        SurfacePtr source = Make32Bit(1, 1);
        if (!source) return -1;
        Put32(source.get(), 0, 0, colour);
        SDL_Surface* surface = source.release();
        if (!ConvertTrueColourToReference(&surface, reference.data())) {
            SDL_FreeSurface(surface);
            return -1;
        }
        const int index = IndexAt(surface, 0, 0);
        SDL_FreeSurface(surface);
        return index;
    };
    const int first = convert();
    ASSERT_GE(first, 0);
    const int target = first == 0 ? 1 : first - 1;
    reference[target] = {0x40, 0x50, 0x60, 0};
    EXPECT_EQ(convert(), target);
}
