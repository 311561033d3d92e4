#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app_fixture.h"
#include "bmp_writer.h"
#include "colour_match.h"
#include "episode_file.h"
#include "font.h"
#include "reference_palette.h"

namespace {

// Key-downs that type `text` (small letters, digits, '.', '_' as Shift+'/').
std::vector<SDL_Event> Typing(const std::string& text) {
    std::vector<SDL_Event> keys;
    for (char c : text) keys.push_back(KeyDown(static_cast<SDLKey>(c)));
    return keys;
}

class CommandsTest : public AppTest {
  protected:
    // Releases the left button at (x, y) with `script` feeding the command.
    void Click(int x, int y, uint8_t button = SDL_BUTTON_LEFT) {
        app.event = MouseUp(button, static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        app.DispatchEvent();
    }
    // A prompt answered with `text` and Return, in one pass.
    static void Answer(ScriptedEvents& script, const std::string& text) {
        std::vector<SDL_Event> keys = Typing(text);
        keys.push_back(KeyDown(SDLK_RETURN));
        script.Pass(keys);
    }
    // A key wait that first checks that `message` is shown at (128, 128).
    void Acknowledge(ScriptedEvents& script, const std::string& message) {
        script.Pass({KeyDown(SDLK_SPACE)}).AtStart([this, message] {
            for (size_t i = 0; i < message.size(); ++i) {
                EXPECT_EQ(CellMismatch(screen, 128 + 8 * static_cast<int>(i), 128,
                                       static_cast<uint8_t>(message[i])),
                          "")
                    << "message \"" << message << "\" at character " << i;
            }
            messagesSeen.push_back(message);
        });
    }
    // Imports `file` (without ".bmp") into the slot at (x, y), acknowledging
    // `message` if one is expected.
    void Import(int x, int y, const std::string& file, const char* message = nullptr) {
        ScriptedEvents script;
        Answer(script, file);
        if (message) Acknowledge(script, message);
        Click(x, y);
        EXPECT_FALSE(script.Exhausted()) << "the import asked for more than expected";
        EXPECT_EQ(script.Remaining(), 0u);
    }
    // An 8-bit BMP in the reference palette, its pixels (x * 7 + y * 3) % 256.
    BmpLayout ReferenceBmp(int w, int h) {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.bitsPerPixel = 8;
        for (int i = 0; i < 256; ++i)
            layout.palette.push_back(uint32_t(palette[i].r) << 16 | uint32_t(palette[i].g) << 8 |
                                     palette[i].b);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) layout.pixels.push_back((x * 7 + y * 3) % 256);
        return layout;
    }
    void ImportThree(int w = 304, int h = 354, int tw = 220, int th = 78, int lw = 220,
                     int lh = 78) {
        ASSERT_TRUE(WriteBmp(dir.File("img.bmp"), ReferenceBmp(w, h)));
        ASSERT_TRUE(WriteBmp(dir.File("tit.bmp"), ReferenceBmp(tw, th)));
        ASSERT_TRUE(WriteBmp(dir.File("low.bmp"), ReferenceBmp(lw, lh)));
        Import(10, 10, "img");
        Import(400, 10, "tit");
        Import(400, 150, "low");
        ASSERT_TRUE(app.imageSurface && app.titleSurface && app.lowTitleSurface);
    }
    // Clicks the button at x, answers its file name prompt with `name`, and
    // acknowledges `message` if one is expected.
    void FileCommand(int x, const std::string& name, const char* message) {
        ScriptedEvents script;
        Answer(script, name);
        if (message) Acknowledge(script, message);
        Click(x, 440);
        EXPECT_FALSE(script.Exhausted());
    }
    void Save(const std::string& name, const char* message = nullptr) {
        FileCommand(150, name, message);
    }
    void Load(const std::string& name, const char* message = nullptr) {
        FileCommand(50, name, message);
    }
    static bool SamePixels(const SDL_Surface* a, const SDL_Surface* b) {
        if (a->w != b->w || a->h != b->h) return false;
        for (int y = 0; y < a->h; ++y)
            if (std::memcmp(static_cast<const uint8_t*>(a->pixels) + y * a->pitch,
                            static_cast<const uint8_t*>(b->pixels) + y * b->pitch, a->w) != 0)
                return false;
        return true;
    }
    static bool HasReferencePalette(const SDL_Surface* s) {
        return s->format->BitsPerPixel == 8 && s->format->palette->ncolors == 256 &&
               IsReferencePalette(s, ReferencePalette);
    }

