// The sizes of picture the editor and vdetool accept, everywhere: episode
// files, BMP and PNG files, surfaces.
#pragma once

#include <cstdint>

// SDL 1.2 keeps a surface's pitch in 16 bits and cannot make a surface 16384
// pixels wide; a 32-bit row of 16383 pixels still fits. Pictures of an
// episode are nowhere near these sizes.
constexpr uint32_t kMaxPictureSide = 16383;
constexpr uint32_t kMaxPicturePixels = 64u * 1024 * 1024;

// More than any picture file or episode file within these limits can hold
// (a 32-bit BMP of kMaxPicturePixels and its headers): the most read from a
// stream whose size is not known beforehand.
constexpr uint64_t kMaxPictureFileBytes = 4 * uint64_t{kMaxPicturePixels} + (1u << 20);

// Width x height when both sides are from 1 to kMaxPictureSide and the
// product is at most kMaxPicturePixels, else 0. Formed in 64 bits, so that a
// 32-bit wrap cannot pass for a small picture.
inline uint64_t PictureBytes(uint64_t width, uint64_t height) {
    if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide) return 0;
    const uint64_t bytes = width * height;
    return bytes <= kMaxPicturePixels ? bytes : 0;
}

// Deflate cannot expand data by more than about 1032:1, so `compressed`
// bytes of zlib stream that claim to fill more than this are hostile or
// broken; refusing them keeps a small file from causing a huge allocation.
inline uint64_t MostThatCanUnpack(uint64_t compressed) {
    return 1100 * compressed + 1024;
}
