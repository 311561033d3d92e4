#include "prompt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cp850.h"
#include "event_feed.h"
#include "font.h"
#include "keymaps.h"

namespace {

constexpr int kBoxWidth = 264;
constexpr int kBoxHeight = 32;
constexpr uint32_t kBoxColour = 0xC0C0C0;

enum class KeyOutcome { Continue, Accept, Cancel };

struct PromptLine {
    char text[kPromptMaxChars + 1] = {};
    int count = 0;
    int x = 0;
    int y = 0;
    SDL_Surface* surface = nullptr;

    int16_t CellX(int k) const { return static_cast<int16_t>(x + 4 + 8 * k); }
    int16_t CellY() const { return static_cast<int16_t>(y + 20); }

    void Type(uint8_t code) {
        if (count >= kPromptMaxChars) return;  // a full line ignores character keys
        text[count] = static_cast<char>(code);
        DrawChar(code, CellX(count), CellY(), surface);
        ++count;
    }

    void Erase() {
        if (count == 0) return;
        --count;
        text[count] = '\0';
        DrawChar(' ', CellX(count), CellY(), surface);  // a black cell
    }
};

// The character a key types. What the keyboard's own layout prints comes
// first: SDL's Unicode translation, when it gave a printable character that
// code page 850 has. Otherwise, and while Alt (not AltGr, which SDL reports
// as Mode) is held, the keyboard tables, Shift winning over Alt, read with
// the modifier state SDL has when the key is examined. Shift+space keeps the
// tables' ► (16), the one way to type it. 0: nothing to type.
uint8_t TypedCode(const SDL_keysym& keysym) {
    const SDLMod mod = SDL_GetModState();
    const bool shift = (mod & KMOD_SHIFT) != 0;
    const bool alt = (mod & KMOD_ALT) != 0;
    uint8_t code = 0;
    if (!alt && !(shift && keysym.sym == SDLK_SPACE) && keysym.unicode >= 32 &&
        keysym.unicode != 127 && UnicodeToCp850(keysym.unicode, &code)) {
        return code;
    }
    const uint16_t key = static_cast<uint16_t>(keysym.sym & 0xFFFF);
    if (key >= 32 && key <= 96) {
        return shift ? KeyMapShift[key] : alt ? KeyMapAlt[key] : KeyMapPlain[key];
    }
    if (key >= 97 && key <= 122) return static_cast<uint8_t>(shift ? key - 32 : key);
    // National keys of an X keymap arrive as their Latin-1 characters.
    if (key >= SDLK_WORLD_0 && key <= SDLK_WORLD_95) return Latin1KeyToCp850(key, shift);
    return 0;
}

KeyOutcome HandleKey(PromptLine& line, const SDL_keysym& keysym) {
    switch (keysym.sym) {
        case SDLK_BACKSPACE:
            line.Erase();
            return KeyOutcome::Continue;
        case SDLK_RETURN:
            return KeyOutcome::Accept;
        case SDLK_ESCAPE:
            return KeyOutcome::Cancel;
        default:
            break;
    }
    if (const uint8_t code = TypedCode(keysym)) line.Type(code);
    return KeyOutcome::Continue;
}

}  // namespace

bool PromptText(char* result, const char* prompt, int x, int y, SDL_Surface* surface) {
    SDL_Rect box = {static_cast<Sint16>(x), static_cast<Sint16>(y), kBoxWidth, kBoxHeight};
    SDL_FillRect(surface, &box, kBoxColour);
    DrawText(prompt, static_cast<int16_t>(x + 4), static_cast<int16_t>(y + 4), surface);
    SDL_UpdateRect(surface, x, y, kBoxWidth, kBoxHeight);

    // Unicode translation costs SDL a lookup per key; it is on only while a
    // line is typed.
    const int translating = SDL_EnableUNICODE(1);
    PromptLine line;
    line.x = x;
    line.y = y;
    line.surface = surface;
    KeyOutcome outcome = KeyOutcome::Continue;
    while (outcome == KeyOutcome::Continue) {
        // Every key-down is typed, in the order it arrived; the events behind
        // the one that ends the prompt stay queued for the main loop.
        SDL_Event event;
        while (outcome == KeyOutcome::Continue && PollEvent(&event)) {
            if (event.type == SDL_QUIT) std::exit(0);
            if (event.type != SDL_KEYDOWN) continue;
            outcome = HandleKey(line, event.key.keysym);
        }
        SDL_UpdateRect(surface, x, y, kBoxWidth, kBoxHeight);
    }
    SDL_EnableUNICODE(translating);
    if (outcome == KeyOutcome::Cancel || line.count == 0) return false;
    std::memcpy(result, line.text, static_cast<size_t>(line.count) + 1);
    return true;
}
