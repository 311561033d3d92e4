// The glyph table on its own: the shapes that text drawing and the prompt rely
// on, and that the compiled table is the one text/font.txt describes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "font.h"

namespace {

using Glyph = std::array<uint8_t, 8>;

Glyph GlyphOf(int code) {
    Glyph glyph;
    for (int row = 0; row < 8; ++row) glyph[row] = GlyphBitmaps[code * 8 + row];
    return glyph;
}

bool IsBlank(int code) {
    for (uint8_t row : GlyphOf(code))
        if (row) return false;
    return true;
}

std::string Hex(const Glyph& glyph) {
    std::string text;
    for (uint8_t row : glyph) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%s%02X", text.empty() ? "" : " ", row);
        text += byte;
    }
    return text;
}

// One column of a glyph read top to bottom as a byte, bit 7 the top row, so
// that columns and rows can be compared the same way.
uint8_t Column(const Glyph& glyph, int x) {
    uint8_t column = 0;
    for (int row = 0; row < 8; ++row)
        if (glyph[row] & (0x80 >> x)) column |= 0x80 >> row;
    return column;
}

TEST(FontData, TellingRowsAreExact) {
    // Property: the glyphs whose exact rows are fixed by the design have them.
    const std::pair<int, const char*> telling[] = {
        {1, "7E 81 A5 81 BD 99 81 7E"},   {5, "38 7C 38 FE FE D6 10 38"},
        {6, "10 10 38 7C FE 7C 10 38"},   {48, "78 CC DC FC EC CC 78 00"},
        {65, "30 78 CC CC FC CC CC 00"},  {97, "00 00 78 0C 7C CC 76 00"},
        {124, "18 18 18 00 18 18 18 00"}, {127, "10 38 6C C6 C6 C6 FE 00"},
        {132, "CC 00 78 0C 7C CC 7E 00"}, {134, "3C 66 3C 06 3E 66 3F 00"},
        {153, "C6 00 7C C6 C6 C6 7C 00"}, {155, "00 00 7C CE D6 E6 7C 00"},
        {176, "22 88 22 88 22 88 22 88"}, {201, "00 00 3F 30 37 36 36 36"},
        {207, "00 82 FE 6C 6C FE 82 00"}, {213, "00 C0 40 E0 00 00 00 00"},
        {219, "FF FF FF FF FF FF FF FF"}, {239, "18 30 00 00 00 00 00 00"},
        {245, "7E C3 78 CC CC 78 8C F8"}, {249, "00 CC 00 00 00 00 00 00"},
    };
    for (const auto& [code, rows] : telling) EXPECT_EQ(Hex(GlyphOf(code)), rows) << "code " << code;
}

TEST(FontData, ExactlyTheEightBlankCodesAreBlank) {
    // Property: the codes 0, 7, 8, 9, 10, 13, 32 and 255 are empty cells and
    // every other code shows something (the soft hyphen included).
    const std::set<int> blank = {0, 7, 8, 9, 10, 13, 32, 255};
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(IsBlank(code), blank.count(code) == 1) << "code " << code;
}

TEST(FontData, AsciiLeavesRightColumnFree) {
    // Property: printable ASCII never touches the next cell to the right,
    // except the asterisk and the underscore.
    for (int code = 32; code <= 126; ++code) {
        if (code == '*' || code == '_') continue;
        EXPECT_EQ(Column(GlyphOf(code), 7), 0) << "'" << char(code) << "'";
    }
}

TEST(FontData, AsciiLeavesBottomRowFreeExceptDescenders) {
    // Property: only , ; _ g j p q y reach into the bottom row, so a line of
    // text never touches the line below it.
    const std::string descenders = ",;_gjpqy";
    for (int code = 32; code <= 126; ++code) {
        if (descenders.find(char(code)) != std::string::npos) continue;
        EXPECT_EQ(GlyphOf(code)[7], 0) << "'" << char(code) << "'";
    }
}

TEST(FontData, VerticalBarIsBrokenLikeBrokenBar) {
    // Property: 124 is drawn as the broken bar 221: the same rows, with a gap.
    EXPECT_EQ(Hex(GlyphOf(124)), Hex(GlyphOf(221)));
    const Glyph bar = GlyphOf(124);
    EXPECT_TRUE(bar[0] && bar[6]) << Hex(bar);
    bool gap = false;
    for (int row = 1; row < 6; ++row) gap = gap || bar[row] == 0;
    EXPECT_TRUE(gap) << Hex(bar);
}

