#!/usr/bin/env python3
"""Turns text/font.txt into text/font_data.cpp, the glyph table the editor compiles.

The glyphs are kept as pictures in font.txt because nobody can review a change
to 2048 hex bytes; the C++ table is derived from it and never edited directly.

Usage: gen_font.py [--check] [FONT_TXT [FONT_DATA_CPP]]

With --check nothing is written; the exit status is 1 when the C++ file is not
what the glyph file would produce, so a build or review can catch a stale table.
"""

import os
import re
import sys

GLYPHS = 256
SIZE = 8

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_SOURCE = os.path.join(ROOT, "text", "font.txt")
DEFAULT_OUTPUT = os.path.join(ROOT, "text", "font_data.cpp")

HEADER = re.compile(r"^0x([0-9A-Fa-f]{2})(?:\s+(.*))?$")


class FontError(Exception):
    pass


def parse(text, name):
    """Returns a list of (label, [8 row bytes]) for codes 0..255 in order."""
    glyphs = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i].rstrip()
        if not line or line.startswith(";"):
            i += 1
            continue
        where = "%s:%d" % (name, i + 1)
        match = HEADER.match(line)
        if not match:
            raise FontError("%s: expected a glyph header '0xNN label', got %r" % (where, line))
        code = int(match.group(1), 16)
        if code != len(glyphs):
            raise FontError("%s: glyph 0x%02X out of order, expected 0x%02X" %
                            (where, code, len(glyphs)))
        rows = []
        for r in range(SIZE):
            row_index = i + 1 + r
            row = lines[row_index].rstrip() if row_index < len(lines) else ""
            if len(row) != SIZE or set(row) - set("#."):
                raise FontError("%s:%d: glyph 0x%02X row %d must be 8 of '#' and '.', got %r" %
                                (name, row_index + 1, code, r, row))
            rows.append(sum(0x80 >> x for x, pixel in enumerate(row) if pixel == "#"))
        label = (match.group(2) or "").strip()
        if label.endswith("\\"):
            # A backslash at the end of a // comment would splice the next
            # glyph's line into the comment.
            raise FontError("%s: label must not end with a backslash" % where)
        glyphs.append((label, rows))
        i += 1 + SIZE
    if len(glyphs) != GLYPHS:
        raise FontError("%s: %d glyphs, expected %d" % (name, len(glyphs), GLYPHS))
    return glyphs


def render(glyphs):
    out = [
        "// Generated from text/font.txt by scripts/gen_font.py. Do not edit by hand:",
        "// change the glyph pictures in font.txt and run the script again.",
        '#include "font.h"',
        "",
        "const uint8_t GlyphBitmaps[2048] = {",
    ]
    for code, (label, rows) in enumerate(glyphs):
        data = ", ".join("0x%02X" % b for b in rows)
        comment = ("0x%02X %s" % (code, label)).rstrip()
        out.append("    %s,  // %s" % (data, comment))
    out.append("};")
    return "\n".join(out) + "\n"


def main(argv):
    check = "--check" in argv
    paths = [a for a in argv if a != "--check"]
    if len(paths) > 2 or any(p.startswith("-") for p in paths):
        sys.stderr.write(__doc__)
        return 2
    source = paths[0] if paths else DEFAULT_SOURCE
    output = paths[1] if len(paths) > 1 else DEFAULT_OUTPUT
    try:
        with open(source, encoding="utf-8") as f:
            glyphs = parse(f.read(), os.path.relpath(source))
    except (OSError, FontError) as error:
        sys.stderr.write("gen_font: %s\n" % error)
        return 1
    generated = render(glyphs)
    if check:
        try:
            with open(output, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            current = None
        if current != generated:
            sys.stderr.write("gen_font: %s is stale; run scripts/gen_font.py\n" %
                             os.path.relpath(output))
            return 1
        return 0
    with open(output, "w", encoding="utf-8", newline="\n") as f:
        f.write(generated)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
