#!/usr/bin/env python3
"""Writes the seed corpus of the episode fuzzer: small valid episode files and
damaged ones, each a hand-laid header and three length-prefixed zlib blobs.

Run from anywhere; the files go to fuzz/corpus/episode/ beside this script.
The output is deterministic, so running it again changes nothing."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "episode")


def header(image_w, image_h, title_w, title_h, header_size=204):
    name = b"#Kelto@Episode".ljust(128, b"\0")
    level = b"CASTLE1.VLV".ljust(32, b"\0")
    return (struct.pack("<iIii", header_size, 7, 1, 0) + name + level +
            struct.pack("<IIiiIIii", image_w, image_h, 0x00670098, 0x00770860,
                        title_w, title_h, 0x006BB0CC, 0x00706100))


def pattern(width, height, seed):
    return bytes((seed + x + 3 * y + (x * y) % 7) % 256
                 for y in range(height) for x in range(width))


def deflate(raw, level=9, strategy=zlib.Z_DEFAULT_STRATEGY, wbits=15, memlevel=8):
    stream = zlib.compressobj(level, zlib.DEFLATED, wbits, memlevel, strategy)
    return stream.compress(raw) + stream.flush()


def blob(data, length=None):
    return struct.pack("<I", len(data) if length is None else length) + data


def episode(sizes, streams, header_size=204, lengths=(None, None, None)):
    out = header(*sizes, header_size=header_size)
    for stream, length in zip(streams, lengths):
        out += blob(stream, length)
    return out


def main():
    os.makedirs(OUT, exist_ok=True)
    small = (16, 12, 8, 4)
    pictures = [pattern(16, 12, 1), pattern(8, 4, 2), pattern(8, 4, 3)]
    streams = [deflate(p) for p in pictures]
    valid = episode(small, streams)
    files = {
        "valid_small": valid,
        "valid_default_sizes": episode(
            (304, 354, 220, 78),
            [deflate(bytes(304 * 354)), deflate(bytes(220 * 78)),
             deflate(bytes([5]) * (220 * 78))]),
        "trailing_bytes": valid + b"after the third blob",
        "header_size_0": episode(small, streams, header_size=0),
        "header_size_minus_1": episode(small, streams, header_size=-1),
        "empty": b"",
        "cut_in_header": valid[:100],
        "cut_in_first_length": valid[:210],
        "cut_in_image_blob": valid[:212 + len(streams[0]) // 2],
        "cut_in_lowtitle_blob": valid[:-3],
        "image_length_ffffffff": episode(small, streams, lengths=(0xFFFFFFFF, None, None)),
        "title_length_one_over": valid[:212 + len(streams[0])]
            + blob(streams[1], len(streams[1]) + 4 + len(streams[2]) + 1) + blob(streams[2]),
        "zero_length_title": episode(small, [streams[0], b"", streams[2]]),
        "content_one_byte_longer": episode(
            small, [deflate(pictures[0] + b"\x01"), streams[1], streams[2]]),
        "content_shorter": episode(small, [deflate(pictures[0][:50]), streams[1], streams[2]]),
        "width_zero": episode((0, 12, 8, 4), streams),
        "size_wraps_32_bits": episode((0x10000, 0x10001, 8, 4), streams),
        "beyond_side_limit": episode((16385, 1, 8, 4), streams),
        "corrupt_image_stream": episode(
            small, [streams[0][:10] + bytes(b ^ 0x55 for b in streams[0][10:]),
                    streams[1], streams[2]]),
        "lowtitle_not_zlib": episode(small, [streams[0], streams[1], b"not a zlib stream"]),
        "stored_level_0": episode(small, [deflate(p, level=0) for p in pictures]),
        "huffman_only": episode(
            small, [deflate(p, strategy=zlib.Z_HUFFMAN_ONLY) for p in pictures]),
        "rle_small_window": episode(
            small, [deflate(p, level=1, strategy=zlib.Z_RLE, wbits=9, memlevel=1)
                    for p in pictures]),
        "fixed_codes": episode(small, [deflate(p, strategy=zlib.Z_FIXED) for p in pictures]),
    }
    for name, data in files.items():
        with open(os.path.join(OUT, name + ".vde"), "wb") as out:
            out.write(data)
    print(f"{len(files)} files in {OUT}")


if __name__ == "__main__":
    main()
