#include "bmp_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "sdl_fixture.h"
#include "temp_dir.h"

namespace {

BmpLayout Indexed(int bits, uint32_t headerSize, const std::vector<uint32_t>& palette) {
    BmpLayout picture;
    picture.width = 5;
    picture.height = 3;
    picture.bitsPerPixel = bits;
    picture.infoHeaderSize = headerSize;
    picture.palette = palette;
    for (int i = 0; i < 15; ++i)
        picture.pixels.push_back(static_cast<uint32_t>(i % palette.size()));
    return picture;
}

std::vector<uint32_t> Colours(int count) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < count; ++i) colours.push_back((0x102030u + 0x0B0503u * i) & 0xFFFFFF);
    return colours;
}

uint32_t Rgb(const SDL_Color& c) {
    return uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

}  // namespace

// Indexed files with info headers other than 40 bytes get the palette the file really holds.
TEST(LoadBmpSafely, PaletteOfLongHeadersIsTheFilesOwn) {
    TempDir dir;
    struct Case {
        int bits;
        uint32_t headerSize;
        int colours;
    };
    for (const Case& c : {Case{8, 108, 200}, Case{8, 124, 37}, Case{8, 64, 256}, Case{4, 124, 16},
                          Case{4, 108, 9}, Case{1, 124, 2}, Case{1, 40, 2}, Case{8, 40, 100}}) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, header " + std::to_string(c.headerSize));
        const BmpLayout picture = Indexed(c.bits, c.headerSize, Colours(c.colours));
        const std::string path = dir.File("long.bmp");
        ASSERT_TRUE(WriteBmp(path, picture));
        SDL_Surface* surface = LoadBmpSafely(path.c_str());
        ASSERT_NE(surface, nullptr) << SDL_GetError();
        ASSERT_EQ(surface->format->BitsPerPixel, 8);
        const SDL_Color* got = surface->format->palette->colors;
        for (int k = 0; k < c.colours; ++k) {
            EXPECT_EQ(Rgb(got[k]), picture.palette[k]) << "entry " << k;
            EXPECT_EQ(got[k].unused, 0) << "entry " << k;
        }
        if (c.headerSize != 40) {
            for (int k = c.colours; k < 256; ++k) EXPECT_EQ(Rgb(got[k]), 0u) << "entry " << k;
        }
        for (int i = 0; i < 15; ++i) EXPECT_EQ(IndexAt(surface, i % 5, i / 5), picture.pixels[i]);
        SDL_FreeSurface(surface);
    }
}

// A long-header palette cut off by the end of the file is black past what the file holds.
TEST(LoadBmpSafely, PaletteCutShortByTheFileEnd) {
    TempDir dir;
    BmpLayout picture = Indexed(8, 108, {0x112233, 0x445566, 0x778899, 0xAABBCC});
    picture.width = 4;
    picture.height = 1;
    picture.pixels = {0, 1, 2, 3};
    picture.coloursUsedField = 200;
    const std::string path = dir.File("short.bmp");
    ASSERT_TRUE(WriteBmp(path, picture));
    SDL_Surface* surface = LoadBmpSafely(path.c_str());
    ASSERT_NE(surface, nullptr) << SDL_GetError();
    const SDL_Color* got = surface->format->palette->colors;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Rgb(got[k]), picture.palette[k]) << "entry " << k;
    // Entry 4 is made of the pixel row, the file's last four bytes.
    EXPECT_EQ(Rgb(got[4]), 0x020100u);
    EXPECT_EQ(got[4].unused, 3);
    for (int k = 5; k < 256; ++k) {
        EXPECT_EQ(Rgb(got[k]) | got[k].unused, 0u) << "entry " << k;
    }
    SDL_FreeSurface(surface);
}

// Files SDL 1.2 loads into unusable surfaces are refused cleanly: null and nothing leaked.
TEST(LoadBmpSafely, RefusesSurfacesSdlCannotHandle) {
    TempDir dir;
    struct Case {
        const char* what;
        BmpLayout picture;
    };
    std::vector<Case> cases;
    {
        BmpLayout s;
        s.width = 4;
        s.height = 4;
        s.bitsPerPixel = 32;
        s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
        cases.push_back({"32-bit masks of 10 bits", s});
        s.bitsPerPixel = 16;
        s.masks = {0x0038, 0xFFC0, 0x0007};
        cases.push_back({"16-bit green mask of 10 bits", s});
    }
    {
        BmpLayout s;
        s.width = 4;
        s.height = 4;
        s.bitsPerPixel = 8;
        s.bitCountField = 264;  // 8 once it is cut to a byte
        s.palette = {0x000000, 0xFFFFFF};
        s.trailingBytes = 1024;  // SDL reads 33 bytes a pixel
        cases.push_back({"bit count 264: 8 bits, no palette", s});
    }
    {
        BmpLayout s;
        s.width = 8192;  // 8 bytes a pixel: a row of 65536 bytes, pitch 0
        s.height = 1;
        s.bitsPerPixel = 64;
        cases.push_back({"64-bit row of 64 KiB", s});
        s.width = 4;
        s.height = 4;
        cases.push_back({"64 bits a pixel", s});
    }
    {
        BmpLayout s;
        s.width = 4;
        s.height = INT32_MIN;
        s.bitsPerPixel = 24;
        s.rowsStored = 4;
        cases.push_back({"height -2147483648", s});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.File("hostile.bmp");
        ASSERT_TRUE(WriteBmp(path, c.picture));
        // The case is only worth having while SDL itself accepts the file.
        SDL_Surface* raw = SDL_LoadBMP(path.c_str());
        EXPECT_NE(raw, nullptr) << "SDL refuses it by itself now: " << SDL_GetError();
        if (raw) {
            EXPECT_FALSE(IsSurfaceSafe(raw));
            SDL_FreeSurface(raw);
        }
        SDL_Surface* surface = LoadBmpSafely(path.c_str());
        EXPECT_EQ(surface, nullptr);
        SDL_FreeSurface(surface);
    }
}
