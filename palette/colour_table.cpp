#include "colour_table.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The table is a distance transform of the palette over the colour cube. The
// distance of the rule (sum of absolute differences) is separable, so the
// nearest entry of every colour comes from three passes of one dimension each:
// along red, then green, then blue. A one-dimensional pass is a forward and a
// backward sweep in which each cell takes the better of itself and its
// neighbour one step further away.
//
// Each cell holds distance * 256 + palette index. Ordering such keys as plain
// numbers orders by distance first and by index among equal distances, which
// is exactly the rule's preference for the lowest index; adding one step of
// distance keeps that order, so the sweeps carry the tie-break through
// unchanged and the result is exact, not an approximation.

namespace {

constexpr uint32_t kStep = 256;
// Above every real key (at most 765 * 256 + 255), and far enough below 2^32
// that adding a step cannot wrap.
constexpr uint32_t kEmpty = 0x40000000;
constexpr int kSide = 256;
constexpr int kPlane = kSide * kSide;
constexpr int kBlock = 8;

// Both sweeps along one line of 256 consecutive cells.
void SweepLine(uint32_t* cells) {
    for (int i = 1; i < kSide; ++i) cells[i] = std::min(cells[i], cells[i - 1] + kStep);
    for (int i = kSide - 2; i >= 0; --i) cells[i] = std::min(cells[i], cells[i + 1] + kStep);
}

// Both sweeps across the rows of a 256 x 256 plane: each row takes the better
// of itself and its neighbour row one step further away. The inner loop runs
// along a row over independent cells, which compilers turn into vector code;
// a sweep along each row instead would be one long chain of dependent steps.
void SweepAcrossRows(uint32_t* cells) {
    for (int row = 1; row < kSide; ++row) {
        uint32_t* here = cells + ptrdiff_t{row} * kSide;
        const uint32_t* before = here - kSide;
        for (int i = 0; i < kSide; ++i) here[i] = std::min(here[i], before[i] + kStep);
    }
    for (int row = kSide - 2; row >= 0; --row) {
        uint32_t* here = cells + ptrdiff_t{row} * kSide;
        const uint32_t* after = here + kSide;
        for (int i = 0; i < kSide; ++i) here[i] = std::min(here[i], after[i] + kStep);
    }
}

// to[i][j] = from[j][i], in small blocks so that both sides stay in cache.
void Transpose(const uint32_t* from, uint32_t* to) {
    for (int i0 = 0; i0 < kSide; i0 += kBlock) {
        for (int j0 = 0; j0 < kSide; j0 += kBlock) {
            for (int i = i0; i < i0 + kBlock; ++i) {
                for (int j = j0; j < j0 + kBlock; ++j) to[i * kSide + j] = from[j * kSide + i];
            }
        }
    }
}

struct CachedTable {
    SDL_Color colours[kSide];
    uint8_t* table = nullptr;
    bool valid = false;
};

bool SameColours(const SDL_Color* a, const SDL_Color* b) {
    for (int k = 0; k < kSide; ++k) {
        if (a[k].r != b[k].r || a[k].g != b[k].g || a[k].b != b[k].b) return false;
    }
    return true;
}

constexpr uint32_t kColourBits = 0x00FFFFFF;

// memcpy rather than a cast: the bytes are not uint32_t objects, and rows
// need not be aligned.
inline uint32_t ColourAt(const uint8_t* pixel) {
    uint32_t value;
    std::memcpy(&value, pixel, sizeof value);
    return value & kColourBits;
}

// Pixels are taken sixteen at a time, one 64-byte line of the picture: few
// enough that a flat stretch of pixel art usually fills a whole block, many
// enough that the one branch per block costs little per pixel.
constexpr int kBlockPixels = 16;
constexpr int kBlockBytes = 4 * kBlockPixels;

#if defined(__SSE2__)

inline __m128i Load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Differences are gathered over the block and the top bytes cleared once at
// the end, so that a byte nobody reads cannot make two pixels differ.
inline bool NoColourBits(__m128i differences) {
    const __m128i colours = _mm_and_si128(differences, _mm_set1_epi32(kColourBits));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(colours, _mm_setzero_si128())) == 0xFFFF;
}

