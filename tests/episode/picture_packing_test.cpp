#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "episode_file.h"
#include "episode_files.h"
#include "episode_record.h"
#include "picture_packing.h"
#include "reference_palette.h"
#include "sdl_fixture.h"
#include "temp_dir.h"

namespace {

class PicturePacking : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(TestScreen(), nullptr);
        for (int i = 0; i < kPaletteEntries; ++i) {
            palette_[i] = SDL_Color{Uint8(i), Uint8(255 - i), Uint8(i * 3), 0};
        }
        saved_ = ReferencePalette;
        ReferencePalette = palette_;
    }
    void TearDown() override {
        ReferencePalette = saved_;
        FreeEpisodeBuffers(episode);
    }

    // Sizes and one stream per slot, as a read would have left them.
    void Set(uint32_t imageWidth, uint32_t imageHeight, uint32_t titleWidth, uint32_t titleHeight,
             const Bytes& image, const Bytes& title, const Bytes& lowTitle) {
        FreeEpisodeBuffers(episode);
        EpisodeHeader& h = episode.header;
        h.imageWidth = imageWidth, h.imageHeight = imageHeight;
        h.titleWidth = titleWidth, h.titleHeight = titleHeight;
        const Bytes* streams[] = {&image, &title, &lowTitle};
        Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
        for (int slot = 0; slot < 3; ++slot) {
            blobs[slot]->length = static_cast<uint32_t>(streams[slot]->size());
            blobs[slot]->data = static_cast<uint8_t*>(std::malloc(streams[slot]->size() + 1));
            std::copy(streams[slot]->begin(), streams[slot]->end(), blobs[slot]->data);
        }
    }
    bool NoPixelBuffers() const {
        return !episode.imagePixels && !episode.titlePixels && !episode.lowTitlePixels;
    }

    EpisodeRecord episode;
    SDL_Color palette_[kPaletteEntries];
    SDL_Color* saved_ = nullptr;
};

// Row padding is 0xEE, which no pixel holds.
SDL_Surface* PatternSurface(int width, int height, int seed) {
    SDL_Surface* surface = SDL_CreateRGBSurface(0, width, height, 8, 0, 0, 0, 0);
    auto* bytes = static_cast<uint8_t*>(surface->pixels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < surface->pitch; ++x) {
            bytes[y * surface->pitch + x] = x < width ? (seed + x + 2 * y) % 200 : 0xEE;
        }
    }
    return surface;
}

Bytes Buffer(const uint8_t* pixels, size_t size) {
    return Bytes(pixels, pixels + size);
}

}  // namespace

