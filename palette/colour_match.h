// Matching colours to a 256-colour palette, and converting pictures to it.
//
// The matching rule: the entry with the smallest sum of absolute differences
// of red, green and blue; among equals the lowest index. Every function here
// gives exactly that index. The conversions look colours up in a table built
// once per palette (colour_table.h) and fall back to the rule itself when the
// table's memory cannot be had.
#pragma once

#include <SDL.h>
#include <cstdint>

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

// Replaces the 32-bit surface in *surface by a new 8-bit surface of the same
// size in `palette`, each pixel (red bits 16-23, green 8-15, blue 0-7) by its
// nearest entry, and frees the old one. False, with *surface untouched, when
// it is not 32-bit or the new surface cannot be made.
//
// Every matcher gives the same indices; they differ in cost. The colour-cube
// table (the default) answers each colour with one lookup once it is built, at
// about 30 ms once per process and palette: right for the editor, which
// converts picture after picture. Cells build only what a picture touches:
// right for a process that converts one small picture and ends.
enum class ColourMatcher { kTable, kCells };
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
// each value becomes the entry nearest to its colour; a picture of 15, 16, 24
// or 32 bits has each pixel matched to the entry nearest to its colour. The
// old surface is freed. False, with *picture untouched, when a surface cannot
// be made or the depth is another.
bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette);
