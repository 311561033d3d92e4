#include "colour_table.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "huge_pages.h"

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

// The plane sweeps are minimums of 32-bit numbers, which x86-64's baseline
// (SSE2) has no instruction for: where the compiler can, it builds them a
// second time for AVX2, chosen at run time on processors that have it (not
// under the thread sanitizer, whose runtime is not there yet when the choice
// is made, as the program is loaded).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VDE_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VDE_WIDE_VECTORS
#endif

namespace {

constexpr uint32_t kStep = 256;
// Above every real key (at most 765 * 256 + 255), and far enough below 2^32
// that adding a step cannot wrap.
constexpr uint32_t kEmpty = 0x40000000;
constexpr int kSide = 256;
constexpr int kPlane = kSide * kSide;
[[maybe_unused]] constexpr int kBlock = 8;  // the transpose without SSE2

// Both sweeps along one line of 256 consecutive cells.
void SweepLine(uint32_t* cells) {
    for (int i = 1; i < kSide; ++i) cells[i] = std::min(cells[i], cells[i - 1] + kStep);
    for (int i = kSide - 2; i >= 0; --i) cells[i] = std::min(cells[i], cells[i + 1] + kStep);
}

// Both sweeps across the rows of a 256 x 256 plane: each row takes the better
// of itself and its neighbour row one step further away. The inner loop runs
// along a row over independent cells, which compilers turn into vector code;
// a sweep along each row instead would be one long chain of dependent steps.
VDE_WIDE_VECTORS void SweepAcrossRows(uint32_t* cells) {
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
// In place, so that a thread's whole plane stays in its core's cache: each
// pair of 4x4 blocks across the diagonal swapped and turned, each block on it
// turned.
#if defined(__SSE2__)
inline void Turn4x4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(ab0, cd0);
    b = _mm_unpackhi_epi64(ab0, cd0);
    c = _mm_unpacklo_epi64(ab1, cd1);
    d = _mm_unpackhi_epi64(ab1, cd1);
}

void Transpose(uint32_t* cells) {
    constexpr int kTurn = 4;
    auto row = [cells](int i, int j) {
        return reinterpret_cast<__m128i*>(cells + ptrdiff_t{i} * kSide + j);
    };
    for (int i = 0; i < kSide; i += kTurn) {
        for (int j = i; j < kSide; j += kTurn) {
            __m128i a[kTurn], b[kTurn];
            for (int k = 0; k < kTurn; ++k) {
                a[k] = _mm_loadu_si128(row(i + k, j));
                b[k] = _mm_loadu_si128(row(j + k, i));
            }
            Turn4x4(a[0], a[1], a[2], a[3]);
            Turn4x4(b[0], b[1], b[2], b[3]);
            for (int k = 0; k < kTurn; ++k) {
                _mm_storeu_si128(row(j + k, i), a[k]);
                _mm_storeu_si128(row(i + k, j), b[k]);
            }
        }
    }
}
#else
void Transpose(uint32_t* cells) {
    for (int i0 = 0; i0 < kSide; i0 += kBlock) {
        for (int j0 = i0; j0 < kSide; j0 += kBlock) {
            for (int i = i0; i < i0 + kBlock; ++i) {
                for (int j = i0 == j0 ? i + 1 : j0; j < j0 + kBlock; ++j) {
                    std::swap(cells[i * kSide + j], cells[j * kSide + i]);
                }
            }
        }
    }
}
#endif

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

// The working memory of one build, in one allocation: a plane for each of
// two threads, the lines of the red pass, and the line of each (green, blue)
// place.
struct Workspace {
    static constexpr size_t kPlaneBytes = sizeof(uint32_t) * kPlane;
    static constexpr size_t kBytes = 3 * kPlaneBytes + sizeof(int16_t) * kPlane;
    std::unique_ptr<uint8_t, HugeDeleter> memory{static_cast<uint8_t*>(AllocateHuge(kBytes)),
                                                 HugeDeleter{kBytes}};

