#include "font.h"

#include <cstdio>
#include <cstring>

#include "keymaps.h"

SDL_Surface* GlyphSheet = nullptr;
SDL_Rect GlyphRect = {0, 0, 8, 8};

namespace {
// The value of a clear bit: black to the eye, and distinct from 0 so that a
// transparent sheet can key on it.
constexpr uint32_t kBackground = 1;
constexpr int kGlyphs = 256;
constexpr int kSide = 8;
}  // namespace

void PutPixel32(SDL_Surface* surface, int x, int y, uint32_t value) {
    auto* at =
        static_cast<uint8_t*>(surface->pixels) + ptrdiff_t{y} * surface->pitch + 4 * ptrdiff_t{x};
    std::memcpy(at, &value, sizeof value);
}

bool BuildFont(bool transparent, uint32_t foreground) {
    GlyphRect = SDL_Rect{0, 0, kSide, kSide};
    // Built once per run; a second build (tests) replaces the first.
    if (GlyphSheet) SDL_FreeSurface(GlyphSheet);
    GlyphSheet = SDL_CreateRGBSurface(SDL_HWSURFACE, kSide, kSide * kGlyphs, 32, 0x00FF0000,
                                      0x0000FF00, 0x000000FF, 0);
    if (!GlyphSheet) return false;
    if (transparent) SDL_SetColorKey(GlyphSheet, SDL_SRCCOLORKEY, kBackground);
    for (int row = 0; row < kSide * kGlyphs; ++row) {
        const uint8_t bits = GlyphBitmaps[row];
        for (int x = 0; x < kSide; ++x) {
            PutPixel32(GlyphSheet, x, row, (bits >> (7 - x)) & 1 ? foreground : kBackground);
        }
    }
    BuildKeyMaps();
    return true;
}

void DrawChar(uint8_t code, int16_t x, int16_t y, SDL_Surface* surface) {
    GlyphRect.y = static_cast<Sint16>(kSide * code);
    SDL_Rect to = {x, y, 0, 0};
    SDL_UpperBlit(GlyphSheet, &GlyphRect, surface, &to);
}

void DrawTextField(const char* field, size_t width, int16_t x, int16_t y, SDL_Surface* surface) {
    int penX = x;
    int penY = y;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        const auto code = static_cast<uint8_t>(field[i]);
        if (code == '\n') {
            penX = x;
            penY += kSide;
            continue;
        }
        // SDL_Rect holds 16-bit coordinates: past the window's edge there is
        // nothing to draw, and the pen must not wrap around to the left.
        if (penX < 32768 && penY < 32768) {
            DrawChar(code, static_cast<int16_t>(penX), static_cast<int16_t>(penY), surface);
        }
        penX += kSide;
    }
}

void DrawText(const char* text, int16_t x, int16_t y, SDL_Surface* surface) {
    DrawTextField(text, static_cast<size_t>(-1), x, y, surface);
}

void DrawNumber(int32_t value, int16_t x, int16_t y, SDL_Surface* surface) {
    char digits[12];
    std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
    DrawText(digits, x, y, surface);
}
