#include "bmp_import.h"

#include <climits>
#include <cstdint>

namespace {

constexpr uint32_t kFileHeaderSize = 14;
// The one info header size after which SDL's palette position is right. The
// OS/2 1.x header (12 bytes, 3-byte entries) it handles on its own.
constexpr uint32_t kWindowsInfoHeaderSize = 40;

uint32_t Le32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

uint16_t Le16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// What the palette fix-up needs from the headers.
struct PaletteLayout {
    bool needsFixUp = false;
    uint32_t offset = 0;  // of the first palette entry, from the file's start
    uint32_t count = 0;   // entries the header declares, at most 256
};

// SDL reads an indexed file's palette from just after the first 40 bytes of
// the info header, whatever the header's real size; longer headers (v4, v5,
// OS/2 2.x) thus get their palette from inside the header and show wrong
// colours. Finds out whether this file is one of those, and where its palette
// really is.
PaletteLayout ReadPaletteLayout(SDL_RWops* file) {
    PaletteLayout layout;
    uint8_t header[kFileHeaderSize + kWindowsInfoHeaderSize] = {};
    const int got = SDL_RWread(file, header, 1, sizeof header);
    if (got < static_cast<int>(kFileHeaderSize + 16)) return layout;
    if (header[0] != 'B' || header[1] != 'M') return layout;
    const uint32_t infoSize = Le32(header + 14);
    if (infoSize == kWindowsInfoHeaderSize || infoSize < 16) return layout;
    const uint16_t bits = Le16(header + 28);
    if (bits != 1 && bits != 4 && bits != 8) return layout;
    // A header shorter than 36 bytes has no colour count field.
    uint32_t count = 0;
    if (infoSize >= 36 && got >= 50) count = Le32(header + 46);
    if (count == 0) count = 1u << bits;
    if (count > 256) count = 256;
    if (infoSize > static_cast<uint32_t>(INT_MAX) - kFileHeaderSize) return layout;
    layout.needsFixUp = true;
    layout.offset = kFileHeaderSize + infoSize;
    layout.count = count;
    return layout;
}

// Puts the palette the file really holds on the surface. Entries beyond what
// the header declares, or beyond the end of the file, are black, so nothing
// of what SDL read from the wrong place survives.
void FixPalette(SDL_Surface* surface, SDL_RWops* file, const PaletteLayout& layout) {
    SDL_Color colours[256] = {};
    uint8_t bytes[4 * 256];
    int entries = 0;
    if (SDL_RWseek(file, static_cast<int>(layout.offset), RW_SEEK_SET) >= 0) {
        const int got = SDL_RWread(file, bytes, 1, static_cast<int>(4 * layout.count));
        entries = got > 0 ? got / 4 : 0;
    }
    for (int i = 0; i < entries; ++i) {
        // Stored blue, green, red, reserved; the reserved byte is kept as SDL
        // keeps it for files it reads right.
        const uint8_t* entry = bytes + 4 * ptrdiff_t{i};
        colours[i] = SDL_Color{entry[2], entry[1], entry[0], entry[3]};
    }
    SDL_SetColors(surface, colours, 0, 256);
}

// A channel mask is usable when it is one run of at most 8 bits inside the
// pixel and SDL's shift and loss describe it exactly: SDL's colour routines
// shift by those values, and a loss above 8 makes them shift by negative or
// oversized amounts.
bool IsChannelSafe(uint32_t mask, uint8_t shift, uint8_t loss, int bitsPerPixel) {
    if (mask == 0) return true;
    if (loss > 8 || shift >= 32) return false;
    const uint64_t described = (uint64_t{0xFF} >> loss) << shift;
    if (described != mask) return false;
    return bitsPerPixel >= 32 || (uint64_t{mask} >> bitsPerPixel) == 0;
}

}  // namespace

bool IsSurfaceSafe(const SDL_Surface* surface) {
    if (!surface || !surface->format || !surface->pixels) return false;
    if (surface->w <= 0 || surface->h <= 0) return false;
    const SDL_PixelFormat* format = surface->format;
    const int bits = format->BitsPerPixel;
    // The depths SDL's blits and conversions handle; a bit count read from a
    // file may also have wrapped around to one of these (264 gives 8), which
    // the byte count then gives away.
    if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->BytesPerPixel != (bits + 7) / 8) return false;
    if ((bits == 8) != (format->palette != nullptr)) return false;
    if (format->palette) {
        const SDL_Palette* palette = format->palette;
        if (!palette->colors || palette->ncolors < 1 || palette->ncolors > 256) return false;
    }
    // SDL keeps the pitch in 16 bits: a wide enough row wraps it to a small
    // value, even 0.
    const int64_t rowBytes = int64_t{surface->w} * format->BytesPerPixel;
    if (surface->pitch < rowBytes) return false;
    // SDL sizes pixel storage as an int; anything larger cannot have been
    // allocated whole.
    if (int64_t{surface->pitch} * surface->h > INT_MAX) return false;
    return IsChannelSafe(format->Rmask, format->Rshift, format->Rloss, bits) &&
           IsChannelSafe(format->Gmask, format->Gshift, format->Gloss, bits) &&
           IsChannelSafe(format->Bmask, format->Bshift, format->Bloss, bits) &&
           IsChannelSafe(format->Amask, format->Ashift, format->Aloss, bits);
}

SDL_Surface* LoadBmpSafely(const char* path) {
    if (!path) return nullptr;
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (!file) return nullptr;
    const PaletteLayout layout = ReadPaletteLayout(file);
    SDL_Surface* surface = nullptr;
    if (SDL_RWseek(file, 0, RW_SEEK_SET) == 0) surface = SDL_LoadBMP_RW(file, 0);
    if (surface && !IsSurfaceSafe(surface)) {
        SDL_FreeSurface(surface);
        surface = nullptr;
    }
    if (surface && layout.needsFixUp && surface->format->palette) FixPalette(surface, file, layout);
    SDL_RWclose(file);
    return surface;
}
