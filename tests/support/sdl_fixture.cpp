#include "sdl_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "font.h"

SDL_Surface* TestScreen() {
    static SDL_Surface* screen = [] {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) < 0)
            return static_cast<SDL_Surface*>(nullptr);
        return SDL_SetVideoMode(640, 480, 32, 0);
    }();
    return screen;
}

uint32_t PixelAt(const SDL_Surface* surface, int x, int y) {
    const auto* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
    uint32_t value;
    std::memcpy(&value, row + 4 * x, 4);
    return value & 0x00FFFFFF;
}

uint8_t IndexAt(const SDL_Surface* surface, int x, int y) {
    return static_cast<const uint8_t*>(surface->pixels)[y * surface->pitch + x];
}

void EnsureFont() {
    static bool built = BuildFont(false, 0xFFFFFF);
    (void)built;
}

std::string CellMismatch(const SDL_Surface* surface, int x, int y, uint8_t code) {
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 8; ++col) {
            if (x + col >= surface->w || y + row >= surface->h) continue;
            bool set = GlyphBitmaps[code * 8 + row] & (0x80 >> col);
            uint32_t want = set ? 0xFFFFFF : 0x000001;
            uint32_t got = PixelAt(surface, x + col, y + row);
            if (got != want) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "glyph %d cell at (%d,%d): pixel (%d,%d) is %06X, want %06X", code, x,
                              y, x + col, y + row, got, want);
                return text;
            }
        }
    }
    return {};
}
