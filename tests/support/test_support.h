// What the tests share: the headless window and font, temporary directories,
// the committed fixtures under tests/data/, and the sample palette.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <string>
#include <vector>

// SDL's dummy video driver (unless the environment names another) with a
// 640x480 32-bit window, opened once per process, and the font built white
// on opaque black as the editor builds it.
SDL_Surface* TestScreen();

// The window as the user sees it: the screen's pixels as of the last
// SDL_UpdateRect that covered them (every update goes through it), or null
// before the first. Drawing that is never updated does not show here.
const SDL_Surface* ShownScreen();

// The pixel at (x, y) of a 32-bit surface with its top byte cleared, and the
// index at (x, y) of an 8-bit surface.
uint32_t PixelAt(const SDL_Surface* surface, int x, int y);
uint8_t IndexAt(const SDL_Surface* surface, int x, int y);

// Empty when `text` stands in the built-in font with its first cell's top
// left at (x, y); otherwise the first pixel that differs, in words.
std::string TextMismatch(const SDL_Surface* surface, const std::string& text, int x, int y);

// A committed fixture, tests/data/NAME, and a file of the BMP Suite.
std::string DataFile(const std::string& name);
std::string BmpSuiteFile(const std::string& name);

// The sample palette, tests/data/palette/menu.pal: 254 distinct colours, two
// of them held twice.
void LoadSamplePalette(SDL_Color palette[256]);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A fresh directory under /tmp, removed with all it holds at the end; with
// `enter`, also the working directory for its lifetime.
class TempDir {
  public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};
