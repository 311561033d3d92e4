// Keyboard tables: SDL key symbols 0..96 to code page 850 characters, in the
// Swedish/Finnish layout as SDL 1.2 reports its keys (national keys by their
// US-layout positions: SDLK_SEMICOLON is the key right of L, and so on).
#pragma once

#include <cstdint>

constexpr int kKeyMapSize = 97;

extern uint8_t KeyMapPlain[kKeyMapSize];
extern uint8_t KeyMapShift[kKeyMapSize];
extern uint8_t KeyMapAlt[kKeyMapSize];

// Fills the three tables: rule first, then the overrides. Called by BuildFont.
void BuildKeyMaps();

// The code page 850 byte of a Latin-1 character 160..255, or 0 for any
// other value. With `shift`, a small letter gives its capital where
// code page 850 has one. SDL 1.2 on X11 reports the national keys of a
// Swedish or Finnish keymap (a-ring, a-umlaut, o-umlaut, ...) as these
// Latin-1 symbols (SDLK_WORLD_0..SDLK_WORLD_95).
uint8_t Latin1KeyToCp850(uint16_t latin1, bool shift);
