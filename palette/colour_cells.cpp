#include "colour_cells.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "reference_palette.h"

// Why the candidates of a cell are enough: let `bound` be the smallest, over
// all entries, of the largest distance from the entry to any colour of the
// cell. Every colour of the cell then has some entry within `bound`, so its
// nearest entry, and every entry tied with it, lies within `bound` of the
// colour, and so is no further than `bound` from the cell. The candidates are
// exactly the entries whose smallest distance to the cell is at most `bound`;
// kept in index order, the first of the nearest among them is the rule's
// answer.

namespace {

constexpr int kCellBits = 4;
constexpr int kCellSide = 1 << kCellBits;
constexpr int kCellsPerSide = 256 / kCellSide;
constexpr int kCellCount = kCellsPerSide * kCellsPerSide * kCellsPerSide;

inline int32_t Difference(int32_t a, int32_t b) {
    return a > b ? a - b : b - a;
}

void BuildCell(ColourCells& cells, int cell) {
    const int32_t r0 = (cell >> (2 * kCellBits)) * kCellSide;
    const int32_t g0 = ((cell >> kCellBits) & (kCellsPerSide - 1)) * kCellSide;
    const int32_t b0 = (cell & (kCellsPerSide - 1)) * kCellSide;
    const int32_t r1 = r0 + kCellSide - 1, g1 = g0 + kCellSide - 1, b1 = b0 + kCellSide - 1;
    // Per channel, the distance from the entry to the nearest value of the
    // cell's range is how far it lies below or above it, and to the furthest
    // value the larger of its distances to the two ends.
    int32_t nearest[kPaletteEntries];
    int32_t bound = 3 * 255;
    for (int k = 0; k < kPaletteEntries; ++k) {
        const int32_t r = cells.red[k], g = cells.green[k], b = cells.blue[k];
        nearest[k] = std::max(r0 - r, 0) + std::max(r - r1, 0) + std::max(g0 - g, 0) +
                     std::max(g - g1, 0) + std::max(b0 - b, 0) + std::max(b - b1, 0);
        const int32_t furthest =
            std::max(r - r0, r1 - r) + std::max(g - g0, g1 - g) + std::max(b - b0, b1 - b);
        bound = std::min(bound, furthest);
    }
    cells.start[cell] = static_cast<uint32_t>(cells.candidates.size());
    uint16_t count = 0;
    for (int k = 0; k < kPaletteEntries; ++k) {
        if (nearest[k] <= bound) {
            cells.candidates.push_back(static_cast<uint8_t>(k));
            ++count;
        }
    }
    cells.count[cell] = count;
}

}  // namespace

void InitColourCells(ColourCells& cells, const SDL_Color* palette) {
    for (int k = 0; k < kPaletteEntries; ++k) {
        cells.red[k] = palette[k].r;
        cells.green[k] = palette[k].g;
        cells.blue[k] = palette[k].b;
    }
    cells.start.assign(kCellCount, 0);
    cells.count.assign(kCellCount, kUnbuilt);
    cells.candidates.clear();
}

uint8_t MatchThroughCells(ColourCells& cells, uint8_t red, uint8_t green, uint8_t blue) {
    const int cell = (red >> kCellBits) << (2 * kCellBits) | (green >> kCellBits) << kCellBits |
                     (blue >> kCellBits);
    if (cells.count[cell] == kUnbuilt) BuildCell(cells, cell);
    const uint8_t* candidate = cells.candidates.data() + cells.start[cell];
    const uint8_t* end = candidate + cells.count[cell];
    // Distance and index in one key: the smallest key is the nearest entry,
    // the lowest index among equals, chosen without a branch to mispredict.
    int32_t best = INT32_MAX;
    for (; candidate != end; ++candidate) {
        const int k = *candidate;
        const int32_t distance = Difference(red, cells.red[k]) + Difference(green, cells.green[k]) +
                                 Difference(blue, cells.blue[k]);
        best = std::min(best, distance << 8 | k);
    }
    // Every cell has at least one candidate: the entry that sets the bound.
    return static_cast<uint8_t>(best & 0xFF);
}
