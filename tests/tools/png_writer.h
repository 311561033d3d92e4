// Builds PNG files with libpng for tests: every colour type and bit depth,
// interlaced or not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    int colourType = 2;  // PNG_COLOR_TYPE_*: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<uint32_t> palette;  // 0x00RRGGBB, for colour type 3
    // Channel values row by row, pixel by pixel (grey or index, [alpha];
    // red, green, blue, [alpha]), each within the bit depth.
    std::vector<uint16_t> samples;
};

std::vector<uint8_t> MakePng(const PngLayout& layout);

bool WritePng(const std::string& path, const PngLayout& layout);