    std::vector<std::string> messagesSeen;
};

// Releases outside the regions, on their strict bounds, or with another
// button than the left run no command.
TEST_F(CommandsTest, ReleasesOutsideTheRegionsRunNothing) {
    const struct {
        int x, y;
        uint8_t button;
    } misses[] = {
        {320, 100, SDL_BUTTON_LEFT},  {319, 360, SDL_BUTTON_LEFT}, {350, 50, SDL_BUTTON_LEFT},
        {590, 50, SDL_BUTTON_LEFT},   {400, 90, SDL_BUTTON_LEFT},  {400, 100, SDL_BUTTON_LEFT},
        {400, 190, SDL_BUTTON_LEFT},  {350, 220, SDL_BUTTON_LEFT}, {400, 200, SDL_BUTTON_LEFT},
        {400, 232, SDL_BUTTON_LEFT},  {400, 248, SDL_BUTTON_LEFT}, {400, 280, SDL_BUTTON_LEFT},
        {50, 432, SDL_BUTTON_LEFT},   {50, 448, SDL_BUTTON_LEFT},  {32, 440, SDL_BUTTON_LEFT},
        {96, 440, SDL_BUTTON_LEFT},   {128, 440, SDL_BUTTON_LEFT}, {192, 440, SDL_BUTTON_LEFT},
        {288, 440, SDL_BUTTON_LEFT},  {10, 10, SDL_BUTTON_RIGHT},  {10, 10, SDL_BUTTON_MIDDLE},
        {150, 440, SDL_BUTTON_RIGHT},
    };
    for (const auto& m : misses) {
        ScriptedEvents script;
        Click(m.x, m.y, m.button);
        EXPECT_EQ(script.Polls(), 0u) << "a command ran at (" << m.x << ", " << m.y << ")";
    }
}

// Each region opens its prompt at its place; the corners just inside the
// strict bounds count.
TEST_F(CommandsTest, RegionsOpenTheirPrompts) {
    const struct {
        int x, y;
        int boxX;
        const char* prompt;
    } hits[] = {
        {319, 359, 64, "Enter bmp filename:"},      {0, 0, 64, "Enter bmp filename:"},
        {351, 89, 64, "Enter bmp filename:"},       {589, 0, 64, "Enter bmp filename:"},
        {351, 101, 64, "Enter bmp filename:"},      {589, 189, 64, "Enter bmp filename:"},
        {351, 201, 128, "Enter episodename:"},      {639, 231, 128, "Enter episodename:"},
        {351, 249, 128, "Enter startlevel:"},       {639, 279, 128, "Enter startlevel:"},
        {33, 433, 128, "Enter episode filename:"},  {95, 447, 128, "Enter episode filename:"},
        {129, 433, 128, "Enter episode filename:"}, {191, 447, 128, "Enter episode filename:"},
    };
    for (const auto& h : hits) {
        SDL_FillRect(screen, nullptr, 0);
        ScriptedEvents script;
        script.Pass({KeyDown(SDLK_ESCAPE)});
        Click(h.x, h.y);
        EXPECT_EQ(script.Remaining(), 0u) << "no prompt at (" << h.x << ", " << h.y << ")";
        EXPECT_EQ(PixelAt(screen, h.boxX, 64), 0xC0C0C0u) << h.x << "," << h.y;
        EXPECT_EQ(CellMismatch(screen, h.boxX + 4, 68, static_cast<uint8_t>(h.prompt[0])), "");
        EXPECT_EQ(CellMismatch(screen, h.boxX + 12, 68, static_cast<uint8_t>(h.prompt[1])), "");
    }
}

// A dot and three characters are added to names of at most 28 characters;
// longer names, and names that already have an extension, are not examined.
TEST(AppendExtensionTest, AddsOnlyWhereItFits) {
    char name[33] = "abcdefghijklmnopqrstuvwxyzAB";  // 28
    AppendExtension("bmp", name);
    EXPECT_STREQ(name, "abcdefghijklmnopqrstuvwxyzAB.bmp");
    char longer[33] = "abcdefghijklmnopqrstuvwxyzABC";  // 29
    AppendExtension("bmp", longer);
    EXPECT_STREQ(longer, "abcdefghijklmnopqrstuvwxyzABC");
    char twice[33] = "pic.bmp";
    AppendExtension("bmp", twice);
    EXPECT_STREQ(twice, "pic.bmp.bmp");
}

// Pictures of every depth SDL reads take their path: 8-bit in the reference
// palette silently, foreign palettes (1-, 4-, 8-bit) and 24-bit with their
// message, 16- and 32-bit refused; the slot ends as an 8-bit picture in the
// reference palette with the nearest colours.
TEST_F(CommandsTest, ImportByDepth) {
    const std::vector<uint32_t> foreign = {0x102030, 0xF0E0D0, 0x808000, 0x00FF00};
    const int w = 13, h = 5;
    auto Layout = [&](int bpp) {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.bitsPerPixel = bpp;
        if (bpp <= 8) layout.palette = foreign;
        for (int i = 0; i < w * h; ++i) {
            const uint32_t colour = foreign[(i * 5 + i / w) % (bpp == 1 ? 2 : 4)];
            layout.pixels.push_back(bpp <= 8 ? uint32_t((i * 5 + i / w) % (bpp == 1 ? 2 : 4))
                                             : colour);
        }
        return layout;
    };
    // The expected index of every pixel: the nearest reference colour.
    auto Expect = [&](const SDL_Surface* s, int bpp) {
        ASSERT_TRUE(s);
        ASSERT_EQ(s->w, w);
        ASSERT_EQ(s->h, h);
        EXPECT_TRUE(HasReferencePalette(s));
        for (int i = 0; i < w * h; ++i) {
            const uint32_t c = foreign[(i * 5 + i / w) % (bpp == 1 ? 2 : 4)];
            EXPECT_EQ(IndexAt(s, i % w, i / w),
                      NearestReferenceColour(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c),
                                             ReferencePalette))
                << bpp << "-bit pixel " << i;
        }
    };
    for (int bpp : {1, 4, 8}) {
        ASSERT_TRUE(WriteBmp(dir.File("p" + std::to_string(bpp) + ".bmp"), Layout(bpp)));
        Import(10, 10, "p" + std::to_string(bpp), "Not kto palette. Palette will be converted.");
        Expect(app.imageSurface, bpp);
    }
    ASSERT_TRUE(WriteBmp(dir.File("p24.bmp"), Layout(24)));
    Import(400, 10, "p24", "Bitdepth=24, image will be converted.");
    Expect(app.titleSurface, 24);