// Pictures saved and loaded back keep sizes, indices and palette, whatever their pitch.
TEST_F(PicturePacking, SavedPicturesLoadBack) {
    SDL_Surface* sources[] = {PatternSurface(221, 50, 1), PatternSurface(220, 78, 2),
                              PatternSurface(220, 78, 3)};
    ASSERT_GT(sources[0]->pitch, 221);
    ASSERT_TRUE(SurfacesToBuffers(episode, sources[0], sources[1], sources[2]));
    EXPECT_EQ(episode.header.imageWidth, 221u);
    EXPECT_EQ(episode.header.titleHeight, 78u);
    Bytes imageRows(221 * 50);
    for (size_t i = 0; i < imageRows.size(); ++i)
        imageRows[i] = (1 + i % 221 + 2 * (i / 221)) % 200;
    EXPECT_EQ(Buffer(episode.imagePixels, imageRows.size()), imageRows);
    ASSERT_TRUE(PackPictures(episode));
    TempDir dir;
    ASSERT_TRUE(WriteEpisodeFile(episode, dir.File("pictures.vde").c_str()));

    EpisodeRecord loaded;
    ASSERT_TRUE(ReadEpisodeFile(loaded, dir.File("pictures.vde").c_str()));
    ASSERT_TRUE(UnpackPictures(loaded));
    // Without a palette or pixel buffers the slots keep what they had.
    SDL_Surface* old = PatternSurface(5, 5, 0);
    SDL_Surface* slots[] = {old, nullptr, nullptr};
    ReferencePalette = nullptr;
    EXPECT_FALSE(BuffersToSurfaces(loaded, &slots[0], &slots[1], &slots[2]));
    ReferencePalette = palette_;
    uint8_t* titlePixels = loaded.titlePixels;
    loaded.titlePixels = nullptr;
    EXPECT_FALSE(BuffersToSurfaces(loaded, &slots[0], &slots[1], &slots[2]));
    loaded.titlePixels = titlePixels;
    EXPECT_EQ(slots[0], old);
    EXPECT_EQ(slots[1], nullptr);

    ASSERT_TRUE(BuffersToSurfaces(loaded, &slots[0], &slots[1], &slots[2]));  // frees `old`
    for (int slot = 0; slot < 3; ++slot) {
        SCOPED_TRACE(slot);
        ASSERT_EQ(slots[slot]->w, sources[slot]->w);
        ASSERT_EQ(slots[slot]->h, sources[slot]->h);
        for (int y = 0; y < slots[slot]->h; ++y) {
            for (int x = 0; x < slots[slot]->w; ++x) {
                ASSERT_EQ(IndexAt(slots[slot], x, y), IndexAt(sources[slot], x, y))
                    << x << "," << y;
            }
        }
        const SDL_Palette* colours = slots[slot]->format->palette;
        ASSERT_EQ(colours->ncolors, kPaletteEntries);
        for (int i = 0; i < kPaletteEntries; ++i) {
            EXPECT_EQ(colours->colors[i].g, palette_[i].g);
            EXPECT_EQ(colours->colors[i].b, palette_[i].b);
        }
        SDL_FreeSurface(slots[slot]);
        SDL_FreeSurface(sources[slot]);
    }
    FreeEpisodeBuffers(loaded);
}

// A stream must not exceed width x height bytes; what a shorter one leaves is colour index 0.
TEST_F(PicturePacking, BlobContentAgainstBufferSize) {
    const Bytes image = Pattern(30 * 20, 9), title = Pattern(10 * 5, 4);
    Bytes longer = title;
    longer.push_back(1);
    Set(30, 20, 10, 5, Deflate(image), Deflate(title), Deflate(title));
    ASSERT_TRUE(UnpackPictures(episode));
    EXPECT_EQ(Buffer(episode.imagePixels, image.size()), image);
    EXPECT_EQ(Buffer(episode.lowTitlePixels, title.size()), title);
    Set(30, 20, 10, 5, Deflate(image), Deflate(title), Deflate(longer));
    EXPECT_FALSE(UnpackPictures(episode));
    Set(30, 20, 10, 5, Deflate(image), Deflate(title), Bytes{});
    EXPECT_FALSE(UnpackPictures(episode));

    // The memory of a full picture is handed out again for the short one.
    Set(30, 20, 10, 5, Deflate(Bytes(image.size(), 0xFF)), Deflate(title), Deflate(title));
    ASSERT_TRUE(UnpackPictures(episode));
    Bytes expected(image.size(), 0);
    std::copy(image.begin(), image.begin() + 100, expected.begin());
    Set(30, 20, 10, 5, Deflate(Bytes(image.begin(), image.begin() + 100)), Deflate(title),
        Deflate(title));
    ASSERT_TRUE(UnpackPictures(episode));
    EXPECT_EQ(Buffer(episode.imagePixels, image.size()), expected);
}

// A failing Image blob stops unpacking; FreeEpisodeBuffers then releases everything, once.
TEST_F(PicturePacking, ImageFailureLeavesAllBuffers) {
    const Bytes title = Pattern(10 * 5, 4);
    Bytes broken = Deflate(Pattern(30 * 20, 9));
    broken[broken.size() / 2] ^= 0x55;
    broken.back() ^= 0x01;  // the checksum as well, should the data survive
    Set(30, 20, 10, 5, broken, Deflate(title), Deflate(title));
    EXPECT_FALSE(UnpackPictures(episode));
    ASSERT_NE(episode.imagePixels, nullptr);
    ASSERT_NE(episode.lowTitlePixels, nullptr);
    ASSERT_NE(episode.titlePixels, nullptr);
    EXPECT_EQ(Buffer(episode.titlePixels, title.size()), Bytes(title.size(), 0));
    const uint32_t titleLength = episode.titleBlob.length;
    FreeEpisodeBuffers(episode);
    FreeEpisodeBuffers(episode);
    EXPECT_TRUE(NoPixelBuffers());
    EXPECT_TRUE(!episode.imageBlob.data && !episode.titleBlob.data && !episode.lowTitleBlob.data);
    EXPECT_EQ(episode.titleBlob.length, titleLength);
}

