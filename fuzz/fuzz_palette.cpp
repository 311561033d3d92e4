// Arbitrary bytes as a palette file, through what start-up and vdetool do
// with one (ReadPaletteFile), and then through the colour matchers that
// depend on the palette. A finding is, besides a crash or a sanitizer
// report, any break of what these promise:
//  - the file's first 1024 bytes give the entries, fourth bytes 0, entries
//    the file does not cover whole are black, bytes after 1024 change nothing;
//  - matching by colour cells gives the rule's index for any colour.
#include <SDL.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "colour_cells.h"
#include "colour_match.h"
#include "reference_palette.h"

namespace {

void Require(bool holds) {
    if (!holds) std::abort();
}

std::string ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/fuzz-palette-" + std::to_string(getpid()) + ".pal";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = ScratchFile();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;

    SDL_Color palette[kPaletteEntries];
    Require(ReadPaletteFile(path.c_str(), palette));
    for (int i = 0; i < kPaletteEntries; ++i) {
        const size_t at = 4 * static_cast<size_t>(i);
        const bool covered = at + 3 <= size;
        Require(palette[i].r == (covered ? data[at] : 0));
        Require(palette[i].g == (covered ? data[at + 1] : 0));
        Require(palette[i].b == (covered ? data[at + 2] : 0));
        Require(palette[i].unused == 0);
    }

    // Colours taken from the input's bytes (and their neighbours) land on
    // cell borders and on the palette's own colours, where ties live.
    ColourCells cells;
    InitColourCells(cells, palette);
    for (size_t i = 0; i + 2 < size && i < 3 * 16; i += 3) {
        for (int step : {0, 1, 255}) {
            const auto r = static_cast<uint8_t>(data[i] + step);
            const auto g = static_cast<uint8_t>(data[i + 1] + step);
            const auto b = static_cast<uint8_t>(data[i + 2] + step);
            Require(MatchThroughCells(cells, r, g, b) == NearestReferenceColour(r, g, b, palette));
        }
    }
    std::remove(path.c_str());
    return 0;
}
