#include "app_fixture.h"

#include <cstring>

#include "test_palette.h"

void AppTest::SetUp() {
    SdlTest::SetUp();
    MakeTestPalette(palette);
    ASSERT_TRUE(WritePaletteFile(dir.File("menu.pal"), palette));
    cwd = std::make_unique<ScopedChdir>(dir.path());
    app.Init(640, 480, SDL_INIT_TIMER | SDL_INIT_VIDEO);
    ASSERT_TRUE(app.initialised);
    screen = app.screen;
}

void AppTest::TearDown() {
    for (SDL_Surface* s : {app.imageSurface, app.titleSurface, app.lowTitleSurface}) {
        if (s) SDL_FreeSurface(s);
    }
    FreeEpisodeBuffers(app.episode);
    cwd.reset();
}

void AppTest::ExpectText(const char* text, int x, int y) {
    for (size_t i = 0; text[i]; ++i) {
        EXPECT_EQ(
            CellMismatch(screen, x + 8 * static_cast<int>(i), y, static_cast<uint8_t>(text[i])), "")
            << "in \"" << text << "\" at character " << i;
    }
}

bool AppTest::AllPixels(int x, int y, int w, int h, uint32_t value) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (PixelAt(screen, i, j) != value) return false;
    return true;
}
