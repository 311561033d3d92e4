// SDL with the dummy video driver and a 640x480 32-bit window surface that
// tests read pixel by pixel.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <cstdint>

// Initialises SDL video once per process (dummy driver unless the environment
// names another) and opens the window; the surface stays for the whole run.
SDL_Surface* TestScreen();

// The 32-bit pixel value at (x, y) of a 32-bit surface, top byte cleared.
uint32_t PixelAt(const SDL_Surface* surface, int x, int y);

// The 8-bit value at (x, y) of an 8-bit surface.
uint8_t IndexAt(const SDL_Surface* surface, int x, int y);

// Builds the font once (white on opaque black cells) for tests that draw.
void EnsureFont();

// Checks that the 8x8 cell at (x, y) shows `code` from the built-in font as
// white (0xFFFFFF) on the background value 1. Returns a description of the
// first mismatch, or an empty string.
std::string CellMismatch(const SDL_Surface* surface, int x, int y, uint8_t code);

// Base fixture for tests that draw: screen open, font built.
class SdlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        screen = TestScreen();
        ASSERT_NE(screen, nullptr);
        EnsureFont();
    }
    SDL_Surface* screen = nullptr;
};
