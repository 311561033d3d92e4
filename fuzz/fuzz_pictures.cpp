// Arbitrary bytes as a picture file through what vdetool does with one:
// ReadPictureFile, ConvertToPalette, and WriteIndexedPicture as BMP and as
// PNG; each written file must read back with the same indices. Pictures of
// many colours also go through the colour table, which ConvertToPalette keeps
// for large ones, and must get the same indices; and through dithering
// (Floyd-Steinberg or the ordered pattern, by the input's length). A BMP that
// can be read a band of rows at a time must give the same rows so, and the
// same indices matched band by band.
#include <algorithm>
#include <cstring>
#include <vector>

#include "colour_match.h"
#include "picture_file.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SDL_Color palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = SDL_Color{Uint8(i), Uint8(255 - i), Uint8(i * 7), 0};
    Problem problem;
    const std::string in = ScratchFile(".in", data, size);
    SDL_Surface* picture = ReadPictureFile(in.c_str(), &problem);
    if (!picture) return 0;
    // A picture that can be read in bands gives the same rows, band by band,
    // and matched band by band the same indices.
    PictureInput input;
    const uint32_t rows = size % 5 + 1;
    const BmpBands& bands = input.bands;
    const bool banded = OpenPicture(in.c_str(), input, &problem) && bands.file;
    const ConversionOptions options{ColourMatcher::kCells, static_cast<Dither>(size % 3)};
    std::vector<uint8_t> indices(banded ? size_t{bands.width} * bands.height : 0);
    BandCarry carry;
    for (uint32_t top = 0; banded && top < bands.height; top += rows) {
        SDL_Surface* band = ReadBmpBand(bands, top, std::min(rows, bands.height - top), &problem);
        REQUIRE(band && band->w == picture->w);
        for (int y = 0; y < band->h; ++y) {
            const auto* row = static_cast<const uint8_t*>(band->pixels) + y * band->pitch;
            const auto* whole = static_cast<const uint8_t*>(picture->pixels);
            REQUIRE(!std::memcmp(row, whole + (top + y) * picture->pitch, 3 * picture->w));
        }
        REQUIRE(MatchBand(band, top, palette, options, &indices[size_t{top} * bands.width],
                          bands.width, carry));
        SDL_FreeSurface(band);
    }
    if (banded) {
        SDL_Surface* whole = MatchPicture(picture, palette, options);
        REQUIRE(whole);
        for (int y = 0; y < picture->h; ++y) {
            const auto* row = static_cast<const uint8_t*>(whole->pixels) + y * whole->pitch;
            REQUIRE(!std::memcmp(row, &indices[size_t(y) * bands.width], bands.width));
        }
        SDL_FreeSurface(whole);
    }
    SDL_Surface* viaTable = nullptr;
    if (picture->format->BitsPerPixel > 8) {
        viaTable = MatchPicture(picture, palette, {ColourMatcher::kTable});
        const Dither dither = size % 2 ? Dither::kFloydSteinberg : Dither::kOrdered;
        SDL_FreeSurface(MatchPicture(picture, palette, {ColourMatcher::kCells, dither}));
    }
    REQUIRE(ConvertToPalette(&picture, palette));
    const std::string out = ScratchFile(".out", data, 0);
    const auto* pixels = static_cast<const uint8_t*>(picture->pixels);
    for (int y = 0; viaTable && y < picture->h; ++y) {
        const auto* row = static_cast<const uint8_t*>(viaTable->pixels) + y * viaTable->pitch;
        REQUIRE(!std::memcmp(row, pixels + y * picture->pitch, picture->w));
    }
    SDL_FreeSurface(viaTable);
    // Writing is slow for large pictures: those are only read and converted.
    for (const PictureFormat format : {PictureFormat::kBmp, PictureFormat::kPng}) {
        if (picture->w * picture->h > 1 << 18) break;
        REQUIRE(WriteIndexedPicture(out.c_str(), format, PictureOf(picture), &problem));
        SDL_Surface* back = ReadPictureFile(out.c_str(), &problem);
        REQUIRE(back && back->format->BitsPerPixel == 8 && back->w == picture->w &&
                back->h == picture->h);
        for (int y = 0; y < back->h; ++y) {
            const auto* row = static_cast<const uint8_t*>(back->pixels) + y * back->pitch;
            REQUIRE(!std::memcmp(row, pixels + y * picture->pitch, back->w));
        }
        SDL_FreeSurface(back);
    }
    SDL_FreeSurface(picture);
    return 0;
}
