#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bmp_writer.h"
#include "sdl_fixture.h"
#include "colour_cells.h"
#include "colour_match.h"
#include "picture_file.h"
#include "png_writer.h"
#include "temp_dir.h"
#include "test_palette.h"
#include "test_palettes.h"

namespace {

class PictureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeTestPalette(palette);
        // A duplicate entry: a picture already in the palette keeps the
        // index it uses, where matching its colour would give the first.
        palette[200] = palette[5];
    }

    // Reads `name`, or fails the test with the reason.
    SDL_Surface* Read(const std::string& name) {
        Problem problem;
        SDL_Surface* surface = ReadPictureFile(dir.File(name).c_str(), &problem);
        EXPECT_NE(surface, nullptr) << name << ": " << problem.reason;
        return surface;
    }
    // The reason `bytes` as a file are refused, or "" when they are read.
    std::string Refusal(const std::vector<uint8_t>& bytes) {
        EXPECT_TRUE(WriteFileBytes(dir.File("refused"), bytes));
        Problem problem;
        SDL_Surface* surface = ReadPictureFile(dir.File("refused").c_str(), &problem);
        if (!surface) return problem.reason;
        SDL_FreeSurface(surface);
        return "";
    }

    TempDir dir;
    SDL_Color palette[256];
};

uint32_t PixelValue(const SDL_Surface* s, int x, int y) {
    const uint8_t* at =
        static_cast<const uint8_t*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    uint32_t value = 0;
    std::memcpy(&value, at, s->format->BytesPerPixel);
    return value;
}

// Pseudo-random channel values of a picture, as PngLayout and BmpLayout
// take them.
std::vector<uint16_t> Samples(size_t count, int bitDepth, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint16_t> samples(count);
    for (uint16_t& s : samples) s = static_cast<uint16_t>(random() & ((1u << bitDepth) - 1));
    return samples;
}

// Matching through cells gives the rule's index for colours on both sides
// of every cell border and at random, on palettes where ties and duplicate
// entries make the lowest index matter.
TEST(ColourCellsTest, MatchesTheRuleOnCellBordersAndAtRandom) {
    std::vector<uint8_t> values;
    for (int v = 0; v < 256; ++v) {
        if (v % 16 == 0 || v % 16 == 15 || v % 16 == 7) values.push_back(static_cast<uint8_t>(v));
    }
    std::mt19937 random(5);
    for (const NamedPalette& named : SweepPalettes()) {
        ColourCells cells;
        InitColourCells(cells, named.colours.data());
        int mismatches = 0;
        for (uint8_t r : values) {
            for (uint8_t g : values) {
                for (uint8_t b : values) {
                    mismatches += MatchThroughCells(cells, r, g, b) !=
                                  NearestReferenceColour(r, g, b, named.colours.data());
                }
            }
        }
        for (int i = 0; i < 20000; ++i) {
            const uint32_t c = random();
            const uint8_t r = c >> 16, g = c >> 8, b = c;
            mismatches += MatchThroughCells(cells, r, g, b) !=
                          NearestReferenceColour(r, g, b, named.colours.data());
        }
        EXPECT_EQ(mismatches, 0) << named.name;
    }
}

// A PNG of any colour type and depth reads as the colours it holds: grey
// scaled to 8 bits, 16-bit channels by their high byte, alpha dropped, a
// palette picture with its own colours and black beyond them, and an
// interlaced file exactly as the same picture not interlaced.
TEST_F(PictureFileTest, PngReadsAsTheColoursItHolds) {
    const struct {
        int colourType, bitDepth;
    } kinds[] = {{0, 1}, {0, 2},  {0, 4}, {0, 8},  {0, 16}, {4, 8}, {4, 16},
                 {2, 8}, {2, 16}, {6, 8}, {6, 16}, {3, 1},  {3, 4}, {3, 8}};
    for (const auto& kind : kinds) {
        for (const bool interlaced : {false, true}) {
            PngLayout layout;
            layout.width = 13;
            layout.height = 9;
            layout.colourType = kind.colourType;
            layout.bitDepth = kind.bitDepth;
            layout.interlaced = interlaced;
            const int channels = kind.colourType == 2   ? 3
                                 : kind.colourType == 6 ? 4
                                 : kind.colourType == 4 ? 2
                                                        : 1;
            layout.samples = Samples(size_t{13} * 9 * channels, kind.bitDepth, kind.bitDepth);
            if (kind.colourType == 3) {
                // Fewer entries than the depth allows, and an index past them.
                for (int i = 0; i < (1 << kind.bitDepth) - 1; ++i)
                    layout.palette.push_back((0x102030u * (i + 1)) & 0xFFFFFF);
                layout.samples[0] = static_cast<uint16_t>((1 << kind.bitDepth) - 1);
            }
            const std::string name = "k" + std::to_string(kind.colourType) + "_" +
                                     std::to_string(kind.bitDepth) +
                                     (interlaced ? "i.png" : ".png");
            ASSERT_TRUE(WritePng(dir.File(name), layout));
            SDL_Surface* read = Read(name);
            ASSERT_NE(read, nullptr);
            ASSERT_EQ(read->w, 13);
            ASSERT_EQ(read->h, 9);
            for (int y = 0; y < 9; ++y) {
                for (int x = 0; x < 13; ++x) {
                    const uint16_t* s = &layout.samples[(size_t(y) * 13 + x) * channels];
                    const uint32_t value = PixelValue(read, x, y);
                    if (kind.colourType == 3) {
                        ASSERT_EQ(read->format->BitsPerPixel, 8);
                        ASSERT_EQ(value, s[0]);
                        const SDL_Color c = read->format->palette->colors[s[0]];
                        const uint32_t want =
                            s[0] < layout.palette.size() ? layout.palette[s[0]] : 0;
                        EXPECT_EQ(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b, want);
                        EXPECT_EQ(c.unused, 0);
                        continue;
                    }
                    auto eight = [&](uint16_t v) -> uint32_t {
                        return kind.bitDepth == 16 ? v >> 8
                                                   : v * 255u / ((1u << kind.bitDepth) - 1);
                    };
                    const bool colour = kind.colourType & 2;
                    const uint32_t want = colour
                                              ? eight(s[0]) << 16 | eight(s[1]) << 8 | eight(s[2])
                                              : eight(s[0]) * 0x010101u;
                    ASSERT_EQ(read->format->BitsPerPixel, 32);
                    ASSERT_EQ(PixelAt(read, x, y) & 0xFFFFFF, want)
                        << name << " " << x << "," << y;
                }
            }
            SDL_FreeSurface(read);
        }
    }
}

