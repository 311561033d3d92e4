#include "colour_match.h"

#include <cstddef>
#include <cstring>

namespace {

inline int Difference(int a, int b) {
    return a > b ? a - b : b - a;
}

}  // namespace

uint8_t NearestReferenceColour(uint8_t red, uint8_t green, uint8_t blue, const SDL_Color* palette) {
    // Kept in the form the matching rule is stated in, distance as a float of
    // the sum over three, so that it can serve as the reference that the fast
    // table is checked against.
    float best = 300.0f;
    uint8_t chosen = 0;
    for (int k = 0; k < 256; ++k) {
        const int sum = Difference(red, palette[k].r) + Difference(green, palette[k].g) +
                        Difference(blue, palette[k].b);
        const float distance = static_cast<float>(sum / 3.0);
        if (distance < best) {
            best = distance;
            chosen = static_cast<uint8_t>(k);
        }
    }
    return chosen;
}

bool IsReferencePalette(const SDL_Surface* surface, const SDL_Color* palette) {
    if (!surface || !surface->format || !surface->format->palette || !palette) return false;
    const SDL_Color* own = surface->format->palette->colors;
    if (!own) return false;
    for (int k = 0; k < 256; ++k) {
        // The fourth byte counts too: a picture whose palette differs only
        // there is still not in the reference palette byte for byte.
        if (own[k].r != palette[k].r || own[k].g != palette[k].g || own[k].b != palette[k].b ||
            own[k].unused != palette[k].unused) {
            return false;
        }
    }
    return true;
}

void ConvertPaletteToReference(SDL_Surface* surface, const SDL_Color* palette) {
    if (!surface || !surface->format || surface->format->BitsPerPixel != 8 || !palette) return;
    const SDL_Palette* own = surface->format->palette;
    if (!own || !own->colors) return;
    uint8_t translation[256];
    // All 256 entries, not just the palette's declared count: stray pixel
    // values above it must still land on a reference index. 256 colours are
    // few enough for the rule itself; the colour-cube table would cost far
    // more to build.
    for (int s = 0; s < 256; ++s) {
        const SDL_Color& colour = own->colors[s];
        translation[s] = NearestReferenceColour(colour.r, colour.g, colour.b, palette);
    }
    RemapPixels(surface, translation);
}

void RemapPixels(SDL_Surface* surface, const uint8_t table[256]) {
    if (!surface || !surface->format || surface->format->BitsPerPixel != 8 || !surface->pixels ||
        !table || surface->pitch <= 0 || surface->h <= 0) {
        return;
    }
    // The padding past each row's width is remapped too, so that the whole
    // storage holds reference indices whatever later reads it.
    const size_t bytes = static_cast<size_t>(surface->pitch) * static_cast<size_t>(surface->h);
    uint8_t* pixels = static_cast<uint8_t*>(surface->pixels);
    for (size_t i = 0; i < bytes; ++i) pixels[i] = table[pixels[i]];
}

SDL_Surface* CopyIntoPalette(const SDL_Surface* picture, const SDL_Color* palette) {
    SDL_Surface* copy = SDL_CreateRGBSurface(0, picture->w, picture->h, 8, 0, 0, 0, 0);
    if (!copy) return nullptr;
    SDL_SetColors(copy, const_cast<SDL_Color*>(palette), 0, 256);
    for (int y = 0; y < picture->h; ++y) {
        std::memcpy(static_cast<uint8_t*>(copy->pixels) + static_cast<ptrdiff_t>(y) * copy->pitch,
                    static_cast<const uint8_t*>(picture->pixels) +
                        static_cast<ptrdiff_t>(y) * picture->pitch,
                    static_cast<size_t>(picture->w));
    }
    return copy;
}
