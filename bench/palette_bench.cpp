// Picture conversion to a 256-colour palette: the matching rule evaluated for
// every pixel, against the lookup table (the whole conversion, and its pixel
// loop alone), on pictures of the sizes and kinds the editor imports.
// Building the table is measured on its own, since it is paid once per
// palette and not per picture.
//
// After the runs a summary prints the ratios between them.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "colour_match.h"
#include "colour_table.h"

namespace {

// A general-purpose palette like the sample one: 16 greys, a 6x7x6 colour
// cube, and four extra warm tones.
std::vector<SDL_Color> GeneralPalette() {
    std::vector<SDL_Color> palette;
    for (int i = 0; i < 16; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * 17);
        palette.push_back({v, v, v, 0});
    }
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 7; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 85 / 2),
                                   static_cast<uint8_t>(b * 51), 0});
            }
        }
    }
    for (uint8_t v : {96, 160, 208, 240}) {
        palette.push_back({v, static_cast<uint8_t>(v * 3 / 4), static_cast<uint8_t>(v / 2), 0});
    }
    return palette;
}

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352D;
    x ^= x >> 15;
    x *= 0x846CA68B;
    x ^= x >> 16;
    return x;
}

uint8_t Clamp(double v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

SDL_Surface* MakeSurface(int w, int h) {
    return SDL_CreateRGBSurface(0, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0);
}

void Put(SDL_Surface* s, int x, int y, uint32_t value) {
    std::memcpy(static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch + 4 * x,
                &value, 4);
}

// Smooth gradients and soft shapes with a little grain, scaled to the size:
// nearly every pixel a colour of its own, as in a photograph.
SDL_Surface* PhotoLike(int w, int h) {
    SDL_Surface* s = MakeSurface(w, h);
    if (!s) return nullptr;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
            double r = 255 * u, g = 255 * v, b = 128 + 120 * std::sin(6.0 * u + 4.0 * v);
            const double dx = u - 0.6, dy = v - 0.4;
            const double disc = std::exp(-(dx * dx + dy * dy) * 18.0);
            r = r * (1 - disc) + 250 * disc;
            g = g * (1 - disc) + 200 * disc;
            b = b * (1 - disc) + 60 * disc;
            const uint32_t grain = Hash(static_cast<uint32_t>(y) * 65537u + x);
            r += static_cast<int>(grain & 15) - 8;
            g += static_cast<int>((grain >> 4) & 15) - 8;
            b += static_cast<int>((grain >> 8) & 15) - 8;
            Put(s, x, y,
                0xFF000000u | uint32_t{Clamp(r)} << 16 | uint32_t{Clamp(g)} << 8 | Clamp(b));
        }
    }
    return s;
}

// Blocks, outlines and stripes in 24 flat colours.
SDL_Surface* PixelArt(int w, int h) {
    SDL_Surface* s = MakeSurface(w, h);
    if (!s) return nullptr;
    uint32_t colours[24];
    for (int i = 0; i < 24; ++i) colours[i] = Hash(1000 + i) & 0xFFFFFF;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int tile = (x / 16 + (y / 16) * 7) % 20;
            int index = tile;
            if (x % 16 == 0 || y % 16 == 0) index = 20;                     // outline
            if ((x / 16 + y / 16) % 5 == 0 && (x + y) % 8 < 2) index = 21;  // stripes
            if (y > h - 40) index = 22 + (x / 8) % 2;                       // ground
            Put(s, x, y, colours[index]);
        }
    }
    return s;
}

uint32_t PixelAt(const SDL_Surface* s, int x, int y) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(s->pixels) + y * s->pitch + 4 * x, 4);
    return value;
}

size_t DistinctColours(const SDL_Surface* s) {
    std::unordered_set<uint32_t> seen;
    for (int y = 0; y < s->h; ++y) {
        for (int x = 0; x < s->w; ++x) seen.insert(PixelAt(s, x, y) & 0xFFFFFF);
    }
    return seen.size();
}

