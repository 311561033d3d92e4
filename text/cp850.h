// Code page 850, the character set of the episode's text fields, and UTF-8,
// the character set of command lines and terminals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The Unicode code point of a code page 850 byte. Bytes 0..127 are ASCII,
// control codes included; 128..255 are the national letters, symbols and box
// drawing characters of the code page.
uint32_t Cp850ToUnicode(uint8_t byte);

// The code page 850 byte of a code point. False when the code page has no
// such character; `byte` is then untouched.
bool UnicodeToCp850(uint32_t codePoint, uint8_t* byte);

// Reads the UTF-8 character at `at` of `text` into `codePoint` and moves `at`
// past it. False, with `at` unchanged, for anything but the shortest encoding
// of a Unicode scalar value (or at the end of the text).
bool NextUtf8CodePoint(const std::string& text, size_t& at, uint32_t& codePoint);

// The text of a field: its bytes up to the first zero byte, or all `size` of
// them when it has none, as UTF-8.
std::string Cp850FieldToUtf8(const char* field, size_t size);

// Why a text could not be encoded.
struct Cp850EncodeFailure {
    enum Kind { kNone, kInvalidUtf8, kNotInCodePage, kTooLong } kind = kNone;
    uint32_t codePoint = 0;  // the character, for kNotInCodePage
    size_t length = 0;       // characters in the text, for kTooLong
};

// Encodes the UTF-8 text `utf8` and its zero byte into `out`, which has room
// for `size` bytes (so for at most size - 1 characters). False, with `out`
// unspecified and `failure` (when given) saying why, when the text is not
// valid UTF-8 (overlong forms and surrogates included), holds a character the
// code page has not or U+0000, or does not fit.
bool Utf8ToCp850(const std::string& utf8, char* out, size_t size,
                 Cp850EncodeFailure* failure = nullptr);
