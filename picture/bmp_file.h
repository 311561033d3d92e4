// BMP files: read through SDL's own reader, with the header checked first and
// the surface checked after; written as SDL_SaveBMP writes 8-bit pictures.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <cstdio>

#include "input_file.h"
#include "problem.h"

// True when the surface can be touched as it is, by this program and by SDL's
// own blits and conversions: width and height above 0, pixels present, 8, 15,
// 16, 24 or 32 bits per pixel with the matching byte count, a palette of 1 to
// 256 colours exactly when it has 8 bits per pixel, a pitch of at least width
// x bytes per pixel, pixel storage within what SDL can allocate, and colour
// masks that are each one run of at most 8 bits inside the pixel.
bool IsSurfaceSafe(const SDL_Surface* surface);

// Reads the BMP of `fileSize` bytes from `file` (positioned at its start;
// not closed) with SDL_LoadBMP_RW. Before SDL allocates, the header is
// checked: a header cut short, a side of 0 or beyond the picture limits, and
// an uncompressed picture larger than the whole file are refused. After, a
// surface that is not safe (IsSurfaceSafe) is freed and refused. Indexed
// files (1, 4 or 8 bits, all loaded as 8-bit surfaces) whose info header is
// neither 40 nor 12 bytes get the palette the file really holds: SDL reads it
// from 40 header bytes on; entries beyond the header's colour count or the
// file's end are black. Null, with `problem` saying why, on any refusal;
// `refusedDepth`, when given, is then the bits per pixel of a surface SDL made
// but that was not safe, else 0.
SDL_Surface* ReadBmp(SDL_RWops* file, uint64_t fileSize, Problem* problem,
                     int* refusedDepth = nullptr);

// ReadBmp of an opened input (input_file.h).
SDL_Surface* ReadBmpFrom(const InputFile& input, Problem* problem, int* refusedDepth = nullptr);

// ReadBmp of the file at `path` (or pipe, read to its end): the editor's
// import.
SDL_Surface* LoadBmpSafely(const char* path, Problem* problem = nullptr,
                           int* refusedDepth = nullptr);

// An uncompressed 24-bit BMP read a band of rows at a time, each band through
// ReadBmp as a picture of its own: the headers as they stand but for the
// height, then the band's rows. A large picture need then never be held
// whole; its 24-bit rows are the largest block of memory its conversion would
// otherwise write.
struct BmpBands {
    FILE* file = nullptr;  // the whole file, not owned
    uint32_t width = 0, height = 0;
    uint32_t dataOffset = 0;  // where the rows start in the file
    uint32_t rowBytes = 0;    // a row and its padding to 4 bytes
    bool topDown = false;     // rows stored from the top, not the bottom
};

// True, with `bands` set, when the file of `fileSize` bytes (positioned at its
// start) is an uncompressed 24-bit BMP with a 40-byte or longer info header
// whose headers ReadBmp accepts. False, with `bands` untouched, for any other
// file, which is read whole. The file's position is left anywhere.
bool OpenBmpBands(FILE* file, uint64_t fileSize, BmpBands& bands);

// Rows `top` to `top + count - 1` of the picture, row 0 at the top, as the
// 24-bit surface ReadBmp gives for a picture of just those rows: with every
// band read, the same pixels as the whole picture read at once. Null, with
// `problem` saying why, when the rows cannot be read (a file cut short among
// them) or lie outside the picture.
SDL_Surface* ReadBmpBand(const BmpBands& bands, uint32_t top, uint32_t count, Problem* problem);

// Writes `height` rows of `width` palette indices, the rows `pitch` bytes
// apart, as the 8-bit BMP SDL_SaveBMP writes for a surface with a 256-colour
// `palette`: a 40-byte info header, the palette as blue, green, red and the
// entry's fourth byte, rows bottom-up and padded to 4 bytes. Sides must be
// within the picture limits. False when a write fails.
bool WriteBmp8(FILE* out, const uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch,
               const SDL_Color* palette);
