#include "keymaps.h"

#include <cstring>

uint8_t KeyMapPlain[kKeyMapSize];
uint8_t KeyMapShift[kKeyMapSize];
uint8_t KeyMapAlt[kKeyMapSize];

namespace {

struct KeyOverride {
    uint8_t key;   // SDL key symbol
    uint8_t code;  // code page 850 character
};

// The keys of a Swedish/Finnish keyboard that SDL names after their US
// positions, and what is printed on them.
constexpr KeyOverride kPlainOverrides[] = {
    {39, 0x84},  // ' key: a-umlaut
    {45, 0x2B},  // - key: +
    {47, 0x2D},  // / key: -
    {59, 0x94},  // ; key: o-umlaut
    {61, 0xEF},  // = key: acute accent
    {91, 0x86},  // [ key: a-ring
    {92, 0x27},  // \ key: apostrophe
    {93, 0xF9},  // ] key: diaeresis
    {96, 0xF5},  // ` key: section sign
};

constexpr KeyOverride kShiftOverrides[] = {
    {39, 0x8E},  // A-umlaut
    {44, 0x3B},  // ;
    {45, 0x3F},  // ?
    {46, 0x3A},  // :
    {47, 0x5F},  // _
    {48, 0x3D},  // =
    {52, 0xCF},  // currency sign
    {55, 0x2F},  // /
    {59, 0x99},  // O-umlaut
    {60, 0x3E},  // >
    {61, 0x60},  // grave accent
    {91, 0x8F},  // A-ring
    {92, 0x2A},  // *
    {93, 0x5E},  // ^
    {96, 0xAB},  // one half
};

constexpr KeyOverride kAltOverrides[] = {
    {45, 0x5C},  // backslash
    {48, 0x7D},  // }
    {50, 0x40},  // @
    {51, 0x9C},  // pound sign
    {52, 0x24},  // $
    {55, 0x7B},  // {
    {56, 0x5B},  // [
    {57, 0x5D},  // ]
    {60, 0x7C},  // vertical bar
    {93, 0x7E},  // ~
};

template <size_t N>
void Apply(uint8_t* table, const KeyOverride (&overrides)[N]) {
    for (const KeyOverride& o : overrides) table[o.key] = o.code;
}

// Code page 850 for Latin-1 160..255: code page 850 holds every one of them.
constexpr uint8_t kLatin1ToCp850[96] = {
    0xFF, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0xDD, 0xF5,  // nbsp ¡ ¢ £ ¤ ¥ ¦ §
    0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xF0, 0xA9, 0xEE,  // ¨ © ª « ¬ shy ® ¯
    0xF8, 0xF1, 0xFD, 0xFC, 0xEF, 0xE6, 0xF4, 0xFA,  // ° ± ² ³ ´ µ ¶ ·
    0xF7, 0xFB, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,  // ¸ ¹ º » ¼ ½ ¾ ¿
    0xB7, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80,  // À Á Â Ã Ä Å Æ Ç
    0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,  // È É Ê Ë Ì Í Î Ï
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E,  // Ð Ñ Ò Ó Ô Õ Ö ×
    0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE8, 0xE1,  // Ø Ù Ú Û Ü Ý Þ ß
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87,  // à á â ã ä å æ ç
    0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,  // è é ê ë ì í î ï
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6,  // ð ñ ò ó ô õ ö ÷
    0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE7, 0x98,  // ø ù ú û ü ý þ ÿ
};

}  // namespace

void BuildKeyMaps() {
    for (int i = 0; i < kKeyMapSize; ++i) {
        KeyMapPlain[i] = static_cast<uint8_t>(i);
        KeyMapShift[i] = static_cast<uint8_t>(i - 16);  // modulo 256
    }
    Apply(KeyMapPlain, kPlainOverrides);
    std::memcpy(KeyMapAlt, KeyMapPlain, sizeof KeyMapAlt);
    Apply(KeyMapAlt, kAltOverrides);
    Apply(KeyMapShift, kShiftOverrides);
}

uint8_t Latin1KeyToCp850(uint16_t latin1, bool shift) {
    if (latin1 < 160 || latin1 > 255) return 0;
    uint16_t c = latin1;
    // Latin-1 capitals sit 32 below their small letters (except the
    // multiplication and division signs, and y-diaeresis with no capital in
    // Latin-1).
    if (shift && c >= 0xE0 && c <= 0xFE && c != 0xF7) c = static_cast<uint16_t>(c - 32);
    return kLatin1ToCp850[c - 160];
}
