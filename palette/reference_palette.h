// The game's 256-colour palette, read once from "menu.pal".
//
// "menu.pal" is 256 records of 4 bytes (red, green, blue, unused), 1024 bytes
// with no header; bytes after the first 1024 are ignored.
#pragma once

#include <SDL.h>
#include <cstddef>
#include <cstdint>

constexpr int kPaletteEntries = 256;
constexpr size_t kPaletteFileSize = 1024;

// Process-wide; null until LoadReferencePalette succeeds, then never changed
// or freed. 256 entries laid out as SDL_Color, fourth byte always 0.
extern SDL_Color* ReferencePalette;

// Fills `palette` from the bytes of a palette file. Entries that `size` does
// not cover completely are black (all four bytes 0); the fourth byte of every
// entry is 0.
void DecodePalette(const uint8_t* bytes, size_t size, SDL_Color palette[kPaletteEntries]);

// Reads a palette file into `palette`. False when the file cannot be opened
// or read; `palette` is then untouched. A short file is accepted (see
// DecodePalette); `fileBytes`, when given, receives how many bytes the file
// holds, counted up to kPaletteFileSize + 1, for callers that want exactly
// kPaletteFileSize.
bool ReadPaletteFile(const char* path, SDL_Color palette[kPaletteEntries],
                     size_t* fileBytes = nullptr);

// Reads "menu.pal" from the working directory into ReferencePalette. False
// when it cannot be opened; nothing is allocated then.
bool LoadReferencePalette();
