// Palettes that the matching tests run against, each chosen to stress a
// different part of the rule. Deterministic: the same on every run.
#pragma once

#include <SDL.h>
#include <array>
#include <string>
#include <vector>

using TestPalette = std::array<SDL_Color, 256>;

struct NamedPalette {
    std::string name;
    TestPalette colours;
};

// 256 colours spread at random over the cube.
TestPalette RandomPalette(unsigned seed);

// 64 colours, each held at four scattered indices, so that the lowest index
// of equal entries must win.
TestPalette DuplicatesPalette(unsigned seed);

// Colours on a lattice with an even spacing and a shuffled order, plus greys
// between them: many colours lie at equal distances from several entries,
// and the lowest index among them is rarely the first in lattice order.
TestPalette TiesPalette(unsigned seed);

// The three above, for tests that sweep all of them.
std::vector<NamedPalette> SweepPalettes();
