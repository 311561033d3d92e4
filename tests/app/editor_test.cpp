#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "colour_match.h"
#include "editor_app.h"
#include "reference_palette.h"
#include "scripted_events.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kGrey = 0xA0A0A0, kWhite = 0xFFFFFF;

// Key-downs that type `text` (capitals with Shift) and Return, then a Space
// for a message to take.
std::vector<SDL_Event> Typed(const std::string& text) {
    std::vector<SDL_Event> keys;
    for (char c : text)
        keys.push_back(KeyDown(SDLKey(tolower(c)), isupper(c) ? KMOD_LSHIFT : KMOD_NONE));
    keys.push_back(KeyDown(SDLK_RETURN));
    keys.push_back(KeyDown(SDLK_SPACE));
    return keys;
}

// An initialised editor in a temporary working directory with the sample palette.
class Editor : public testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        fs::copy_file(DataFile("palette/menu.pal"), "menu.pal");
        app.Init(640, 480, SDL_INIT_VIDEO | SDL_INIT_TIMER);
        s = app.screen;
    }
    void TearDown() override {
        for (SDL_Surface* p : {app.imageSurface, app.titleSurface, app.lowTitleSurface})
            SDL_FreeSurface(p);
        FreeEpisodeBuffers(app.episode);
    }
    // Releases a button at (x, y) with `events` feeding the command. It must
    // show `message` (or nothing) at (128, 128) and leave only the last event
    // unless a message took it.
    void Click(int x, int y, std::vector<SDL_Event> events, const std::string& message = "",
               uint8_t button = 1) {
        SDL_FillRect(s, nullptr, 0);
        ScriptedEvents script(std::move(events));
        app.event = Button(SDL_MOUSEBUTTONUP, button, uint16_t(x), uint16_t(y));
        app.DispatchEvent();
        EXPECT_FALSE(script.Exhausted()) << x << "," << y;
        EXPECT_EQ(script.Remaining(), message.empty() ? 1u : 0u) << x << "," << y;
        EXPECT_EQ(message.empty() ? (PixelAt(s, 128, 128) ? "a message" : "")
                                  : TextMismatch(s, message, 128, 128),
                  "");
    }
    TempDir dir{true};
    EditorApp app;
    SDL_Surface* s = nullptr;
};

// Keypad minus stops at 0, plus counts up and wraps; a press only records the
// mouse; an unknown event is reported once; a resize draws through the new
// surface; Run before Init ends the process with status 1.
TEST_F(Editor, Events) {
    for (auto [before, key, after] : {std::tuple{0u, SDLK_KP_MINUS, 0u},
                                      {7u, SDLK_KP_MINUS, 6u},
                                      {7u, SDLK_KP_PLUS, 8u},
                                      {~0u, SDLK_KP_PLUS, 0u}}) {
        app.episode.header.listPlace = before;
        app.event = KeyDown(key);
        app.DispatchEvent();
        EXPECT_TRUE(app.episode.header.listPlace == after && app.keyState[key] == 1) << key;
    }
    ScriptedEvents none({Event(SDL_NOEVENT)});
    app.event = Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    app.DispatchEvent();
    EXPECT_TRUE(app.buttonState[1] == 1 && app.mouseX == 10 && app.mouseY == 20 &&
                none.Remaining() == 1);
    testing::internal::CaptureStderr();
    app.event = Event(SDL_MOUSEMOTION);
    app.DispatchEvent();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "I don't know what this event is!\n");
    app.event.resize = {SDL_VIDEORESIZE, 320, 200};
    app.DispatchEvent();
    EXPECT_TRUE(app.screen == SDL_GetVideoSurface() && app.screen->w == 320);
    EXPECT_EXIT(EditorApp().Run(), testing::ExitedWithCode(1), "Application not initialized");
}

