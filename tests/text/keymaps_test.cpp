#include <gtest/gtest.h>

#include "keymaps.h"

namespace {

class KeyMapsTest : public ::testing::Test {
  protected:
    void SetUp() override { BuildKeyMaps(); }
};

// The rule fills what no override touches: plain is the symbol itself, Shift
// is 16 below it (wrapping), so the digit row gives ! " # $ % & ' ( ).
TEST_F(KeyMapsTest, RuleCoversKeysWithoutOverrides) {
    EXPECT_EQ(KeyMapPlain[65], 65);
    EXPECT_EQ(KeyMapPlain[0], 0);
    EXPECT_EQ(KeyMapShift[50], '"');
    EXPECT_EQ(KeyMapShift[32], 16);
    EXPECT_EQ(KeyMapShift[0], 240);  // (0 - 16) mod 256
    const char shiftedDigits[] = "!\"#$%&'()";
    for (int key = '1'; key <= '9'; ++key) {
        if (key == '4' || key == '7') continue;  // overridden
        EXPECT_EQ(KeyMapShift[key], static_cast<uint8_t>(shiftedDigits[key - '1'])) << key;
    }
}

// Overrides give the characters printed on a Swedish/Finnish keyboard.
TEST_F(KeyMapsTest, OverridesFollowTheSwedishLayout) {
    EXPECT_EQ(KeyMapPlain[59], 148);  // o-umlaut
    EXPECT_EQ(KeyMapShift[59], 153);  // O-umlaut
    EXPECT_EQ(KeyMapPlain[91], 134);  // a-ring
    EXPECT_EQ(KeyMapShift[91], 143);  // A-ring
    EXPECT_EQ(KeyMapPlain[39], 132);  // a-umlaut
    EXPECT_EQ(KeyMapShift[52], 207);  // currency sign
    EXPECT_EQ(KeyMapShift[55], '/');
    EXPECT_EQ(KeyMapShift[48], '=');
    EXPECT_EQ(KeyMapAlt[51], 156);  // pound sign
    EXPECT_EQ(KeyMapAlt[50], '@');
    EXPECT_EQ(KeyMapAlt[60], '|');
    EXPECT_EQ(KeyMapPlain[47], '-');
    EXPECT_EQ(KeyMapShift[47], '_');
}

// The Alt table starts as a copy of the plain table with its overrides, so
// Alt with a key that has no Alt meaning types the plain character.
TEST_F(KeyMapsTest, AltFallsBackToPlainIncludingOverrides) {
    EXPECT_EQ(KeyMapAlt[59], 148);  // o-umlaut, from the plain overrides
    int differing = 0;
    for (int key = 0; key < kKeyMapSize; ++key) differing += KeyMapAlt[key] != KeyMapPlain[key];
    EXPECT_EQ(differing, 10);  // exactly the ten Alt overrides
}

// National keys reported as Latin-1 symbols type their code page 850
// character, with Shift the capital where one exists.
TEST(Latin1Keys, MapToCodePage850) {
    EXPECT_EQ(Latin1KeyToCp850(0xF6, false), 148);  // ö
    EXPECT_EQ(Latin1KeyToCp850(0xF6, true), 153);   // Ö
    EXPECT_EQ(Latin1KeyToCp850(0xE5, false), 134);  // å
    EXPECT_EQ(Latin1KeyToCp850(0xE5, true), 143);   // Å
    EXPECT_EQ(Latin1KeyToCp850(0xE4, true), 142);   // Ä
    EXPECT_EQ(Latin1KeyToCp850(0xA7, false), 245);  // §
    EXPECT_EQ(Latin1KeyToCp850(0xA7, true), 245);   // no capital: unchanged
    EXPECT_EQ(Latin1KeyToCp850(0xF7, true), 246);   // ÷ is not a letter
    EXPECT_EQ(Latin1KeyToCp850(0xDF, true), 225);   // ß has no Latin-1 capital
    EXPECT_EQ(Latin1KeyToCp850(0xB4, false), 239);  // acute accent
    EXPECT_EQ(Latin1KeyToCp850(0x41, false), 0);    // outside 160..255
    EXPECT_EQ(Latin1KeyToCp850(300, false), 0);
}

// Every Latin-1 character 160..255 has its own code page 850 byte, all in the
// upper half: the table is a permutation, so no two characters collide.
TEST(Latin1Keys, TableIsOneToOne) {
    bool seen[256] = {};
    for (int c = 160; c <= 255; ++c) {
        const uint8_t code = Latin1KeyToCp850(static_cast<uint16_t>(c), false);
        ASSERT_GE(code, 128) << c;
        EXPECT_FALSE(seen[code]) << "two characters map to " << int(code);
        seen[code] = true;
    }
}

}  // namespace
