#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "prompt.h"
#include "scripted_events.h"
#include "sdl_fixture.h"

namespace {

constexpr int kX = 128;
constexpr int kY = 64;

struct Key {
    SDLKey sym;
    SDLMod mod = KMOD_NONE;
};

class PromptTest : public SdlTest {
  protected:
    // Types each key in a pass of its own with its modifiers held, then
    // Return; gives what the prompt accepted ("" when it returned false).
    std::string Type(std::initializer_list<Key> keys) {
        ScriptedEvents script;
        for (const Key& k : keys) script.Pass({KeyDown(k.sym, k.mod)}, k.mod);
        script.Pass({KeyDown(SDLK_RETURN)});
        char result[33];
        std::memset(result, 'x', sizeof result);
        const bool ok = PromptText(result, "Prompt:", kX, kY, screen);
        EXPECT_FALSE(script.Exhausted());
        return ok ? std::string(result) : std::string();
    }
    static std::string Bytes(std::initializer_list<int> codes) {
        std::string s;
        for (int c : codes) s.push_back(static_cast<char>(c));
        return s;
    }
};

// Letters are capitals with Shift; Alt does not change them.
TEST_F(PromptTest, LetterKeys) {
    EXPECT_EQ(Type({{SDLK_a}}), "a");
    EXPECT_EQ(Type({{SDLK_a, KMOD_LSHIFT}}), "A");
    EXPECT_EQ(Type({{SDLK_a, KMOD_RALT}}), "a");
    EXPECT_EQ(Type({{SDLK_z, KMOD_RSHIFT}}), "Z");
}

// Shift takes precedence over Alt, and each table gives its character.
TEST_F(PromptTest, ModifiersPickTheTable) {
    EXPECT_EQ(Type({{SDLK_2}}), "2");
    EXPECT_EQ(Type({{SDLK_2, KMOD_LSHIFT}}), "\"");
    EXPECT_EQ(Type({{SDLK_2, KMOD_LALT}}), "@");
    EXPECT_EQ(Type({{SDLK_2, SDLMod(KMOD_LSHIFT | KMOD_RALT)}}), "\"");
    EXPECT_EQ(Type({{SDLK_4, KMOD_LSHIFT}}), Bytes({207}));
    EXPECT_EQ(Type({{SDLK_3, KMOD_RALT}}), Bytes({156}));
    EXPECT_EQ(Type({{SDLK_SPACE}}), " ");
    EXPECT_EQ(Type({{SDLK_SPACE, KMOD_LSHIFT}}), Bytes({16}));
}

// The national keys at their US positions type the Swedish letters.
TEST_F(PromptTest, NationalKeysAtUsPositions) {
    EXPECT_EQ(Type({{SDLK_SEMICOLON},
                    {SDLK_SEMICOLON, KMOD_LSHIFT},
                    {SDLK_LEFTBRACKET},
                    {SDLK_LEFTBRACKET, KMOD_RSHIFT}}),
              Bytes({148, 153, 134, 143}));
}

// National keys that SDL reports as Latin-1 symbols type their code page 850
// character; with Shift the capital.
TEST_F(PromptTest, NationalKeysAsLatin1Symbols) {
    EXPECT_EQ(Type({{SDLKey(0xF6)},
                    {SDLKey(0xF6), KMOD_LSHIFT},
                    {SDLKey(0xE5)},
                    {SDLKey(0xE5), KMOD_LSHIFT},
                    {SDLKey(0xE4), KMOD_RALT}}),
              Bytes({148, 153, 134, 143, 132}));
}

// The line holds 32 characters: the 33rd is ignored, and Return copies all
// 32 and the zero byte.
TEST_F(PromptTest, LineHoldsThirtyTwoCharacters) {
    ScriptedEvents script;
    std::vector<SDL_Event> keys;
    for (int i = 0; i < 33; ++i) keys.push_back(KeyDown(SDLKey(SDLK_a + i % 26)));
    script.Pass(keys).Pass({KeyDown(SDLK_RETURN)});
    char result[40];
    std::memset(result, 'x', sizeof result);
    ASSERT_TRUE(PromptText(result, "Prompt:", kX, kY, screen));
    EXPECT_EQ(std::strlen(result), 32u);
    EXPECT_EQ(std::string(result, 26), "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(result[32], '\0');
    EXPECT_EQ(result[33], 'x');  // exactly 33 bytes written
}

// Return on an empty line, and Escape after typing, leave the caller's
// buffer exactly as it was.
TEST_F(PromptTest, RefusalLeavesTheBufferAlone) {
    char result[33];
    std::memset(result, 0x5A, sizeof result);
    {
        ScriptedEvents script;
        script.Pass({KeyDown(SDLK_RETURN)});
        EXPECT_FALSE(PromptText(result, "Prompt:", kX, kY, screen));
    }
    {
        ScriptedEvents script;
        script.Pass({KeyDown(SDLK_a), KeyDown(SDLK_b)}).Pass({KeyDown(SDLK_ESCAPE)});
        EXPECT_FALSE(PromptText(result, "Prompt:", kX, kY, screen));
    }
    {
        ScriptedEvents script;  // typed and erased again: nothing to accept
        script.Pass({KeyDown(SDLK_a), KeyDown(SDLK_BACKSPACE), KeyDown(SDLK_BACKSPACE)})
            .Pass({KeyDown(SDLK_RETURN)});
        EXPECT_FALSE(PromptText(result, "Prompt:", kX, kY, screen));
    }
    for (char c : result) ASSERT_EQ(c, 0x5A);
}

// The box is light grey with the prompt in it; typed characters are white on
// black cells on the input row; Backspace leaves black cells.
TEST_F(PromptTest, DrawsTheBoxAndTheCells) {
    SDL_FillRect(screen, nullptr, 0x123456);
    ScriptedEvents script;
    script.Pass({KeyDown(SDLK_a), KeyDown(SDLK_b), KeyDown(SDLK_c)})
        .Pass({KeyDown(SDLK_BACKSPACE)})
        .Pass({KeyDown(SDLK_BACKSPACE)})
        .Pass({KeyDown(SDLK_RETURN)});
    char result[33];
    ASSERT_TRUE(PromptText(result, "Name?", kX, kY, screen));
    EXPECT_STREQ(result, "a");

    EXPECT_EQ(PixelAt(screen, kX, kY), 0xC0C0C0u);
    EXPECT_EQ(PixelAt(screen, kX + 263, kY + 31), 0xC0C0C0u);
    EXPECT_EQ(PixelAt(screen, kX + 264, kY), 0x123456u);
    EXPECT_EQ(PixelAt(screen, kX, kY + 32), 0x123456u);
    EXPECT_EQ(PixelAt(screen, kX - 1, kY), 0x123456u);
    EXPECT_EQ(CellMismatch(screen, kX + 4, kY + 4, 'N'), "");
    EXPECT_EQ(CellMismatch(screen, kX + 36, kY + 4, '?'), "");
    EXPECT_EQ(CellMismatch(screen, kX + 4, kY + 20, 'a'), "");
    EXPECT_EQ(CellMismatch(screen, kX + 12, kY + 20, ' '), "");
    EXPECT_EQ(CellMismatch(screen, kX + 20, kY + 20, ' '), "");
    EXPECT_EQ(PixelAt(screen, kX + 28, kY + 20), 0xC0C0C0u);  // never typed
}

// Several key-downs waiting at one poll are all typed, in order, and the
// events after Return stay queued for the main loop.
TEST_F(PromptTest, EveryQueuedKeyIsTypedAndTheRestStays) {
    ScriptedEvents script;
    script.Pass({KeyDown(SDLK_h), MouseMotion(1, 1), KeyDown(SDLK_e), KeyUp(SDLK_e),
                 KeyDown(SDLK_j), KeyDown(SDLK_RETURN), KeyDown(SDLK_ESCAPE), MouseUp(1, 5, 5)});
    char result[33];
    ASSERT_TRUE(PromptText(result, "Prompt:", kX, kY, screen));
    EXPECT_STREQ(result, "hej");
    EXPECT_EQ(script.Remaining(), 2u);
}

// Keys outside the handled set type nothing.
TEST_F(PromptTest, OtherKeysTypeNothing) {
    EXPECT_EQ(
        Type(
            {{SDLK_TAB}, {SDLK_DELETE}, {SDLK_F1}, {SDLK_KP5}, {SDLK_LSHIFT}, {SDLK_UP}, {SDLK_b}}),
        "b");
}

// A quit request while the prompt is open ends the process with status 0.
TEST_F(PromptTest, QuitEndsTheProcess) {
    EXPECT_EXIT(
        {
            ScriptedEvents script;
            script.Pass({KeyDown(SDLK_a)}).Pass({QuitEvent()});
            char result[33];
            PromptText(result, "Prompt:", kX, kY, screen);
            std::exit(3);  // not reached
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
