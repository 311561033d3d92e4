// BMP and PNG files read against reference readers (SDL_LoadBMP, libpng),
// their size limits and refusals, and written files as SDL and libpng see them.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <sstream>

#include "byte_order.h"
#include "colour_match.h"
#include "picture_file.h"
#include "test_support.h"

namespace {

// A committed fixture, or a file of the BMP Suite when the name has a folder.
std::string Path(const std::string& name) {
    return name.find('/') == 1 ? BmpSuiteFile(name) : DataFile("pictures/" + name);
}

// Each pixel's colour, 0xRRGGBB, row by row; the surface is freed.
std::vector<uint32_t> Colours(SDL_Surface* s) {
    SDL_Surface* model = SDL_CreateRGBSurface(0, 1, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_Surface* xrgb = s ? SDL_ConvertSurface(s, model->format, 0) : nullptr;
    std::vector<uint32_t> out;
    for (int i = 0; xrgb && i < s->w * s->h; ++i) out.push_back(PixelAt(xrgb, i % s->w, i / s->w));
    SDL_FreeSurface(xrgb), SDL_FreeSurface(model), SDL_FreeSurface(s);
    return out;
}

// The colours SDL_LoadBMP gives a BMP, or libpng's simplified reader a PNG.
std::vector<uint32_t> ReferenceColours(const std::string& name) {
    if (name.back() == 'p') return Colours(SDL_LoadBMP(Path(name).c_str()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint32_t> out;
    if (png_image_begin_read_from_file(&image, Path(name).c_str())) {
        image.format = PNG_FORMAT_BGRA;
        out.resize(size_t{image.width} * image.height);
        png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
    }
    for (uint32_t& c : out) c &= 0xFFFFFF;
    return out;
}

}  // namespace

// Each file reads as a reference reader sees it, or is refused for its reason.
TEST(ReadPictureFile, FixturesAndLimits) {
    // Each row: a file, with @WxH the sides written into its header (a BMP
    // then padded to hold the pixels); the depth it reads at, 0 when refused;
    // then the file whose reference colours it has ("=" itself, "-" only its
    // size) or the reason's key words. 16-bit PNGs hold the 8-bit ones' values
    // in their high bytes, long BMP headers the palette of 40-byte ones; the
    // largest side passes the size checks and one more does not; a BMP's bit
    // depth counts in its check against the file's size.
    const char* rows[] = {
        "bmp_1.bmp 8 =", "bmp_4_os2.bmp 8 bmp_4.bmp", "bmp_8_v4.bmp 8 bmp_8.bmp",
        "bmp_8_top_down.bmp 8 bmp_8.bmp",
        "bmp_16_565.bmp 16 =", "png_0_2.png 32 =", "png_2_8_interlaced.png 32 =", "png_3_2.png 8 =",
        "png_3_8_short_palette.png 8 =", "png_4_8.png 32 =", "png_6_16.png 32 png_6_8.png",
        "q/pal8os2v2.bmp 8 g/pal8.bmp",
        // Misread by SDL: a gap before 32-bit pixels is
        // not masks; pixels in the header, no palette.
        "bmp_32_gap.bmp 32 bmp_32.bmp", "bmp_15_gap.bmp 15 bmp_16_555.bmp",
        "bmp_8_offset_0.bmp 0 inside its headers", "bmp_8_no_palette.bmp 0 holds no palette",
        // Malformed but harmless and plain: read right.
        "b/badbitssize.bmp 8 g/pal1.bmp", "b/baddens1.bmp 8 g/pal1.bmp",
        "b/baddens2.bmp 8 g/pal1.bmp", "b/badfilesize.bmp 8 g/pal1.bmp",
        "b/badheadersize.bmp 8 g/pal1.bmp", "b/badplanes.bmp 8 g/pal1.bmp",
        "b/rgb16-880.bmp 16 =", "q/rgb16-3103.bmp 0 not supported", "q/rgba64.bmp 0 not supported",
        "bmp_8_claims_huge.bmp 0 more bytes than", "bmp_24_cut.bmp 0 cannot read the BMP",
        "png_claims_huge.png 0 too little", "png_cut.png 0 damaged PNG",
        "png_text_claims_huge.png 0 claims more than 8000000", "../palette/one.pal 0 not a BMP or PNG",
        "../episode/empty.vde 0 empty, not a BMP", "absent.png 0 cannot open",
        "bmp_1.bmp@16383x1 8 -", "bmp_1.bmp@1x16383 8 -", "bmp_1.bmp@16384x1 0 too large",
        "bmp_1.bmp@0x1 0 no pixels", "bmp_1.bmp@1x16384 0 too large",
        "bmp_32.bmp@7x3000 0 at 32 bits needs", "png_3_1.png@1x16383 0 Not enough image",
        "png_3_1.png@1x16384 0 too large", "png_2_8.png@16384x1 0 too large",
        "png_2_8.png@2000000x1 0 too large"};
    TempDir dir;
    for (const char* row : rows) {
        std::istringstream in(row);
        std::string file, same;
        uint32_t depth = 0, w = 0, h = 0;
        std::getline(in >> file >> depth >> std::ws, same);
        std::string path = Path(file.substr(0, file.find('@')));
        if (std::sscanf(file.c_str() + file.find('@') + 1, "%ux%u", &w, &h) == 2) {
            // Sides little-endian in a BMP; big-endian in a PNG, then the CRC.
            std::vector<uint8_t> data = ReadFileBytes(path);
            const uint32_t sides[] = {SDL_SwapBE32(w), SDL_SwapBE32(h)};
            if (data[0] == 'B') PutLe32(&data[18], w), PutLe32(&data[22], h), data.resize(70000);
            if (data[0] != 'B') std::memcpy(&data[16], sides, 8);
            const uint32_t crc = SDL_SwapBE32(uint32_t(crc32(0, &data[12], 17)));
            if (data[0] != 'B') std::memcpy(&data[29], &crc, 4);
            ASSERT_TRUE(WriteFileBytes(path = dir.File("patched"), data));
        }
        Problem problem;
        SDL_Surface* s = ReadPictureFile(path.c_str(), &problem);
        EXPECT_EQ(s ? s->format->BitsPerPixel : 0u, depth) << row << ": " << problem.reason;
        const std::vector<uint32_t> colours = Colours(s);
        EXPECT_TRUE(!depth        ? std::strstr(problem.reason, same.c_str()) != nullptr
                    : same == "-" ? colours.size() == size_t{w} * h
                                  : colours == ReferenceColours(same == "=" ? file : same))
            << row << ": " << problem.reason;
    }
}

// Written pictures are what SDL and libpng expect; refused ones leave no trace.
TEST(WriteIndexedPicture, BytesAndRefusals) {
    // The BMP has exactly the bytes SDL_SaveBMP writes for the same 8-bit
    // surface; the PNG reads back with the same indices and palette and ends
    // with its IEND chunk. Each row: name, sides, pitch, and whether it is
    // written; sides of 0 or beyond the limits, a pitch shorter than a row and
    // a missing directory are refused with a reason, leaving no file behind
    // and an existing file as it was.
    TempDir dir;
    SDL_Color palette[256];
    LoadSamplePalette(palette);
    std::vector<uint8_t> pixels(16384);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Uint8(i * 37);
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(pixels.data(), 7, 5, 8, 8, 0, 0, 0, 0);
    SDL_SetColors(s, palette, 0, 256);
    ASSERT_EQ(SDL_SaveBMP(s, dir.File("sdl.bmp").c_str()), 0);
    SDL_FreeSurface(s);
    ASSERT_TRUE(WriteFileBytes(dir.File("old.bmp"), {1, 2, 3}));
    const char* rows[] = {
        "a.bmp 7 5 8 1",           "a.PNG 7 5 8 1",       "wide.bmp 16383 1 16383 1",
        "tall.png 1 16383 1 1",    "old.bmp 0 5 8 0",     "old.bmp 7 0 8 0",
        "old.bmp 16384 1 16384 0", "old.bmp 1 16384 1 0", "old.bmp 7 5 6 0",
        "no/such.bmp 7 5 8 0",     "no/such.png 7 5 8 0"};
    for (const char* row : rows) {
        std::istringstream in(row);
        std::string name;
        uint32_t w = 0, h = 0, pitch = 0, ok = 0;
        in >> name >> w >> h >> pitch >> ok;
        Problem problem;
        PictureFormat format{};
        const std::string path = dir.File(name);
        const std::vector<uint8_t> before = ReadFileBytes(path);
        ASSERT_TRUE(PictureFormatFromName(name.c_str(), &format));
        EXPECT_EQ(WriteIndexedPicture(path.c_str(), format, {pixels.data(), w, h, pitch, palette},
                                      &problem),
                  ok == 1)
            << row;
        EXPECT_EQ(problem.reason[0] == '\0', ok == 1) << row;
        EXPECT_TRUE(ok ? !ReadFileBytes(path).empty() : ReadFileBytes(path) == before) << row;
    }
    EXPECT_EQ(ReadFileBytes(dir.File("a.bmp")), ReadFileBytes(dir.File("sdl.bmp")));
    const std::vector<uint8_t> png = ReadFileBytes(dir.File("a.PNG"));
    const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_TRUE(png.size() > 12 && std::equal(iend, iend + 12, png.end() - 12));
    SDL_Surface* back = ReadPictureFile(dir.File("a.PNG").c_str(), nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(IsReferencePalette(back, palette));
    for (int i = 0; i < 35; ++i) EXPECT_EQ(IndexAt(back, i % 7, i / 7), pixels[i / 7 * 8 + i % 7]);
    SDL_FreeSurface(back);
}
