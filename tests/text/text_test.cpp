#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cp850.h"
#include "font.h"
#include "keymaps.h"
#include "prompt.h"
#include "scripted_events.h"
#include "test_support.h"

using namespace std::string_literals;

// Telling glyphs hold their rows, exactly eight codes are blank, and the sheet
// has the foreground for set bits, with 1 (clear bits) as the colour key.
TEST(Font, GlyphsAndSheet) {
    std::map<int, uint64_t> rows;
    std::vector<int> blank;
    for (int c = 0; c < 256; ++c) {
        for (int r = 0; r < 8; ++r) rows[c] = rows[c] << 8 | GlyphBitmaps[8 * c + r];
        if (!rows[c]) blank.push_back(c);
    }
    EXPECT_EQ(blank, (std::vector<int>{0, 7, 8, 9, 10, 13, 32, 255}));
    EXPECT_EQ(
        (std::vector<uint64_t>{rows[1], rows[65], rows[132], rows[219]}),
        (std::vector<uint64_t>{0x7E81A581BD99817E, 0x3078CCCCFCCCCC00, 0xCC00780C7CCC7E00, ~0ull}));
    ASSERT_TRUE(BuildFont(true, 0x123456));
    EXPECT_EQ(PixelAt(GlyphSheet, 2, 8 * 'A') + GlyphSheet->format->colorkey, 0x123457u);
    ASSERT_TRUE(BuildFont(false, 0xFFFFFF));
}

// A newline returns to the starting x 8 pixels down; other control codes draw
// their glyphs, as DrawChar does any code; a field ends at its width or zero
// byte; numbers are decimal; text past the right edge is clipped, never
// wrapped round to the left.
TEST(Font, Drawing) {
    SDL_Surface* s = TestScreen();
    SDL_FillRect(s, nullptr, 0);
    DrawText("A\nB\x01\r", 8, 8, s);
    DrawTextField("CDEF", 2, 8, 24, s);
    DrawTextField("GH\0IJ", 5, 8, 32, s);
    DrawChar('\n', 8, 40, s);
    DrawNumber(-2147483647 - 1, 8, 48, s);
    DrawNumber(1907, 8, 56, s);
    DrawText(std::string(4100, 'N').c_str(), 32760, 64, s);  // the 4099th would be at x 8
    DrawText("KLM", 632, 72, s);
    const std::pair<std::string, int> rows[] = {{"A", 8},     {"B\x01\r", 16}, {"CD", 24},
                                                {"GH", 32},   {"\n", 40},      {"-2147483648", 48},
                                                {"1907", 56}, {"", 64}};
    for (const auto& [text, y] : rows) {
        EXPECT_EQ(TextMismatch(s, text, 8, y), "");
        EXPECT_EQ(PixelAt(s, 8 + 8 * int(text.size()), y), 0u) << text;
    }
    EXPECT_EQ(TextMismatch(s, "KLM", 632, 72), "");
}

// The keyboard tables, built with the font: plain, Shift and Alt characters of
// keys the rule gives and of the national layout's keys; Latin-1 key symbols.
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
        EXPECT_EQ(std::vector<int>({KeyMapPlain[k[0]], KeyMapShift[k[0]], KeyMapAlt[k[0]]}),
                  std::vector<int>({k[1], k[2], k[3]}))
            << int(k[0]);
    }
    const std::tuple<int, bool, int> latin1[] = {
        {159, true, 0},      {256, false, 0},    {160, false, 0xFF}, {255, true, 0x98},
        {0xE5, false, 0x86}, {0xE5, true, 0x8F}, {0xE0, true, 0xB7}, {0xFE, true, 0xE8},
        {0xDF, true, 0xE1},  {0xF7, true, 0xF6}, {0xD7, false, 0x9E}};
    for (auto [key, shift, code] : latin1) EXPECT_EQ(Latin1KeyToCp850(key, shift), code) << key;
}

