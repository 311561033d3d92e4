// Matching colours to a 256-colour palette, and converting pictures to it.
//
// The matching rule: the entry with the smallest sum of absolute differences
// of red, green and blue; among equals the lowest index. Every function here
// gives exactly that index. The conversions look colours up in a table built
// once per palette (colour_table.h) or in colour cells (colour_cells.h), and
// fall back to the cells when the table's memory cannot be had.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <vector>

// The rule, evaluated over all 256 entries (the reference implementation).
uint8_t NearestReferenceColour(uint8_t red, uint8_t green, uint8_t blue, const SDL_Color* palette);

// True when all 256 entries of the 8-bit surface's palette equal `palette`'s,
// all four bytes of each entry compared.
bool IsReferencePalette(const SDL_Surface* surface, const SDL_Color* palette);

// Rewrites the pixels of an 8-bit surface to the nearest `palette` indices of
// the colours of its own palette (all 256 entries). The surface's palette is
// left as it was. Any other depth: nothing changes.
void ConvertPaletteToReference(SDL_Surface* surface, const SDL_Color* palette);

// Replaces every byte of the 8-bit surface's pixel storage, pitch x height
// bytes including those past each row's width, by table[byte].
void RemapPixels(SDL_Surface* surface, const uint8_t table[256]);

// How a picture of many colours is brought to the palette.
//
// Every matcher gives the rule's indices; they differ in cost. The colour-cube
// table answers each colour with one lookup once it is built, once per process
// and palette: right for the editor, which converts picture after picture,
// and for large pictures. Cells build only what a picture touches: right for
// a process that converts one small picture and ends.
enum class ColourMatcher { kTable, kCells };

// Exact: each pixel's own colour matched. Floyd-Steinberg: each pixel's error
// (its colour less its entry's) goes on to its neighbours, 7/16 ahead, 3/16,
// 5/16 and 1/16 on the next row, in a serpentine scan, and the colour with
// the error it received, each channel held to 0..255, is matched. Ordered: an
// 8x8 Bayer pattern of offsets (-16..15) added to each channel before
// matching. All in integers, so the same input gives the same bytes anywhere.
enum class Dither { kNone, kFloydSteinberg, kOrdered };

struct ConversionOptions {
    ColourMatcher matcher = ColourMatcher::kTable;
    Dither dither = Dither::kNone;
    uint32_t background = 0;  // 0xRRGGBB: what shows through transparent pixels
};

// Pictures from this many pixels on are matched through the table by
// ConvertToPalette, smaller ones through cells: from here on the table's
// set-up and lookups cost less than cells (measured: bench/README.md).
constexpr uint64_t kTableFromPixels = uint64_t{1} << 19;

// True when the picture has an alpha channel in use: some pixel is not fully
// opaque, and not every pixel is fully transparent (writers that do not use
// the channel often leave it 0 throughout; such a picture counts as opaque).
bool HasTransparency(const SDL_Surface* picture);

// A new 8-bit surface of the picture's size with the 256 entries of
// `palette`: each pixel of `picture` read by its depth (8 bits through its own
// palette; 15, 16, 24 or 32 bits by its colour masks, as SDL's own conversion
// reads them; an alpha channel in use laid over the background, rounded to
// the nearest value) and matched as `options` say. `picture` is not changed.
// `flattened`, when given, is set to whether an alpha channel in use was laid
// over the background (HasTransparency). Null when the surface cannot be made
// or the depth is another.
SDL_Surface* MatchPicture(const SDL_Surface* picture, const SDL_Color* palette,
                          const ConversionOptions& options, bool* flattened = nullptr);

// MatchPicture's indices, with the matcher ConvertToPalette would choose,
// written over the picture's own pixels: for a caller done with the picture
// that would rather not hold a second copy (16 MiB at 4096x4096). An 8-bit
// picture is treated as ConvertToPalette treats it. Afterwards row y's indices
// start at byte y * picture->w of picture->pixels, and the surface's format no
// longer describes its pixels: read the indices, then only free it.
// `flattened` as for ConvertToPalette. It needs no memory of the picture's
// size, and without the table's it matches through cells. False, with the
// picture untouched, when it is unreadable or of another depth.
bool MatchInPlace(SDL_Surface* picture, const SDL_Color* palette, const ConversionOptions& options,
                  bool* flattened = nullptr);

// What one band of a picture matched band by band leaves for the next: the
// errors Floyd-Steinberg carries into the next row. A new one for each
// picture.
struct BandCarry {
    std::vector<int> errors;
};

// Matches `band`, rows `top` to `top + band->h - 1` of a larger picture, into
// the caller's `indices` (rows `pitch` bytes apart, at least band->w long)
// through options.matcher as given: a picture read a band of rows at a time
// (picture_file.h) gives, band after band from the top with one `carry`,
// MatchPicture's indices for the whole. Only for bands of 15, 16, 24 or 32
// bits without an alpha mask; false, with nothing written, for any other.
bool MatchBand(const SDL_Surface* band, uint32_t top, const SDL_Color* palette,
               const ConversionOptions& options, uint8_t* indices, size_t pitch, BandCarry& carry);

// Replaces the picture in *surface (15, 16, 24 or 32 bits) by MatchPicture's
// exact match through `matcher`, and frees the old one. False, with *surface
// untouched, for an 8-bit or unreadable picture or when the new surface
// cannot be made.
bool ConvertTrueColourToReference(SDL_Surface** surface, const SDL_Color* palette,
                                  ColourMatcher matcher = ColourMatcher::kTable);

// A new 8-bit surface with the pixel indices of the 8-bit `picture` and a full
// 256-entry `palette`. SDL's BMP reader gives a picture only the colours its
// file declares (2 for a 1-bit file), while blits and BMP export index the
// palette with every pixel value: pictures kept in the reference palette are
// always such copies. Null when the surface cannot be made.
SDL_Surface* CopyIntoPalette(const SDL_Surface* picture, const SDL_Color* palette);

// Makes *picture an 8-bit picture in the 256-colour `palette`, with all 256
// entries, as the editor's import does: an 8-bit picture keeps its pixel
// values when its palette equals `palette` (IsReferencePalette), otherwise
// each value becomes the entry nearest to its colour (with dithering, its
// pixels are matched as a true-colour picture's); a picture of 15, 16, 24 or
// 32 bits goes through MatchPicture, by the table from kTableFromPixels on
// and by cells below (options.matcher is not used). The old surface is freed
// as soon as it has been matched. `flattened`, when given, is set as by
// MatchPicture (false for an 8-bit picture). False, with *picture untouched,
// when a surface cannot be made or the depth is another.
bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette,
                      const ConversionOptions& options = {}, bool* flattened = nullptr);
