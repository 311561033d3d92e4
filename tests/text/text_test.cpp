#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cp850.h"
#include "font.h"
#include "keymaps.h"
#include "prompt.h"
#include "scripted_events.h"
#include "test_support.h"

using namespace std::string_literals;

// The eight blank glyphs, the sheet's colours and key, and where text, fields and numbers land.
TEST(Font, GlyphsAndDrawing) {
    std::vector<int> blank;
    for (int c = 0; c < 256; ++c)
        if (std::count(GlyphBitmaps + 8 * c, GlyphBitmaps + 8 * c + 8, 0) == 8) blank.push_back(c);
    EXPECT_EQ(blank, (std::vector<int>{0, 7, 8, 9, 10, 13, 32, 255}));
    // Telling glyphs, their rows from the top.
    for (auto [c, rows] : {std::pair{65, 0x3078CCCCFCCCCC00u},
                           {132, 0xCC00780C7CCC7E00u},
                           {176, 0x2288228822882288u},
                           {201, 0x00003F3037363636u},
                           {245, 0x7EC378CCCC788CF8u}}) {
        uint64_t shown = 0;
        for (int row = 0; row < 8; ++row) shown = shown << 8 | GlyphBitmaps[8 * c + row];
        EXPECT_EQ(shown, rows) << c;
    }
    ASSERT_TRUE(BuildFont(true, 0x123456));
    // 'A' starts with the row 0x30: pixel 2 is set.
    EXPECT_EQ(PixelAt(GlyphSheet, 2, 8 * 'A') + GlyphSheet->format->colorkey, 0x123457u);
    ASSERT_TRUE(BuildFont(false, 0xFFFFFF));
    SDL_Surface* s = TestScreen();
    SDL_FillRect(s, nullptr, 0);
    DrawText("A\nB\x01\r", 8, 8, s);
    DrawTextField("CDEF", 2, 8, 24, s);
    DrawChar('\n', 8, 32, s);
    DrawNumber(-2147483647 - 1, 8, 40, s);
    DrawText(std::string(4100, 'N').c_str(), 32760, 48, s);  // the 4099th would be at x 8
    const std::pair<std::string, int> rows[] = {{"A", 8},   {"B\x01\r", 16},     {"CD", 24},
                                                {"\n", 32}, {"-2147483648", 40}, {"", 48}};
    for (const auto& [text, y] : rows) {
        EXPECT_EQ(TextMismatch(s, text, 8, y), "");
        EXPECT_EQ(PixelAt(s, 8 + 8 * int(text.size()), y), 0u) << text;
    }
}

// Plain, Shift and Alt characters of keys the rule gives and of the national layout's keys.
TEST(Keyboard, Tables) {
    TestScreen();
    const uint8_t keys[][4] = {{32, 32, 16, 32},      {39, 0x84, 0x8E, 0x84}, {44, ',', ';', ','},
                               {45, '+', '?', '\\'},  {46, '.', ':', '.'},    {47, '-', '_', '-'},
                               {48, '0', '=', '}'},   {50, '2', '"', '@'},    {51, '3', '#', 0x9C},
                               {52, '4', 0xCF, '$'},  {55, '7', '/', '{'},    {56, '8', '(', '['},
                               {57, '9', ')', ']'},   {59, 0x94, 0x99, 0x94}, {60, '<', '>', '|'},
                               {61, 0xEF, '`', 0xEF}, {91, 0x86, 0x8F, 0x86}, {92, '\'', '*', '\''},
                               {93, 0xF9, '^', '~'},  {96, 0xF5, 0xAB, 0xF5}};
    for (const auto& [key, plain, shifted, alt] : keys)
        EXPECT_TRUE(KeyMapPlain[key] == plain && KeyMapShift[key] == shifted &&
                    KeyMapAlt[key] == alt)
            << int(key);
}

