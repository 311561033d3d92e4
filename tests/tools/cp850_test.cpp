#include <gtest/gtest.h>

#include <string>

#include "cp850.h"
#include "keymaps.h"

namespace {

std::string Utf8(uint32_t codePoint) {
    char field[2] = {};
    uint8_t byte = 0;
    EXPECT_TRUE(UnicodeToCp850(codePoint, &byte));
    field[0] = static_cast<char>(byte);
    return Cp850FieldToUtf8(field, 1);
}

// Every byte 1..255 stands for one character that encodes back to that byte,
// and the national letters agree with the keyboard table's Latin-1 mapping,
// which was written independently.
TEST(Cp850Test, EveryByteRoundTripsAndAgreesWithTheKeyboardTable) {
    for (int byte = 1; byte < 256; ++byte) {
        const char field[] = {static_cast<char>(byte), '\0'};
        const std::string text = Cp850FieldToUtf8(field, sizeof field);
        char back[2] = {'x', 'x'};
        ASSERT_TRUE(Utf8ToCp850(text, back, sizeof back)) << byte;
        EXPECT_EQ(static_cast<uint8_t>(back[0]), byte);
        EXPECT_EQ(back[1], '\0');
    }
    for (uint16_t latin1 = 160; latin1 < 256; ++latin1) {
        EXPECT_EQ(Cp850ToUnicode(Latin1KeyToCp850(latin1, false)), latin1) << latin1;
    }
    EXPECT_EQ(Cp850ToUnicode(0xDB), 0x2588u);  // full block, beyond Latin-1
    EXPECT_EQ(Utf8(0x00C5), "\xC3\x85");       // Å as two bytes
    EXPECT_EQ(Utf8(0x2591), "\xE2\x96\x91");   // ░ as three
}

// A field's text ends at its first zero byte, or at its width when it has
// none; what follows the zero byte is not text.
TEST(Cp850Test, FieldsEndAtTheirZeroByteOrTheirWidth) {
    const char field[6] = {'\x8F', 'k', 'e', '\0', 'Z', 'Z'};
    EXPECT_EQ(Cp850FieldToUtf8(field, sizeof field), "\xC3\x85ke");
    const char full[3] = {'a', 'b', 'c'};
    EXPECT_EQ(Cp850FieldToUtf8(full, sizeof full), "abc");
}

// Text is refused, never cut or approximated: malformed UTF-8, characters
// the code page lacks, and texts one character too long for the field.
TEST(Cp850Test, EncodingRefusesWhatTheFieldCannotHold) {
    char field[4];
    Cp850EncodeFailure failure;
    const char* const malformed[] = {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80",
                                     "a\x85"};
    for (const char* text : malformed) {
        EXPECT_FALSE(Utf8ToCp850(text, field, sizeof field, &failure)) << text;
        EXPECT_EQ(failure.kind, Cp850EncodeFailure::kInvalidUtf8) << text;
    }
    EXPECT_FALSE(Utf8ToCp850("a\xE2\x82\xAC", field, sizeof field, &failure));  // €
    EXPECT_EQ(failure.kind, Cp850EncodeFailure::kNotInCodePage);
    EXPECT_EQ(failure.codePoint, 0x20ACu);
    EXPECT_FALSE(Utf8ToCp850(std::string("a\0b", 3), field, sizeof field, &failure));
    EXPECT_EQ(failure.kind, Cp850EncodeFailure::kNotInCodePage);

    EXPECT_TRUE(Utf8ToCp850("\xC3\x85\xC3\x84\xC3\x96", field, sizeof field));  // ÅÄÖ
    EXPECT_EQ(std::string(field), "\x8F\x8E\x99");
    EXPECT_FALSE(Utf8ToCp850("\xC3\x85\xC3\x84\xC3\x96x", field, sizeof field, &failure));
    EXPECT_EQ(failure.kind, Cp850EncodeFailure::kTooLong);
    EXPECT_EQ(failure.length, 4u);
}

}  // namespace
