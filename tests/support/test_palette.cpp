#include "test_palette.h"

#include <vector>

#include "temp_dir.h"

void MakeTestPalette(SDL_Color palette[256]) {
    for (int i = 0; i < 256; ++i) {
        if (i < 16) {
            const auto v = static_cast<Uint8>(i * 17);
            palette[i] = SDL_Color{v, v, v, 0};
        } else {
            // Index bits spread over the channels: distinct for every i >= 16.
            palette[i] =
                SDL_Color{static_cast<Uint8>((i & 7) * 36), static_cast<Uint8>(((i >> 3) & 7) * 36),
                          static_cast<Uint8>((i >> 6) * 85), 0};
        }
    }
}

bool WritePaletteFile(const std::string& path, const SDL_Color palette[256]) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(palette[i].r);
        bytes.push_back(palette[i].g);
        bytes.push_back(palette[i].b);
        bytes.push_back(0);
    }
    return WriteFileBytes(path, bytes);
}
