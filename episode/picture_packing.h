// The three forms of an episode's pictures and the conversions between them:
// 8-bit surfaces in the ReferencePalette <-> raw pixel buffers (one byte a
// pixel, rows of exactly the width) <-> zlib blobs.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "episode_record.h"
#include "picture_limits.h"
#include "problem.h"

// Decompresses the three blobs into width x height pixel buffers (any still
// present are released first, also when it fails). False, before anything is
// allocated, when a size is 0 or beyond the picture limits, or a blob is
// empty or far too short to fill its picture (MostThatCanUnpack); false after
// allocating all three when a blob is not a zlib stream that fits its buffer
// (the slots after it are not decompressed). `problem` then says why, naming
// the slot. Bytes a shorter stream does not write are colour index 0. Buffers
// made before a failure stay in the record until FreeEpisodeBuffers.
bool UnpackPictures(EpisodeRecord& episode, Problem* problem = nullptr);

// Compresses the three pixel buffers with compress2 at level 9 into blobs of
// compressBound capacity. False when a pixel buffer is absent or the sizes
// are beyond the picture limits, and at the first zlib result other
// than Z_OK; a blob not (yet) filled then has length 0, so that no byte
// compress2 did not write can reach a file.
bool PackPictures(EpisodeRecord& episode);

// Makes three 8-bit surfaces in the ReferencePalette from the pixel buffers.
// Only when all three are made are the slots' old surfaces freed and replaced;
// otherwise the slots are unchanged and the result is false (also when the
// ReferencePalette is not loaded or a pixel buffer is absent).
bool BuffersToSurfaces(EpisodeRecord& episode, SDL_Surface** image, SDL_Surface** title,
                       SDL_Surface** lowTitle);

// Copies three 8-bit surfaces into new pixel buffers (any still present are
// released first) and records the sizes in the header. False, with no buffer
// made, when a surface is missing, not 8-bit or beyond the picture limits
// (header and buffers unchanged), or when the LowTitle's width and height are
// not the Title's, even with the same pixel count (header then holds the new
// sizes, and no buffer is left).
bool SurfacesToBuffers(EpisodeRecord& episode, SDL_Surface* image, SDL_Surface* title,
                       SDL_Surface* lowTitle);