    for (int bpp : {16, 32}) {
        SDL_Surface* before = app.titleSurface;
        ASSERT_TRUE(WriteBmp(dir.File("q" + std::to_string(bpp) + ".bmp"), Layout(bpp)));
        Import(400, 10, "q" + std::to_string(bpp), "Not a supported bitdepth!");
        EXPECT_EQ(app.titleSurface, before);
    }
    EXPECT_EQ(messagesSeen.size(), 6u);

    // Already in the reference palette: no message, indices unchanged.
    ASSERT_TRUE(WriteBmp(dir.File("ref.bmp"), ReferenceBmp(7, 3)));
    Import(400, 150, "ref");
    ASSERT_TRUE(app.lowTitleSurface);
    EXPECT_TRUE(HasReferencePalette(app.lowTitleSurface));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(IndexAt(app.lowTitleSurface, x, y), (x * 7 + y * 3) % 256);
    EXPECT_EQ(messagesSeen.size(), 6u);

    // A missing or unreadable file changes nothing and says nothing.
    ASSERT_TRUE(WriteFileBytes(dir.File("junk.bmp"), {'B', 'M', 1, 2, 3}));
    SDL_Surface* before = app.lowTitleSurface;
    Import(400, 150, "nofile");
    Import(400, 150, "junk");
    EXPECT_EQ(app.lowTitleSurface, before);

