// Picture files for the editor and vdetool: BMP of every depth SDL reads and
// PNG in, 8-bit BMP and PNG in the game's palette out.
#pragma once

#include <SDL.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bmp_file.h"
#include "input_file.h"
#include "problem.h"

enum class PictureFormat { kBmp, kPng };

// The format named by the extension of `path`: ".bmp" or ".png" in any case.
// False for any other name; `format` is then untouched.
bool PictureFormatFromName(const char* path, PictureFormat* format);

// Reads the BMP or PNG file at `path`, told apart by their first bytes.
//
// BMP goes through ReadBmp (bmp_file.h): 1, 4 and 8 bits give an 8-bit
// surface with the file's palette, 15/16, 24 and 32 bits a surface of that
// depth as SDL makes it, with the alpha mask of a bit-field file's header.
//
// PNG: a palette file (1 to 8 bits) gives an 8-bit surface with a 256-entry
// palette, the PNG's colours first and black (all four bytes 0) after them;
// grey, RGB, with or without alpha, 8 or 16 bits, give a 32-bit surface with
// red in bits 16-23, green 8-15, blue 0-7 of each pixel as the host reads it,
// and the alpha channel, when the file has one, in bits 24-31. A tRNS chunk
// is ignored, 16-bit channels keep their high byte, interlaced files read as
// any other. Refused
// before allocating: sides or pixel counts beyond the picture limits, and
// pictures too large for the compressed data the file could hold.
//
// Null, with `problem` saying why, when the file cannot be opened or read, is
// neither format, or is damaged, unsupported or too large. `format`, when
// given, receives the format read. A pipe is read to its end first. Needs no
// SDL_Init.
SDL_Surface* ReadPictureFile(const char* path, Problem* problem, PictureFormat* format = nullptr);

// A picture file opened to be read whole or, when it is a BMP that can be
// (OpenBmpBands), a band of rows at a time through ReadBmpBand(bands, ...).
struct PictureInput {
    InputFile input;
    BmpBands bands;  // bands.file is null unless the picture can be read in bands
};

// Opens the picture file at `path` (a pipe is read to its end first) and
// finds whether it can be read in bands. False, with `problem` saying why,
// when it cannot be opened.
bool OpenPicture(const char* path, PictureInput& picture, Problem* problem);

// Reads the opened picture whole, as ReadPictureFile does.
SDL_Surface* ReadWholePicture(PictureInput& picture, Problem* problem,
                              PictureFormat* format = nullptr);

// An 8-bit picture to write: `height` rows of `width` palette indices, the
// rows `pitch` bytes apart from `pixels`, and the 256 colours of `palette`.
struct IndexedPicture {
    const uint8_t* pixels;
    uint32_t width, height;
    size_t pitch;
    const SDL_Color* palette;
};

// An IndexedPicture of the pixels and palette of an 8-bit surface whose
// palette has 256 entries.
IndexedPicture PictureOf(const SDL_Surface* surface);

// Writes the picture to `out`. BMP: as WriteBmp8 (bmp_file.h), the bytes the
// editor's Save BMP writes. PNG: colour type palette, 8 bits, 256 palette
// entries, not interlaced. False, with `problem` set, when a side is 0 or
// beyond the picture limits, the pitch is shorter than a row, or a write
// fails.
bool WritePictureContent(FILE* out, PictureFormat format, const IndexedPicture& picture,
                         Problem* problem);

// WritePictureContent into the file at `path` through ReplaceFile
// (safe_write.h): whole or not at all, an existing file left as it was on a
// failure.
bool WriteIndexedPicture(const char* path, PictureFormat format, const IndexedPicture& picture,
                         Problem* problem);
