#include <gtest/gtest.h>

#include <climits>

#include "font.h"
#include "keymaps.h"
#include "sdl_fixture.h"

namespace {

constexpr uint32_t kPaint = 0x123456;

class TextDrawTest : public SdlTest {
  protected:
    void SetUp() override {
        SdlTest::SetUp();
        SDL_FillRect(screen, nullptr, kPaint);
    }
    // True when no pixel of the rectangle was drawn over.
    bool Untouched(int x, int y, int w, int h) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                if (PixelAt(screen, i, j) != kPaint) return false;
        return true;
    }
};

// The sheet holds each glyph's bits as white on the value 1, one 8-pixel row
// per bitmap byte, leftmost pixel from bit 7.
TEST_F(TextDrawTest, SheetMatchesBitmaps) {
    ASSERT_NE(GlyphSheet, nullptr);
    EXPECT_EQ(GlyphSheet->w, 8);
    EXPECT_EQ(GlyphSheet->h, 2048);
    for (int code : {1, 65, 132, 219, 245}) {
        EXPECT_EQ(CellMismatch(GlyphSheet, 0, 8 * code, static_cast<uint8_t>(code)), "");
    }
    // Building the font also fills the keyboard tables.
    EXPECT_EQ(KeyMapShift[52], 207);
}

// A newline returns to the starting x one row lower; two in a row skip a row
// without drawing; other bytes advance 8 pixels.
TEST_F(TextDrawTest, NewlinesStartLinesAtTheStartingX) {
    DrawText("A\nB\n\nCD", 10, 20, screen);
    EXPECT_EQ(CellMismatch(screen, 10, 20, 'A'), "");
    EXPECT_EQ(CellMismatch(screen, 10, 28, 'B'), "");
    EXPECT_TRUE(Untouched(10, 36, 16, 8));
    EXPECT_EQ(CellMismatch(screen, 10, 44, 'C'), "");
    EXPECT_EQ(CellMismatch(screen, 18, 44, 'D'), "");
    EXPECT_TRUE(Untouched(18, 20, 8, 16));
}

// An empty string draws nothing; blank codes draw opaque black cells.
TEST_F(TextDrawTest, EmptyDrawsNothingAndBlanksCover) {
    DrawText("", 100, 100, screen);
    EXPECT_TRUE(Untouched(90, 90, 30, 30));
    DrawText(" \xFF\r", 100, 100, screen);
    for (int x = 100; x < 124; ++x)
        for (int y = 100; y < 108; ++y) ASSERT_EQ(PixelAt(screen, x, y), 1u) << x << "," << y;
}

// Bytes above 127 draw their own glyph, never a sign-extended index.
TEST_F(TextDrawTest, HighBytesDrawCodePage850Glyphs) {
    DrawText("\x84\x99", 0, 0, screen);
    EXPECT_EQ(CellMismatch(screen, 0, 0, 132), "");
    EXPECT_EQ(CellMismatch(screen, 8, 0, 153), "");
    DrawChar(213, 40, 0, screen);
    EXPECT_EQ(CellMismatch(screen, 40, 0, 213), "");
}

// DrawChar draws control codes as glyphs, and draws nothing else.
TEST_F(TextDrawTest, DrawCharHasNoControlCodes) {
    DrawChar(1, 200, 200, screen);
    EXPECT_EQ(CellMismatch(screen, 200, 200, 1), "");
    EXPECT_TRUE(Untouched(208, 200, 8, 8));
    EXPECT_TRUE(Untouched(200, 208, 8, 8));
}

// Numbers are plain decimal: 0, 14, and the smallest value with its sign and
// ten digits.
TEST_F(TextDrawTest, NumbersInDecimal) {
    DrawNumber(0, 0, 0, screen);
    EXPECT_EQ(CellMismatch(screen, 0, 0, '0'), "");
    EXPECT_TRUE(Untouched(8, 0, 8, 8));

    DrawNumber(14, 0, 16, screen);
    EXPECT_EQ(CellMismatch(screen, 0, 16, '1'), "");
    EXPECT_EQ(CellMismatch(screen, 8, 16, '4'), "");
    EXPECT_TRUE(Untouched(16, 16, 8, 8));

    DrawNumber(INT32_MIN, 0, 32, screen);
    const char* expected = "-2147483648";
    for (int i = 0; i < 11; ++i) EXPECT_EQ(CellMismatch(screen, 8 * i, 32, expected[i]), "") << i;
    EXPECT_TRUE(Untouched(88, 32, 8, 8));
}

// Text running off the right edge is clipped there; nothing wraps.
TEST_F(TextDrawTest, ClippedAtTheRightEdge) {
    DrawText("ABCDEFGHIJ", 600, 300, screen);
    EXPECT_EQ(CellMismatch(screen, 632, 300, 'E'), "");
    EXPECT_TRUE(Untouched(0, 300, 600, 8));
    EXPECT_TRUE(Untouched(0, 308, 640, 8));
}

// A fixed-width field without a zero byte is drawn only to its width.
TEST_F(TextDrawTest, FieldsStopAtTheirWidth) {
    const char field[4] = {'W', 'X', 'Y', 'Z'};
    DrawTextField(field, 3, 0, 50, screen);
    EXPECT_EQ(CellMismatch(screen, 16, 50, 'Y'), "");
    EXPECT_TRUE(Untouched(24, 50, 8, 8));
}

// Built transparent, only the glyph's set pixels reach the destination.
TEST_F(TextDrawTest, TransparentSheetKeepsTheBackground) {
    ASSERT_TRUE(BuildFont(true, 0xFFFFFF));
    DrawChar('A', 300, 300, screen);
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 8; ++col) {
            const bool set = GlyphBitmaps['A' * 8 + row] & (0x80 >> col);
            EXPECT_EQ(PixelAt(screen, 300 + col, 300 + row), set ? 0xFFFFFFu : kPaint);
        }
    ASSERT_TRUE(BuildFont(false, 0xFFFFFF));  // back to the editor's font
}

}  // namespace