    // The next frame shows the imported picture.
    app.DrawEditorScreen();
    const SDL_Color c = ReferencePalette[IndexAt(app.lowTitleSurface, 1, 0)];
    EXPECT_EQ(PixelAt(screen, 351, 100), uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
}

// Editing the name and the start level: typed text replaces the field, the
// start level gets ".VLV", a level that would not fit with it is refused, and
// a cancelled prompt changes nothing.
TEST_F(CommandsTest, EditNameAndStartLevel) {
    {
        ScriptedEvents script;
        Answer(script, "my episode");
        Click(400, 210);
    }
    EXPECT_STREQ(app.episode.header.name, "my episode");
    {
        ScriptedEvents script;
        script.Pass({KeyDown(SDLK_x), KeyDown(SDLK_ESCAPE)});
        Click(400, 210);
    }
    EXPECT_STREQ(app.episode.header.name, "my episode");
    {
        ScriptedEvents script;
        Answer(script, "castle2");
        Click(400, 260);
    }
    EXPECT_STREQ(app.episode.header.startLevel, "castle2.VLV");
    const std::string fits(27, 'l');
    {
        ScriptedEvents script;
        Answer(script, fits);
        Click(400, 260);
    }
    EXPECT_EQ(std::string(app.episode.header.startLevel), fits + ".VLV");
    for (size_t n : {28u, 29u, 32u}) {
        ScriptedEvents script;
        Answer(script, std::string(n, 'm'));
        Click(400, 260);
        EXPECT_EQ(std::string(app.episode.header.startLevel), fits + ".VLV") << n;
    }
    app.DrawEditorScreen();
    ExpectText("my episode", 358, 216);
}

// Save VDE then Load VDE gives back the pictures and the header; the file
// starts with a fresh episode's header.
TEST_F(CommandsTest, SaveThenLoadRoundTrip) {
    ImportThree();
    Save("myepisode");
    EXPECT_STREQ(app.fileName, "myepisode.vde");
    const std::vector<unsigned char> file = ReadFileBytes(dir.File("myepisode.vde"));
    ASSERT_GE(file.size(), 220u);
    EpisodeRecord fresh;
    ResetEpisode(fresh);
    SetEpisodeName(fresh, "#Kelto@Episode");
    SetStartLevel(fresh, "CASTLE1.VLV");
    uint8_t header[kEpisodeHeaderBytes];
    EncodeEpisodeHeader(fresh.header, header);
    EXPECT_EQ(std::memcmp(file.data(), header, sizeof header), 0);

    // Change everything, then load the file back over it.
    // A copy of the indices (a blit would map colours, not copy indices).
    SDL_Surface* image = SDL_CreateRGBSurface(0, 304, 354, 8, 0, 0, 0, 0);
    for (int y = 0; y < 354; ++y)
        std::memcpy(static_cast<uint8_t*>(image->pixels) + y * image->pitch,
                    static_cast<uint8_t*>(app.imageSurface->pixels) + y * app.imageSurface->pitch,
                    304);
    SetEpisodeName(app.episode, "changed");
    app.episode.header.listPlace = 99;
    ASSERT_TRUE(WriteBmp(dir.File("other.bmp"), ReferenceBmp(20, 20)));
    Import(10, 10, "other");
    Load("myepisode");
    EXPECT_STREQ(app.fileName, "myepisode.vde");
    EXPECT_STREQ(app.episode.header.name, "#Kelto@Episode");
    EXPECT_EQ(app.episode.header.listPlace, 7u);
    ASSERT_TRUE(app.imageSurface);
    EXPECT_TRUE(SamePixels(app.imageSurface, image));
    EXPECT_TRUE(HasReferencePalette(app.imageSurface));
    EXPECT_TRUE(HasReferencePalette(app.titleSurface));
    EXPECT_EQ(app.lowTitleSurface->w, 220);
    SDL_FreeSurface(image);
}

// A file whose pictures cannot be unpacked, and a file cut short, both show
// "File corrupt!": the header goes back to the defaults with an empty name
// and start level, the pictures stay, the file name is the one typed.
TEST_F(CommandsTest, DamagedFilesAreCorrupt) {
    ImportThree();
    Save("good");
    std::vector<unsigned char> bytes = ReadFileBytes(dir.File("good.vde"));
    std::vector<unsigned char> damaged = bytes;
    damaged[214] ^= 0xFF;  // inside the Image blob's deflate data
    ASSERT_TRUE(WriteFileBytes(dir.File("bad.vde"), damaged));
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + 300);
    ASSERT_TRUE(WriteFileBytes(dir.File("cut.vde"), cut));
    std::vector<unsigned char> shortHeader(bytes.begin(), bytes.begin() + 100);
    ASSERT_TRUE(WriteFileBytes(dir.File("short.vde"), shortHeader));