// ConvertToPalette puts every pixel on the entry the rule gives its colour
// (for 8-bit pictures: the colour of its palette entry, unless the palette
// is already the reference one), for every depth SDL's BMP reader gives and
// for true-colour PNG, both below the cells' limit and above it, where the
// table does the work; the result always carries all 256 entries.
TEST_F(PictureFileTest, ConversionFollowsTheRuleForEveryDepth) {
    std::mt19937 random(11);
    std::vector<uint32_t> colours(300);
    for (uint32_t& c : colours) c = random() & 0xFFFFFF;
    auto bmp = [&](const std::string& name, int bits, int w, int h, bool ownPalette) {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.bitsPerPixel = bits;
        const size_t entries = bits <= 8 ? size_t{1} << bits : 0;
        for (size_t i = 0; i < entries; ++i) {
            layout.palette.push_back(ownPalette ? colours[i % colours.size()]
                                                : uint32_t(palette[i].r) << 16 |
                                                      uint32_t(palette[i].g) << 8 | palette[i].b);
        }
        for (int i = 0; i < w * h; ++i) {
            const uint32_t pick = random();
            layout.pixels.push_back(bits <= 8 ? pick % entries : colours[pick % colours.size()]);
        }
        ASSERT_TRUE(WriteBmp(dir.File(name), layout));
    };
    bmp("1.bmp", 1, 21, 7, true);
    bmp("4.bmp", 4, 21, 7, true);
    bmp("8.bmp", 8, 21, 7, true);
    bmp("8ref.bmp", 8, 21, 7, false);
    bmp("16.bmp", 16, 21, 7, true);
    bmp("24.bmp", 24, 21, 7, true);
    bmp("32.bmp", 32, 21, 7, true);
    bmp("large.bmp", 24, 1024, 1024, true);
    static_assert(1024 * 1024 >= kCellMatchMaxPixels, "the large picture must take the table");
    PngLayout png;
    png.width = 21;
    png.height = 7;
    png.colourType = 6;
    png.samples = Samples(21 * 7 * 4, 8, 3);
    ASSERT_TRUE(WritePng(dir.File("rgba.png"), png));

    for (const char* name : {"1.bmp", "4.bmp", "8.bmp", "8ref.bmp", "16.bmp", "24.bmp", "32.bmp",
                             "large.bmp", "rgba.png"}) {
        SDL_Surface* read = Read(name);
        ASSERT_NE(read, nullptr);
        // The colour of each pixel as the editor's import sees it.
        SDL_Surface* model = SDL_CreateRGBSurface(0, 1, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        SDL_Surface* xrgb =
            read->format->BitsPerPixel == 8 ? nullptr : SDL_ConvertSurface(read, model->format, 0);
        const bool keep = read->format->BitsPerPixel == 8 && IsReferencePalette(read, palette);
        std::vector<uint8_t> want;
        std::map<uint32_t, uint8_t> memo;
        for (int y = 0; y < read->h; ++y) {
            for (int x = 0; x < read->w; ++x) {
                uint32_t rgb;
                if (xrgb) {
                    rgb = PixelAt(xrgb, x, y) & 0xFFFFFF;
                } else {
                    const uint8_t index =
                        static_cast<const uint8_t*>(read->pixels)[y * read->pitch + x];
                    const SDL_Color c = read->format->palette->colors[index];
                    rgb =
                        keep ? 0x1000000u | index : uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
                }
                auto found = memo.find(rgb);
                if (found == memo.end()) {
                    const uint8_t index =
                        keep ? rgb & 0xFF
                             : NearestReferenceColour(rgb >> 16, rgb >> 8, rgb, palette);
                    found = memo.emplace(rgb, index).first;
                }
                want.push_back(found->second);
            }
        }
        SDL_FreeSurface(model);
        SDL_FreeSurface(xrgb);
        ASSERT_TRUE(ConvertToPalette(&read, palette)) << name;
        ASSERT_EQ(read->format->BitsPerPixel, 8);
        ASSERT_EQ(read->format->palette->ncolors, 256);
        EXPECT_TRUE(IsReferencePalette(read, palette));
        int mismatches = 0;
        for (int y = 0; y < read->h; ++y) {
            for (int x = 0; x < read->w; ++x) {
                mismatches += static_cast<const uint8_t*>(read->pixels)[y * read->pitch + x] !=
                              want[size_t(y) * read->w + x];
            }
        }
        EXPECT_EQ(mismatches, 0) << name;
        SDL_FreeSurface(read);
    }
}

// Written pictures: the BMP has exactly the bytes SDL_SaveBMP gives the same
// 8-bit surface (what the editor's Save BMP writes), and both BMP and PNG
// read back with the same indices and the whole palette, on a width that
// needs row padding.
TEST_F(PictureFileTest, WrittenPicturesAreWhatTheEditorWritesAndReadBack) {
    const int w = 7, h = 5;
    SDL_Surface* surface = SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0);
    ASSERT_NE(surface, nullptr);
    SDL_SetColors(surface, palette, 0, 256);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            static_cast<uint8_t*>(surface->pixels)[y * surface->pitch + x] =
                uint8_t(x * 37 + y * 91);
    }
    std::vector<uint8_t> sdlBytes(4096);
    SDL_RWops* memory = SDL_RWFromMem(sdlBytes.data(), static_cast<int>(sdlBytes.size()));
    ASSERT_EQ(SDL_SaveBMP_RW(surface, memory, 0), 0);
    sdlBytes.resize(static_cast<size_t>(SDL_RWtell(memory)));
    SDL_RWclose(memory);

    for (const char* name : {"out.bmp", "out.png"}) {
        PictureFormat format;
        ASSERT_TRUE(PictureFormatFromName(name, &format));
        Problem problem;
        ASSERT_TRUE(WriteIndexedPicture(dir.File(name).c_str(), format,
                                        static_cast<const uint8_t*>(surface->pixels), w, h,
                                        surface->pitch, palette, &problem))
            << problem.reason;
        if (format == PictureFormat::kBmp) {
            EXPECT_EQ(ReadFileBytes(dir.File(name)), sdlBytes);
        }
        SDL_Surface* back = Read(name);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(IsReferencePalette(back, palette)) << name;
        for (int y = 0; y < h; ++y) {
            EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(back->pixels) + y * back->pitch,
                                  static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, w),
                      0)
                << name << " row " << y;
        }
        SDL_FreeSurface(back);
    }
    SDL_FreeSurface(surface);
}