// Bytes round-trip; encoding refuses bad UTF-8, U+0000, other characters and long texts, by kind.
TEST(Cp850, Conversions) {
    uint8_t back = 0;
    for (int b = 0; b < 256; ++b)
        EXPECT_TRUE(UnicodeToCp850(Cp850ToUnicode(uint8_t(b)), &back) && back == b) << b;
    using F = Cp850EncodeFailure;
    // Encodes `text` into a 4-byte field; what is accepted must decode back.
    const auto encode = [](const std::string& text) {
        char out[4];
        F failure;
        const bool ok = Utf8ToCp850(text, out, 4, &failure);
        EXPECT_TRUE(ok == Utf8ToCp850(text, out, 4) && ok == (failure.kind == F::kNone)) << text;
        EXPECT_EQ(ok ? Cp850FieldToUtf8(out, 4) : text, text);
        return failure;
    };
    for (auto text : {"ABC"s, "\xC2\xA0\xE2\x95\x90"s})
        EXPECT_EQ(encode(text).kind, F::kNone) << text;
    for (auto text : {"\x80"s, "\xC1\xBF\x80\x80"s, "\xC3\x41"s, "\xE0\x9F\xBF"s, "\xED\xA0\x80"s,
                      "\xED\xBF\xBF"s, "\xF4\x90\x80\x80"s, "\xE2\x95"s})
        EXPECT_EQ(encode(text).kind, F::kInvalidUtf8) << text;
    for (auto text : {"\xC2\x80"s, "\xDF\xBF"s, "\xE0\xA0\x80"s, "\xED\x9F\xBF"s, "\xEF\xBF\xBD"s,
                      "\xF4\x8F\xBF\xBF"s, "A\0B"s,
                      "ABCD\u20AC"s})  // too long as well: refused for the character
        EXPECT_EQ(encode(text).kind, F::kNotInCodePage) << text;
    EXPECT_EQ(encode("ABCD").kind, F::kTooLong);
}

// The box; keys typed in order (tables, Latin-1, 32 at most); Backspace, Return, Escape, quit.
TEST(Prompt, Typing) {
    SDL_Surface* s = TestScreen();
    const SDL_Event a = KeyDown(SDLK_a), b = KeyDown(SDLK_b), erase = KeyDown(SDLK_BACKSPACE),
                    enter = KeyDown(SDLK_RETURN), quit{SDL_QUIT};
    // Keys as SDL reports them: ASCII, national keys as Latin-1 (160..255, Shift
    // gives capitals but not to signs or letters without one), and codes on
    // either side of each range that types nothing. The character SDL
    // translates a key to comes first when code page 850 has it, but not under
    // Alt (AltGr is Mode), nor for control codes. Events after Return stay.
    const int shift = KMOD_LSHIFT, alt = KMOD_RALT, altGr = KMOD_MODE;
    const int keys[][3] = {{'a', 0, 0},          {' ', 0, 0},          {'z', shift, 0},
                           {';', alt, 'x'},      {'2', alt, 0},        {'2', shift | alt, 0},
                           {'`', 0, 0},          {'-', 0, '-'},        {'2', altGr, '@'},
                           {'e', altGr, 0x20AC}, {'a', KMOD_LCTRL, 1}, {'q', 0, 0xE5},
                           {160, 0, 0},          {229, shift, 0},      {255, shift, 0},
                           {223, shift, 0},      {224, shift, 0},      {247, shift, 0},
                           {254, shift, 0},      {215, 0, 0},          {'2', KMOD_RSHIFT, 0},
                           {'2', KMOD_LALT, 0},  {' ', shift, ' '},    {127, 0, 127},
                           {31, 0, 0},           {123, 0, 0},          {159, 0, 0},
                           {256, 0, 0}};
    std::vector<SDL_Event> typing;
    for (auto [sym, mod, unicode] : keys) {
        typing.push_back(KeyDown(SDLKey(sym), SDLMod(mod)));
        typing.back().key.keysym.unicode = Uint16(unicode);
    }
    typing.insert(typing.end(), 33, KeyDown(SDLK_x));  // a line holds 32 characters
    typing.insert(typing.end(), {SDL_Event{SDL_MOUSEBUTTONUP}, enter, quit, b});
    const std::string all =
        "a Z\x94@\"\xF5-@ea\x86\xFF\x8F\x98\xE1\xB7\xF6\xE8\x9E\"@\x10" + std::string(9, 'x');
    const std::vector<std::tuple<std::vector<SDL_Event>, std::string, std::string, size_t>> rows(
        {{typing, all, all, 2},
         {{a, b, erase, enter}, "a ", "a", 0},
         {{erase, enter, b}, "", "", 1},
         {{a, KeyDown(SDLK_ESCAPE), b}, "a", "", 1}});
    for (const auto& [events, shown, typed, left] : rows) {
        SDL_FillRect(s, nullptr, 0);
        Feed(events);
        char result[33] = "untouched";
        const bool accepted = PromptText(result, "Name?", 100, 200, s);
        EXPECT_TRUE(accepted == !typed.empty() && result == (accepted ? typed : "untouched") &&
                    EventsLeft() == left);
        EXPECT_EQ(TextMismatch(s, "Name?", 104, 204) + TextMismatch(s, shown, 104, 220), "");
        // The box shows after the line: it was drawn, and nothing more typed.
        EXPECT_EQ(PixelAt(s, 104 + 8 * int(shown.size()), 220), 0xC0C0C0u) << shown;
    }
    Feed({quit});
    EXPECT_EXIT(PromptText(nullptr, "", 0, 0, s), testing::ExitedWithCode(0), "");
}
