// Matching the colours of a small picture without the whole-cube table.
//
// The table of colour_table.h answers any colour with one lookup but costs
// about 10 ms of work and 16 MiB of memory to build, once per process: for a
// picture of a few hundred thousand pixels that is more than the picture
// itself. Here the cube is cut into 16x16x16 cells, and each cell that a
// picture touches gets the list of entries that can be nearest to any colour
// in it; a colour is then matched against its cell's few candidates.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <vector>

struct ColourCells {
    // The palette's channels, each in an array of its own for loops that
    // compilers turn into vector code.
    int32_t red[256], green[256], blue[256];
    // Per cell: where its candidates start in `candidates`, and how many
    // there are; kUnbuilt until the cell is first needed.
    std::vector<uint32_t> start;
    std::vector<uint16_t> count;
    std::vector<uint8_t> candidates;
};

constexpr uint16_t kUnbuilt = 0xFFFF;

// Prepares `cells` for the 256 entries of `palette`. Nothing is matched yet.
void InitColourCells(ColourCells& cells, const SDL_Color* palette);

// The index NearestReferenceColour gives for the colour (the smallest sum of
// absolute differences, the lowest index among equals), building the
// colour's cell on first use.
uint8_t MatchThroughCells(ColourCells& cells, uint8_t red, uint8_t green, uint8_t blue);
