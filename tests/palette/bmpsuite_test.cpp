// The public BMP corpus through the import path the editor takes. Skipped
// where the corpus is not beside the project.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "colour_match.h"
#include "sdl_fixture.h"
#include "test_palettes.h"

namespace {

namespace fs = std::filesystem;

bool HaveCorpus() {
    return fs::is_directory(VDE_BMPSUITE_DIR);
}

std::string CorpusFile(const std::string& name) {
    return std::string(VDE_BMPSUITE_DIR) + "/" + name;
}

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> names;
    for (const char* folder : {"g", "q", "b", "x"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(CorpusFile(folder), error)) {
            if (entry.path().extension() == ".bmp") {
                names.push_back(std::string(folder) + "/" + entry.path().filename().string());
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The picture as colours 0x00RRGGBB, row by row; empty when refused.
std::vector<uint32_t> DecodedColours(const std::string& name, int* width = nullptr) {
    std::vector<uint32_t> colours;
    SDL_Surface* s = LoadBmpSafely(CorpusFile(name).c_str());
    if (!s) return colours;
    if (width) *width = s->w;
    const int bytes = s->format->BytesPerPixel;
    for (int y = 0; y < s->h; ++y) {
        for (int x = 0; x < s->w; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * bytes, bytes);
            uint8_t r, g, b;
            SDL_GetRGB(pixel, s->format, &r, &g, &b);
            colours.push_back(uint32_t{r} << 16 | uint32_t{g} << 8 | b);
        }
    }
    SDL_FreeSurface(s);
    return colours;
}

}  // namespace

// Every corpus file survives the import by depth and comes out matched by the rule.
TEST(BmpSuite, ImportByDepthIsSafeAndExact) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus at " << VDE_BMPSUITE_DIR;
    ASSERT_NE(TestScreen(), nullptr);
    const TestPalette reference = TiesPalette(31);
    const std::vector<std::string> names = CorpusFiles();
    ASSERT_GT(names.size(), 50u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::vector<uint32_t> colours = DecodedColours(name);
        SDL_Surface* surface = LoadBmpSafely(CorpusFile(name).c_str());
        if (!surface) {
            EXPECT_TRUE(colours.empty());
            continue;
        }
        const int depth = surface->format->BitsPerPixel;
        if (depth == 8) {
            if (!IsReferencePalette(surface, reference.data())) {
                ConvertPaletteToReference(surface, reference.data());
                SDL_SetColors(surface, const_cast<SDL_Color*>(reference.data()), 0, 256);
            }
        } else if (depth == 24) {
            SDL_Surface* shown = SDL_DisplayFormat(surface);
            SDL_FreeSurface(surface);
            surface = shown;
            ASSERT_NE(surface, nullptr) << SDL_GetError();
            ASSERT_TRUE(ConvertTrueColourToReference(&surface, reference.data()));
        } else {
            SDL_FreeSurface(surface);
            continue;
        }
        ASSERT_EQ(colours.size(), static_cast<size_t>(surface->w) * surface->h);
        int wrong = 0;
        for (int y = 0; y < surface->h; ++y) {
            for (int x = 0; x < surface->w; ++x) {
                const uint32_t c = colours[static_cast<size_t>(y) * surface->w + x];
                const uint8_t want = NearestReferenceColour(c >> 16, c >> 8, c, reference.data());
                if (IndexAt(surface, x, y) != want && ++wrong <= 3) {
                    ADD_FAILURE() << "(" << x << ", " << y << ") has "
                                  << int{IndexAt(surface, x, y)} << ", want " << int{want};
                }
            }
        }
        SDL_FreeSurface(surface);
    }
}

// Files storing one picture in different layouts (long headers included) decode alike.
TEST(BmpSuite, SamePictureSameColours) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus at " << VDE_BMPSUITE_DIR;
    const std::vector<std::vector<std::string>> groups = {
        {"g/pal8.bmp", "g/pal8-0.bmp", "g/pal8os2.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp",
         "g/pal8v5.bmp", "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp",
         "q/pal8os2sp.bmp", "q/pal8os2v2.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2-40sz.bmp"},
        {"g/rgb24.bmp", "g/rgb24pal.bmp", "g/rgb32.bmp", "g/rgb32bf.bmp", "g/rgb32bfdef.bmp",
         "q/rgb24largepal.bmp", "q/rgb24lprof.bmp", "q/rgb32-xbgr.bmp", "q/rgb32fakealpha.bmp",
         "q/rgb32h52.bmp"},
        {"g/rgb16.bmp", "g/rgb16bfdef.bmp", "q/rgb16faketrns.bmp", "q/rgba16-5551.bmp"},
        {"g/rgb16-565.bmp", "g/rgb16-565pal.bmp"},
        {"g/pal1.bmp", "g/pal1wb.bmp", "b/badheadersize.bmp", "b/badplanes.bmp", "b/baddens1.bmp",
         "b/badfilesize.bmp"},
    };
    for (const auto& group : groups) {
        int width = 0;
        const std::vector<uint32_t> first = DecodedColours(group[0], &width);
        ASSERT_FALSE(first.empty()) << group[0];
        EXPECT_EQ(width, 127) << group[0];
        for (size_t i = 1; i < group.size(); ++i) {
            const std::vector<uint32_t> other = DecodedColours(group[i]);
            ASSERT_EQ(other.size(), first.size()) << group[i] << " against " << group[0];
            const auto differ = std::mismatch(first.begin(), first.end(), other.begin());
            EXPECT_TRUE(differ.first == first.end())
                << group[i] << " differs from " << group[0] << " at pixel "
                << (differ.first - first.begin());
        }
    }
}

// Good corpus files load, apart from RLE; the README's unusable ones are refused.
TEST(BmpSuite, GoodFilesLoadAndUnusableOnesAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus at " << VDE_BMPSUITE_DIR;
    const std::set<std::string> compressed = {"g/pal4rle.bmp", "g/pal8rle.bmp"};
    for (const std::string& name : CorpusFiles()) {
        if (name.rfind("g/", 0) != 0 || compressed.count(name)) continue;
        SDL_Surface* surface = LoadBmpSafely(CorpusFile(name).c_str());
        EXPECT_NE(surface, nullptr) << name;
        SDL_FreeSurface(surface);
    }
    for (const char* name :
         {"q/rgb16-3103.bmp", "q/rgb32-111110.bmp", "q/rgba32-1010102.bmp", "q/rgba16-1924.bmp",
          "q/rgb32-7187.bmp", "q/rgba32-61754.bmp", "q/rgba32-81284.bmp", "q/rgba64.bmp"}) {
        ASSERT_TRUE(fs::exists(CorpusFile(name))) << name;
        SDL_Surface* raw = SDL_LoadBMP(CorpusFile(name).c_str());
        EXPECT_NE(raw, nullptr) << name << ": SDL refuses it by itself now";
        SDL_FreeSurface(raw);
        SDL_Surface* surface = LoadBmpSafely(CorpusFile(name).c_str());
        EXPECT_EQ(surface, nullptr) << name;
        SDL_FreeSurface(surface);
    }
}