// Escape and a quit event end Run at the end of their pass; a frame draws the
// start screen; a title picture smaller than its area leaves a white margin
// in its first frame only; a place with its top bit shows signed; a field
// without a zero byte stops at its width.
TEST_F(Editor, Screen) {
    for (SDL_Event end : {KeyDown(SDLK_ESCAPE), Event(SDL_QUIT)}) {
        ScriptedEvents script({end, Event(SDL_NOEVENT), KeyDown(SDLK_a)});
        std::strcpy(app.fileName, "F.vde");
        app.mouseX = 5;
        app.lastFrameTick = SDL_GetTicks() - 20;
        app.Run();
        EXPECT_TRUE(script.Remaining() == 1 && app.mouseX == 0);
    }
    const std::tuple<int, int, uint32_t> points[] = {
        {303, 353, kWhite}, {304, 353, kGrey}, {303, 354, kGrey},  {349, 70, kGrey},
        {350, 70, kWhite},  {569, 77, kWhite}, {570, 77, kGrey},   {569, 78, kGrey},
        {350, 99, kGrey},   {349, 170, kGrey}, {350, 170, kWhite}, {569, 177, kWhite},
        {570, 177, kGrey},  {569, 178, kGrey}, {639, 479, kGrey}};
    for (auto [x, y, colour] : points) EXPECT_EQ(PixelAt(s, x, y), colour) << x << "," << y;
    EXPECT_EQ(
        TextMismatch(s, "No image", 0, 0) + TextMismatch(s, "No image", 350, 0) +
            TextMismatch(s, "No image", 350, 100) + TextMismatch(s, "Episode name:", 350, 200) +
            TextMismatch(s, "#Kelto@Episode", 358, 216) +
            TextMismatch(s, "Start level:", 350, 248) + TextMismatch(s, "CASTLE1.VLV", 358, 264) +
            TextMismatch(s, "Place in episodelist:", 350, 296) + TextMismatch(s, "7", 358, 312) +
            TextMismatch(s, "Filename:", 350, 344) + TextMismatch(s, "F.vde", 358, 360) +
            TextMismatch(s, "Load VDE", 32, 432) + TextMismatch(s, "Save VDE", 128, 432) +
            TextMismatch(s, "Save BMP", 224, 432),
        "");
    for (SDL_Surface** slot : {&app.imageSurface, &app.titleSurface, &app.lowTitleSurface})
        *slot = SDL_LoadBMP(DataFile("pictures/bmp_8.bmp").c_str());
    std::memset(app.episode.header.startLevel, 'S', kStartLevelSize + 4);  // and imageWidth
    app.episode.header.listPlace = 0x80000000;
    for (uint32_t margin : {kWhite, kGrey}) {
        app.DrawEditorScreen();
        EXPECT_TRUE(PixelAt(s, 569, 77) == margin && PixelAt(s, 569, 177) == margin &&
                    PixelAt(s, 303, 353) == kWhite);
    }
    EXPECT_TRUE(TextMismatch(s, "No image", 0, 0) != "" && PixelAt(s, 358 + 8 * 32, 264) == kGrey);
    EXPECT_EQ(
        TextMismatch(s, std::string(32, 'S'), 358, 264) + TextMismatch(s, "-2147483648", 358, 312),
        "");
}

// A key wait ends after a pass that held a key-down, not before; without
// "menu.pal" the editor waits for one and ends with status 1.
TEST_F(Editor, KeyWait) {
    ScriptedEvents keys({Event(SDL_MOUSEMOTION), Event(SDL_NOEVENT), KeyDown(SDLK_a),
                         Event(SDL_NOEVENT), KeyDown(SDLK_b)});
    WaitForKey();
    EXPECT_EQ(keys.Remaining(), 1u);
    fs::remove("menu.pal");
    EXPECT_EXIT(
        {
            static ScriptedEvents waiting({KeyDown(SDLK_a), Event(SDL_NOEVENT), KeyDown(SDLK_b)});
            std::atexit([] { std::fprintf(stderr, "left %zu", waiting.Remaining()); });
            EditorApp().Init(640, 480, SDL_INIT_VIDEO);
        },
        testing::ExitedWithCode(1), "left 1");
}

// Releases outside the regions, on their strict bounds or with another button
// run nothing; just inside each region's corners its command runs.
TEST_F(Editor, ClickRegions) {
    app.titleSurface = SDL_LoadBMP(DataFile("pictures/bmp_8.bmp").c_str());
    const int misses[][3] = {
        {320, 100, 1}, {319, 360, 1}, {350, 50, 1},  {590, 50, 1},  {400, 90, 1},  {400, 100, 1},
        {400, 190, 1}, {350, 220, 1}, {400, 200, 1}, {400, 232, 1}, {400, 248, 1}, {400, 280, 1},
        {50, 432, 1},  {50, 448, 1},  {32, 440, 1},  {96, 440, 1},  {128, 440, 1}, {192, 440, 1},
        {224, 440, 1}, {288, 440, 1}, {10, 10, 2},   {10, 10, 3}};
    for (const auto& m : misses) Click(m[0], m[1], {KeyDown(SDLK_SPACE)}, "", uint8_t(m[2]));
    EXPECT_FALSE(fs::exists("Title.bmp"));
    const char* const prompts[] = {"Enter bmp filename:", "Enter episodename:", "Enter startlevel:",
                                   "Enter episode filename:"};
    const int hits[][3] = {{0, 0, 0},     {319, 359, 0}, {351, 0, 0},   {589, 89, 0},
                           {351, 101, 0}, {589, 189, 0}, {351, 201, 1}, {639, 231, 1},
                           {351, 249, 2}, {639, 279, 2}, {33, 433, 3},  {95, 447, 3},
                           {129, 433, 3}, {191, 447, 3}};
    for (const auto& h : hits) {
        Click(h[0], h[1], {KeyDown(SDLK_ESCAPE), KeyDown(SDLK_SPACE)});
        EXPECT_EQ(TextMismatch(s, prompts[h[2]], h[2] ? 132 : 68, 68), "") << h[0] << "," << h[1];
    }
    for (auto [x, y] : {std::pair{225, 433}, {287, 447}}) {
        Click(x, y, {KeyDown(SDLK_SPACE)});
        EXPECT_TRUE(fs::remove("Title.bmp") && !fs::exists("Image.bmp") &&
                    !fs::exists("LowTitle.bmp"));
    }
}

