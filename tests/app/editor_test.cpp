#include <gtest/gtest.h>

#include <unistd.h>

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
// Corners of the white picture areas on the grey start screen.
constexpr uint32_t kStartScreenPoints[][3] = {
    {303, 353, kWhite}, {304, 353, kGrey}, {303, 354, kGrey},  {349, 70, kGrey},
    {350, 70, kWhite},  {569, 77, kWhite}, {570, 77, kGrey},   {569, 78, kGrey},
    {350, 99, kGrey},   {349, 170, kGrey}, {350, 170, kWhite}, {569, 177, kWhite},
    {570, 177, kGrey},  {569, 178, kGrey}, {639, 479, kGrey}};

// Key-downs that type `text` (capitals with Shift) and Return, then a Space
// for a message to take.
std::vector<SDL_Event> Typed(const std::string& text) {
    std::vector<SDL_Event> keys;
    for (char c : text + "\r ")
        keys.push_back(KeyDown(SDLKey(tolower(c)), isupper(c) ? KMOD_LSHIFT : KMOD_NONE));
    return keys;
}

// An initialised editor in a temporary working directory with the sample palette.
class Editor : public testing::Test {
  protected:
    void SetUp() override {
        fs::copy_file(DataFile("palette/menu.pal"), "menu.pal");
        app.Init(640, 480, SDL_INIT_VIDEO | SDL_INIT_TIMER);
    }
    void TearDown() override {
        for (SDL_Surface* p : {app.imageSurface, app.titleSurface, app.lowTitleSurface})
            SDL_FreeSurface(p);
        FreeEpisodeBuffers(app.episode);
    }
    // Releases a button at (x, y) with `events` feeding the command, which must
    // show `message` (or nothing) at (128, 128) in the window and leave only
    // the last event unless a message took it.
    void Click(int x, int y, std::vector<SDL_Event> events, const std::string& message = "",
               uint8_t button = 1) {
        SDL_FillRect(s, nullptr, 0);
        SDL_UpdateRect(s, 0, 0, 0, 0);
        Feed(std::move(events));
        app.event.button = {SDL_MOUSEBUTTONUP, 0, button, 0, uint16_t(x), uint16_t(y)};
        app.DispatchEvent();
        const SDL_Surface* window = ShownScreen();
        const std::string shown = message.empty() ? (PixelAt(window, 128, 128) ? "a message" : "")
                                                  : TextMismatch(window, message, 128, 128);
        EXPECT_TRUE(shown.empty() && EventsLeft() == message.empty())
            << x << "," << y << ": " << shown;
    }
    TempDir dir{true};
    EditorApp app;
    SDL_Surface* const& s = app.screen;
};

