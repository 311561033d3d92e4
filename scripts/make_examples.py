#!/usr/bin/env python3
"""Makes the sample palette and pictures in examples/.

    menu.pal            the sample 256-colour palette (16 greys, then a
                        6 x 8 x 5 colour cube)
    sunset.bmp          304 x 354, 24-bit, photo-like: for the large picture
    logo.bmp            220 x 78, 8-bit in a palette of its own: is converted
    banner.bmp          220 x 78, 8-bit already in menu.pal: taken as it is

Standard library only, and integer arithmetic throughout so that every run,
on any machine, writes the same bytes.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples")


def sample_palette():
    """16 greys, then red in 6 steps, green in 8, blue in 5: 256 entries."""
    colours = [(17 * i, 17 * i, 17 * i) for i in range(16)]
    for r in range(6):
        for g in range(8):
            for b in range(5):
                colours.append(((r * 255 + 2) // 5, (g * 255 + 3) // 7, (b * 255 + 2) // 4))
    assert len(colours) == 256
    return colours


def pal_bytes(colours):
    return b"".join(bytes((r, g, b, 0)) for r, g, b in colours)


def bmp_file(width, height, bits, pixel_rows, palette=None):
    """A BMP with a 40-byte info header; rows given top to bottom."""
    row_size = (width * bits + 31) // 32 * 4
    data = bytearray()
    for row in reversed(pixel_rows):
        data += row + bytes(row_size - len(row))
    pal = b"" if palette is None else b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       0 if palette is None else len(palette), 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    return head + info + pal + bytes(data)


def grain(x, y, seed):
    """A small deterministic noise value, -6 to 6."""
    h = (x * 73856093) ^ (y * 19349663) ^ (seed * 83492791)
    h = (h ^ (h >> 13)) * 1274126177 & 0xFFFFFFFF
    return (h >> 16) % 13 - 6


def clamp(v):
    return 0 if v < 0 else 255 if v > 255 else v


def hill(x, centre, half_width, top):
    """Height of a parabolic hill at column x, 0 outside it."""
    d = x - centre
    if abs(d) >= half_width:
        return 0
    return top * (half_width * half_width - d * d) // (half_width * half_width)


def picture24():
    width, height = 304, 354
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            # Sky: deep blue at the top to pale orange at the horizon.
            t = y * 256 // 220
            r, g, b = 30 + 200 * t // 256, 60 + 130 * t // 256, 150 + 40 * t // 256 - 60 * t // 256
            # The sun: a soft disc.
            d2 = (x - 210) ** 2 + (y - 120) ** 2
            if d2 < 34 ** 2:
                glow = 256 - d2 * 256 // (34 ** 2)
                r, g, b = r + (255 - r) * glow // 256, g + (230 - g) * glow // 256, \
                    b + (120 - b) * glow // 256
            # Two hills in front of each other, shaded along their slope.
            far = 230 - hill(x, 90, 170, 70)
            near = 290 - hill(x, 250, 150, 60)
            if y >= near:
                shade = (y - near) * 2
                r, g, b = 40 + x // 8, 120 - shade // 3, 40
            elif y >= far:
                shade = (y - far) * 2
                r, g, b = 70 + shade // 4, 110 + x // 10, 80 + shade // 5
            # A lake in the lower part, reflecting a darkened sky.
            if y > 320:
                r, g, b = 20 + (y - 320) * 2, 50 + (y - 320) * 2, 110 + x // 6
            n = grain(x, y, 1)
            row += bytes((clamp(b + n), clamp(g + n), clamp(r + n)))
        rows.append(bytes(row))
    return bmp_file(width, height, 24, rows)


# 5 x 7 capitals for the title pictures.
FONT = {
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    " ": ["00000"] * 7,
}


def text_mask(text, scale, width, height):
    """Which pixels of a width x height picture the centred text covers."""
    text_w = (len(text) * 6 - 1) * scale
    text_h = 7 * scale
    left, top = (width - text_w) // 2, (height - text_h) // 2
    mask = [[False] * width for _ in range(height)]
    for i, ch in enumerate(text):
        glyph = FONT[ch]
        for gy in range(7):
            for gx in range(5):
                if glyph[gy][gx] == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            mask[top + gy * scale + dy][left + (i * 6 + gx) * scale + dx] = True
    return mask


def near_mask(mask, x, y):
    for dy in (-2, -1, 0, 1, 2):
        for dx in (-2, -1, 0, 1, 2):
            yy, xx = y + dy, x + dx
            if 0 <= yy < len(mask) and 0 <= xx < len(mask[0]) and mask[yy][xx]:
                return True
    return False


def foreign_palette():
    """Dusk blues to orange (0-127), a gold ramp (128-191), and greens."""
    colours = []
    for i in range(128):
        colours.append((20 + i * 230 // 127, 10 + i * 120 // 127, 90 - i * 70 // 127))
    for i in range(64):
        colours.append((180 + i * 75 // 63, 120 + i * 110 // 63, 20 + i * 60 // 63))
    for i in range(64):
        colours.append((10 + i, 60 + i * 2, 30 + i))
    return colours


def title_foreign():
    width, height = 220, 78
    mask = text_mask("TITLE", 6, width, height)
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            if mask[y][x]:
                index = 128 + 63 * (y - 18) // 42 if 18 <= y < 60 else 191
            elif near_mask(mask, x, y):
                index = 200
            else:
                index = min(127, max(0, y * 127 // 77 + grain(x, y, 2)))
            row.append(clamp(index))
        rows.append(bytes(row))
    return bmp_file(width, height, 8, rows, foreign_palette())


def lowtitle_menu(menu):
    width, height = 220, 78
    mask = text_mask("LOW TITLE", 3, width, height)

    def cube(r, g, b):  # index of a colour cube entry of menu.pal
        return 16 + r * 40 + g * 5 + b

    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            if mask[y][x]:
                index = cube(5, 7, 1 + (y // 8) % 3)
            elif near_mask(mask, x, y):
                index = 0
            else:
                index = cube(0, min(7, y // 10), 2 + (x // 55) % 3)
            row.append(index)
        rows.append(bytes(row))
    return bmp_file(width, height, 8, rows, menu)


def main():
    os.makedirs(OUT, exist_ok=True)
    menu = sample_palette()
    outputs = {
        "menu.pal": pal_bytes(menu),
        "sunset.bmp": picture24(),
        "logo.bmp": title_foreign(),
        "banner.bmp": lowtitle_menu(menu),
    }
    for name, data in outputs.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