// Hostile and damaged files are refused with a reason, before anything is
// allocated for the pixels they claim; a write that cannot be made says so.
TEST_F(PictureFileTest, DamagedFilesAreRefusedWithAReason) {
    BmpLayout claim;
    claim.width = 8000;
    claim.height = 8000;
    claim.rowsStored = 1;
    EXPECT_NE(Refusal(MakeBmp(claim)).find("more bytes than the file has"), std::string::npos);
    claim.width = 20000;
    EXPECT_NE(Refusal(MakeBmp(claim)).find("too large"), std::string::npos);

    PngLayout small;
    small.width = 4;
    small.height = 4;
    small.samples = Samples(48, 8, 1);
    std::vector<uint8_t> png = MakePng(small);
    std::vector<uint8_t> huge = png;  // IHDR at 16: width, height, then its CRC at 29
    for (size_t at : {16, 20}) {
        huge[at] = 0;
        huge[at + 1] = 0;
        huge[at + 2] = 0x20;  // 8192: within the limits of sides and pixels
        huge[at + 3] = 0;
    }
    const uLong crc = crc32(0, huge.data() + 12, 17);
    for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    EXPECT_NE(Refusal(huge).find("too little data"), std::string::npos);
    std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<long>(png.size()) - 20);
    EXPECT_NE(Refusal(cut).find("damaged PNG"), std::string::npos);
    EXPECT_EQ(Refusal({'G', 'I', 'F', '8', '9', 'a'}), "not a BMP or PNG file");

    Problem problem;
    EXPECT_EQ(ReadPictureFile(dir.File("absent.png").c_str(), &problem), nullptr);
    EXPECT_STREQ(problem.reason, "cannot open: No such file or directory");
    const uint8_t pixel = 0;
    EXPECT_FALSE(WriteIndexedPicture(dir.File("no/such/dir.bmp").c_str(), PictureFormat::kBmp,
                                     &pixel, 1, 1, 1, palette, &problem));
    EXPECT_NE(std::string(problem.reason).find("cannot write"), std::string::npos);
}

}  // namespace
