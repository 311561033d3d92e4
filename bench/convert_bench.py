#!/usr/bin/env python3
"""Whole conversions side by side: vdetool convert against Pillow, ImageMagick
and the floor (bench/floor.c: read the 24-bit BMP, write an 8-bit BMP, no
matching), interleaved in one run, whole processes, CPU time (user + system)
and wall time, medians. It prints each figure and the ratios the project
holds itself to.

    python3 bench/convert_bench.py                 # exact conversion, 304x354 to 8192x8192
    python3 bench/convert_bench.py --dither        # Floyd-Steinberg against ImageMagick's
    python3 bench/convert_bench.py --sizes 304x354,4096 --rounds 5

Needs a Release build (cmake -S . -B build-speed -DCMAKE_BUILD_TYPE=Release &&
cmake --build build-speed --target vdetool bench_floor; --build names another
directory), ImageMagick, and Debian's python3-pil (bash scripts/install-deps.sh
--bench installs both). The pictures are made from examples/sunset.bmp by
ImageMagick: scaled, with seeded grain, so that nearly every pixel has a
colour of its own, as in a photograph. ImageMagick is slow on large pictures:
it runs --slow-rounds times there.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PILLOW = """
import sys
from PIL import Image
palette = Image.new("P", (1, 1))
data = open(sys.argv[3], "rb").read()
palette.putpalette(b"".join(data[4 * i:4 * i + 3] for i in range(256)))
dither = Image.Dither.FLOYDSTEINBERG if sys.argv[4] == "fs" else Image.Dither.NONE
Image.open(sys.argv[1]).convert("RGB").quantize(palette=palette, dither=dither).save(sys.argv[2])
"""


def run(command):
    """CPU seconds (user + system) and wall seconds of one whole process; None
    when it failed (ImageMagick refuses pictures beyond its resource limits)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        print(f"  failed: {command[0]}: {process.stderr.read().decode().strip()[:200]}")
        return None
    return usage.ru_utime + usage.ru_stime, wall


def make_picture(work, width, height):
    """A 24-bit BMP of the sunset scaled to the size, with seeded grain; beyond
    what Debian's ImageMagick allows, four of the half size side by side."""
    picture = os.path.join(work, f"in-{width}x{height}.bmp")
    made = subprocess.run(["convert", os.path.join(ROOT, "examples", "sunset.bmp"), "-resize",
                           f"{width}x{height}!", "-seed", "1", "-attenuate", "0.4", "+noise",
                           "Gaussian", "-type", "TrueColor", f"BMP3:{picture}"],
                          stderr=subprocess.DEVNULL)
    if made.returncode != 0:
        half = make_picture(work, width // 2, height // 2)
        subprocess.run(["/usr/bin/python3", "-c", """
import sys
from PIL import Image
half = Image.open(sys.argv[1])
whole = Image.new("RGB", (2 * half.width, 2 * half.height))
for x, y in ((0, 0), (1, 0), (0, 1), (1, 1)):
    whole.paste(half, (x * half.width, y * half.height))
whole.save(sys.argv[2])""", half, picture], check=True)
    return picture


def size_of(text):
    width, _, height = text.partition("x")
    return int(width), int(height or width)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--build", default=os.path.join(ROOT, "build-speed"))
    p.add_argument("--sizes", default="304x354,1024,2048,4096,8192")
    p.add_argument("--rounds", type=int, default=7)
    p.add_argument("--slow-rounds", type=int, default=1, help="ImageMagick's rounds from 2048 on")
    p.add_argument("--dither", action="store_true", help="Floyd-Steinberg instead of exact")
    args = p.parse_args()
    vdetool, floor = os.path.join(args.build, "vdetool"), os.path.join(args.build, "bench_floor")
    palette = os.path.join(ROOT, "examples", "menu.pal")
    work = tempfile.mkdtemp(dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    swatch = os.path.join(work, "palette.png")
    subprocess.run([vdetool, "palette", swatch, "--palette", palette], check=True)
    dither = ["--dither", "fs"] if args.dither else []
    magick = ["-dither", "FloydSteinberg"] if args.dither else ["+dither"]

    for size in args.sizes.split(","):
        width, height = size_of(size)
        picture = make_picture(work, width, height)
        out = lambda name: os.path.join(work, name)
        tools = {
            "vdetool": [vdetool, "convert", picture, out("v.bmp"), "--palette", palette] + dither,
            "Pillow": ["/usr/bin/python3", "-c", PILLOW, picture, out("p.bmp"), palette,
                       "fs" if args.dither else "none"],
            "ImageMagick": ["convert", picture] + magick + ["-remap", swatch, f"BMP3:{out('m.bmp')}"],
        }
        if args.dither:
            tools["vdetool exact"] = [vdetool, "convert", picture, out("e.bmp"), "--palette", palette]
        else:
            tools["floor"] = [floor, picture, out("f.bmp")]
            tools["vdetool PNG"] = [vdetool, "convert", picture, out("v.png"), "--palette", palette]
            tools["Pillow PNG"] = tools["Pillow"][:4] + [out("p.png")] + tools["Pillow"][5:]
        slow = {"ImageMagick"} if width * height >= 2048 * 2048 else set()
        times = {name: [] for name in tools}
        failed = set()
        for round_ in range(args.rounds):
            names = list(tools)
            names = names[round_ % len(names):] + names[:round_ % len(names)]
            for name in names:
                if name in slow and len(times[name]) >= args.slow_rounds:
                    continue
                if name not in failed and not (timed := run(tools[name])):
                    failed.add(name)
                elif name not in failed:
                    times[name].append(timed)
        nan = float("nan")
        cpu = {n: statistics.median(t[0] for t in runs) if runs else nan for n, runs in times.items()}
        wall = {n: statistics.median(t[1] for t in runs) if runs else nan for n, runs in times.items()}
        print(f"\n{width}x{height}" + (" (Floyd-Steinberg)" if args.dither else ""))
        for name in tools:
            print(f"  {name:14} CPU {1000 * cpu[name]:9.1f} ms   wall {1000 * wall[name]:9.1f} ms"
                  f"   ({len(times[name])} runs)")
        v = cpu["vdetool"]
        print(f"  Pillow / vdetool {cpu['Pillow'] / v:.2f}x, ImageMagick / vdetool "
              f"{cpu['ImageMagick'] / v:.1f}x", end="")
        if args.dither:
            print(f", vdetool dithered / exact {v / cpu['vdetool exact']:.2f}x")
        else:
            size = lambda name: os.path.getsize(out(name)) if os.path.exists(out(name)) else "no"
            print(f", vdetool / floor {v / cpu['floor']:.2f}x")
            print(f"  PNG out: Pillow / vdetool {cpu['Pillow PNG'] / cpu['vdetool PNG']:.2f}x; "
                  f"files: vdetool {size('v.png')} bytes, Pillow {size('p.png')} bytes")
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
