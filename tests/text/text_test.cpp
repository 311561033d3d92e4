#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "cp850.h"
#include "font.h"
#include "keymaps.h"
#include "prompt.h"
#include "scripted_events.h"
#include "test_support.h"

using namespace std::string_literals;

// Telling glyphs hold their rows; exactly the eight blank codes are blank;
// the sheet has the foreground for set bits and 1 for clear ones.
TEST(Font, GlyphsAndSheet) {
    const struct {
        int code;
        uint64_t rows;
    } glyphs[] = {
        {1, 0x7E81A581BD99817E}, {65, 0x3078CCCCFCCCCC00}, {132, 0xCC00780C7CCC7E00}, {219, ~0ull}};
    for (const auto& g : glyphs) {
        uint64_t rows = 0;
        for (int r = 0; r < 8; ++r) rows = rows << 8 | GlyphBitmaps[8 * g.code + r];
        EXPECT_EQ(rows, g.rows) << g.code;
    }
    std::vector<int> blank;
    for (int c = 0; c < 256; ++c) {
        if (std::all_of(GlyphBitmaps + 8 * c, GlyphBitmaps + 8 * c + 8, [](int b) { return !b; }))
            blank.push_back(c);
    }
    EXPECT_EQ(blank, (std::vector<int>{0, 7, 8, 9, 10, 13, 32, 255}));
    ASSERT_TRUE(BuildFont(true, 0x123456));
    EXPECT_EQ(GlyphSheet->format->colorkey, 1u);
    EXPECT_EQ(PixelAt(GlyphSheet, 2, 8 * 65), 0x123456u);  // 'A', row 0x30
    EXPECT_EQ(PixelAt(GlyphSheet, 1, 8 * 65), 1u);
    EXPECT_EQ(PixelAt(GlyphSheet, 7, 8 * 220 - 1), 0x123456u);  // 219, last row
    ASSERT_TRUE(BuildFont(false, 0xFFFFFF));
}

// A newline returns to the starting x 8 pixels down, other control codes draw
// their glyphs, a field stops at its width or zero byte, DrawChar draws any
// code, numbers are decimal, and text past the right edge is clipped.
TEST(Font, Drawing) {
    SDL_Surface* s = TestScreen();
    const struct {
        std::string text;
        size_t width;
        int number;
        std::string line1, line2;
    } rows[] = {{"A\nB\x01\r", SIZE_MAX, 0, "A", "B\x01\r"},
                {"ABCD", 2, 0, "AB", ""},
                {"AB\0CD"s, 5, 0, "AB", ""},
                {"\n", 0, 0, "\n", ""},  // width 0: DrawChar
                {"", 1, -2147483647 - 1, "-2147483648", ""},
                {"", 1, 1907, "1907", ""}};
    for (const auto& r : rows) {
        SDL_FillRect(s, nullptr, 0);
        if (r.number)
            DrawNumber(r.number, 8, 8, s);
        else if (r.width == 0)
            DrawChar(static_cast<uint8_t>(r.text[0]), 8, 8, s);
        else if (r.width == SIZE_MAX)
            DrawText(r.text.c_str(), 8, 8, s);
        else
            DrawTextField(r.text.c_str(), r.width, 8, 8, s);
        EXPECT_EQ(TextMismatch(s, r.line1, 8, 8) + TextMismatch(s, r.line2, 8, 16), "");
        EXPECT_EQ(PixelAt(s, 8 + 8 * int(r.line1.size()), 8), 0u) << r.line1;
        EXPECT_EQ(PixelAt(s, 8 + 8 * int(r.line2.size()), 16), 0u) << r.line2;
    }
    SDL_FillRect(s, nullptr, 0);
    DrawText("ABC", 632, 8, s);
    DrawText(std::string(4100, 'A').c_str(), 32760, 8, s);  // 16-bit x would wrap to 0
    EXPECT_EQ(TextMismatch(s, "A", 632, 8), "");
    EXPECT_EQ(PixelAt(s, 2, 8), 0u);
}

