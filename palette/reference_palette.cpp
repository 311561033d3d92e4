#include "reference_palette.h"

#include <cstdio>
#include <cstring>

SDL_Color* ReferencePalette = nullptr;

void DecodePalette(const uint8_t* bytes, size_t size, SDL_Color palette[kPaletteEntries]) {
    for (int i = 0; i < kPaletteEntries; ++i) {
        const size_t at = 4 * static_cast<size_t>(i);
        // A record the file does not hold whole is black rather than made up.
        if (at + 4 <= size) {
            palette[i] = SDL_Color{bytes[at], bytes[at + 1], bytes[at + 2], 0};
        } else {
            palette[i] = SDL_Color{0, 0, 0, 0};
        }
    }
}

bool ReadPaletteFile(const char* path, SDL_Color palette[kPaletteEntries], size_t* fileBytes) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    uint8_t bytes[kPaletteFileSize + 1];
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return false;
    DecodePalette(bytes, got, palette);
    if (fileBytes) *fileBytes = got;
    return true;
}

bool LoadReferencePalette() {
    SDL_Color table[kPaletteEntries];
    if (!ReadPaletteFile("menu.pal", table)) return false;
    // Made once and kept for the whole run: every picture surface shares it.
    if (!ReferencePalette) ReferencePalette = new SDL_Color[kPaletteEntries];
    std::memcpy(ReferencePalette, table, sizeof table);
    return true;
}
