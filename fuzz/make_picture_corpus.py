#!/usr/bin/env python3
"""Writes the seed corpus of the picture fuzzer: small BMP files of every depth
and header SDL reads, PNG files of every colour type, bit depth and interlace,
and damaged ones of both.

Run from anywhere; the files go to fuzz/corpus/pictures/ beside this script.
The output is deterministic, so running it again changes nothing."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "pictures")
W, H = 7, 5  # odd sides: row padding and partial bytes everywhere


def value(x, y, seed, bits):
    return (seed + 3 * x + 5 * y + (x * y) % 7) % (1 << bits)


# BMP ------------------------------------------------------------------------

def bmp(bits, info_size=40, top_down=False, masks=None, colours=None, os2=False):
    row_bytes = ((W * bits + 31) // 32) * 4
    rows = []
    for y in range(H):
        row = bytearray(row_bytes)
        for x in range(W):
            if bits < 8:
                v = value(x, y, 1, bits)
                row[x * bits // 8] |= v << (8 - bits - (x * bits) % 8)
            elif bits == 8:
                row[x] = value(x, y, 1, 8)
            else:
                for i in range(bits // 8):
                    row[x * bits // 8 + i] = value(x, y, 17 * i, 8)
        rows.append(bytes(row))
    data = b"".join(rows if top_down else reversed(rows))
    count = (1 << bits) if bits <= 8 else 0
    if colours is not None:
        count = colours
    palette = b"".join(bytes((i * 7 % 256, i * 13 % 256, i * 29 % 256)) + (b"" if os2 else b"\0")
                       for i in range(count))
    mask_bytes = b"".join(struct.pack("<I", m) for m in masks) if masks else b""
    if os2:
        info = struct.pack("<IHHHH", 12, W, H, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, W, -H if top_down else H, 1, bits,
                           3 if masks else 0, len(data), 2835, 2835,
                           colours if colours is not None else 0, 0)
        if info_size > 40:
            extra = bytearray(info_size - 40)
            extra[:len(mask_bytes)] = mask_bytes
            info += bytes(extra)
            mask_bytes = b""
    offset = 14 + len(info) + len(mask_bytes) + len(palette)
    return (b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + mask_bytes +
            palette + data)


# PNG ------------------------------------------------------------------------

def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def scanline(colour_type, depth, width, y, seed=0):
    samples = [value(x * CHANNELS[colour_type] + c, y, seed, depth)
               for x in range(width) for c in range(CHANNELS[colour_type])]
    if depth == 16:
        return b"".join(struct.pack(">H", s * 257 % 65536) for s in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray((len(samples) * depth + 7) // 8)
    for i, s in enumerate(samples):
        out[i * depth // 8] |= s << (8 - depth - (i * depth) % 8)
    return bytes(out)


# Adam7: start column, start row, column step, row step of each pass.
PASSES = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
          (0, 1, 1, 2)]


def png(colour_type, depth, interlaced=False, palette_size=None, extra=b"", width=W, height=H):
    raw = b""
    if interlaced:
        # Each pass is a small picture of its own; values by pass and row.
        for n, (x0, y0, dx, dy) in enumerate(PASSES):
            pass_w = (width - x0 + dx - 1) // dx if width > x0 else 0
            pass_h = (height - y0 + dy - 1) // dy if height > y0 else 0
            if pass_w and pass_h:
                for y in range(pass_h):
                    raw += b"\0" + scanline(colour_type, depth, pass_w, y, seed=n)
    else:
        for y in range(height):
            # Every filter type once in a while.
            raw += bytes((y % 5,)) + scanline(colour_type, depth, width, y)
    body = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0,
                                      1 if interlaced else 0))
    if colour_type == 3:
        count = palette_size if palette_size is not None else 1 << depth
        body += chunk(b"PLTE", b"".join(bytes((i * 9 % 256, i * 31 % 256, i * 57 % 256))
                                        for i in range(count)))
    body += extra
    body += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    return b"\x89PNG\r\n\x1a\n" + body


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {}
    for bits in (1, 4, 8, 24, 32):
        files["bmp_%d.bmp" % bits] = bmp(bits)
    files["bmp_16_555.bmp"] = bmp(16)
    files["bmp_16_565.bmp"] = bmp(16, masks=(0xF800, 0x07E0, 0x001F))
    files["bmp_32_bitfields.bmp"] = bmp(32, masks=(0xFF0000, 0xFF00, 0xFF))
    files["bmp_8_top_down.bmp"] = bmp(8, top_down=True)
    files["bmp_8_v4.bmp"] = bmp(8, info_size=108)
    files["bmp_8_v5_few_colours.bmp"] = bmp(8, info_size=124, colours=16)
    files["bmp_32_v5_alpha.bmp"] = bmp(32, info_size=124, masks=(0xFF0000, 0xFF00, 0xFF,
                                                                  0xFF000000))
    files["bmp_4_os2.bmp"] = bmp(4, os2=True)
    files["bmp_24_cut.bmp"] = bmp(24)[:-20]
    files["bmp_8_claims_huge.bmp"] = bmp(8)[:18] + struct.pack("<ii", 8000, 8000) + bmp(8)[26:]

    for colour_type, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)),
                                (4, (8, 16)), (6, (8, 16))):
        for depth in depths:
            files["png_%d_%d.png" % (colour_type, depth)] = png(colour_type, depth)
    files["png_2_8_interlaced.png"] = png(2, 8, interlaced=True, width=11, height=9)
    files["png_3_4_interlaced.png"] = png(3, 4, interlaced=True, width=11, height=9)
    files["png_3_8_short_palette.png"] = png(3, 8, palette_size=5)
    files["png_3_8_trns.png"] = png(3, 8, extra=chunk(b"tRNS", bytes(range(0, 256, 16))))
    files["png_0_8_trns_gama.png"] = png(0, 8, extra=chunk(b"tRNS", b"\0\x07") +
                                         chunk(b"gAMA", struct.pack(">I", 45455)))
    valid = png(2, 8)
    files["png_cut.png"] = valid[:-30]
    files["png_bad_crc.png"] = valid[:40] + bytes((valid[40] ^ 1,)) + valid[41:]
    huge = bytearray(valid)
    huge[16:24] = struct.pack(">II", 8192, 8192)
    huge[29:33] = struct.pack(">I", zlib.crc32(bytes(huge[12:29])) & 0xFFFFFFFF)
    files["png_claims_huge.png"] = bytes(huge)

    for name, data in sorted(files.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("wrote %d files to %s" % (len(files), OUT))


if __name__ == "__main__":
    main()