// The keyboard tables (built with the font): the rule and the national layout.
TEST(Keyboard, Tables) {
    TestScreen();
    const uint8_t keys[][4] = {
        {0, 0, 240, 0},       {32, 32, 16, 32},      {49, '1', '!', '1'},    {39, 0x84, 0x8E, 0x84},
        {44, ',', ';', ','},  {45, '+', '?', '\\'},  {46, '.', ':', '.'},    {47, '-', '_', '-'},
        {48, '0', '=', '}'},  {50, '2', '"', '@'},   {51, '3', '#', 0x9C},   {52, '4', 0xCF, '$'},
        {55, '7', '/', '{'},  {56, '8', '(', '['},   {57, '9', ')', ']'},    {59, 0x94, 0x99, 0x94},
        {60, '<', '>', '|'},  {61, 0xEF, '`', 0xEF}, {91, 0x86, 0x8F, 0x86}, {92, '\'', '*', '\''},
        {93, 0xF9, '^', '~'}, {96, 0xF5, 0xAB, 0xF5}};
    for (const auto& k : keys) {
        EXPECT_EQ(KeyMapPlain[k[0]], k[1]) << int(k[0]);
        EXPECT_EQ(KeyMapShift[k[0]], k[2]) << int(k[0]);
        EXPECT_EQ(KeyMapAlt[k[0]], k[3]) << int(k[0]);
    }
    const struct {
        uint16_t latin1;
        bool shift;
        uint8_t cp850;
    } latin1[] = {{159, true, 0},      {256, false, 0},    {160, false, 0xFF}, {255, true, 0x98},
                  {0xE5, false, 0x86}, {0xE5, true, 0x8F}, {0xE0, true, 0xB7}, {0xFE, true, 0xE8},
                  {0xDF, true, 0xE1},  {0xF7, true, 0xF6}, {0xD7, false, 0x9E}};
    for (const auto& l : latin1)
        EXPECT_EQ(Latin1KeyToCp850(l.latin1, l.shift), l.cp850) << l.latin1;
}

// Every byte round-trips through Unicode; fields end at a zero byte or their
// width and come out as UTF-8.
TEST(Cp850, Decoding) {
    for (int b = 0; b < 256; ++b) {
        uint8_t back = 0;
        EXPECT_TRUE(UnicodeToCp850(Cp850ToUnicode(static_cast<uint8_t>(b)), &back) && back == b)
            << b;
    }
    EXPECT_EQ(Cp850FieldToUtf8("A\x84\x9F\xB0\xFF\0B", 7), "A\u00E4\u0192\u2591\u00A0");
    EXPECT_EQ(Cp850FieldToUtf8("ABCD", 2), "AB");
}

// Encoding refuses invalid UTF-8, U+0000, characters outside the code page and
// texts too long for the field, each with its kind.
TEST(Cp850, Encoding) {
    using F = Cp850EncodeFailure;
    const std::tuple<std::string, size_t, F::Kind, uint32_t, std::string> rows[] = {
        {"", 1, F::kNone, 0, ""},
        {"\xC2\xA0\xE2\x95\x90", 3, F::kNone, 0, "\xFF\xCD"},
        {"\x80", 9, F::kInvalidUtf8, 0, ""},
        {"\xC1\xBF", 9, F::kInvalidUtf8, 0, ""},
        {"\xE0\x9F\xBF", 9, F::kInvalidUtf8, 0, ""},
        {"\xE0\xA0\x80", 9, F::kNotInCodePage, 0x800, ""},
        {"\xED\xA0\x80", 9, F::kInvalidUtf8, 0, ""},
        {"\xED\xBF\xBF", 9, F::kInvalidUtf8, 0, ""},
        {"\xED\x9F\xBF", 9, F::kNotInCodePage, 0xD7FF, ""},
        {"\xEE\x80\x80", 9, F::kNotInCodePage, 0xE000, ""},
        {"\xF0\x8F\xBF\xBF", 9, F::kInvalidUtf8, 0, ""},
        {"\xF4\x90\x80\x80", 9, F::kInvalidUtf8, 0, ""},
        {"\xF0\x9F\x98\x80", 9, F::kNotInCodePage, 0x1F600, ""},
        {"\xF5\x80\x80\x80", 9, F::kInvalidUtf8, 0, ""},
        {"\xE2\x95", 9, F::kInvalidUtf8, 0, ""},
        {"A\0B"s, 9, F::kNotInCodePage, 0, ""},
        {"ABC\u20AC", 2, F::kNotInCodePage, 0x20AC, ""},
        {"ABC", 3, F::kTooLong, 3, ""}};
    for (const auto& [utf8, size, kind, number, text] : rows) {
        char out[9] = "xxxxxxxx";
        F failure;
        EXPECT_EQ(Utf8ToCp850(utf8, out, size), kind == F::kNone) << utf8;
        EXPECT_EQ(Utf8ToCp850(utf8, out, size, &failure), kind == F::kNone) << utf8;
        EXPECT_EQ(failure.kind, kind) << utf8;
        EXPECT_EQ(kind == F::kTooLong ? failure.length : failure.codePoint, number) << utf8;
        EXPECT_EQ(kind == F::kNone ? out : "", text) << utf8;
    }
}

