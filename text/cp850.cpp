#include "cp850.h"

namespace {

// Bytes 128..255 of the code page.
constexpr uint16_t kUpperHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // Ç ü é â ä à å ç
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // ê ë è ï î ì Ä Å
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // É æ Æ ô ö ò û ù
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // ÿ Ö Ü ø £ Ø × ƒ
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // á í ó ú ñ Ñ ª º
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // ¿ ® ¬ ½ ¼ ¡ « »
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // ░ ▒ ▓ │ ┤ Á Â À
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // © ╣ ║ ╗ ╝ ¢ ¥ ┐
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // └ ┴ ┬ ├ ─ ┼ ã Ã
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // ╚ ╔ ╩ ╦ ╠ ═ ╬ ¤
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // ð Ð Ê Ë È ı Í Î
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // Ï ┘ ┌ █ ▄ ¦ Ì ▀
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // Ó ß Ô Ò õ Õ µ þ
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // Þ Ú Û Ù ý Ý ¯ ´
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // shy ± ‗ ¾ ¶ § ÷ ¸
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // ° ¨ · ¹ ³ ² ■ nbsp
};

void AppendUtf8(uint32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | codePoint >> 6);
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        // Nothing in the code page lies beyond the basic multilingual plane.
        out += static_cast<char>(0xE0 | codePoint >> 12);
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

}  // namespace

bool NextUtf8CodePoint(const std::string& text, size_t& at, uint32_t& codePoint) {
    if (at >= text.size()) return false;
    const auto lead = static_cast<uint8_t>(text[at]);
    int trailing;
    uint32_t least;
    if (lead < 0x80) {
        codePoint = lead;
        ++at;
        return true;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        least = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        least = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        least = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return false;
    }
    if (text.size() - at <= static_cast<size_t>(trailing)) return false;
    for (int i = 1; i <= trailing; ++i) {
        const auto next = static_cast<uint8_t>(text[at + i]);
        if ((next & 0xC0) != 0x80) return false;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
    at += 1 + trailing;
    return true;
}

uint32_t Cp850ToUnicode(uint8_t byte) {
    return byte < 0x80 ? byte : kUpperHalf[byte - 0x80];
}

bool UnicodeToCp850(uint32_t codePoint, uint8_t* byte) {
    if (codePoint < 0x80) {
        *byte = static_cast<uint8_t>(codePoint);
        return true;
    }
    for (int i = 0; i < 128; ++i) {
        if (kUpperHalf[i] == codePoint) {
            *byte = static_cast<uint8_t>(0x80 + i);
            return true;
        }
    }
    return false;
}

std::string Cp850FieldToUtf8(const char* field, size_t size) {
    std::string text;
    for (size_t i = 0; i < size && field[i] != '\0'; ++i) {
        AppendUtf8(Cp850ToUnicode(static_cast<uint8_t>(field[i])), text);
    }
    return text;
}

bool Utf8ToCp850(const std::string& utf8, char* out, size_t size, Cp850EncodeFailure* failure) {
    Cp850EncodeFailure ignored;
    if (!failure) failure = &ignored;
    *failure = Cp850EncodeFailure{};
    // Checked whole before the length, so that a text both too long and not
    // encodable is reported for the character, which no shortening cures.
    size_t length = 0;
    for (size_t at = 0; at < utf8.size(); ++length) {
        uint32_t codePoint;
        uint8_t byte;
        if (!NextUtf8CodePoint(utf8, at, codePoint)) {
            failure->kind = Cp850EncodeFailure::kInvalidUtf8;
            return false;
        }
        // A zero byte would end the field early and hide the rest of the text.
        if (codePoint == 0 || !UnicodeToCp850(codePoint, &byte)) {
            failure->kind = Cp850EncodeFailure::kNotInCodePage;
            failure->codePoint = codePoint;
            return false;
        }
        if (length + 1 < size) out[length] = static_cast<char>(byte);
    }
    if (length + 1 > size) {
        failure->kind = Cp850EncodeFailure::kTooLong;
        failure->length = length;
        return false;
    }
    out[length] = '\0';
    return true;
}