SDL_Surface* Copy(const SDL_Surface* from) {
    SDL_Surface* s = MakeSurface(from->w, from->h);
    if (s) std::memcpy(s->pixels, from->pixels, static_cast<size_t>(from->pitch) * from->h);
    return s;
}

// The conversion exactly as the rule states it: every pixel matched against
// all 256 entries.
SDL_Surface* ConvertByRule(SDL_Surface* from, const SDL_Color* palette) {
    SDL_Surface* made = SDL_CreateRGBSurface(0, from->w, from->h, 8, 0, 0, 0, 0);
    if (!made) return nullptr;
    SDL_SetColors(made, const_cast<SDL_Color*>(palette), 0, 256);
    const int count = from->w * from->h;
    for (int i = 0; i < count; ++i) {
        const int x = i % from->w, y = i / from->w;
        const uint32_t p = PixelAt(from, x, y);
        static_cast<uint8_t*>(made->pixels)[y * made->pitch + x] =
            NearestReferenceColour(p >> 16, p >> 8, p, palette);
    }
    SDL_FreeSurface(from);
    return made;
}

// The rule in its integer form: the smallest sum of differences, compared as
// whole numbers (the float form divides each sum by three first). The same
// indices; the fairer baseline for a method's speed.
SDL_Surface* ConvertByIntegerRule(SDL_Surface* from, const SDL_Color* palette) {
    SDL_Surface* made = SDL_CreateRGBSurface(0, from->w, from->h, 8, 0, 0, 0, 0);
    if (!made) return nullptr;
    SDL_SetColors(made, const_cast<SDL_Color*>(palette), 0, 256);
    for (int y = 0; y < from->h; ++y) {
        for (int x = 0; x < from->w; ++x) {
            const uint32_t p = PixelAt(from, x, y);
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            int best = 1 << 30, chosen = 0;
            for (int k = 0; k < 256; ++k) {
                const int sum = std::abs(r - palette[k].r) + std::abs(g - palette[k].g) +
                                std::abs(b - palette[k].b);
                if (sum < best) best = sum, chosen = k;
            }
            static_cast<uint8_t*>(made->pixels)[y * made->pitch + x] = static_cast<uint8_t>(chosen);
        }
    }
    SDL_FreeSurface(from);
    return made;
}

struct Picture {
    const char* name;
    SDL_Surface* surface;
};

const std::vector<SDL_Color>& Palette() {
    static const std::vector<SDL_Color> palette = GeneralPalette();
    return palette;
}

SDL_Surface* GetPicture(const std::string& name) {
    static std::map<std::string, SDL_Surface*> made;
    auto it = made.find(name);
    if (it != made.end()) return it->second;
    // "photoNNN": a square photo of about NNN pixels, for the crossover.
    const int side = name.compare(0, 5, "photo") == 0 && name.find('x') == std::string::npos
                         ? static_cast<int>(std::sqrt(std::stod(name.substr(5))))
                         : 0;
    SDL_Surface* s = side                        ? PhotoLike(side, side)
                     : name == "photo304x354"    ? PhotoLike(304, 354)
                     : name == "pixelart304x354" ? PixelArt(304, 354)
                                                 : PhotoLike(4096, 4096);
    made[name] = s;
    return s;
}

void SetCounters(benchmark::State& state, const SDL_Surface* s) {
    state.SetItemsProcessed(state.iterations() * s->w * s->h);
    state.counters["colours"] = static_cast<double>(DistinctColours(s));
}

void BM_Rule(benchmark::State& state, const std::string& name, bool integer) {
    SDL_Surface* source = GetPicture(name);
    for (auto _ : state) {
        state.PauseTiming();
        SDL_Surface* s = Copy(source);
        state.ResumeTiming();
        s = integer ? ConvertByIntegerRule(s, Palette().data())
                    : ConvertByRule(s, Palette().data());
        benchmark::DoNotOptimize(s->pixels);
        state.PauseTiming();
        SDL_FreeSurface(s);
        state.ResumeTiming();
    }
    SetCounters(state, source);
}