// How Run ends and its frame (the start screen), keypad place, resize, and the starts that exit 1.
TEST_F(Editor, MainLoop) {
    EXPECT_EXIT(EditorApp().Run(), testing::ExitedWithCode(1), "Application not initialized");
    app.episode.header.listPlace = 1;
    std::strcpy(app.fileName, "F.vde");
    for (SDL_Event end : {KeyDown(SDLK_ESCAPE), SDL_Event{SDL_QUIT}}) {
        Feed({KeyDown(SDLK_KP_MINUS), KeyDown(SDLK_KP_MINUS), KeyDown(SDLK_KP_PLUS), end,
              SDL_Event{SDL_NOEVENT}, KeyDown(SDLK_a)});
        app.mouseX = 5;
        app.lastFrameTick = SDL_GetTicks() - 20;
        app.Run();
        EXPECT_TRUE(EventsLeft() == 1 && app.mouseX == 0 && app.keyState[SDLK_KP_MINUS] == 1);
    }
    for (const auto& [x, y, colour] : kStartScreenPoints)
        EXPECT_EQ(PixelAt(s, int(x), int(y)), colour) << x << "," << y;
    EXPECT_EQ(
        TextMismatch(s, "No image", 0, 0) + TextMismatch(s, "No image", 350, 0) +
            TextMismatch(s, "No image", 350, 100) + TextMismatch(s, "Episode name:", 350, 200) +
            TextMismatch(s, "#Kelto@Episode", 358, 216) +
            TextMismatch(s, "Start level:", 350, 248) + TextMismatch(s, "CASTLE1.VLV", 358, 264) +
            TextMismatch(s, "Place in episodelist:", 350, 296) + TextMismatch(s, "1", 358, 312) +
            TextMismatch(s, "Filename:", 350, 344) + TextMismatch(s, "F.vde", 358, 360) +
            TextMismatch(s, "Load VDE", 32, 432) + TextMismatch(s, "Save VDE", 128, 432) +
            TextMismatch(s, "Save BMP", 224, 432),
        "");
    app.event.resize = {SDL_VIDEORESIZE, 320, 200};
    app.DispatchEvent();
    EXPECT_TRUE(app.screen == SDL_GetVideoSurface() && app.screen->w == 320);
    fs::remove("menu.pal");
    const auto start = [] {
        Feed({SDL_Event{SDL_MOUSEMOTION}, SDL_Event{SDL_NOEVENT}, KeyDown(SDLK_a),
              SDL_Event{SDL_NOEVENT}, KeyDown(SDLK_b)});
        std::atexit([] { std::fprintf(stderr, "left %zu", EventsLeft()); });
        EditorApp().Init(640, 480, SDL_INIT_VIDEO);
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(1),
                "find \"menu.pal\" in the working(.|\n)*left 1");
    const auto noDisplay = [] {
        unsetenv("DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        EditorApp().Init(640, 480, SDL_INIT_VIDEO);
    };
    EXPECT_EXIT(noDisplay(), testing::ExitedWithCode(1),
                "^No display.*xvfb-run -a -s '[^']* -noreset' .*app_tests'\n");
    // A display that cannot be opened ends the editor with the reason, never
    // in SDL's text fallback (the alarm ends such a run).
    const auto goneDisplay = [] {
        alarm(30);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);  // the fixture's dummy display
        setenv("DISPLAY", ":4242", 1);
        unsetenv("SDL_VIDEODRIVER");
        EditorApp().Init(640, 480, SDL_INIT_VIDEO);
    };
    EXPECT_EXIT(goneDisplay(), testing::ExitedWithCode(1),
                "Couldn't initialize SDL: .*\nNo display: cannot open the X display ':4242'\n");
}

// Releases outside the strict regions or with other buttons run nothing; just inside they do.
TEST_F(Editor, ClickRegions) {
    app.titleSurface = SDL_LoadBMP(DataFile("pictures/bmp_8.bmp").c_str());
    const int misses[][3] = {
        {320, 100, 1}, {319, 360, 1}, {350, 50, 1},  {590, 50, 1},  {400, 90, 1},  {400, 100, 1},
        {400, 190, 1}, {350, 220, 1}, {400, 200, 1}, {400, 232, 1}, {400, 248, 1}, {400, 280, 1},
        {50, 432, 1},  {50, 448, 1},  {32, 440, 1},  {96, 440, 1},  {128, 440, 1}, {192, 440, 1},
        {224, 440, 1}, {288, 440, 1}, {10, 10, 2},   {10, 10, 3}};
    for (const auto& [x, y, button] : misses)
        Click(x, y, {KeyDown(SDLK_SPACE)}, "", uint8_t(button));
    EXPECT_FALSE(fs::exists("Title.bmp"));
    const char* const prompts[] = {"Enter bmp filename:", "Enter episodename:", "Enter startlevel:",
                                   "Enter episode filename:"};
    const int hits[][3] = {{0, 0, 0},     {319, 359, 0}, {351, 0, 0},   {589, 89, 0},
                           {351, 101, 0}, {589, 189, 0}, {351, 201, 1}, {639, 231, 1},
                           {351, 249, 2}, {639, 279, 2}, {33, 433, 3},  {95, 447, 3},
                           {129, 433, 3}, {191, 447, 3}, {225, 433, 4}, {287, 447, 4}};
    for (const auto& [x, y, prompt] : hits) {
        // Escape cancels the prompt; the last one is left over.
        Click(x, y, std::vector(prompt < 4 ? 2 : 1, KeyDown(SDLK_ESCAPE)));
        EXPECT_TRUE(prompt < 4 ? TextMismatch(s, prompts[prompt], prompt ? 132 : 68, 68).empty()
                               : fs::remove("Title.bmp"))
            << x << "," << y;
    }
    EXPECT_FALSE(fs::exists("Image.bmp") || fs::exists("LowTitle.bmp"));
}

