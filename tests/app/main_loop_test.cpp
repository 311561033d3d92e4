#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "app_fixture.h"
#include "event_feed.h"
#include "font.h"
#include "reference_palette.h"

namespace {

class MainLoopTest : public AppTest {
  protected:
    void Dispatch(const SDL_Event& e) {
        app.event = e;
        app.DispatchEvent();
    }
};

// Start-up leaves the window, the caption and the default episode ready.
TEST_F(MainLoopTest, InitSetsUpTheEditor) {
    ASSERT_NE(app.screen, nullptr);
    EXPECT_EQ(app.screen->w, 640);
    EXPECT_EQ(app.screen->h, 480);
    EXPECT_EQ(app.screen->format->BitsPerPixel, 32);
    char* caption = nullptr;
    SDL_WM_GetCaption(&caption, nullptr);
    EXPECT_STREQ(caption, "VDE_Editor");
    EXPECT_STREQ(app.episode.header.name, "#Kelto@Episode");
    EXPECT_STREQ(app.episode.header.startLevel, "CASTLE1.VLV");
    EXPECT_EQ(app.episode.header.listPlace, 7u);
    for (char c : app.fileName) EXPECT_EQ(c, '\0');
    EXPECT_EQ(app.imageSurface, nullptr);
    EXPECT_EQ(app.titleSurface, nullptr);
    EXPECT_EQ(app.lowTitleSurface, nullptr);
    ASSERT_NE(ReferencePalette, nullptr);
    EXPECT_EQ(std::memcmp(ReferencePalette, palette, sizeof palette), 0);
}

// Keypad minus stops at 0; plus has no limit of its own and wraps.
TEST_F(MainLoopTest, KeypadChangesThePlace) {
    Dispatch(KeyDown(SDLK_KP_PLUS));
    EXPECT_EQ(app.episode.header.listPlace, 8u);
    app.episode.header.listPlace = 0;
    Dispatch(KeyDown(SDLK_KP_MINUS));
    EXPECT_EQ(app.episode.header.listPlace, 0u);
    app.episode.header.listPlace = UINT32_MAX;
    Dispatch(KeyDown(SDLK_KP_PLUS));
    EXPECT_EQ(app.episode.header.listPlace, 0u);
    Dispatch(KeyDown(SDLK_MINUS));  // the main keyboard's minus does nothing
    EXPECT_EQ(app.episode.header.listPlace, 0u);
}

// Key and button state follow the events; Escape stops the loop, a quit
// event too.
TEST_F(MainLoopTest, DispatchRecordsStateAndStops) {
    app.running = true;
    Dispatch(KeyDown(SDLK_x));
    EXPECT_EQ(app.keyState[SDLK_x], 1);
    Dispatch(KeyUp(SDLK_x));
    EXPECT_EQ(app.keyState[SDLK_x], 0);
    EXPECT_TRUE(app.running);
    Dispatch(KeyDown(SDLK_ESCAPE));
    EXPECT_FALSE(app.running);
    app.running = true;
    Dispatch(QuitEvent());
    EXPECT_FALSE(app.running);
}

// A press records the position and the button and starts no command; a
// release of another button than the left runs nothing either.
TEST_F(MainLoopTest, MousePressChangesOnlyPositionAndButton) {
    ScriptedEvents script;  // a command would poll for its prompt
    const EpisodeHeader before = app.episode.header;
    Dispatch(MouseDown(SDL_BUTTON_LEFT, 100, 200));
    EXPECT_EQ(app.mouseX, 100);
    EXPECT_EQ(app.mouseY, 200);
    EXPECT_EQ(app.buttonState[SDL_BUTTON_LEFT], 1);
    Dispatch(MouseUp(SDL_BUTTON_RIGHT, 10, 10));
    EXPECT_EQ(app.buttonState[SDL_BUTTON_RIGHT], 0);
    EXPECT_EQ(script.Polls(), 0u);
    EXPECT_EQ(std::memcmp(&before, &app.episode.header, sizeof before), 0);
}

// Every event without a case of its own writes one line to stderr.
TEST_F(MainLoopTest, UnknownEventsAreReportedOncePerEvent) {
    SDL_Event active{};
    active.type = SDL_ACTIVEEVENT;
    SDL_Event expose{};
    expose.type = SDL_VIDEOEXPOSE;
    ::testing::internal::CaptureStderr();
    Dispatch(MouseMotion(5, 5));
    Dispatch(MouseMotion(6, 6));
    Dispatch(active);
    Dispatch(expose);
    Dispatch(KeyDown(SDLK_a));
    const std::string err = ::testing::internal::GetCapturedStderr();
    std::string expected;
    for (int i = 0; i < 4; ++i) expected += "I don't know what this event is!\n";
    EXPECT_EQ(err, expected);
}

// Run drains the queue pass by pass and returns after the pass that held the
// quit event; events before it in that pass are still handled.
TEST_F(MainLoopTest, RunEndsAfterQuit) {
    ScriptedEvents script;
    script.Pass({KeyDown(SDLK_KP_PLUS)}).Pass({KeyDown(SDLK_KP_PLUS), QuitEvent()});
    app.Run();
    EXPECT_EQ(app.episode.header.listPlace, 9u);
    EXPECT_FALSE(script.Exhausted());
}

// A frame is drawn only when 20 ms have passed since the last one began.
TEST_F(MainLoopTest, FramesArePaced) {
    bool checkedEarly = false;
    for (int attempt = 0; attempt < 5 && !checkedEarly; ++attempt) {
        SDL_FillRect(screen, nullptr, 0x123456);
        const uint32_t start = SDL_GetTicks();
        app.lastFrameTick = start;
        app.RunPass();
        if (SDL_GetTicks() - start < EditorApp::kFrameInterval) {
            EXPECT_EQ(PixelAt(screen, 639, 479), 0x123456u);
            EXPECT_EQ(app.lastFrameTick, start);
            checkedEarly = true;
        }
    }
    EXPECT_TRUE(checkedEarly) << "machine too slow to see a pass without a frame";

    app.lastFrameTick = SDL_GetTicks() - EditorApp::kFrameInterval;
    const uint32_t before = SDL_GetTicks();
    app.RunPass();
    EXPECT_EQ(PixelAt(screen, 639, 479), 0xA0A0A0u);
    EXPECT_GE(app.lastFrameTick, before);
}

// After a resize the loop draws through the surface the new mode gave.
TEST_F(MainLoopTest, ResizeKeepsTheNewSurface) {
    SDL_Event resize{};
    resize.type = SDL_VIDEORESIZE;
    resize.resize.w = 320;
    resize.resize.h = 240;
    Dispatch(resize);
    EXPECT_EQ(app.screen, SDL_GetVideoSurface());
    EXPECT_EQ(app.screen->w, 320);
    app.DrawEditorScreen();  // clipped to the smaller window, and safe
    EXPECT_EQ(PixelAt(app.screen, 319, 239), 0xA0A0A0u);
    SDL_SetVideoMode(640, 480, 32, 0);
}

// The key wait ends on the first pass holding a key-down, drops everything
// in that pass (a quit request too), and leaves later passes queued.
TEST(WaitForKeyTest, EndsOnAPassWithAKeyDown) {
    ScriptedEvents script;
    script.Pass({QuitEvent(), MouseMotion(1, 1)})
        .Pass({})
        .Pass({MouseDown(1, 2, 2), KeyDown(SDLK_a), KeyUp(SDLK_a), QuitEvent()})
        .Pass({KeyDown(SDLK_b)});
    WaitForKey();
    EXPECT_FALSE(script.Exhausted());
    EXPECT_EQ(script.Remaining(), 1u);
}

// Run before Init reports it and ends with status 1.
TEST(StartUpDeathTest, RunBeforeInit) {
    EXPECT_EXIT(
        {
            EditorApp app;
            app.Run();
        },
        ::testing::ExitedWithCode(1), "Application not initialized");
}

// Without "menu.pal" the window shows the two-line message, and the next key
// ends the program with status 1.
TEST(StartUpDeathTest, MissingPaletteShowsMessageAndExits) {
    TempDir empty;
    ScopedChdir cwd(empty.path());
    EXPECT_EXIT(
        {
            // The key wait's first poll checks what the window shows; a
            // wrong screen ends the child with another status.
            static SDL_Surface* window = nullptr;
            SetEventPoller([](SDL_Event* e) {
                window = SDL_GetVideoSurface();
                const char* first = "Couldn't find \"menu.pal\"";
                for (int i = 0; first[i]; ++i)
                    if (!CellMismatch(window, 64 + 8 * i, 64, first[i]).empty()) std::_Exit(7);
                const char* second = "Quitting...";
                for (int i = 0; second[i]; ++i)
                    if (!CellMismatch(window, 64 + 8 * i, 72, second[i]).empty()) std::_Exit(8);
                // A key-down, then an empty queue, so that the pass ends.
                static bool given = false;
                given = !given;
                if (given) *e = KeyDown(SDLK_SPACE);
                return given ? 1 : 0;
            });
            EditorApp app;
            app.Init(640, 480, SDL_INIT_TIMER | SDL_INIT_VIDEO);
            std::_Exit(9);  // not reached
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace
