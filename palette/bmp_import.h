// Reading BMP files into surfaces that are safe to use.
#pragma once

#include <SDL.h>

// True when the surface can be touched as it is, by this program and by SDL's
// own blits and conversions: width and height above 0, pixels present, 8, 15,
// 16, 24 or 32 bits per pixel with the matching byte count, a palette of 1 to
// 256 colours exactly when it has 8 bits per pixel, a pitch of at least width
// x bytes per pixel, pixel storage within what SDL can allocate, and colour
// masks that are each one run of at most 8 bits inside the pixel.
bool IsSurfaceSafe(const SDL_Surface* surface);

// Loads a BMP with SDL. Null when SDL cannot read it or gives a surface that
// is not safe (the surface is then freed). For indexed files (1, 4 or 8 bits,
// all loaded as 8-bit surfaces) whose info header is not 40 bytes long (nor
// the 12-byte OS/2 1.x header, which SDL reads right), the palette is read
// again from where the file has it: the header's colour count, at most 256,
// cut short where the file ends; the other entries black.
SDL_Surface* LoadBmpSafely(const char* path);
