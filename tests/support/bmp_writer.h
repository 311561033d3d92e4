// Builds BMP files by hand, byte by byte, for tests: every depth SDL reads,
// long info headers, and damaged fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BmpSpec {
    int32_t width = 0;
    int32_t height = 0;          // negative: rows stored top-down
    int bitsPerPixel = 24;       // 1, 4, 8, 16, 24 or 32
    uint32_t infoHeaderSize = 40;  // 40, 108 (v4) or 124 (v5)
    // <= 8 bits: colours as 0x00RRGGBB; written as the palette (B, G, R, 0).
    std::vector<uint32_t> palette;
    // One value per pixel, rows top to bottom: a palette index for <= 8 bits,
    // 0x00RRGGBB for 16 (reduced to 5-5-5), 24 and 32 bits.
    std::vector<uint32_t> pixels;
};

// The whole file. Rows are padded to 4 bytes; the palette follows the info
// header, as the format places it.
std::vector<uint8_t> MakeBmp(const BmpSpec& spec);

bool WriteBmp(const std::string& path, const BmpSpec& spec);

// Little-endian field writers for tests that damage a made file.
void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
