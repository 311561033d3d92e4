#include "test_support.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <gtest/gtest.h>

#include "font.h"
#include "reference_palette.h"

namespace {

// A test that hangs (a fault planted in a loop, say) must end on its own,
// also after its runner gave up on it: SDL turns SIGTERM into an event that
// no loop may read, but leaves SIGALRM alone. Death tests run in a process
// that starts afresh (SDL's thread makes forking unsafe anyway), so they get
// the same alarm.
class Watchdog : public testing::Environment {
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
const unsigned kAlarm = alarm(600);
testing::Environment* const kWatchdog = testing::AddGlobalTestEnvironment(new Watchdog);

SDL_Surface* shown = nullptr;

}  // namespace

// Taken before SDL's own (a program's definitions come before a library's):
// the rectangle is copied to what the window shows, then SDL updates it. All
// four zero means the whole screen.
extern "C" void SDL_UpdateRect(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    using Update = void (*)(SDL_Surface*, Sint32, Sint32, Uint32, Uint32);
    static const auto update = reinterpret_cast<Update>(dlsym(RTLD_NEXT, "SDL_UpdateRect"));
    if (!shown || shown->w != screen->w || shown->h != screen->h) {
        const SDL_PixelFormat& f = *screen->format;
        SDL_FreeSurface(shown);
        shown = SDL_CreateRGBSurface(0, screen->w, screen->h, f.BitsPerPixel, f.Rmask, f.Gmask,
                                     f.Bmask, f.Amask);
    }
    SDL_Rect area{Sint16(x), Sint16(y), Uint16(w), Uint16(h)};
    if (x == 0 && y == 0 && w == 0 && h == 0) area = {0, 0, Uint16(screen->w), Uint16(screen->h)};
    SDL_Rect to = area;
    SDL_BlitSurface(screen, &area, shown, &to);
    update(screen, x, y, w, h);
}

const SDL_Surface* ShownScreen() {
    return shown;
}

SDL_Surface* TestScreen() {
    static SDL_Surface* screen = [] {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) < 0)
            return static_cast<SDL_Surface*>(nullptr);
        SDL_Surface* window = SDL_SetVideoMode(640, 480, 32, 0);
        return window && BuildFont(false, 0xFFFFFF) ? window : nullptr;
    }();
    return screen;
}

uint32_t PixelAt(const SDL_Surface* surface, int x, int y) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch + 4 * x,
                sizeof value);
    return value & 0x00FFFFFF;
}

uint8_t IndexAt(const SDL_Surface* surface, int x, int y) {
    return static_cast<const uint8_t*>(surface->pixels)[y * surface->pitch + x];
}

std::string TextMismatch(const SDL_Surface* surface, const std::string& text, int x, int y) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<uint8_t>(text[i]);
        for (int row = 0; row < 8; ++row) {
            for (int col = 0; col < 8; ++col) {
                const int px = x + 8 * static_cast<int>(i) + col, py = y + row;
                if (px >= surface->w || py >= surface->h) continue;
                const uint32_t want = GlyphBitmaps[code * 8 + row] & (0x80 >> col) ? 0xFFFFFF : 1;
                if (PixelAt(surface, px, py) != want) {
                    return "character " + std::to_string(i) + " of \"" + text + "\" at (" +
                           std::to_string(px) + ", " + std::to_string(py) + ")";
                }
            }
        }
    }
    return "";
}

std::string DataFile(const std::string& name) {
    return std::string(VDE_SOURCE_DIR) + "/tests/data/" + name;
}

std::string BmpSuiteFile(const std::string& name) {
    return std::string(VDE_SOURCE_DIR) + "/../shared/bmpsuite/" + name;
}

void LoadSamplePalette(SDL_Color palette[256]) {
    ReadPaletteFile(DataFile("palette/menu.pal").c_str(), palette);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

namespace {

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// The directories alive now. A death test's process builds its fixture afresh
// and then exits from inside the test, past every destructor: what it made is
// removed at exit instead.
std::set<std::string>& LiveDirectories() {
    static std::set<std::string> live;
    static const int removedAtExit = std::atexit([] {
        for (const std::string& path : LiveDirectories()) RemoveTree(path);
    });
    (void)removedAtExit;
    return live;
}

}  // namespace

TempDir::TempDir(bool enter) {
    char pattern[] = "/tmp/vde-test-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "";
    if (!path_.empty()) LiveDirectories().insert(path_);
    if (enter) {
        char here[4096];
        if (getcwd(here, sizeof here)) previous_ = here;
        if (chdir(path_.c_str()) != 0) std::perror("chdir");
    }
}

TempDir::~TempDir() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
    LiveDirectories().erase(path_);
    RemoveTree(path_);
}