// Unusable picture sizes fail before anything is allocated.
TEST_F(PicturePacking, UnusableSizesAllocateNothing) {
    const Bytes title = Deflate(Pattern(8 * 4, 2));
    struct Case {
        uint32_t imageWidth, imageHeight, titleWidth, titleHeight, imageBytes;
    } cases[] = {
        {0, 354, 8, 4, 64},
        {304, 0, 8, 4, 64},
        {16, 4, 0, 4, 64},
        {16, 4, 8, 0, 64},
        {16385, 1, 8, 4, 16385},
        {8192, 8193, 8, 4, 64},
        {16, 4, 8193, 8192, 64},
        {4096, 4096, 8, 4, 64},             // 16M pixels from a few bytes
        {0x10000, 0x10001, 8, 4, 0x10000},  // wraps to 65536
        {0x10001, 0xFFFF, 8, 4, 0xFFFF},    // wraps to 65535
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.imageWidth) + "x" + std::to_string(c.imageHeight) + " " +
                     std::to_string(c.titleWidth) + "x" + std::to_string(c.titleHeight));
        Set(c.imageWidth, c.imageHeight, c.titleWidth, c.titleHeight,
            Deflate(Bytes(c.imageBytes, 5)), title, title);
        EXPECT_FALSE(UnpackPictures(episode));
        EXPECT_TRUE(NoPixelBuffers());
    }
}

// Any valid zlib stream loads, whatever level, strategy, window or memory level made it.
TEST_F(PicturePacking, StreamsFromOtherEncoders) {
    const Bytes image = Pattern(304 * 354, 6), title = Pattern(220 * 78, 8);
    for (int level = 0; level <= 9; ++level) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
            SCOPED_TRACE(std::to_string(level) + " " + std::to_string(strategy));
            Set(304, 354, 220, 78, Deflate(image, level, strategy),
                Deflate(title, level, strategy, 9, 1), Deflate(title, level, strategy, 12, 9));
            ASSERT_TRUE(UnpackPictures(episode));
            EXPECT_EQ(Buffer(episode.imagePixels, image.size()), image);
            EXPECT_EQ(Buffer(episode.titlePixels, title.size()), title);
            EXPECT_EQ(Buffer(episode.lowTitlePixels, title.size()), title);
        }
    }
}

// SurfacesToBuffers makes no buffers from unusable surfaces or unlike-shaped titles.
TEST_F(PicturePacking, SurfacesToBuffersRefusals) {
    SDL_Surface* image = PatternSurface(30, 20, 1);
    SDL_Surface* title = PatternSurface(220, 78, 2);
    SDL_Surface* deep = SDL_CreateRGBSurface(0, 220, 78, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    ResetEpisode(episode);
    EXPECT_FALSE(SurfacesToBuffers(episode, image, title, nullptr));
    EXPECT_FALSE(SurfacesToBuffers(episode, deep, title, title));
    EXPECT_FALSE(SurfacesToBuffers(episode, image, deep, title));
    EXPECT_FALSE(SurfacesToBuffers(episode, image, title, deep));
    EXPECT_EQ(episode.header.imageWidth, 304u);
    EXPECT_TRUE(NoPixelBuffers());
    for (SDL_Surface* low : {PatternSurface(156, 110, 3), PatternSurface(220, 79, 3)}) {
        EXPECT_FALSE(SurfacesToBuffers(episode, image, title, low)) << low->w;
        EXPECT_EQ(episode.header.imageWidth, 30u);
        EXPECT_TRUE(NoPixelBuffers());
        SDL_FreeSurface(low);
    }
    for (SDL_Surface* surface : {image, title, deep}) SDL_FreeSurface(surface);
}