inline bool SameColours(const uint8_t* a, const uint8_t* b) {
    __m128i differences = _mm_setzero_si128();
    for (int i = 0; i < kBlockBytes; i += 16) {
        differences = _mm_or_si128(differences, _mm_xor_si128(Load(a + i), Load(b + i)));
    }
    return NoColourBits(differences);
}

inline bool AllOneColour(const uint8_t* a, uint32_t colour) {
    const __m128i repeated = _mm_set1_epi32(static_cast<int>(colour));
    __m128i differences = _mm_setzero_si128();
    for (int i = 0; i < kBlockBytes; i += 16) {
        differences = _mm_or_si128(differences, _mm_xor_si128(Load(a + i), repeated));
    }
    return NoColourBits(differences);
}

#else

// Two pixels as one word: each half is one pixel's own 32-bit value whichever
// the byte order, so one mask serves both.
constexpr uint64_t kPairColourBits = uint64_t{kColourBits} << 32 | kColourBits;

inline uint64_t LoadPair(const uint8_t* at) {
    uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline bool SameColours(const uint8_t* a, const uint8_t* b) {
    uint64_t differences = 0;
    for (int i = 0; i < kBlockBytes; i += 8) differences |= LoadPair(a + i) ^ LoadPair(b + i);
    return (differences & kPairColourBits) == 0;
}

inline bool AllOneColour(const uint8_t* a, uint32_t colour) {
    const uint64_t repeated = uint64_t{colour} << 32 | colour;
    uint64_t differences = 0;
    for (int i = 0; i < kBlockBytes; i += 8) differences |= LoadPair(a + i) ^ repeated;
    return (differences & kPairColourBits) == 0;
}

#endif

}  // namespace

// A block equal to the one above, or all of the run's colour, is written
// without touching the table. A block that is neither is looked up pixel by
// pixel without further tests: on a photograph nearly every block is, and
// there branches per pixel would only be mispredicted. The block compares
// only colour bits, so no value can stand for "none yet": the run starts as
// a real colour with its real index.
void MapRowThroughColourTable(const uint8_t* table, const uint8_t* from, const uint8_t* above,
                              int width, uint8_t* to, const uint8_t* toAbove, TableRun& run) {
    int x = 0;
    for (; x + kBlockPixels <= width; x += kBlockPixels) {
        const uint8_t* pixels = from + 4 * ptrdiff_t{x};
        if (above && SameColours(pixels, above + 4 * ptrdiff_t{x})) {
            std::memcpy(to + x, toAbove + x, kBlockPixels);
        } else if (AllOneColour(pixels, run.colour)) {
            std::memset(to + x, run.index, kBlockPixels);
        } else {
            for (int i = 0; i < kBlockPixels; ++i) {
                to[x + i] = table[ColourAt(pixels + 4 * ptrdiff_t{i})];
            }
            run.colour = ColourAt(pixels + 4 * ptrdiff_t{kBlockPixels - 1});
            run.index = to[x + kBlockPixels - 1];
        }
    }
    for (; x < width; ++x) {
        const uint32_t colour = ColourAt(from + 4 * ptrdiff_t{x});
        if (colour != run.colour) {
            run.colour = colour;
            run.index = table[colour];
        }
        to[x] = run.index;
    }
}

