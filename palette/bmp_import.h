// Reading BMP files into surfaces that are safe to use.
#pragma once

#include <SDL.h>

// True when the surface can be touched as it is: width and height above 0,
// pixels present, a pitch of at least width x bytes per pixel, a palette
// exactly when it has 8 bits per pixel, and colour masks of at most 8 bits a
// channel.
bool IsSurfaceSafe(const SDL_Surface* surface);

// Loads a BMP with SDL. Null when SDL cannot read it or gives a surface that
// is not safe (the surface is then freed). For 8-bit files whose info header
// is longer than 40 bytes, the palette is read from where the file has it.
SDL_Surface* LoadBmpSafely(const char* path);