// The whole conversion as the editor calls it: making the 8-bit surface and
// its palette, the pixel loop, and freeing the source picture all count. The
// fresh copy of the source is made untimed; one pause per picture rather than
// two keeps the timer's own cost (about a microsecond where reading the CPU
// clock is a system call) small beside the pixel art's tens. The table is kept
// for the palette, so it is built before timing: this measures the per-picture
// cost alone. The colour cells are built afresh for each picture, as a
// process that converts one picture builds them.
void BM_Convert(benchmark::State& state, const std::string& name, ColourMatcher matcher) {
    SDL_Surface* source = GetPicture(name);
    if (matcher == ColourMatcher::kTable && !ColourTableFor(Palette().data())) {
        state.SkipWithError("no memory for the table");
        return;
    }
    SDL_Surface* s = Copy(source);
    for (auto _ : state) {
        ConvertTrueColourToReference(&s, Palette().data(), matcher);
        benchmark::DoNotOptimize(s->pixels);
        state.PauseTiming();
        SDL_FreeSurface(s);
        s = Copy(source);
        state.ResumeTiming();
    }
    SDL_FreeSurface(s);
    SetCounters(state, source);
}

// The pixel loop alone, into an 8-bit surface made beforehand and from the
// same unchanging source each time: the like-for-like partner of the byte
// copy below, which allocates nothing either.
void BM_Mapping(benchmark::State& state, const std::string& name) {
    SDL_Surface* source = GetPicture(name);
    const uint8_t* table = ColourTableFor(Palette().data());
    SDL_Surface* made = SDL_CreateRGBSurface(0, source->w, source->h, 8, 0, 0, 0, 0);
    if (!table || !made) {
        SDL_FreeSurface(made);
        state.SkipWithError("no memory");
        return;
    }
    for (auto _ : state) {
        MapThroughColourTable(table, static_cast<const uint8_t*>(source->pixels), source->pitch,
                              source->w, source->h, static_cast<uint8_t*>(made->pixels),
                              made->pitch);
        benchmark::DoNotOptimize(made->pixels);
        benchmark::ClobberMemory();
    }
    SetCounters(state, source);
    SDL_FreeSurface(made);
}

// What one process that converts one picture through the table pays: the
// table built, then the picture mapped.
void BM_TableFirst(benchmark::State& state, const std::string& name) {
    SDL_Surface* source = GetPicture(name);
    std::unique_ptr<uint8_t[]> table(new uint8_t[kColourTableSize]);
    SDL_Surface* made = SDL_CreateRGBSurface(0, source->w, source->h, 8, 0, 0, 0, 0);
    for (auto _ : state) {
        BuildColourTable(Palette().data(), table.get());
        MapThroughColourTable(table.get(), static_cast<const uint8_t*>(source->pixels),
                              source->pitch, source->w, source->h,
                              static_cast<uint8_t*>(made->pixels), made->pitch);
        benchmark::DoNotOptimize(made->pixels);
    }
    SDL_FreeSurface(made);
}

void BM_TableSetUp(benchmark::State& state) {
    std::unique_ptr<uint8_t[]> table(new uint8_t[kColourTableSize]);
    for (auto _ : state) {
        BuildColourTable(Palette().data(), table.get());
        benchmark::DoNotOptimize(table[0]);
    }
}

// The floor for touching the picture once: its 32-bit pixels copied into a
// buffer made beforehand.
void BM_ByteCopy(benchmark::State& state, const std::string& name) {
    SDL_Surface* source = GetPicture(name);
    const size_t bytes = static_cast<size_t>(source->pitch) * source->h;
    std::vector<uint8_t> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), source->pixels, bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// Keeps each run's time per iteration, for the ratios printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    // No colour codes: the output is mostly read from logs.
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // The median of the repetitions, in wall time: the table is built
            // on two threads, and CPU time would count only one of them.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                seconds[run.run_name.str()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