namespace {

// The lines of the red pass, shared read-only by the plane builders.
struct RedLines {
    std::unique_ptr<uint32_t[]> cells;  // lineCount lines of 256 cells, by red
    uint16_t place[kSide] = {};         // green << 8 | blue of each line
    int count = 0;
};

// The red pass only has work on the lines (green, blue fixed) that hold an
// entry, at most 256 of them; doing it first keeps the working memory to
// those lines and one plane per thread instead of the whole cube.
bool SweepRedLines(const SDL_Color* palette, RedLines& lines) {
    std::unique_ptr<int16_t[]> lineOf(new (std::nothrow) int16_t[kPlane]);
    lines.cells.reset(new (std::nothrow) uint32_t[size_t{kSide} * kSide]);
    if (!lineOf || !lines.cells) return false;
    std::fill(lineOf.get(), lineOf.get() + kPlane, int16_t{-1});
    for (int k = 0; k < kSide; ++k) {
        const int place = (palette[k].g << 8) | palette[k].b;
        if (lineOf[place] < 0) {
            lineOf[place] = static_cast<int16_t>(lines.count);
            lines.place[lines.count] = static_cast<uint16_t>(place);
            uint32_t* cells = &lines.cells[static_cast<size_t>(lines.count) * kSide];
            std::fill(cells, cells + kSide, kEmpty);
            ++lines.count;
        }
        uint32_t& cell = lines.cells[lineOf[place] * kSide + palette[k].r];
        // Indices come in ascending order, so a colour held twice keeps its
        // first (lowest) index.
        cell = std::min(cell, static_cast<uint32_t>(k));
    }
    for (int line = 0; line < lines.count; ++line) {
        SweepLine(&lines.cells[static_cast<size_t>(line) * kSide]);
    }
    return true;
}

// The planes of red values first..end-1. Each is laid out with blue as the
// row for the blue pass, then turned around for the green pass, which leaves
// it in the table's own order (green rows of blue cells).
bool BuildPlanes(const RedLines& lines, int first, int end, uint8_t* table) {
    std::unique_ptr<uint32_t[]> byBlue(new (std::nothrow) uint32_t[kPlane]);
    std::unique_ptr<uint32_t[]> byGreen(new (std::nothrow) uint32_t[kPlane]);
    if (!byBlue || !byGreen) return false;
    for (int red = first; red < end; ++red) {
        std::fill(byBlue.get(), byBlue.get() + kPlane, kEmpty);
        for (int line = 0; line < lines.count; ++line) {
            const int green = lines.place[line] >> 8, blue = lines.place[line] & 0xFF;
            byBlue[blue * kSide + green] = lines.cells[line * kSide + red];
        }
        SweepAcrossRows(byBlue.get());
        Transpose(byBlue.get(), byGreen.get());
        SweepAcrossRows(byGreen.get());
        uint8_t* out = table + static_cast<size_t>(red) * kPlane;
        for (int i = 0; i < kPlane; ++i) out[i] = static_cast<uint8_t>(byGreen[i]);
    }
    return true;
}

// 16 MiB on 2 MiB boundaries, asking for huge pages: a few large page
// faults instead of four thousand small ones when the table is first filled.
uint8_t* AllocateTable() {
    constexpr size_t kHugePage = size_t{2} << 20;
    void* table = std::aligned_alloc(kHugePage, kColourTableSize);
#ifdef MADV_HUGEPAGE
    if (table) madvise(table, kColourTableSize, MADV_HUGEPAGE);
#endif
    return static_cast<uint8_t*>(table);
}

}  // namespace

bool BuildColourTable(const SDL_Color* palette, uint8_t* table) {
    if (!palette || !table) return false;
    RedLines lines;
    if (!SweepRedLines(palette, lines)) return false;
    // The planes are independent: half of them on a second thread when one
    // can be had, all on this one otherwise.
    bool secondBuilt = false;
    std::thread second;
    try {
        second = std::thread([&] { secondBuilt = BuildPlanes(lines, kSide / 2, kSide, table); });
    } catch (const std::system_error&) {
    }
    const bool firstBuilt = BuildPlanes(lines, 0, second.joinable() ? kSide / 2 : kSide, table);
    if (!second.joinable()) return firstBuilt;
    second.join();
    return firstBuilt && secondBuilt;
}

const uint8_t* ColourTableFor(const SDL_Color* palette) {
    // One table for the process: the editor matches against its one reference
    // palette for the whole run, so a single slot is all it ever needs.
    static CachedTable cached;
    if (!palette) return nullptr;
    if (cached.valid && SameColours(cached.colours, palette)) return cached.table;
    cached.valid = false;
    if (!cached.table) {
        cached.table = AllocateTable();
        if (!cached.table) return nullptr;
    }
    if (!BuildColourTable(palette, cached.table)) return nullptr;
    std::memcpy(cached.colours, palette, sizeof cached.colours);
    cached.valid = true;
    return cached.table;
}

void MapThroughColourTable(const uint8_t* table, const uint8_t* from, ptrdiff_t fromPitch,
                           int width, int height, uint8_t* to, ptrdiff_t toPitch) {
    if (!table || !from || !to || width <= 0) return;
    TableRun run{0, table[0]};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = from + y * fromPitch;
        uint8_t* out = to + y * toPitch;
        MapRowThroughColourTable(table, row, y > 0 ? row - fromPitch : nullptr, width, out,
                                 y > 0 ? out - toPitch : nullptr, run);
    }
}