// The prompt's box and text; keys typed in order through the tables, as
// Latin-1 symbols, at most 32; Backspace; Return and Escape with nothing
// typed decline and leave the buffer; the events after the end stay queued.
TEST(Prompt, Typing) {
    SDL_Surface* s = TestScreen();
    const auto shift = KMOD_LSHIFT, alt = KMOD_RALT, both = SDLMod(KMOD_RSHIFT | KMOD_LALT);
    std::vector<SDL_Event> full(33, KeyDown(SDLK_x));
    full.push_back(KeyDown(SDLK_RETURN));
    const struct {
        std::vector<SDL_Event> keys;
        std::string shown, result;
        size_t left;
    } rows[] = {{{KeyDown(SDLK_a), KeyDown(SDLK_z, shift), KeyDown(SDLK_1, shift),
                  KeyDown(SDLK_SEMICOLON, alt), KeyDown(SDLK_2, alt), KeyDown(SDLK_2, both),
                  KeyDown(SDLK_BACKQUOTE), KeyDown(SDLK_RETURN)},
                 "aZ!\x94@\"\xF5",
                 "aZ!\x94@\"\xF5",
                 0},
                {{KeyDown(SDLK_WORLD_0), KeyDown(SDLK_WORLD_69, shift),
                  KeyDown(SDLK_WORLD_95, shift), KeyDown(SDLKey(31)), KeyDown(SDLKey(123)),
                  KeyDown(SDLKey(159)), KeyDown(SDLKey(256)), Button(SDL_MOUSEBUTTONUP, 1, 0, 0),
                  KeyDown(SDLK_RETURN), Event(SDL_QUIT), KeyDown(SDLK_b)},
                 "\xFF\x8F\x98",
                 "\xFF\x8F\x98",
                 2},
                {{KeyDown(SDLK_a), KeyDown(SDLK_b), KeyDown(SDLK_BACKSPACE), KeyDown(SDLK_RETURN)},
                 "a ",
                 "a",
                 0},
                {full, std::string(32, 'x'), std::string(32, 'x'), 0},
                {{KeyDown(SDLK_BACKSPACE), KeyDown(SDLK_RETURN), KeyDown(SDLK_b)}, "", "", 1},
                {{KeyDown(SDLK_a), KeyDown(SDLK_ESCAPE), KeyDown(SDLK_b)}, "a", "", 1}};
    for (const auto& r : rows) {
        SDL_FillRect(s, nullptr, 0);
        ScriptedEvents script(r.keys);
        char result[33] = "untouched";
        EXPECT_EQ(PromptText(result, "Name?", 100, 200, s), !r.result.empty()) << r.shown;
        EXPECT_EQ(result, r.result.empty() ? "untouched" : r.result);
        EXPECT_EQ(script.Remaining(), r.left) << r.shown;
        EXPECT_EQ(TextMismatch(s, "Name?", 104, 204) + TextMismatch(s, r.shown, 104, 220), "");
        const int end = 104 + 8 * int(r.shown.size());
        for (auto p : {std::pair{100, 200}, {363, 231}, {end, 220}}) {
            EXPECT_EQ(PixelAt(s, p.first, p.second), 0xC0C0C0u) << r.shown;
        }
        EXPECT_EQ(PixelAt(s, 364, 231) + PixelAt(s, 363, 232) + PixelAt(s, 99, 200), 0u);
    }
    EXPECT_EXIT(
        {
            ScriptedEvents quit({Event(SDL_QUIT)});
            PromptText(nullptr, "", 0, 0, s);
        },
        testing::ExitedWithCode(0), "");
}
