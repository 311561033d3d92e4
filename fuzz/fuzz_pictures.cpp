// Arbitrary bytes as a picture file, through what vdetool does with one:
// ReadPictureFile (BMP through SDL, PNG through libpng), ConvertToPalette,
// and WriteIndexedPicture as BMP and as PNG, read back. Besides crashes and
// sanitizer reports, a finding is any break of what these promise:
//  - a refused file has a reason; a picture read is safe to touch and within
//    the size limits;
//  - its conversion succeeds, keeps the size and carries the whole palette,
//    and on small pictures every pixel is the rule's index for its colour
//    (or keeps its value when the picture is already in the palette);
//  - written and read back, as BMP and as PNG, it gives the same pixel
//    values in the same palette.
#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "colour_match.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "reference_palette.h"

namespace {

std::string directory, inputPath, bmpPath, pngPath;
SDL_Color palette[kPaletteEntries];
// Checking against the rule costs 256 steps a pixel; larger pictures are
// checked by the round trip alone, and the largest only by converting.
constexpr int kRuleCheckPixels = 4096;
constexpr int64_t kRoundTripPixels = 256 * 1024;

void Require(bool holds) {
    if (!holds) std::abort();
}

void RemoveFiles() {
    unlink(inputPath.c_str());
    unlink(bmpPath.c_str());
    unlink(pngPath.c_str());
    rmdir(directory.c_str());
}

uint8_t IndexAt(const SDL_Surface* surface, int x, int y) {
    return static_cast<const uint8_t*>(surface->pixels)[y * surface->pitch + x];
}

// The index each pixel must get, worked out from the picture as read.
std::vector<uint8_t> RuleIndices(const SDL_Surface* picture) {
    std::vector<uint8_t> indices;
    if (picture->format->BitsPerPixel == 8) {
        const bool keep = IsReferencePalette(picture, palette);
        const SDL_Color* own = picture->format->palette->colors;
        for (int y = 0; y < picture->h; ++y) {
            for (int x = 0; x < picture->w; ++x) {
                const uint8_t value = IndexAt(picture, x, y);
                const SDL_Color c = own[value];
                indices.push_back(keep ? value : NearestReferenceColour(c.r, c.g, c.b, palette));
            }
        }
        return indices;
    }
    SDL_Surface* model = SDL_CreateRGBSurface(0, 1, 1, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    Require(model != nullptr);
    SDL_Surface* xrgb = SDL_ConvertSurface(const_cast<SDL_Surface*>(picture), model->format, 0);
    SDL_FreeSurface(model);
    Require(xrgb != nullptr);
    for (int y = 0; y < xrgb->h; ++y) {
        for (int x = 0; x < xrgb->w; ++x) {
            const uint32_t c = GetPixel32(xrgb, x, y);
            indices.push_back(NearestReferenceColour(static_cast<uint8_t>(c >> 16),
                                                     static_cast<uint8_t>(c >> 8),
                                                     static_cast<uint8_t>(c), palette));
        }
    }
    SDL_FreeSurface(xrgb);
    return indices;
}

void CheckRoundTrip(const SDL_Surface* converted, const std::string& path, PictureFormat format) {
    Problem problem;
    Require(WriteIndexedPicture(
        path.c_str(), format, static_cast<const uint8_t*>(converted->pixels),
        static_cast<uint32_t>(converted->w), static_cast<uint32_t>(converted->h),
        static_cast<size_t>(converted->pitch), palette, &problem));
    SDL_Surface* back = ReadPictureFile(path.c_str(), &problem);
    Require(back != nullptr);
    Require(back->format->BitsPerPixel == 8 && back->w == converted->w && back->h == converted->h &&
            IsReferencePalette(back, palette));
    for (int y = 0; y < back->h; ++y) {
        Require(std::memcmp(static_cast<const uint8_t*>(back->pixels) + y * back->pitch,
                            static_cast<const uint8_t*>(converted->pixels) + y * converted->pitch,
                            static_cast<size_t>(back->w)) == 0);
    }
    SDL_FreeSurface(back);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A palette with a repeated entry, so that keeping an 8-bit picture's
    // values and matching its colours give different pictures.
    for (int i = 0; i < kPaletteEntries; ++i) {
        palette[i] = SDL_Color{static_cast<Uint8>(i), static_cast<Uint8>(255 - i),
                               static_cast<Uint8>(i ^ 0x5A), 0};
    }
    palette[200] = palette[5];
    const char* tmp = std::getenv("TMPDIR");
    if (!tmp || !*tmp) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/vde-fuzz-pictures-XXXXXX";
    if (!mkdtemp(&pattern[0])) std::abort();
    directory = pattern;
    inputPath = directory + "/in";
    bmpPath = directory + "/out.bmp";
    pngPath = directory + "/out.png";
    std::atexit(RemoveFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(inputPath.c_str(), "wb");
    Require(file != nullptr);
    Require(size == 0 || std::fwrite(data, 1, size, file) == size);
    Require(std::fclose(file) == 0);

    Problem problem;
    SDL_Surface* picture = ReadPictureFile(inputPath.c_str(), &problem);
    if (!picture) {
        Require(problem.reason[0] != '\0');
        return 0;
    }
    Require(IsSurfaceSafe(picture));
    Require(picture->w <= static_cast<int>(kMaxPictureSide) &&
            picture->h <= static_cast<int>(kMaxPictureSide));
    const int64_t pixels = int64_t{picture->w} * picture->h;
    Require(pixels <= int64_t{kMaxPicturePixels});
    const int w = picture->w, h = picture->h;
    const std::vector<uint8_t> want =
        pixels <= kRuleCheckPixels ? RuleIndices(picture) : std::vector<uint8_t>();

    Require(ConvertToPalette(&picture, palette));
    Require(picture->format->BitsPerPixel == 8 && picture->w == w && picture->h == h);
    Require(picture->format->palette->ncolors == kPaletteEntries &&
            IsReferencePalette(picture, palette));
    for (size_t i = 0; i < want.size(); ++i) {
        Require(IndexAt(picture, static_cast<int>(i % w), static_cast<int>(i / w)) == want[i]);
    }
    if (pixels <= kRoundTripPixels) {
        CheckRoundTrip(picture, bmpPath, PictureFormat::kBmp);
        CheckRoundTrip(picture, pngPath, PictureFormat::kPng);
    }
    SDL_FreeSurface(picture);
    return 0;
}
