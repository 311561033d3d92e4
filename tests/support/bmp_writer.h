// Builds BMP files by hand, byte by byte, for tests: every depth SDL reads,
// long info headers, and damaged fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;            // negative: rows stored top-down
    int bitsPerPixel = 24;         // 1, 4, 8, 16, 24 or 32
    uint32_t infoHeaderSize = 40;  // 40, 108 (v4) or 124 (v5)
    // <= 8 bits: colours as 0x00RRGGBB; written as the palette (B, G, R, 0).
    std::vector<uint32_t> palette;
    // One value per pixel, rows top to bottom: a palette index for <= 8 bits,
    // 0x00RRGGBB for 16 (reduced to 5-5-5), 24 and 32 bits.
    std::vector<uint32_t> pixels;

    // For damaged and unusual files; the defaults write an ordinary file.
    // Non-empty: compression BI_BITFIELDS with these red, green, blue (and
    // alpha) masks, placed after the first 40 header bytes (inside a longer
    // header, or between a 40-byte header and the palette). Pixels are still
    // laid out as above.
    std::vector<uint32_t> masks;
    // >= 0: the colour count field instead of the palette's size.
    int64_t coloursUsedField = -1;
    // > 0: the bit count field instead of bitsPerPixel, which still decides
    // how the pixels are laid out (depths the writer does not know give
    // zero bytes).
    uint32_t bitCountField = 0;
    // >= 0: only this many rows of pixel data are stored (for heights whose
    // data would not fit in memory).
    int64_t rowsStored = -1;
    // Zero bytes appended after the pixel data.
    size_t trailingBytes = 0;
};

// The whole file. Rows are padded to 4 bytes; the palette follows the info
// header, as the format places it.
std::vector<uint8_t> MakeBmp(const BmpLayout& layout);

bool WriteBmp(const std::string& path, const BmpLayout& layout);

// Little-endian field writers for tests that damage a made file.
void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
