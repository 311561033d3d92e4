// A 256-colour palette for tests, and "menu.pal" files made from it.
#pragma once

#include <SDL.h>
#include <string>

// Deterministic, with 256 distinct colours and fourth bytes 0: greys at
// 0..15 and a spread of colours above.
void MakeTestPalette(SDL_Color palette[256]);

// Writes `palette` as a 1024-byte palette file.
bool WritePaletteFile(const std::string& path, const SDL_Color palette[256]);
