// Hand-made episode files and zlib streams for the episode tests. Headers are
// laid out field by field at their offsets, apart from the library's encoder.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bmp_writer.h"

using Bytes = std::vector<uint8_t>;

// Every field differs from its default, and the name has bytes after its zero.
inline Bytes HandMadeHeader(uint32_t imageWidth, uint32_t imageHeight, uint32_t titleWidth,
                            uint32_t titleHeight, uint32_t headerSize = 204) {
    Bytes header(208, 0);
    const uint32_t leading[] = {headerSize, 3, 0x11223344, 0xFFFFFFFE};
    for (int i = 0; i < 4; ++i) PutLe32(header, 4 * i, leading[i]);
    std::memcpy(&header[16], "Hand\0made tail", 14);
    std::memcpy(&header[144], "LEVEL.VLV", 9);
    const uint32_t sizes[] = {imageWidth, imageHeight, 0x01020304, 0x05060708,
                              titleWidth, titleHeight, 0x80000000, 0x7FFFFFFF};
    for (int i = 0; i < 8; ++i) PutLe32(header, 176 + 4 * i, sizes[i]);
    return header;
}

inline void AppendLength(Bytes& file, uint32_t length) {
    file.resize(file.size() + 4);
    PutLe32(file, file.size() - 4, length);
}

inline void AppendBlob(Bytes& file, const Bytes& blob) {
    AppendLength(file, static_cast<uint32_t>(blob.size()));
    file.insert(file.end(), blob.begin(), blob.end());
}

// Every byte depends on its place, so that shifted or swapped rows show.
inline Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 13);
    return bytes;
}

// One complete zlib stream of `raw`, made with the given deflate settings.
inline Bytes Deflate(const Bytes& raw, int level = 9, int strategy = Z_DEFAULT_STRATEGY,
                     int windowBits = 15, int memLevel = 8) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return {};
    Bytes out(deflateBound(&stream, raw.size()));
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return done ? out : Bytes{};
}

// A complete small episode: Image 16x12, Title and LowTitle 8x4.
struct SmallEpisode {
    Bytes blobs[3] = {Deflate(Pattern(16 * 12, 1)), Deflate(Pattern(8 * 4, 2)),
                      Deflate(Pattern(8 * 4, 3))};

    Bytes File(uint32_t headerSize = 204) const {
        Bytes file = HandMadeHeader(16, 12, 8, 4, headerSize);
        for (const Bytes& blob : blobs) AppendBlob(file, blob);
        return file;
    }
};