    for (const char* name : {"bad", "cut", "short"}) {
        SetEpisodeName(app.episode, "before");
        SDL_Surface* const pictures[] = {app.imageSurface, app.titleSurface, app.lowTitleSurface};
        Load(name, "File corrupt!");
        EXPECT_EQ(std::string(app.fileName), std::string(name) + ".vde");
        EXPECT_EQ(app.episode.header.name[0], '\0') << name;
        EXPECT_EQ(app.episode.header.startLevel[0], '\0') << name;
        EXPECT_EQ(app.episode.header.listPlace, 7u);
        EXPECT_EQ(app.imageSurface, pictures[0]);
        EXPECT_EQ(app.titleSurface, pictures[1]);
        EXPECT_EQ(app.lowTitleSurface, pictures[2]);
    }
    EXPECT_EQ(messagesSeen.size(), 3u);

    // A file that cannot be opened only changes the file name.
    SetEpisodeName(app.episode, "kept");
    Load("missing");
    EXPECT_STREQ(app.fileName, "missing.vde");
    EXPECT_STREQ(app.episode.header.name, "kept");
}

// Saves that cannot write say so, and leave the file that was there as it
// was: a slot empty, Title and LowTitle of different sizes (even with the
// same pixel count), and a target that cannot be replaced.
TEST_F(CommandsTest, FailedSavesSaySoAndKeepTheOldFile) {
    const std::vector<unsigned char> old = {'o', 'l', 'd'};
    ASSERT_TRUE(WriteFileBytes(dir.File("keep.vde"), old));

    Save("keep", "You need 3 bmp files!");
    EXPECT_STREQ(app.fileName, "");  // unchanged by a refused save

    ImportThree(304, 354, 220, 78, 200, 50);
    Save("keep", "Title and LowTitle differ in size!");
    EXPECT_EQ(ReadFileBytes(dir.File("keep.vde")), old);

    ASSERT_TRUE(WriteBmp(dir.File("swap.bmp"), ReferenceBmp(78, 220)));
    Import(400, 150, "swap");
    Save("keep", "Title and LowTitle differ in size!");
    EXPECT_EQ(ReadFileBytes(dir.File("keep.vde")), old);

    ASSERT_TRUE(WriteBmp(dir.File("low.bmp"), ReferenceBmp(220, 78)));
    Import(400, 150, "low");
    ASSERT_EQ(mkdir(dir.File("adir.vde").c_str(), 0755), 0);
    Save("adir", "Couldn't save file!");
    struct stat st;
    ASSERT_EQ(stat(dir.File("adir.vde").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    Save("keep");
    EXPECT_NE(ReadFileBytes(dir.File("keep.vde")), old);
    EXPECT_EQ(messagesSeen.size(), 4u);
}

// Save BMP writes only the slots that hold pictures, each loading back with
// the same indices and the reference palette; it never leaves a temporary
// file behind.
TEST_F(CommandsTest, SaveBmpWritesPresentSlotsOnly) {
    ASSERT_TRUE(WriteBmp(dir.File("tit.bmp"), ReferenceBmp(221, 78)));
    Import(400, 10, "tit");
    ScriptedEvents script;
    Click(250, 440);
    EXPECT_EQ(script.Polls(), 0u);  // no prompt
    EXPECT_FALSE(FileExists(dir.File("Image.bmp")));
    EXPECT_FALSE(FileExists(dir.File("LowTitle.bmp")));
    SDL_Surface* saved = SDL_LoadBMP(dir.File("Title.bmp").c_str());
    ASSERT_TRUE(saved);
    EXPECT_TRUE(HasReferencePalette(saved));
    EXPECT_TRUE(SamePixels(saved, app.titleSurface));
    SDL_FreeSurface(saved);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        entries += e.path().filename().string().find(".bmp.") != std::string::npos;
    }
    EXPECT_EQ(entries, 0);
}

// A name of 32 characters is the current file name whole, with its zero byte.
TEST_F(CommandsTest, LongFileNameKeptWhole) {
    const std::string name(32, 'n');
    Load(name);
    EXPECT_EQ(std::string(app.fileName), name);
}

}  // namespace
