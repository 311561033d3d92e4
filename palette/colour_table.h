// A lookup table over the whole colour cube that gives, for every colour, the
// index NearestReferenceColour would choose.
//
// Importing a picture matches every pixel against the palette; evaluating all
// 256 entries per pixel is the cost that dominates, so the answers for all
// 2^24 colours are worked out once per palette and then looked up.
#pragma once

#include <SDL.h>
#include <cstddef>
#include <cstdint>

// One byte per colour, indexed by (red << 16) | (green << 8) | blue: the
// layout of a 32-bit pixel with its top byte cleared.
constexpr size_t kColourTableSize = size_t{1} << 24;

inline uint32_t ColourTableKey(uint8_t red, uint8_t green, uint8_t blue) {
    return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
}

// Fills `table` (kColourTableSize bytes) for the 256 entries of `palette`, on
// two threads when it can start a second one. False when working memory
// could not be had; `table` is then unspecified.
bool BuildColourTable(const SDL_Color* palette, uint8_t* table);

// The table for `palette`, built on the first call and kept for as long as
// later calls pass a palette with the same colours (fourth bytes play no part,
// as in matching). A different palette replaces it. Null when memory ran out;
// callers then match another way (colour_cells.h). The returned table stays
// valid until a call with a different palette. Not for use from two threads.
const uint8_t* ColourTableFor(const SDL_Color* palette);

// The colour of the last pixels looked up and their index, carried from one
// row to the next: pixel art repeats colours along rows and from row to row.
struct TableRun {
    uint32_t colour = 0;
    uint8_t index = 0;
};

// Looks up one row of `width` 32-bit pixels (red bits 16-23, green 8-15, blue
// 0-7, top byte ignored) at `from` and writes each pixel's table[] index to
// `to`. `above` and `toAbove` are the row before and its indices, or null for
// a first row: a stretch equal to the one above is copied. `run` starts as
// {0, table[0]} for a picture's first row. Nothing past `width` is read or
// written.
void MapRowThroughColourTable(const uint8_t* table, const uint8_t* from, const uint8_t* above,
                              int width, uint8_t* to, const uint8_t* toAbove, TableRun& run);

// MapRowThroughColourTable for `height` rows, `fromPitch` bytes apart from
// `from`, their indices `toPitch` bytes apart from `to`.
void MapThroughColourTable(const uint8_t* table, const uint8_t* from, ptrdiff_t fromPitch,
                           int width, int height, uint8_t* to, ptrdiff_t toPitch);