TEST(FontData, BoxPiecesMeetTheirNeighboursAtTheEdges) {
    // Property: each box-drawing piece reaches exactly the edges where it joins
    // a line, in the same rows or columns as the plain line of that weight, so
    // pieces put side by side form unbroken lines.
    // Weights per side, in the order up, down, left, right: 0 no line,
    // 1 single, 2 double.
    const std::map<int, std::array<int, 4>> pieces = {
        {179, {1, 1, 0, 0}}, {180, {1, 1, 1, 0}}, {185, {2, 2, 2, 0}}, {186, {2, 2, 0, 0}},
        {187, {0, 2, 2, 0}}, {188, {2, 0, 2, 0}}, {191, {0, 1, 1, 0}}, {192, {1, 0, 0, 1}},
        {193, {1, 0, 1, 1}}, {194, {0, 1, 1, 1}}, {195, {1, 1, 0, 1}}, {196, {0, 0, 1, 1}},
        {197, {1, 1, 1, 1}}, {200, {2, 0, 0, 2}}, {201, {0, 2, 0, 2}}, {202, {2, 0, 2, 2}},
        {203, {0, 2, 2, 2}}, {204, {2, 2, 0, 2}}, {205, {0, 0, 2, 2}}, {206, {2, 2, 2, 2}},
        {217, {1, 0, 1, 0}}, {218, {0, 1, 0, 1}},
    };
    // The edge of a plain line of each weight; 0 for no line.
    const uint8_t vertical[3] = {0, GlyphOf(179)[0], GlyphOf(186)[0]};
    const uint8_t horizontal[3] = {0, Column(GlyphOf(196), 0), Column(GlyphOf(205), 0)};
    ASSERT_NE(vertical[1], 0);
    ASSERT_NE(vertical[2], 0);
    ASSERT_NE(horizontal[1], 0);
    ASSERT_NE(horizontal[2], 0);
    for (const auto& [code, weight] : pieces) {
        const Glyph glyph = GlyphOf(code);
        EXPECT_EQ(glyph[0], vertical[weight[0]]) << "top edge of " << code;
        EXPECT_EQ(glyph[7], vertical[weight[1]]) << "bottom edge of " << code;
        EXPECT_EQ(Column(glyph, 0), horizontal[weight[2]]) << "left edge of " << code;
        EXPECT_EQ(Column(glyph, 7), horizontal[weight[3]]) << "right edge of " << code;
    }
}

TEST(FontData, ShadesTileWithoutSeamsAndDarkenInOrder) {
    // Property: a run of shade cells shows no seam (no two empty rows or
    // columns meet, across the cell edge either), and 176, 177, 178 get
    // darker in that order.
    int previousInk = 0;
    for (int code : {176, 177, 178}) {
        const Glyph shade = GlyphOf(code);
        int ink = 0;
        for (int i = 0; i < 8; ++i) {
            const int next = (i + 1) % 8;
            EXPECT_FALSE(shade[i] == 0 && shade[next] == 0) << code << " rows " << i;
            EXPECT_FALSE(Column(shade, i) == 0 && Column(shade, next) == 0)
                << code << " columns " << i;
            for (int x = 0; x < 8; ++x) ink += (shade[i] >> x) & 1;
        }
        EXPECT_GT(ink, previousInk) << code;
        previousInk = ink;
    }
}

TEST(FontData, BlocksFillTheirPartOfTheCell) {
    // Property: the half blocks are solid to the cell edges on their side.
    EXPECT_EQ(Hex(GlyphOf(220)), "00 00 00 00 FF FF FF FF");  // lower half
    EXPECT_EQ(Hex(GlyphOf(223)), "FF FF FF FF 00 00 00 00");  // upper half
}

TEST(FontData, NoGlyphIsAnAccidentalCopy) {
    // Property: apart from the blank codes and the pairs that are the same
    // character (broken bar, pilcrow), no two codes share a bitmap; a
    // duplicate is a glyph copied and never redrawn.
    const std::set<std::pair<int, int>> same = {{124, 221}, {20, 244}};
    std::map<Glyph, int> seen;
    for (int code = 0; code < 256; ++code) {
        if (IsBlank(code)) continue;
        auto [it, fresh] = seen.emplace(GlyphOf(code), code);
        if (!fresh) {
            EXPECT_EQ(same.count({it->second, code}), 1u) << it->second << " and " << code;
        }
    }
}

TEST(FontData, CompiledTableMatchesFontTxt) {
    // Property: text/font_data.cpp was regenerated after the last edit of
    // text/font.txt (scripts/gen_font.py).
    const std::string path = std::string(VDE_SOURCE_DIR) + "/text/font.txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot read " << path;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
    }
    int code = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == ';') continue;
        ASSERT_LT(code, 256) << "line " << i + 1 << ": more than 256 glyphs";
        char header[5];
        std::snprintf(header, sizeof header, "0x%02X", code);
        ASSERT_EQ(lines[i].compare(0, 4, header), 0) << "line " << i + 1 << ": want " << header;
        ASSERT_LE(i + 8, lines.size() - 1) << header << ": fewer than 8 rows";
        Glyph drawn{};
        for (int row = 0; row < 8; ++row) {
            const std::string& pixels = lines[i + 1 + row];
            ASSERT_EQ(pixels.size(), 8u) << "line " << i + 2 + row;
            for (int x = 0; x < 8; ++x) {
                ASSERT_TRUE(pixels[x] == '#' || pixels[x] == '.') << "line " << i + 2 + row;
                if (pixels[x] == '#') drawn[row] |= 0x80 >> x;
            }
        }
        EXPECT_EQ(Hex(GlyphOf(code)), Hex(drawn)) << header << ": run scripts/gen_font.py";
        i += 8;
        ++code;
    }
    EXPECT_EQ(code, 256);
}

}  // namespace
