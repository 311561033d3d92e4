// Arbitrary bytes as a palette file through ReadPaletteFile; matching by colour
// cells must then give the rule's index for colours taken from the input.
#include "colour_cells.h"
#include "colour_match.h"
#include "reference_palette.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SDL_Color palette[kPaletteEntries];
    REQUIRE(ReadPaletteFile(ScratchFile(".pal", data, size).c_str(), palette));
    ColourCells cells;
    InitColourCells(cells, palette);
    for (size_t i = 0; i + 2 < size && i < 96; i += 3) {
        const uint8_t r = data[i], g = data[i + 1], b = data[i + 2];
        REQUIRE(MatchThroughCells(cells, r, g, b) == NearestReferenceColour(r, g, b, palette));
    }
    return 0;
}
