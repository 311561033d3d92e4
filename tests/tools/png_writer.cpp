#include "png_writer.h"

#include <png.h>

#include <cstdio>

namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + size);
}

void Flush(png_structp) {}

int Channels(int colourType) {
    switch (colourType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
    }
}

// The row as the file stores it: samples packed most significant bit first
// below 8 bits, big-endian at 16.
std::vector<uint8_t> PackRow(const PngLayout& layout, uint32_t y) {
    const int channels = Channels(layout.colourType);
    const size_t perRow = size_t{layout.width} * channels;
    std::vector<uint8_t> row((perRow * layout.bitDepth + 7) / 8, 0);
    for (size_t i = 0; i < perRow; ++i) {
        const size_t at = y * perRow + i;
        const uint16_t v = at < layout.samples.size() ? layout.samples[at] : 0;
        if (layout.bitDepth == 16) {
            row[2 * i] = static_cast<uint8_t>(v >> 8);
            row[2 * i + 1] = static_cast<uint8_t>(v);
        } else if (layout.bitDepth == 8) {
            row[i] = static_cast<uint8_t>(v);
        } else {
            const size_t bit = i * layout.bitDepth;
            row[bit / 8] |= static_cast<uint8_t>(v << (8 - layout.bitDepth - bit % 8));
        }
    }
    return row;
}

}  // namespace

std::vector<uint8_t> MakePng(const PngLayout& layout) {
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint8_t>> rows;
    for (uint32_t y = 0; y < layout.height; ++y) rows.push_back(PackRow(layout, y));
    std::vector<png_bytep> pointers;
    for (auto& row : rows) pointers.push_back(row.data());
    std::vector<png_color> entries;
    for (uint32_t c : layout.palette) {
        entries.push_back(png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                                    static_cast<png_byte>(c)});
    }
    // libpng's own error handling ends the test program on a bad layout.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, &Append, &Flush);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!entries.empty()) {
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    }
    png_write_info(png, info);
    if (layout.interlaced) png_set_interlace_handling(png);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

bool WritePng(const std::string& path, const PngLayout& layout) {
    const std::vector<uint8_t> bytes = MakePng(layout);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