// One session: imports of each depth, name and start level edits, saves, loads and failed loads.
TEST_F(Editor, EditSaveLoad) {
    for (std::string n : {"8", "24", "32"})
        fs::copy_file(DataFile("pictures/bmp_" + n + ".bmp"), n + ".bmp");
    fs::copy_file(DataFile("../../examples/banner.bmp"), "b.bmp");
    fs::copy_file(BmpSuiteFile("q/rgb32-111110.bmp"), "u.bmp");  // masks too wide to use
    fs::copy_file(DataFile("episode/corrupt_image_stream.vde"), "c.vde");
    Click(150, 440, Typed("e"), "You need 3 bmp files!");
    Click(10, 10, Typed("24"), "Bitdepth=24, image will be converted.");
    Click(400, 10, Typed("b"));
    Click(400, 150, Typed("8"), "Not kto palette. Palette will be converted.");
    Click(400, 150, Typed("32"), "Not a supported bitdepth!");
    Click(400, 150, Typed("u"), "Not a supported bitdepth!");
    EXPECT_TRUE(app.lowTitleSurface->w == 7 &&
                IsReferencePalette(app.lowTitleSurface, ReferencePalette) &&
                IsReferencePalette(app.imageSurface, ReferencePalette));
    Click(150, 440, Typed("e"), "Title and LowTitle differ in size!");
    const std::string level(27, 'l');
    Click(400, 150, Typed("b"));
    Click(400, 216, Typed("CASTLE2"));
    Click(400, 264, Typed(level));
    Click(400, 264, Typed(level + "l"), "Start level too long!");
    Click(400, 216, {KeyDown(SDLK_ESCAPE), KeyDown(SDLK_SPACE)});
    app.episode.header.listPlace = 9;
    Click(150, 440, Typed("e"));
    app.episode.header.listPlace = 1;
    Click(400, 216, Typed("X"));
    Click(10, 10, Typed("b"));
    Click(50, 440, Typed("e"));
    EXPECT_EQ(app.episode.header.startLevel, level + ".VLV");
    Click(400, 264, Typed(std::string(32, 'v')), "Start level too long!");
    Click(400, 264, Typed(std::string(31, 'v')));  // a name with its own extension fits
    EXPECT_EQ(app.episode.header.startLevel, std::string(31, 'v'));
    std::strcpy(app.episode.header.startLevel, (level + ".VLV").c_str());
    Click(150, 440, Typed("f"));
    EXPECT_EQ(ReadFileBytes("f.vde"), ReadFileBytes("e.vde"));
    SDL_Surface* const title = app.titleSurface;
    for (const std::string& name :
         {std::string(28, 'n'), std::string(29, 'n'), std::string(32, 'n'), std::string("c")}) {
        Click(50, 440, Typed(name), name == "c" ? "File corrupt!" : "");
        EXPECT_TRUE(app.fileName == (name.size() <= 28 ? name + ".vde" : name) &&
                    app.titleSurface == title)
            << name;
        EXPECT_EQ(app.episode.header.name, std::string(name == "c" ? "" : "CASTLE2"));
    }
    EXPECT_EQ(app.episode.header.startLevel[0], 0);
    // A picture Save BMP cannot write says so; the others are still written.
    fs::create_directory("Image.bmp");
    Click(250, 440, {KeyDown(SDLK_SPACE)}, "Couldn't save file!");
    EXPECT_TRUE(fs::exists("Title.bmp") && fs::exists("LowTitle.bmp"));
    app.DrawEditorScreen();  // the Image's top left, and the same banner in both title areas
    EXPECT_NE(PixelAt(s, 0, 0), kWhite);
    for (int x = 350; x < 570; ++x) EXPECT_EQ(PixelAt(s, x, 40), PixelAt(s, x, 140)) << x;
    char name[33] = "pic\0xxxxxxxx";  // the extension ends the name, whatever followed it
    AppendExtension("bmp", name);
    EXPECT_STREQ(name, "pic.bmp");
}

}  // namespace
