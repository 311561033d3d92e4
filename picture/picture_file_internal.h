// What the picture file formats share inside the picture library.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <cstdio>

#include "problem.h"

// False, with the reason, for sides the project's pictures never have: 0, or
// beyond the picture limits.
bool PictureSizeAllowed(uint64_t width, uint64_t height, Problem* problem);

// Reads a PNG from `file`, positioned just after its 8-byte signature, of
// `fileSize` bytes in all (see ReadPictureFile).
SDL_Surface* ReadPng(FILE* file, uint64_t fileSize, Problem* problem);

// Writes an 8-bit PNG of the indices (see WriteIndexedPicture).
bool WritePng8(FILE* out, const uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch,
               const SDL_Color* palette);
