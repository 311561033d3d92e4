// The reference palette, and every fast path of the colour matching checked
// against the matching rule itself (NearestReferenceColour), the product's
// own reference implementation.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "colour_cells.h"
#include "colour_match.h"
#include "colour_table.h"
#include "reference_palette.h"
#include "test_support.h"

namespace {

using Palette = std::array<SDL_Color, 256>;

// An entry as one number: fourth byte, red, green, blue from the top down.
uint32_t Value(const SDL_Color& c) {
    return uint32_t{c.unused} << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

uint8_t Rule(uint32_t rgb, const Palette& palette) {
    return NearestReferenceColour(Uint8(rgb >> 16), Uint8(rgb >> 8), Uint8(rgb), palette.data());
}

// The sample palette (254 colours, two of them held twice), and colours on
// an even lattice in scattered order: ties everywhere.
std::vector<Palette> TestPalettes() {
    std::vector<Palette> all(2);
    LoadSamplePalette(all[0].data());
    for (uint32_t k = 0; k < 256; ++k) {
        const uint8_t r = 50 * (k % 6), g = 50 * (k / 6 % 6), b = 50 * (k / 36 % 6);
        all[1][k * 89 % 256] = SDL_Color{r, g, b, 0};
    }
    return all;
}

// `from` as SDL converts it to `bits` per pixel; `layout` may name the bytes
// of red, green and blue (0x210: xRGB; SDL 1.2 converts right into 0x310, not
// into layouts with green or blue in the top byte), 0 takes SDL's usual masks.
SDL_Surface* Converted(SDL_Surface* from, int bits, int layout = 0) {
    auto mask = [layout](int at) { return layout ? 0xFFu << (layout >> at & 0xF) * 8 : 0u; };
    SDL_Surface* model = SDL_CreateRGBSurface(0, 1, 1, bits, mask(8), mask(4), mask(0), 0);
    SDL_Surface* made = SDL_ConvertSurface(from, model->format, 0);
    SDL_FreeSurface(model);
    return made;
}

}  // namespace

// Equality sees each byte of each entry; translation each stored byte; matching declared colours.
TEST(ConvertPaletteToReference, EveryStoredByte) {
    // All four bytes of all 256 entries count, past the declared colour count
    // too; values above that count and the padding past each row are translated.
    Palette own = TestPalettes()[0], reference = TestPalettes()[1];
    SDL_Surface* surface = SDL_CreateRGBSurface(0, 5, 3, 8, 0, 0, 0, 0);  // rows of 5 in 8 bytes
    SDL_SetColors(surface, own.data(), 0, 256);
    surface->format->palette->ncolors = 11;
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    for (int i = 0; i < 1024; ++i) {
        reinterpret_cast<uint8_t*>(own.data())[i] ^= 1;
        EXPECT_FALSE(IsReferencePalette(surface, own.data())) << "byte " << i;
        reinterpret_cast<uint8_t*>(own.data())[i] ^= 1;
    }
    for (int i = 0; i < 24; ++i) pixels[i] = Uint8(i * 11);
    // Matched from its rows, a value past the declared colours is black, as SDL reads a BMP's.
    SDL_Surface* rows = MatchPicture(surface, reference.data(), {ColourMatcher::kCells});
    ConvertPaletteToReference(surface, reference.data());
    for (int i = 0; i < 24; ++i) EXPECT_EQ(pixels[i], Rule(Value(own[i * 11]), reference)) << i;
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(IndexAt(rows, i % 5, i / 5), Rule(i ? 0 : Value(own[0]), reference)) << i;
    SDL_FreeSurface(rows);
    SDL_FreeSurface(surface);
}

// "menu.pal" from the working directory: red, green, blue of whole records only.
TEST(ReferencePalette, Files) {
    // Without the file nothing is allocated; the fourth byte becomes 0, and an
    // entry the file does not hold whole is black.
    TempDir dir(true);
    EXPECT_FALSE(LoadReferencePalette());
    EXPECT_EQ(ReferencePalette, nullptr);
    ASSERT_TRUE(WriteFileBytes("menu.pal", {0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0, 1, 2, 3}));
    ASSERT_TRUE(LoadReferencePalette());
    EXPECT_EQ(Value(ReferencePalette[0]), 0x102030u);
    EXPECT_EQ(Value(ReferencePalette[1]), 0x405060u);
    EXPECT_EQ(Value(ReferencePalette[2]), 0u);
}

// Every fast path of the matching gives the rule's index.
TEST(FastPaths, AgreeWithTheRule) {
    // On each palette, for colours around every entry, a lattice through the
    // cube and random ones: the colour-cube table and the colour cells through
    // ConvertTrueColourToReference, and ConvertToPalette for every depth (an
    // 8-bit picture in the same palette keeps its values, duplicates included;
    // in another, each is matched).
    // Depth, layout (see Converted), then the way: ConvertToPalette (0), the
    // table (1), the cells (2); for 8 bits, the picture's palette: p (0) or
    // the next (1).
    const int rows[][3] = {{32, 0, 1}, {32, 0, 2}, {32, 0, 0}, {32, 0x310, 0}, {24, 0, 0},
                           {16, 0, 0}, {15, 0, 0}, {8, 0, 0},  {8, 0, 1}};
    const std::vector<Palette> palettes = TestPalettes();
    Palette p;  // one address for every palette: the table must follow the colours
    for (size_t n = 0; n < palettes.size(); ++n) {
        p = palettes[n];
        std::vector<uint32_t> pixels;  // with noise in the top bytes
        std::mt19937 random(3);
        for (uint32_t i = 0; i < 29 * 29 * 29; ++i) {
            const int steps[] = {0, 1, -1, 256, -256, 65536, -65536};
            pixels.push_back(((Value(p[i / 7 % 256]) + steps[i % 7]) & 0xFFFFFF) | i << 24);
            pixels.push_back(i << 24 | 9 * (i % 29) << 16 | 9 * (i / 29 % 29) << 8 | 9 * (i / 841));
            pixels.push_back(random());
        }
        SDL_Surface* xrgb = SDL_CreateRGBSurfaceFrom(pixels.data(), 509, 143, 32, 2036, 0, 0, 0, 0);
        const uint8_t* table = ColourTableFor(p.data());
        ASSERT_NE(table, nullptr);
#if defined(VDE_EVERY_COLOUR)  // the exhaustive check: every colour of the cube, one palette
        uint32_t wrongly = 0;
        for (uint32_t c = 0; n == 1 && c < kColourTableSize; ++c) wrongly += table[c] != Rule(c, p);
        EXPECT_EQ(wrongly, 0u) << "every colour";
        if (n == 1) {  // and the colour cells, against the table just checked
            std::vector<uint32_t> cube(kColourTableSize);
            for (uint32_t c = 0; c < kColourTableSize; ++c) cube[c] = c;
            SDL_Surface* all = SDL_CreateRGBSurfaceFrom(cube.data(), 4096, 4096, 32, 16384,
                                                        0xFF0000, 0xFF00, 0xFF, 0);
            ASSERT_TRUE(ConvertTrueColourToReference(&all, p.data(), ColourMatcher::kCells));
            for (uint32_t c = 0; c < kColourTableSize; ++c)
                wrongly += IndexAt(all, int(c % 4096), int(c / 4096)) != table[c];
            EXPECT_EQ(wrongly, 0u) << "every colour through the cells";
            SDL_FreeSurface(all);
        }
#endif
        for (const auto& [bits, layout, way] : rows) {
            SDL_Surface* s = bits == 8 ? SDL_CreateRGBSurface(0, 509, 143, 8, 0, 0, 0, 0)
                                       : Converted(xrgb, bits, layout);
            for (int i = 0; i < s->w * s->h && bits == 8; ++i)
                static_cast<uint8_t*>(s->pixels)[i / s->w * s->pitch + i % s->w] = Uint8(i);
            if (bits == 8)
                SDL_SetColors(s, const_cast<SDL_Color*>(palettes[(n + way) % 2].data()), 0, 256);
            SDL_Surface* held = Converted(s, 32);  // the colours it holds
            ASSERT_TRUE(bits == 8 || way == 0
                            ? ConvertToPalette(&s, p.data())
                            : ConvertTrueColourToReference(&s, p.data(), ColourMatcher(way - 1)));
            EXPECT_TRUE(IsReferencePalette(s, p.data()));
            int wrong = 0;
            for (int i = 0; i < s->w * s->h; ++i) {
                const int x = i % s->w, y = i / s->w, kept = bits == 8 && !way;
                wrong += IndexAt(s, x, y) != (kept ? Uint8(i) : Rule(PixelAt(held, x, y), p));
            }
            EXPECT_EQ(wrong, 0) << "row " << bits << ", " << layout << ", " << way << ", palette "
                                << n;
            SDL_FreeSurface(s);
            SDL_FreeSurface(held);
        }
        SDL_FreeSurface(xrgb);
    }
}

// The pixel loop's shortcuts for repeated blocks never skip a changed pixel.
TEST(MapThroughColourTable, EdgePictures) {
    // The loop skips the table for blocks of 16 pixels that repeat the row
    // above or the colour before them: one pixel breaking a flat run or a
    // repeated row at each place, widths around the block, pitches wider than
    // rows and first pixels of any colour still give every pixel
    // table[colour], top byte ignored, and nothing past a row is written.
    // Neighbouring colours get unrelated indices, unlike in a palette's table.
    std::vector<uint8_t> table(kColourTableSize);
    for (uint32_t k = 0; k < kColourTableSize; ++k) table[k] = ((k ^ 0x5A5A5A) * 0x9E3779B1u) >> 24;
    const uint32_t runs[][2] = {{0, 0x10000}, {0xFFFFFF, 256}, {0x4080C0, 1}, {0x4080C0, 0x800000}};
    for (const auto& [colour, change] : runs)
        for (int w : {1, 3, 15, 16, 17, 33, 48})
            for (int at = 0; at < w; ++at) {
                // Row 0 flat with top bytes that vary, row 1 broken at `at`,
                // row 2 row 1 again with other top bytes, row 3 flat again,
                // row 4 a short run of the change; odd places pad the rows.
                const int pitch = w + at % 2 * 3;
                std::vector<uint32_t> from(size_t(pitch) * 4 + w, 0xEEEEEEEE);
                for (int x = 0; x < w; ++x) {
                    const uint32_t flat = colour | 0x11000000u * uint32_t(x % 3);
                    from[x] = from[3 * pitch + x] = flat;
                    from[pitch + x] = flat ^ (x == at ? change : 0);
                    from[2 * pitch + x] = from[pitch + x] ^ 0xFF000000u;
                    from[4 * pitch + x] = colour ^ (x / 4 == at / 4 ? change : 0);
                }
                std::vector<uint8_t> to(from.size(), 0xA5), want(from.size(), 0xA5);
                for (size_t i = 0; i < to.size(); ++i)
                    if (int(i % pitch) < w) want[i] = table[from[i] & 0xFFFFFF];
                MapThroughColourTable(table.data(), reinterpret_cast<const uint8_t*>(from.data()),
                                      4 * pitch, w, 5, to.data(), pitch);
                ASSERT_EQ(to, want)
                    << colour << " changed by " << change << ", width " << w << " at " << at;
            }
}

// Dithering keeps a flat colour's average; transparency shows the background.
TEST(ConvertToPalette, DitheringAndTransparency) {
    // Grey 128 lies between the sample palette's greys 119 and 136: matched
    // exactly it is 136 throughout; Floyd-Steinberg and the ordered pattern
    // mix entries so that each channel's average stays within a step of 128.
    // An 8-bit picture of that grey in a palette of its own gives the same
    // bytes (dithered, it is matched from its colours, not translated).
    // Floyd-Steinberg starts at the top left, where no error has come yet.
    Palette p = TestPalettes()[0];
    std::vector<uint32_t> grey(64 * 64, 0x808080);
    SDL_Color own = {128, 128, 128, 0};
    for (const Dither dither : {Dither::kNone, Dither::kFloydSteinberg, Dither::kOrdered}) {
        SDL_Surface* made[2] = {
            SDL_CreateRGBSurfaceFrom(grey.data(), 64, 64, 32, 256, 0xFF0000, 0xFF00, 0xFF, 0),
            SDL_CreateRGBSurface(0, 64, 64, 8, 0, 0, 0, 0)};
        SDL_SetColors(made[1], &own, 0, 1);
        for (SDL_Surface*& m : made) ASSERT_TRUE(ConvertToPalette(&m, p.data(), {{}, dither}));
        double sums[3] = {};
        for (int i = 0; i < 64 * 64; ++i) {
            const SDL_Color& c = p[IndexAt(made[0], i % 64, i / 64)];
            sums[0] += c.r, sums[1] += c.g, sums[2] += c.b;
            EXPECT_EQ(IndexAt(made[0], i % 64, i / 64), IndexAt(made[1], i % 64, i / 64));
        }
        for (double sum : sums)
            EXPECT_NEAR(sum / 4096, dither == Dither::kNone ? 136 : 128, 2) << int(dither);
        if (dither == Dither::kFloydSteinberg) {
            EXPECT_EQ(IndexAt(made[0], 0, 0), Rule(0x808080, p));
            // The last pixel of a row, the right end of row 2 or the left end
            // of row 3, passes its error on to none before it: made white,
            // nothing else changes up to the end of its row.
            for (const int at : {2 * 64 + 63, 3 * 64}) {
                std::vector<uint32_t> changed = grey;
                changed[at] = 0xFFFFFF;
                SDL_Surface* m = SDL_CreateRGBSurfaceFrom(changed.data(), 64, 64, 32, 256, 0xFF0000,
                                                          0xFF00, 0xFF, 0);
                ASSERT_TRUE(ConvertToPalette(&m, p.data(), {{}, dither}));
                int changes = 0;
                for (int i = 0; i < (at / 64 + 1) * 64; ++i)
                    changes += IndexAt(m, i % 64, i / 64) != IndexAt(made[0], i % 64, i / 64);
                EXPECT_EQ(changes, 1) << at;
                SDL_FreeSurface(m);
            }
        }
        for (SDL_Surface* m : made) SDL_FreeSurface(m);
    }
    // A 1-bit alpha of 1 is opaque.
    SDL_Surface* argb1555 = SDL_CreateRGBSurface(0, 1, 1, 16, 0x7C00, 0x3E0, 0x1F, 0x8000);
    *static_cast<uint16_t*>(argb1555->pixels) = 0xFFFF;
    EXPECT_FALSE(HasTransparency(argb1555));
    SDL_FreeSurface(argb1555);
    // Alpha 0, 128 and 255 over white; alpha 0 or 255 throughout counts as opaque.
    uint32_t argb[] = {0x00FF0000, 0x80000000, 0xFF102030, 0x00FF0000, 0x00102030, 0xFF0000FF};
    const uint32_t want[] = {0xFFFFFF, 0x7F7F7F, 0x102030, 0xFF0000, 0x102030, 0x0000FF};
    for (int n : {0, 3, 5}) {
        SDL_Surface* s = SDL_CreateRGBSurfaceFrom(argb + n, 3 - n / 2, 1, 32, 12, 0xFF0000, 0xFF00,
                                                  0xFF, 0xFF000000u);
        EXPECT_EQ(HasTransparency(s), n == 0);
        bool flattened = n != 0;
        ASSERT_TRUE(ConvertToPalette(&s, p.data(), {ColourMatcher::kTable, Dither::kNone, 0xFFFFFF},
                                     &flattened));
        EXPECT_EQ(flattened, n == 0);
        for (int x = 0; x < s->w; ++x) EXPECT_EQ(IndexAt(s, x, 0), Rule(want[n + x], p)) << n + x;
        SDL_FreeSurface(s);
    }
}

// Matching over a picture's own rows gives the indices of a converted copy.
TEST(MatchInPlace, IndicesOfAConvertedCopy) {
    // Every depth, alpha laid over the background, 8 bits in the palette or
    // in another, every dither, on odd widths padded and a picture large
    // enough for the table, whose loop compares rows with the row above: no
    // row is written over before it has been read. Row 1 is grey k, the bytes
    // that row 0's indices k leave over row 0's start.
    const std::vector<Palette> palettes = TestPalettes();
    uint32_t k = 1;
    while (Rule(k * 0x010101u, palettes[0]) == k || Rule(Value(palettes[0][k]), palettes[0]) != k)
        ++k;
    const int w = 1021, h = 514;
    std::vector<uint32_t> pixels(size_t(w) * h);  // rows that repeat, then noise
    std::mt19937 random(5);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = int(i % w) < w / 2 ? (i % w) / 40 * 0x0A1B2Cu | 0xFF000000u : random();
    for (int x = 0; x < w; ++x) {
        pixels[x] = Value(palettes[0][k]) | 0xFF000000u;
        pixels[w + x] = 0xFF000000u | k * 0x010101u;
    }
    SDL_Surface* argb = SDL_CreateRGBSurfaceFrom(pixels.data(), w, h, 32, 4 * w, 0xFF0000, 0xFF00,
                                                 0xFF, 0xFF000000u);
    const int kinds[][2] = {{32, 0}, {32, -1}, {24, 0}, {16, 0}, {8, 0}, {8, 1}};
    for (const auto& [bits, layout] : kinds)
        for (const Dither dither : {Dither::kNone, Dither::kFloydSteinberg, Dither::kOrdered}) {
            SDL_Surface* made[2];
            bool flattened[2];
            for (int n = 0; n < 2; ++n) {
                SDL_Surface*& m = made[n];
                if (bits == 8) {
                    m = SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0);
                    SDL_SetColors(m, const_cast<SDL_Color*>(palettes[layout].data()), 0, 256);
                    for (int i = 0; i < w * h; ++i)
                        static_cast<uint8_t*>(m->pixels)[i / w * m->pitch + i % w] =
                            Uint8(pixels[i]);
                } else {
                    m = layout < 0 ? SDL_ConvertSurface(argb, argb->format, 0)
                                   : Converted(argb, bits);
                }
                const ConversionOptions options{{}, dither, 0x336699};
                ASSERT_TRUE(n == 0
                                ? ConvertToPalette(&m, palettes[0].data(), options, &flattened[n])
                                : MatchInPlace(m, palettes[0].data(), options, &flattened[n]));
            }
            EXPECT_EQ(flattened[0], flattened[1]);
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                wrong += std::memcmp(static_cast<uint8_t*>(made[0]->pixels) + y * made[0]->pitch,
                                     static_cast<uint8_t*>(made[1]->pixels) + y * w, w) != 0;
            EXPECT_EQ(wrong, 0) << bits << " bits, " << layout << ", dither " << int(dither);
            for (SDL_Surface* m : made) SDL_FreeSurface(m);
        }
    SDL_FreeSurface(argb);
}