    uint32_t* Plane(int n) const {
        return reinterpret_cast<uint32_t*>(memory.get() + n * kPlaneBytes);
    }
    uint32_t* Lines() const { return Plane(2); }
    int16_t* LineOf() const { return reinterpret_cast<int16_t*>(memory.get() + 3 * kPlaneBytes); }
};

// The lines of the red pass, shared read-only by the plane builders.
struct RedLines {
    uint32_t* cells = nullptr;   // count lines of 256 cells, by red
    uint16_t place[kSide] = {};  // green << 8 | blue of each line
    int count = 0;
};

// The red pass only has work on the lines (green, blue fixed) that hold an
// entry, at most 256 of them; doing it first keeps the working memory to
// those lines and one plane per thread instead of the whole cube.
void SweepRedLines(const SDL_Color* palette, const Workspace& work, RedLines& lines) {
    int16_t* lineOf = work.LineOf();
    lines.cells = work.Lines();
    std::fill(lineOf, lineOf + kPlane, int16_t{-1});
    for (int k = 0; k < kSide; ++k) {
        const int place = (palette[k].g << 8) | palette[k].b;
        if (lineOf[place] < 0) {
            lineOf[place] = static_cast<int16_t>(lines.count);
            lines.place[lines.count] = static_cast<uint16_t>(place);
            uint32_t* cells = lines.cells + static_cast<size_t>(lines.count) * kSide;
            std::fill(cells, cells + kSide, kEmpty);
            ++lines.count;
        }
        uint32_t& cell = lines.cells[lineOf[place] * kSide + palette[k].r];
        // Indices come in ascending order, so a colour held twice keeps its
        // first (lowest) index.
        cell = std::min(cell, static_cast<uint32_t>(k));
    }
    for (int line = 0; line < lines.count; ++line) {
        SweepLine(lines.cells + static_cast<size_t>(line) * kSide);
    }
}

// The planes of red values first..end-1, in the plane given. Each is laid
// out with blue as the row for the blue pass, then turned around for the
// green pass, which leaves it in the table's own order (green rows of blue
// cells).
void BuildPlanes(const RedLines& lines, int first, int end, uint32_t* plane, uint8_t* table) {
    for (int red = first; red < end; ++red) {
        std::fill(plane, plane + kPlane, kEmpty);
        for (int line = 0; line < lines.count; ++line) {
            const int green = lines.place[line] >> 8, blue = lines.place[line] & 0xFF;
            plane[blue * kSide + green] = lines.cells[line * kSide + red];
        }
        SweepAcrossRows(plane);
        Transpose(plane);
        SweepAcrossRows(plane);
        uint8_t* out = table + static_cast<size_t>(red) * kPlane;
        for (int i = 0; i < kPlane; ++i) out[i] = static_cast<uint8_t>(plane[i]);
    }
}

}  // namespace

bool BuildColourTable(const SDL_Color* palette, uint8_t* table) {
    if (!palette || !table) return false;
    const Workspace work;
    if (!work.memory) return false;
    RedLines lines;
    SweepRedLines(palette, work, lines);
    // The planes are independent: half of them on a second thread when one
    // can be had, all on this one otherwise.
    std::thread second;
    try {
        second = std::thread([&] { BuildPlanes(lines, kSide / 2, kSide, work.Plane(1), table); });
    } catch (const std::system_error&) {
    }
    BuildPlanes(lines, 0, second.joinable() ? kSide / 2 : kSide, work.Plane(0), table);
    if (second.joinable()) second.join();
    return true;
}

const uint8_t* ColourTableFor(const SDL_Color* palette) {
    // One table for the process: the editor matches against its one reference
    // palette for the whole run, so a single slot is all it ever needs.
    static CachedTable cached;
    if (!palette) return nullptr;
    if (cached.valid && SameColours(cached.colours, palette)) return cached.table;
    cached.valid = false;
    if (!cached.table) {
        cached.table = static_cast<uint8_t*>(AllocateHuge(kColourTableSize));
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
