// Arbitrary bytes as a picture file through what vdetool does with one:
// ReadPictureFile, ConvertToPalette, and WriteIndexedPicture as BMP and as
// PNG; each written file must read back with the same indices.
#include <cstring>

#include "picture_file.h"
#include "scratch.h"

namespace {

SDL_Color palette[256];

const uint8_t* Row(const SDL_Surface* picture, int y) {
    return static_cast<const uint8_t*>(picture->pixels) + y * picture->pitch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int i = 0; i < 256; ++i) palette[i] = SDL_Color{Uint8(i), Uint8(255 - i), Uint8(i * 7), 0};
    Problem problem;
    SDL_Surface* picture = ReadPictureFile(ScratchFile(".in", data, size).c_str(), &problem);
    if (!picture) return 0;
    Require(ConvertToPalette(&picture, palette));
    // Writing is slow for large pictures: those are only read and converted.
    for (const PictureFormat format : {PictureFormat::kBmp, PictureFormat::kPng}) {
        if (picture->w * picture->h > 1 << 18) break;
        const std::string path =
            ScratchFile(format == PictureFormat::kBmp ? ".bmp" : ".png", data, 0);
        Require(WriteIndexedPicture(path.c_str(), format, Row(picture, 0), picture->w, picture->h,
                                    picture->pitch, palette, &problem));
        SDL_Surface* back = ReadPictureFile(path.c_str(), &problem);
        Require(back && back->format->BitsPerPixel == 8 && back->w == picture->w &&
                back->h == picture->h);
        for (int y = 0; y < back->h; ++y)
            Require(std::memcmp(Row(back, y), Row(picture, y), back->w) == 0);
        SDL_FreeSurface(back);
    }
    SDL_FreeSurface(picture);
    return 0;
}