// Imports of each depth with their messages, into the slot clicked, as 8-bit
// pictures in the game's palette; the name and start level edits (".VLV"
// added, refused when it would not fit); Save VDE needs three pictures and
// titles of one size; a load restores what was saved; a file that cannot be
// opened changes only the file name (32 characters kept); a damaged one is
// corrupt, empties name and start level and keeps the pictures.
TEST_F(Editor, EditSaveLoad) {
    for (std::string n : {"8", "24", "16_565", "32"})
        fs::copy_file(DataFile("pictures/bmp_" + n + ".bmp"), n + ".bmp");
    fs::copy_file(DataFile("../../examples/banner.bmp"), "b.bmp");
    fs::copy_file(DataFile("episode/corrupt_image_stream.vde"), "c.vde");
    Click(150, 440, Typed("e"), "You need 3 bmp files!");
    Click(10, 10, Typed("24"), "Bitdepth=24, image will be converted.");
    Click(400, 10, Typed("b"));
    Click(400, 150, Typed("8"), "Not kto palette. Palette will be converted.");
    SDL_Surface* const low = app.lowTitleSurface;
    for (const char* refused : {"16_565", "32"})
        Click(400, 150, Typed(refused), "Not a supported bitdepth!");
    Click(400, 150, Typed("none"));
    EXPECT_EQ(app.lowTitleSurface, low);
    for (SDL_Surface* p : {app.imageSurface, app.titleSurface, app.lowTitleSurface})
        EXPECT_TRUE(p->w == (p == app.titleSurface ? 220 : 7) &&
                    IsReferencePalette(p, ReferencePalette));
    Click(150, 440, Typed("e"), "Title and LowTitle differ in size!");
    EXPECT_FALSE(fs::exists("e.vde"));
    const std::string level(27, 'l');
    for (auto [y, text] : {std::pair{150, "b"},
                           {216, "CASTLE2"},
                           {264, "lllllllllllllllllllllllllll"},
                           {264, "llllllllllllllllllllllllllll"}})
        Click(400, y, Typed(text));
    Click(400, 216, {KeyDown(SDLK_ESCAPE), KeyDown(SDLK_SPACE)});
    EXPECT_TRUE(!std::strcmp(app.episode.header.name, "CASTLE2") &&
                app.episode.header.startLevel == level + ".VLV");
    app.episode.header.listPlace = 9;
    Click(150, 440, Typed("e"));
    app.episode.header.listPlace = 1;
    Click(400, 216, Typed("X"));
    Click(10, 10, Typed("b"));
    Click(50, 440, Typed("e"));
    EXPECT_TRUE(app.episode.header.listPlace == 9 &&
                !std::strcmp(app.episode.header.name, "CASTLE2"));
    EXPECT_TRUE(app.imageSurface->w == 7 && !std::strcmp(app.fileName, "e.vde"));
    Click(150, 440, Typed("f"));
    EXPECT_EQ(ReadFileBytes("f.vde"), ReadFileBytes("e.vde"));
    for (const std::string& name :
         {std::string(28, 'n'), std::string(29, 'n'), std::string(32, 'n')}) {
        Click(50, 440, Typed(name));
        EXPECT_EQ(app.fileName, name.size() == 28 ? name + ".vde" : name);
    }
    SDL_Surface* const title = app.titleSurface;
    EXPECT_EQ(app.episode.header.startLevel, level + ".VLV");
    Click(50, 440, Typed("c"), "File corrupt!");
    EXPECT_TRUE(app.titleSurface == title && !std::strcmp(app.fileName, "c.vde"));
    EXPECT_TRUE(!app.episode.header.name[0] && !app.episode.header.startLevel[0]);
}

}  // namespace
