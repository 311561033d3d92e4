#include <gtest/gtest.h>

#include <cstring>

#include "app_fixture.h"
#include "font.h"

namespace {

constexpr uint32_t kGrey = 0xA0A0A0;
constexpr uint32_t kWhite = 0xFFFFFF;

class EditorScreenTest : public AppTest {
  protected:
    // A picture in the reference palette filled with one index.
    SDL_Surface* Picture(int w, int h, uint8_t index) {
        SDL_Surface* s = SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0);
        SDL_SetColors(s, palette, 0, 256);
        for (int y = 0; y < h; ++y)
            std::memset(static_cast<uint8_t*>(s->pixels) + y * s->pitch, index, w);
        return s;
    }
    uint32_t Rgb(uint8_t index) {
        return uint32_t(palette[index].r) << 16 | uint32_t(palette[index].g) << 8 |
               palette[index].b;
    }
};

// The start screen: grey window, three white areas with "No image", the
// labels with the default values, an empty file name and three buttons.
TEST_F(EditorScreenTest, StartScreen) {
    app.DrawEditorScreen();
    EXPECT_EQ(PixelAt(screen, 639, 479), kGrey);
    EXPECT_EQ(PixelAt(screen, 320, 10), kGrey);
    // Image area 304x354 at (0, 0).
    EXPECT_TRUE(AllPixels(64, 0, 240, 354, kWhite));
    EXPECT_TRUE(AllPixels(0, 8, 304, 346, kWhite));
    EXPECT_TRUE(AllPixels(304, 0, 1, 480, kGrey));
    EXPECT_TRUE(AllPixels(0, 354, 304, 1, kGrey));
    // Title and LowTitle areas 220x78 at (350, 0) and (350, 100).
    for (int top : {0, 100}) {
        EXPECT_TRUE(AllPixels(414, top, 156, 78, kWhite)) << top;
        EXPECT_TRUE(AllPixels(350, top + 8, 220, 70, kWhite)) << top;
        EXPECT_TRUE(AllPixels(349, top, 1, 78, kGrey)) << top;
        EXPECT_TRUE(AllPixels(570, top, 1, 78, kGrey)) << top;
        EXPECT_TRUE(AllPixels(350, top + 78, 220, 1, kGrey)) << top;
        ExpectText("No image", 350, top);
    }
    ExpectText("No image", 0, 0);
    ExpectText("Episode name:", 350, 200);
    ExpectText("#Kelto@Episode", 358, 216);
    ExpectText("Start level:", 350, 248);
    ExpectText("CASTLE1.VLV", 358, 264);
    ExpectText("Place in episodelist:", 350, 296);
    ExpectText("7", 358, 312);
    EXPECT_TRUE(AllPixels(366, 312, 8, 8, kGrey));
    ExpectText("Filename:", 350, 344);
    EXPECT_TRUE(AllPixels(358, 360, 282, 8, kGrey));  // empty file name
    ExpectText("Load VDE", 32, 432);
    ExpectText("Save VDE", 128, 432);
    ExpectText("Save BMP", 224, 432);
    EXPECT_TRUE(AllPixels(96, 432, 32, 8, kGrey));  // buttons have no frame
}

// A smaller Image stands on the full white area; a full-size one covers it.
TEST_F(EditorScreenTest, ImageOnItsArea) {
    app.imageSurface = Picture(100, 50, 200);
    app.DrawEditorScreen();
    EXPECT_TRUE(AllPixels(0, 0, 100, 50, Rgb(200)));
    EXPECT_TRUE(AllPixels(100, 0, 204, 354, kWhite));
    EXPECT_TRUE(AllPixels(0, 50, 304, 304, kWhite));
    SDL_FreeSurface(app.imageSurface);
    app.imageSurface = Picture(304, 354, 33);
    app.DrawEditorScreen();
    EXPECT_TRUE(AllPixels(0, 0, 304, 354, Rgb(33)));
}

// The title areas take the size of the picture drawn into them: a 100x40
// Title shows the white margin in its first frame only.
TEST_F(EditorScreenTest, TitleAreaShrinksAfterTheFirstFrame) {
    app.titleSurface = Picture(100, 40, 77);
    app.DrawEditorScreen();
    EXPECT_TRUE(AllPixels(350, 0, 100, 40, Rgb(77)));
    EXPECT_TRUE(AllPixels(450, 0, 120, 78, kWhite));
    app.DrawEditorScreen();
    EXPECT_TRUE(AllPixels(450, 0, 120, 78, kGrey));
    EXPECT_TRUE(AllPixels(350, 40, 100, 38, kGrey));
    // The LowTitle area is untouched by this.
    EXPECT_TRUE(AllPixels(414, 100, 156, 78, kWhite));
}

// A long name runs off the right edge: the 36th character shows its first two
// columns at x 638; nothing wraps.
TEST_F(EditorScreenTest, LongNameIsClippedAtTheEdge) {
    char name[41];
    std::memset(name, 'M', 40);
    name[35] = 'W';
    name[40] = '\0';
    SetEpisodeName(app.episode, name);
    app.DrawEditorScreen();
    EXPECT_EQ(CellMismatch(screen, 358 + 8 * 34, 216, 'M'), "");
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 2; ++col) {
            const bool set = GlyphBitmaps['W' * 8 + row] & (0x80 >> col);
            EXPECT_EQ(PixelAt(screen, 638 + col, 216 + row), set ? kWhite : 1u);
        }
    EXPECT_TRUE(AllPixels(0, 216, 304, 16, kWhite));  // nothing came round on the left
    EXPECT_TRUE(AllPixels(304, 224, 336, 8, kGrey));  // nor on the row below
}

// The place is a signed decimal: 0 shows "0", the top bit shows a minus.
TEST_F(EditorScreenTest, PlaceShownAsSignedNumber) {
    app.episode.header.listPlace = 0;
    app.DrawEditorScreen();
    ExpectText("0", 358, 312);
    app.episode.header.listPlace = 0x80000000u;
    app.DrawEditorScreen();
    ExpectText("-2147483648", 358, 312);
}

// Fields without a zero byte are shown to their width and no further: the
// start level's 33rd cell, where the next header field's bytes lie, stays
// grey.
TEST_F(EditorScreenTest, FieldsWithoutZeroByteStopAtTheirWidth) {
    std::memset(app.episode.header.startLevel, 'S', sizeof app.episode.header.startLevel);
    app.episode.header.imageWidth = 0x30303030;  // "0000" if it were read as text
    app.DrawEditorScreen();
    ExpectText("SSSS", 358 + 8 * 28, 264);
    EXPECT_TRUE(AllPixels(358 + 8 * 32, 264, 640 - 358 - 256, 8, kGrey));
    std::memset(app.fileName, 'F', sizeof app.fileName);
    app.DrawEditorScreen();
    EXPECT_EQ(CellMismatch(screen, 358 + 8 * 32, 360, 'F'), "");
    EXPECT_TRUE(AllPixels(358 + 8 * 33, 360, 640 - 358 - 264, 8, kGrey));
}

}  // namespace
