// Picture files for the command-line tool: BMP of every depth SDL reads and
// PNG in, 8-bit BMP and PNG in the game's palette out.
#pragma once

#include <SDL.h>
#include <cstddef>
#include <cstdint>

enum class PictureFormat { kBmp, kPng };

// Why a read, a conversion or a write failed: a short English text for
// "vdetool: FILE: reason", empty when nothing went wrong.
struct PictureProblem {
    char reason[192] = {};
};

// The format named by the extension of `path`: ".bmp" or ".png" in any case.
// False for any other name; `format` is then untouched.
bool PictureFormatFromName(const char* path, PictureFormat* format);

// Reads the BMP or PNG file at `path`, told apart by their first bytes.
//
// BMP goes through LoadBmpSafely: 1, 4 and 8 bits give an 8-bit surface with
// the file's palette, 15/16, 24 and 32 bits a surface of that depth as SDL
// makes it. The header is checked first, so that SDL never allocates for a
// picture with a side above kMaxPictureSide, more than kMaxPicturePixels
// pixels, or more pixel bytes than the whole file has.
//
// PNG: a palette file (1 to 8 bits) gives an 8-bit surface with a 256-entry
// palette, the PNG's colours first and black (all four bytes 0) after them;
// grey, RGB, with or without alpha, 8 or 16 bits, give a 32-bit surface with
// red in bits 16-23, green 8-15, blue 0-7 of each pixel as the host reads it.
// Alpha and transparency are ignored (each pixel keeps its colour), 16-bit
// channels keep their high byte, interlaced files read as any other. Refused
// before allocating: sides or pixel counts beyond the limits above, and
// pictures too large for the compressed data the file could hold.
//
// Null, with `problem` saying why, when the file cannot be opened or read, is
// neither format, or is damaged, unsupported or too large. Needs no SDL_Init.
SDL_Surface* ReadPictureFile(const char* path, PictureProblem* problem);

// Makes *picture an 8-bit picture in the 256-colour `palette`, with all 256
// entries, as the editor's import does: an 8-bit picture keeps its pixel
// values when its palette equals `palette` (IsReferencePalette), otherwise
// each value becomes the entry nearest to its colour; a picture of any other
// depth is taken as 32-bit xRGB and each pixel becomes the entry nearest to
// its colour (the rule of colour_match.h). The old surface is freed. False,
// with *picture untouched, when a surface cannot be made or the depth is not
// 8, 15, 16, 24 or 32 bits.
bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette);

// Writes `height` rows of `width` palette indices, the rows `pitch` bytes
// apart from `pixels`, as an 8-bit picture with the 256 colours of `palette`
// (their fourth bytes as BMP's reserved bytes), through ReplaceFile. BMP: the
// bytes SDL_SaveBMP gives for an 8-bit surface with a 256-colour palette (a
// 40-byte info header, rows bottom-up, each padded to 4 bytes). PNG: colour
// type palette, 8 bits, 256 palette entries, not interlaced. False, with
// `problem` set, nothing left at `path` that was not there and an existing
// file unchanged, when a side is 0 or above kMaxPictureSide, the pitch is
// shorter than a row, or writing fails.
bool WriteIndexedPicture(const char* path, PictureFormat format, const uint8_t* pixels,
                         uint32_t width, uint32_t height, size_t pitch, const SDL_Color* palette,
                         PictureProblem* problem);
