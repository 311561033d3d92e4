#include "colour_match.h"

#include <cstddef>
#include <cstring>

#include "colour_cells.h"
#include "colour_table.h"

namespace {

// An xRGB picture in the layout ConvertTrueColourToReference reads.
bool IsHostXrgb(const SDL_Surface* surface) {
    const SDL_PixelFormat* f = surface->format;
    return f->BitsPerPixel == 32 && f->Rmask == 0x00FF0000 && f->Gmask == 0x0000FF00 &&
           f->Bmask == 0x000000FF;
}

// Maps every pixel of the 32-bit `from` into the 8-bit `to` through `match`,
// asking it again only when a pixel's colour differs from the one before:
// neighbouring pixels often share a colour.
template <typename Match>
void MapRemembering(const SDL_Surface* from, SDL_Surface* to, Match match) {
    uint32_t last = 0;
    uint8_t index = match(0, 0, 0);
    for (int y = 0; y < from->h; ++y) {
        const uint8_t* in = static_cast<const uint8_t*>(from->pixels) + ptrdiff_t{y} * from->pitch;
        uint8_t* out = static_cast<uint8_t*>(to->pixels) + ptrdiff_t{y} * to->pitch;
        for (int x = 0; x < from->w; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, in + 4 * ptrdiff_t{x}, sizeof pixel);
            pixel &= 0xFFFFFF;
            if (pixel != last) {
                last = pixel;
                index = match(static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                              static_cast<uint8_t>(pixel));
            }
            out[x] = index;
        }
    }
}

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

bool ConvertTrueColourToReference(SDL_Surface** surface, const SDL_Color* palette,
                                  ColourMatcher matcher) {
    if (!surface || !*surface || !palette) return false;
    SDL_Surface* old = *surface;
    if (!old->format || old->format->BitsPerPixel != 32 || !old->pixels || old->w <= 0 ||
        old->h <= 0 || static_cast<int64_t>(old->pitch) < 4 * static_cast<int64_t>(old->w)) {
        return false;
    }
    SDL_Surface* made = SDL_CreateRGBSurface(0, old->w, old->h, 8, 0, 0, 0, 0);
    if (!made) return false;
    if (!made->pixels || made->pitch < made->w) {
        SDL_FreeSurface(made);
        return false;
    }
    SDL_SetColors(made, const_cast<SDL_Color*>(palette), 0, 256);

    const uint8_t* from = static_cast<const uint8_t*>(old->pixels);
    uint8_t* to = static_cast<uint8_t*>(made->pixels);
    const uint8_t* table = matcher == ColourMatcher::kTable ? ColourTableFor(palette) : nullptr;
    if (table) {
        MapThroughColourTable(table, from, old->pitch, old->w, old->h, to, made->pitch);
    } else if (matcher == ColourMatcher::kCells) {
        ColourCells cells;
        InitColourCells(cells, palette);
        MapRemembering(old, made, [&cells](uint8_t r, uint8_t g, uint8_t b) {
            return MatchThroughCells(cells, r, g, b);
        });
    } else {
        // No memory for the table: the rule itself, each colour once per run.
        MapRemembering(old, made, [palette](uint8_t r, uint8_t g, uint8_t b) {
            return NearestReferenceColour(r, g, b, palette);
        });
    }
    SDL_FreeSurface(old);
    *surface = made;
    return true;
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

bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette) {
    if (!picture || !*picture || !(*picture)->format || !palette) return false;
    SDL_Surface* in = *picture;
    const int bits = in->format->BitsPerPixel;
    if (bits == 8) {
        // The editor's import of an 8-bit picture.
        if (!IsReferencePalette(in, palette)) ConvertPaletteToReference(in, palette);
        SDL_Surface* copy = CopyIntoPalette(in, palette);
        if (!copy) return false;
        SDL_FreeSurface(in);
        *picture = copy;
        return true;
    }
    if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    SDL_Surface* xrgb = in;
    if (!IsHostXrgb(in)) {
        // The editor's window format, which its import converts to.
        SDL_Surface* model =
            SDL_CreateRGBSurface(0, 1, 1, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        if (!model) return false;
        xrgb = SDL_ConvertSurface(in, model->format, 0);
        SDL_FreeSurface(model);
        if (!xrgb) return false;
    }
    // Frees the surface it converts, the copy or the picture itself. Both
    // ways give the same indices; the table pays off only for large pictures.
    SDL_Surface* result = xrgb;
    const uint64_t pixels = uint64_t{static_cast<uint32_t>(in->w)} * static_cast<uint32_t>(in->h);
    const bool converted = ConvertTrueColourToReference(
        &result, palette,
        pixels < kCellMatchMaxPixels ? ColourMatcher::kCells : ColourMatcher::kTable);
    if (!converted) {
        if (xrgb != in) SDL_FreeSurface(xrgb);
        return false;
    }
    if (xrgb != in) SDL_FreeSurface(in);
    *picture = result;
    return true;
}
