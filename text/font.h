// The built-in 8x8 font (code page 850) and the text drawing built on it.
//
// BuildFont turns the glyph bitmaps into the GlyphSheet, a 8x2048 32-bit
// surface holding the 256 glyphs one under the other; every character drawn
// afterwards is one blit of an 8x8 cell from it. Nothing here presents the
// screen: callers update the rectangles they drew.
#pragma once

#include <SDL.h>
#include <cstdint>

// 2048 bytes: 8 row bytes per glyph for codes 0..255, top row first, bit 7
// the leftmost pixel. Generated from text/font.txt.
extern const uint8_t GlyphBitmaps[2048];

// Process-wide, made once by BuildFont and never released.
extern SDL_Surface* GlyphSheet;
extern SDL_Rect GlyphRect;

// Builds the GlyphSheet (set bits get `foreground`, clear bits the value 1)
// and then the keyboard tables. With `transparent`, the value 1 becomes the
// sheet's colour key so that only glyph pixels are drawn. Returns false when
// the sheet cannot be created; the keyboard tables are then left empty.
bool BuildFont(bool transparent, uint32_t foreground);

// Stores a 32-bit value at (x, y). No clipping, no locking: the caller keeps
// the point inside a surface whose pixels are directly addressable.
void PutPixel32(SDL_Surface* surface, int x, int y, uint32_t value);

// Draws a NUL-terminated code page 850 string with its first cell's top left
// at (x, y). A newline returns to x one row (8 pixels) lower; every other
// byte draws its glyph and advances 8 pixels. Clipped by the blit only.
void DrawText(const char* text, int16_t x, int16_t y, SDL_Surface* surface);

// As DrawText, for at most `width` bytes: for fixed-width fields that may
// hold no terminating zero byte.
void DrawTextField(const char* field, size_t width, int16_t x, int16_t y, SDL_Surface* surface);

// Draws one glyph at (x, y); no control codes.
void DrawChar(uint8_t code, int16_t x, int16_t y, SDL_Surface* surface);

// Draws `value` in decimal (leading minus sign when negative).
void DrawNumber(int32_t value, int16_t x, int16_t y, SDL_Surface* surface);
