#include "bmp_writer.h"

#include <cstdio>

void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> MakeBmp(const BmpLayout& layout) {
    const int bpp = layout.bitsPerPixel;
    const uint32_t width = static_cast<uint32_t>(layout.width);
    // Negated in unsigned arithmetic so that the lowest height is no overflow.
    const uint32_t rowsInHeader = layout.height < 0 ? 0u - static_cast<uint32_t>(layout.height)
                                                    : static_cast<uint32_t>(layout.height);
    const uint32_t rows =
        layout.rowsStored >= 0 ? static_cast<uint32_t>(layout.rowsStored) : rowsInHeader;
    const uint32_t rowBytes = static_cast<uint32_t>(((uint64_t{width} * bpp + 31) / 32) * 4);
    const uint32_t paletteBytes = bpp <= 8 ? 4u * static_cast<uint32_t>(layout.palette.size()) : 0;
    const uint32_t maskBytes = 4u * static_cast<uint32_t>(layout.masks.size());
    // Masks inside a long header take no room of their own.
    const uint32_t maskRoom = layout.infoHeaderSize >= 40 + maskBytes ? 0 : maskBytes;
    const uint32_t paletteOffset = 14 + layout.infoHeaderSize + maskRoom;
    const uint32_t dataOffset = paletteOffset + paletteBytes;
    std::vector<uint8_t> file(dataOffset + size_t{rowBytes} * rows + layout.trailingBytes, 0);

    file[0] = 'B';
    file[1] = 'M';
    PutLe32(file, 2, static_cast<uint32_t>(file.size()));
    PutLe32(file, 10, dataOffset);
    PutLe32(file, 14, layout.infoHeaderSize);
    PutLe32(file, 18, static_cast<uint32_t>(layout.width));
    PutLe32(file, 22, static_cast<uint32_t>(layout.height));
    PutLe16(file, 26, 1);
    PutLe16(file, 28, static_cast<uint16_t>(layout.bitCountField > 0 ? layout.bitCountField : bpp));
    PutLe32(file, 30, layout.masks.empty() ? 0 : 3);  // BI_RGB or BI_BITFIELDS
    PutLe32(file, 34, rowBytes * rows);
    PutLe32(file, 46,
            layout.coloursUsedField >= 0 ? static_cast<uint32_t>(layout.coloursUsedField)
            : bpp <= 8                   ? static_cast<uint32_t>(layout.palette.size())
                                         : 0);
    if (layout.infoHeaderSize >= 108) {
        PutLe32(file, 14 + 56, 0x73524742);  // 'sRGB' colour space
    }
    for (size_t i = 0; i < layout.masks.size(); ++i)
        PutLe32(file, 14 + 40 + 4 * i, layout.masks[i]);
    for (size_t i = 0; i < layout.palette.size() && bpp <= 8; ++i) {
        const uint32_t c = layout.palette[i];
        const size_t at = paletteOffset + 4 * i;
        file[at] = static_cast<uint8_t>(c);
        file[at + 1] = static_cast<uint8_t>(c >> 8);
        file[at + 2] = static_cast<uint8_t>(c >> 16);
    }
    for (uint32_t y = 0; y < rows; ++y) {
        // Bottom-up unless the height is negative.
        const uint32_t fileRow = layout.height < 0 ? y : rows - 1 - y;
        uint8_t* row = &file[dataOffset + size_t{fileRow} * rowBytes];
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            const uint32_t v = i < layout.pixels.size() ? layout.pixels[i] : 0;
            switch (bpp) {
                case 1:
                    row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    row[x] = static_cast<uint8_t>(v);
                    break;
                case 16: {
                    const uint16_t p = static_cast<uint16_t>(
                        ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31));
                    row[2 * x] = static_cast<uint8_t>(p);
                    row[2 * x + 1] = static_cast<uint8_t>(p >> 8);
                    break;
                }
                case 24:
                    row[3 * x] = static_cast<uint8_t>(v);
                    row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                    row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                    break;
                case 32:
                    row[4 * x] = static_cast<uint8_t>(v);
                    row[4 * x + 1] = static_cast<uint8_t>(v >> 8);
                    row[4 * x + 2] = static_cast<uint8_t>(v >> 16);
                    row[4 * x + 3] = 0;
                    break;
                default:
                    break;
            }
        }
    }
    return file;
}

bool WriteBmp(const std::string& path, const BmpLayout& layout) {
    const std::vector<uint8_t> bytes = MakeBmp(layout);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
