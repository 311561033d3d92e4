// An initialised editor in a temporary working directory holding "menu.pal".
#pragma once

#include <memory>
#include <string>

#include "editor_app.h"
#include "scripted_events.h"
#include "sdl_fixture.h"
#include "temp_dir.h"

class AppTest : public SdlTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Checks that `text` stands at (x, y) in the built-in font.
    void ExpectText(const char* text, int x, int y);
    // True when every pixel of the rectangle has the value.
    bool AllPixels(int x, int y, int w, int h, uint32_t value);

    TempDir dir;
    std::unique_ptr<ScopedChdir> cwd;
    SDL_Color palette[256];
    EditorApp app;
};