void PrintRatio(const std::map<std::string, double>& seconds, const char* what,
                const std::string& slow, const std::string& fast) {
    auto a = seconds.find(slow), b = seconds.find(fast);
    if (a == seconds.end() || b == seconds.end() || b->second <= 0) return;
    std::printf("  %-42s %9.3f ms / %8.3f ms = %7.1fx\n", what, a->second * 1e3, b->second * 1e3,
                a->second / b->second);
}

std::string Key(const char* kind, const std::string& picture) {
    return std::string(kind) + "/" + picture + "/real_time";
}

}  // namespace

int main(int argc, char** argv) {
    const char* pictures[] = {"photo304x354", "pixelart304x354", "photo4096x4096"};
    for (const std::string n : pictures) {
        if (!GetPicture(n)) {
            std::fprintf(stderr, "cannot make picture %s\n", n.c_str());
            return 1;
        }
        // The rule on the large picture takes seconds: once is enough.
        for (const bool integer : {false, true}) {
            auto* rule = benchmark::RegisterBenchmark(
                ((integer ? "RuleInt/" : "Rule/") + n).c_str(), BM_Rule, n, integer);
            rule->Unit(benchmark::kMillisecond)->UseRealTime();
            if (n == "photo4096x4096") rule->Iterations(1);
        }
        for (const auto& [kind, matcher] :
             {std::pair{"Table", ColourMatcher::kTable}, {"Cells", ColourMatcher::kCells}}) {
            benchmark::RegisterBenchmark((std::string(kind) + "/" + n).c_str(), BM_Convert, n,
                                         matcher)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
        benchmark::RegisterBenchmark(("Mapping/" + n).c_str(), BM_Mapping, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    // Where a one-picture process is better off with the table than with
    // cells: pictures of 2^16 to 2^22 pixels, each way.
    for (int bits = 16; bits <= 22; ++bits) {
        const std::string n = "photo" + std::to_string(1 << bits);
        benchmark::RegisterBenchmark(("Cells/" + n).c_str(), BM_Convert, n, ColourMatcher::kCells)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("TableFirst/" + n).c_str(), BM_TableFirst, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("TableSetUp", BM_TableSetUp)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ByteCopy/pixelart304x354", BM_ByteCopy,
                                 std::string("pixelart304x354"))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

    // The cases run interleaved, in random order and repeated, so that a
    // neighbour's burst of work spreads over all of them alike.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char repetitions[] = "--benchmark_repetitions=3";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {interleave, repetitions, aggregates});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto& s = reporter.seconds;
    std::printf(
        "\nRatios (median wall time per picture; the rule as stated, with floats, and as "
        "integers):\n");
    for (const std::string n : pictures) {
        const std::string once = n == "photo4096x4096" ? "/iterations:1" : "";
        for (const char* method : {"Table", "Cells"}) {
            for (const char* rule : {"Rule", "RuleInt"}) {
                PrintRatio(s, (n + ": " + rule + " / " + method).c_str(),
                           std::string(rule) + "/" + n + once + "/real_time", Key(method, n));
            }
        }
    }
    PrintRatio(s, "pixel art 304x354: table / byte copy", Key("Table", "pixelart304x354"),
               Key("ByteCopy", "pixelart304x354"));
    PrintRatio(s, "pixel art 304x354: mapping / byte copy", Key("Mapping", "pixelart304x354"),
               Key("ByteCopy", "pixelart304x354"));
    std::printf("\nCells against table set-up and mapping, one picture per process:\n");
    for (int bits = 16; bits <= 22; ++bits) {
        const std::string n = "photo" + std::to_string(1 << bits);
        PrintRatio(s, (n + ": cells / (set-up + table)").c_str(), Key("Cells", n),
                   Key("TableFirst", n));
    }
    benchmark::Shutdown();
    return 0;
}
