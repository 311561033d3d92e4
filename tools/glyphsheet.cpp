// glyphsheet: writes a BMP picture of the built-in font, a 16x16 grid of the
// 256 glyphs in code order (row = high nibble, column = low nibble), so that
// a change to text/font.txt can be reviewed by eye.
//
// Usage: glyphsheet OUTPUT.bmp [SCALE]
//
// The glyphs are drawn with DrawChar from the sheet that BuildFont makes, so
// the picture shows what the editor shows, not a second rendering of the data.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "font.h"

namespace {

constexpr int kCell = 8;
constexpr int kGrid = 16;
// Grey gaps keep the cell edges visible: box-drawing glyphs run to the edge and
// would otherwise merge into their neighbours.
constexpr int kGap = 2;
constexpr uint32_t kGapColour = 0x808080;
constexpr int kDefaultScale = 4;

uint32_t PixelAt(const SDL_Surface* surface, int x, int y) {
    uint32_t value;
    const uint8_t* at = static_cast<const uint8_t*>(surface->pixels) +
                        ptrdiff_t{y} * surface->pitch + 4 * ptrdiff_t{x};
    std::memcpy(&value, at, sizeof value);
    return value;
}

SDL_Surface* NewSurface(int width, int height) {
    return SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, 0x00FF0000, 0x0000FF00,
                                0x000000FF, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp [SCALE]\n", argv[0]);
        return 2;
    }
    // strtol rather than atoi: a number beyond the range of int is refused
    // instead of being undefined.
    const long requested = argc == 3 ? std::strtol(argv[2], nullptr, 10) : kDefaultScale;
    if (requested < 1 || requested > 16) {
        std::fprintf(stderr, "glyphsheet: SCALE must be 1 to 16\n");
        return 2;
    }
    const int scale = static_cast<int>(requested);

    // No window is wanted, but SDL 1.2 needs a video mode before it blits.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (SDL_Init(SDL_INIT_VIDEO) < 0 || !SDL_SetVideoMode(16, 16, 32, 0)) {
        std::fprintf(stderr, "glyphsheet: SDL: %s\n", SDL_GetError());
        return 1;
    }
    if (!BuildFont(false, 0xFFFFFF)) {
        std::fprintf(stderr, "glyphsheet: cannot build the font: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }

    const int side = kGap + kGrid * (kCell + kGap);
    SDL_Surface* grid = NewSurface(side, side);
    SDL_Surface* picture = NewSurface(side * scale, side * scale);
    if (!grid || !picture) {
        std::fprintf(stderr, "glyphsheet: SDL: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_FillRect(grid, nullptr, kGapColour);
    for (int code = 0; code < kGrid * kGrid; ++code) {
        const int x = kGap + (code % kGrid) * (kCell + kGap);
        const int y = kGap + (code / kGrid) * (kCell + kGap);
        DrawChar(static_cast<uint8_t>(code), static_cast<int16_t>(x), static_cast<int16_t>(y),
                 grid);
    }

    // Scaled by whole pixels so that every font pixel stays a sharp square.
    for (int y = 0; y < picture->h; ++y) {
        for (int x = 0; x < picture->w; ++x) {
            PutPixel32(picture, x, y, PixelAt(grid, x / scale, y / scale));
        }
    }

    const bool saved = SDL_SaveBMP(picture, argv[1]) == 0;
    if (!saved) std::fprintf(stderr, "glyphsheet: cannot write %s: %s\n", argv[1], SDL_GetError());
    SDL_FreeSurface(picture);
    SDL_FreeSurface(grid);
    SDL_Quit();
    return saved ? 0 : 1;
}
