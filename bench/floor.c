/* The floor of a conversion: read a 24-bit BMP and write an 8-bit BMP of the
 * same size, with no colour matching at all (each pixel's green byte is its
 * index, under a grey palette). Whatever vdetool convert spends beyond this
 * is its matching and its safety. Takes the plain files the benchmark makes:
 * a 40-byte header, bottom-up rows, no compression.
 *
 *   floor IN.bmp OUT.bmp */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

static void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    FILE* in = fopen(argv[1], "rb");
    uint8_t head[54];
    if (!in || fread(head, 1, sizeof head, in) != sizeof head || head[28] != 24) return 1;
    const uint32_t w = le32(head + 18), h = le32(head + 22), offset = le32(head + 10);
    const size_t inRow = (w * 3 + 3) & ~3u, outRow = (w + 3) & ~3u;
    uint8_t* pixels = malloc(inRow * h);
    if (!pixels || fseek(in, offset, SEEK_SET) != 0 || fread(pixels, 1, inRow * h, in) != inRow * h) return 1;
    fclose(in);
    uint8_t* out = calloc(outRow, h);
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) out[y * outRow + x] = pixels[y * inRow + 3 * x + 1];
    free(pixels);
    uint8_t header[54 + 1024] = {'B', 'M'};
    put32(header + 2, (uint32_t)(sizeof header + outRow * h));
    put32(header + 10, sizeof header);
    put32(header + 14, 40);
    put32(header + 18, w);
    put32(header + 22, h);
    header[26] = 1;
    header[28] = 8;
    put32(header + 34, (uint32_t)(outRow * h));
    put32(header + 46, 256);
    for (int i = 0; i < 256; ++i) memset(header + 54 + 4 * i, i, 3);
    FILE* o = fopen(argv[2], "wb");
    if (!o || fwrite(header, 1, sizeof header, o) != sizeof header ||
        fwrite(out, 1, outRow * h, o) != outRow * h || fclose(o) != 0)
        return 1;
    free(out);
    return 0;
}