// Every byte round-trips through Unicode; texts are refused when not valid
// UTF-8, with U+0000 or a character the code page has not, or too long for
// the field, each with its kind; what is accepted decodes back to the text.
TEST(Cp850, Conversions) {
    for (int b = 0; b < 256; ++b) {
        uint8_t back = 0;
        EXPECT_TRUE(UnicodeToCp850(Cp850ToUnicode(uint8_t(b)), &back) && back == b) << b;
    }
    EXPECT_EQ(Cp850FieldToUtf8("A\x84\x9F\xB0\xFF\0B", 7), "A\u00E4\u0192\u2591\u00A0");
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
    for (auto text : {"\xDF\xBF"s, "\xE0\xA0\x80"s, "\xED\x9F\xBF"s, "\xEF\xBF\xBD"s,
                      "\xF4\x8F\xBF\xBF"s, "A\0B"s})
        EXPECT_EQ(encode(text).kind, F::kNotInCodePage) << text;
    const F notInCodePage = encode("ABCD\u20AC"),
            tooLong = encode("ABCD");  // a text both is refused for the character
    EXPECT_TRUE(notInCodePage.kind == F::kNotInCodePage && notInCodePage.codePoint == 0x20AC);
    EXPECT_TRUE(tooLong.kind == F::kTooLong && tooLong.length == 4);
}

// The prompt's box and text; keys typed in order through the tables and as
// Latin-1 symbols, at most 32; Backspace; Return and Escape with nothing
// typed decline and leave the buffer; the events after the end stay queued;
// a quit request ends the process with status 0.
TEST(Prompt, Typing) {
    SDL_Surface* s = TestScreen();
    const auto shift = KMOD_LSHIFT, alt = KMOD_RALT;
    const SDL_Event a = KeyDown(SDLK_a), b = KeyDown(SDLK_b), erase = KeyDown(SDLK_BACKSPACE),
                    enter = KeyDown(SDLK_RETURN);
    const std::vector<SDL_Event> typing(
        {a, KeyDown(SDLK_z, shift), KeyDown(SDLK_SEMICOLON, alt), KeyDown(SDLK_2, alt),
         KeyDown(SDLK_2, SDLMod(KMOD_RSHIFT | KMOD_LALT)), KeyDown(SDLK_BACKQUOTE),
         KeyDown(SDLK_WORLD_0), KeyDown(SDLK_WORLD_69, shift), KeyDown(SDLK_WORLD_95, shift),
         KeyDown(SDLKey(31)), KeyDown(SDLKey(123)), KeyDown(SDLKey(159)), KeyDown(SDLKey(256)),
         Event(SDL_MOUSEBUTTONUP), enter, Event(SDL_QUIT), b});
    std::vector<SDL_Event> full(33, KeyDown(SDLK_x));
    full.push_back(enter);
    const std::vector<std::tuple<std::vector<SDL_Event>, std::string, std::string, size_t>> rows(
        {{typing, "aZ\x94@\"\xF5\xFF\x8F\x98", "aZ\x94@\"\xF5\xFF\x8F\x98", 2},
         {{a, b, erase, enter}, "a ", "a", 0},
         {full, std::string(32, 'x'), std::string(32, 'x'), 0},
         {{erase, enter, b}, "", "", 1},
         {{a, KeyDown(SDLK_ESCAPE), b}, "a", "", 1}});
    for (const auto& [keys, shown, typed, left] : rows) {
        SDL_FillRect(s, nullptr, 0);
        ScriptedEvents script(keys);
        char result[33] = "untouched";
        EXPECT_EQ(PromptText(result, "Name?", 100, 200, s), !typed.empty()) << shown;
        EXPECT_EQ(result, typed.empty() ? "untouched" : typed);
        EXPECT_EQ(script.Remaining(), left) << shown;
        EXPECT_EQ(TextMismatch(s, "Name?", 104, 204) + TextMismatch(s, shown, 104, 220), "");
        const int end = 104 + 8 * int(shown.size());
        for (auto [x, y, grey] :
             {std::tuple{100, 200, 1}, {363, 231, 1}, {end, 220, 1}, {364, 231, 0}, {363, 232, 0}})
            EXPECT_EQ(PixelAt(s, x, y), grey ? 0xC0C0C0u : 0u) << x << "," << y;
    }
    ScriptedEvents quit({Event(SDL_QUIT)});
    EXPECT_EXIT(PromptText(nullptr, "", 0, 0, s), testing::ExitedWithCode(0), "");
}
