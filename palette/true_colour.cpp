// Pictures brought to the palette: those of many colours read straight from
// their own rows (no converted copy of the whole picture is ever made), 8-bit
// ones kept or translated as the editor's import does.
#include <algorithm>
#include <cstring>
#include <vector>

#include "colour_cells.h"
#include "colour_match.h"
#include "colour_table.h"

namespace {

constexpr uint32_t kXrgbRed = 0x00FF0000, kXrgbGreen = 0x0000FF00, kXrgbBlue = 0x000000FF;

// One channel of a pixel value as SDL's own conversion reads it: the bits of
// its mask, shifted to the top of a byte.
inline uint32_t Channel(uint32_t pixel, uint32_t mask, uint8_t shift, uint8_t loss) {
    return (((pixel & mask) >> shift) << loss) & 0xFF;
}

// A pixel's alpha, 0 transparent to 255 opaque, whatever the width of its
// mask: a 1-bit alpha of 1 is opaque, where shifting it up as a colour
// channel would make it 128, half transparent.
// The usual 8-bit alpha is read as it is, with no division per pixel.
inline uint32_t AlphaOf(uint32_t pixel, const SDL_PixelFormat& f) {
    const uint32_t most = f.Amask >> f.Ashift, alpha = (pixel & f.Amask) >> f.Ashift;
    if (most == 255) return alpha;
    return most ? alpha * 255 / most : 255;
}

// A colour over the background at `alpha` (0 transparent, 255 opaque),
// rounded to the nearest value.
inline uint32_t Over(uint32_t colour, uint32_t background, uint32_t alpha) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t c = (colour >> shift) & 0xFF, b = (background >> shift) & 0xFF;
        out |= ((c * alpha + b * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

// The value of the pixel at `at`, `bytes` long, as SDL stores it.
inline uint32_t PixelValue(const uint8_t* at, int bytes) {
    switch (bytes) {
        case 2: {
            uint16_t value;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
        case 3:
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
            return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16;
#else
            return uint32_t{at[0]} << 16 | uint32_t{at[1]} << 8 | uint32_t{at[2]};
#endif
        default: {
            uint32_t value;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
    }
}

// The rows of a picture as xRGB words (red bits 16-23, green 8-15, blue 0-7).
class RowReader {
  public:
    // `copyEveryRow`: Row always fills the buffer, so that the picture's own
    // rows may be written over once read.
    RowReader(const SDL_Surface* picture, uint32_t background, bool copyEveryRow)
        : picture_(picture),
          format_(*picture->format),
          background_(background),
          alpha_(HasTransparency(picture)),
          copy_(copyEveryRow) {
        xrgb_ = format_.BytesPerPixel == 4 && !alpha_ && IsXrgb();
        if (format_.BytesPerPixel == 1) {
            for (int i = 0; i < format_.palette->ncolors && i < 256; ++i) {
                const SDL_Color& c = format_.palette->colors[i];
                colours_[i] = uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
            }
        }
    }

    // Row y: the picture's own bytes when they are xRGB already (unless every
    // row is copied), else `buffer` (the picture's width long) filled.
    const uint8_t* Row(int y, uint32_t* buffer) const {
        const uint8_t* in =
            static_cast<const uint8_t*>(picture_->pixels) + ptrdiff_t{y} * picture_->pitch;
        const int width = picture_->w;
        const int bytes = format_.BytesPerPixel;
        if (xrgb_ && !copy_) return in;
        if (xrgb_) {
            std::memcpy(buffer, in, 4 * static_cast<size_t>(width));
        } else if (bytes == 1) {
            for (int x = 0; x < width; ++x) buffer[x] = colours_[in[x]];
        } else if (bytes == 3 && IsXrgb()) {
            // The 24-bit pictures of BMP files: the hot case, kept simple.
            for (int x = 0; x < width; ++x) buffer[x] = PixelValue(in + 3 * ptrdiff_t{x}, 3);
        } else {
            const SDL_PixelFormat& f = format_;
            for (int x = 0; x < width; ++x) {
                const uint32_t pixel = PixelValue(in + ptrdiff_t{bytes} * x, bytes);
                uint32_t colour = Channel(pixel, f.Rmask, f.Rshift, f.Rloss) << 16 |
                                  Channel(pixel, f.Gmask, f.Gshift, f.Gloss) << 8 |
                                  Channel(pixel, f.Bmask, f.Bshift, f.Bloss);
                if (alpha_) {
                    colour = Over(colour, background_, AlphaOf(pixel, f));
                }
                buffer[x] = colour;
            }
        }
        return reinterpret_cast<const uint8_t*>(buffer);
    }

    // True when an alpha channel in use is laid over the background.
    bool Flattens() const { return alpha_; }

  private:
    bool IsXrgb() const {
        return format_.Rmask == kXrgbRed && format_.Gmask == kXrgbGreen &&
               format_.Bmask == kXrgbBlue;
    }

    const SDL_Surface* picture_;
    const SDL_PixelFormat& format_;
    uint32_t background_;
    bool alpha_;
    bool copy_;
    bool xrgb_ = false;
    uint32_t colours_[256] = {};
};

// Finds entries for colours: through the table, or through cells when the
// table is not wanted or its memory cannot be had (cells need about 1 MiB at
// most).
class Matcher {
  public:
    Matcher(const SDL_Color* palette, ColourMatcher kind) {
        if (kind == ColourMatcher::kTable) table_ = ColourTableFor(palette);
        if (!table_) InitColourCells(cells_, palette);
    }

    const uint8_t* table() const { return table_; }

    uint8_t Match(uint32_t colour) {
        if (table_) return table_[colour & 0xFFFFFF];
        return MatchThroughCells(cells_, static_cast<uint8_t>(colour >> 16),
                                 static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour));
    }

  private:
    const uint8_t* table_ = nullptr;
    ColourCells cells_;
};

// Where the indices go: rows of `width` bytes, `pitch` apart. `top`: the
// picture's row the first of them is, for a band of a larger picture.
struct IndexRows {
    uint8_t* pixels;
    ptrdiff_t pitch;
    int width, height;
    uint32_t top = 0;

    uint8_t* Row(int y) const { return pixels + y * pitch; }
};

// Each pixel's own colour; a colour is looked up again only when it differs
// from the one before, as neighbouring pixels often share one.
void MatchExactly(const RowReader& rows, Matcher& matcher, const IndexRows& made) {
    const int width = made.width;
    std::vector<uint32_t> buffers(2 * static_cast<size_t>(width));
    const uint8_t* above = nullptr;
    if (const uint8_t* table = matcher.table()) {
        TableRun run{0, table[0]};
        for (int y = 0; y < made.height; ++y) {
            const uint8_t* row = rows.Row(y, &buffers[(y & 1) * static_cast<size_t>(width)]);
            MapRowThroughColourTable(table, row, above, width, made.Row(y),
                                     y > 0 ? made.Row(y - 1) : nullptr, run);
            above = row;
        }
        return;
    }
    uint32_t last = 0;
    uint8_t index = matcher.Match(0);
    for (int y = 0; y < made.height; ++y) {
        const uint8_t* row = rows.Row(y, buffers.data());
        uint8_t* out = made.Row(y);
        for (int x = 0; x < width; ++x) {
            uint32_t colour;
            std::memcpy(&colour, row + 4 * ptrdiff_t{x}, sizeof colour);
            colour &= 0xFFFFFF;
            if (colour != last) {
                last = colour;
                index = matcher.Match(colour);
            }
            out[x] = index;
        }
    }
}

inline int ChannelOf(uint32_t colour, int channel) {
    return static_cast<int>((colour >> (16 - 8 * channel)) & 0xFF);
}

inline uint32_t Clamped(const int (&channels)[3]) {
    uint32_t colour = 0;
    for (const int channel : channels) {
        colour = colour << 8 | static_cast<uint32_t>(std::clamp(channel, 0, 255));
    }
    return colour;
}

// Floyd-Steinberg in a serpentine scan: even rows of the picture left to
// right, odd rows right to left. Errors are kept as sixteenths, one row ahead,
// with a cell of margin on each side so that no edge needs a test. `here`
// holds the errors carried into the first row (empty: none) and is left with
// those for the row after the last.
void MatchDiffusing(const RowReader& rows, Matcher& matcher, const SDL_Color* palette,
                    const IndexRows& made, std::vector<int>& here) {
    const int width = made.width;
    std::vector<uint32_t> buffer(static_cast<size_t>(width));
    here.resize(3 * static_cast<size_t>(width + 2));
    std::vector<int> next(here.size());
    for (int y = 0; y < made.height; ++y) {
        const uint8_t* row = rows.Row(y, buffer.data());
        uint8_t* out = made.Row(y);
        std::fill(next.begin(), next.end(), 0);
        const int step = (made.top + y) % 2 == 0 ? 1 : -1;
        for (int i = 0; i < width; ++i) {
            const int x = step > 0 ? i : width - 1 - i;
            uint32_t colour;
            std::memcpy(&colour, row + 4 * ptrdiff_t{x}, sizeof colour);
            int wanted[3];
            const size_t at = 3 * static_cast<size_t>(x + 1);
            // Rounded to nearest; >> on a negative sum rounds down, alike on
            // every machine this builds on.
            for (int c = 0; c < 3; ++c) {
                wanted[c] = ChannelOf(colour, c) + ((here[at + c] + 8) >> 4);
            }
            const uint32_t diffused = Clamped(wanted);
            const uint8_t index = matcher.Match(diffused);
            out[x] = index;
            const int chosen[3] = {palette[index].r, palette[index].g, palette[index].b};
            const ptrdiff_t ahead = 3 * ptrdiff_t{step};
            for (size_t c = 0; c < 3; ++c) {
                const int error = ChannelOf(diffused, static_cast<int>(c)) - chosen[c];
                here[at + ahead + c] += 7 * error;
                next[at - ahead + c] += 3 * error;
                next[at + c] += 5 * error;
                next[at + ahead + c] += error;
            }
        }
        here.swap(next);
    }
}

// The 8x8 Bayer matrix: each threshold 0..63 once, spread evenly.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// A mistyped entry would tilt the pattern's average.
constexpr bool EachThresholdOnce() {
    bool seen[64] = {};
    for (const auto& row : kBayer) {
        for (const uint8_t threshold : row) {
            if (threshold > 63 || seen[threshold]) return false;
            seen[threshold] = true;
        }
    }
    return true;
}
static_assert(EachThresholdOnce(), "the Bayer matrix holds each threshold 0..63 once");

void MatchOrdered(const RowReader& rows, Matcher& matcher, const IndexRows& made) {
    std::vector<uint32_t> buffer(static_cast<size_t>(made.width));
    for (int y = 0; y < made.height; ++y) {
        const uint8_t* row = rows.Row(y, buffer.data());
        uint8_t* out = made.Row(y);
        for (int x = 0; x < made.width; ++x) {
            uint32_t colour;
            std::memcpy(&colour, row + 4 * ptrdiff_t{x}, sizeof colour);
            const int offset = kBayer[(made.top + y) & 7][x & 7] / 2 - 16;
            int wanted[3];
            for (int c = 0; c < 3; ++c) wanted[c] = ChannelOf(colour, c) + offset;
            out[x] = matcher.Match(Clamped(wanted));
        }
    }
}

bool Readable(const SDL_Surface* picture) {
    if (!picture || !picture->format || !picture->pixels || picture->w <= 0 || picture->h <= 0) {
        return false;
    }
    const SDL_PixelFormat& f = *picture->format;
    const bool depthKnown = (f.BytesPerPixel == 1 && f.palette && f.palette->colors) ||
                            f.BytesPerPixel == 2 || f.BytesPerPixel == 3 || f.BytesPerPixel == 4;
    return depthKnown && picture->pitch >= int64_t{picture->w} * f.BytesPerPixel;
}

// Matches the picture's pixels into `made` by `options`. `inPlace`: `made`
// lies over the picture's own rows, so each row is copied out before use.
// `carry`: what an earlier band left, for a band of a larger picture.
void MatchRows(const SDL_Surface* picture, const SDL_Color* palette,
               const ConversionOptions& options, const IndexRows& made, bool inPlace,
               bool* flattened, BandCarry* carry = nullptr) {
    const RowReader rows(picture, options.background, inPlace);
    if (flattened) *flattened = rows.Flattens();
    Matcher matcher(palette, options.matcher);
    switch (options.dither) {
        case Dither::kNone:
            MatchExactly(rows, matcher, made);
            break;
        case Dither::kFloydSteinberg: {
            BandCarry fresh;
            MatchDiffusing(rows, matcher, palette, made, (carry ? *carry : fresh).errors);
            break;
        }
        case Dither::kOrdered:
            MatchOrdered(rows, matcher, made);
            break;
    }
}

// An 8-bit picture imported keeps its pixel values as indices, translated
// when its palette is another; dithered, such a picture is matched from its
// colours instead. True when its pixel values are now its indices.
bool KeepIndices(SDL_Surface* picture, const SDL_Color* palette, const ConversionOptions& options) {
    if (picture->format->BitsPerPixel != 8) return false;
    const bool same = IsReferencePalette(picture, palette);
    if (!same && options.dither != Dither::kNone) return false;
    if (!same) ConvertPaletteToReference(picture, palette);
    return true;
}

// The options with the matcher for the picture's size (kTableFromPixels).
ConversionOptions ForPictureSize(const SDL_Surface* picture, ConversionOptions options) {
    const uint64_t pixels =
        uint64_t{static_cast<uint32_t>(picture->w)} * static_cast<uint32_t>(picture->h);
    options.matcher = pixels >= kTableFromPixels ? ColourMatcher::kTable : ColourMatcher::kCells;
    return options;
}

}  // namespace

bool HasTransparency(const SDL_Surface* picture) {
    if (!Readable(picture) || picture->format->Amask == 0) return false;
    const SDL_PixelFormat& f = *picture->format;
    bool seeThrough = false, seen = false;
    for (int y = 0; y < picture->h; ++y) {
        const uint8_t* row =
            static_cast<const uint8_t*>(picture->pixels) + ptrdiff_t{y} * picture->pitch;
        for (int x = 0; x < picture->w; ++x) {
            const uint32_t alpha =
                AlphaOf(PixelValue(row + ptrdiff_t{f.BytesPerPixel} * x, f.BytesPerPixel), f);
            seeThrough |= alpha < 255;
            seen |= alpha > 0;
            if (seeThrough && seen) return true;
        }
    }
    return false;
}

SDL_Surface* MatchPicture(const SDL_Surface* picture, const SDL_Color* palette,
                          const ConversionOptions& options, bool* flattened) {
    if (flattened) *flattened = false;
    if (!Readable(picture) || !palette) return nullptr;
    SDL_Surface* made = SDL_CreateRGBSurface(0, picture->w, picture->h, 8, 0, 0, 0, 0);
    if (!made) return nullptr;
    if (!made->pixels || made->pitch < made->w) {
        SDL_FreeSurface(made);
        return nullptr;
    }
    SDL_SetColors(made, const_cast<SDL_Color*>(palette), 0, 256);
    const IndexRows rows{static_cast<uint8_t*>(made->pixels), made->pitch, made->w, made->h};
    MatchRows(picture, palette, options, rows, false, flattened);
    return made;
}

bool MatchInPlace(SDL_Surface* picture, const SDL_Color* palette, const ConversionOptions& options,
                  bool* flattened) {
    if (flattened) *flattened = false;
    if (!Readable(picture) || !palette) return false;
    auto* pixels = static_cast<uint8_t*>(picture->pixels);
    const int width = picture->w;
    if (KeepIndices(picture, palette, options)) {
        // The rows close up to `width` apart, top first: each moves down over
        // rows already moved.
        for (int y = 1; y < picture->h; ++y) {
            std::memmove(pixels + ptrdiff_t{y} * width, pixels + ptrdiff_t{y} * picture->pitch,
                         static_cast<size_t>(width));
        }
        return true;
    }
    // Index row y ends at (y + 1) * width bytes, within the picture's rows 0..y
    // (its pitch holds at least `width` bytes), and each row is copied out
    // before its indices are written: no row is written over before it is read.
    MatchRows(picture, palette, ForPictureSize(picture, options),
              {pixels, width, width, picture->h}, true, flattened);
    return true;
}

bool MatchBand(const SDL_Surface* band, uint32_t top, const SDL_Color* palette,
               const ConversionOptions& options,
               uint8_t* indices,  // NOLINT(readability-non-const-parameter): written through rows
               size_t pitch, BandCarry& carry) {
    if (!Readable(band) || !palette || !indices || pitch < static_cast<size_t>(band->w) ||
        band->format->BytesPerPixel == 1 || band->format->Amask != 0) {
        return false;
    }
    const IndexRows rows{indices, static_cast<ptrdiff_t>(pitch), band->w, band->h, top};
    MatchRows(band, palette, options, rows, false, nullptr, &carry);
    return true;
}

bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette,
                      const ConversionOptions& options, bool* flattened) {
    if (flattened) *flattened = false;
    if (!picture || !*picture || !(*picture)->format || !palette) return false;
    SDL_Surface* in = *picture;
    SDL_Surface* made = nullptr;
    if (KeepIndices(in, palette, options)) {
        made = CopyIntoPalette(in, palette);
    } else {
        made = MatchPicture(in, palette, ForPictureSize(in, options), flattened);
    }
    if (!made) return false;
    SDL_FreeSurface(in);
    *picture = made;
    return true;
}

bool ConvertTrueColourToReference(SDL_Surface** surface, const SDL_Color* palette,
                                  ColourMatcher matcher) {
    if (!surface || !Readable(*surface) || (*surface)->format->BytesPerPixel == 1) return false;
    SDL_Surface* made = MatchPicture(*surface, palette, ConversionOptions{matcher});
    if (!made) return false;
    SDL_FreeSurface(*surface);
    *surface = made;
    return true;
}
