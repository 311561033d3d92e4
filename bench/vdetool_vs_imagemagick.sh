#!/usr/bin/env bash
# Times `vdetool convert` against ImageMagick's nearest-colour remap without
# dithering, as whole processes, side by side in one run, and prints the
# ratios. Two 24-bit photo-like pictures, made here deterministically: the
# Image size of an episode (304x354) and a large one (4096x4096). Both tools
# map onto the same 256 colours, those of examples/menu.pal.
#
#   bash bench/vdetool_vs_imagemagick.sh
#
# Environment: VDETOOL (default build/vdetool), IMAGEMAGICK (default Debian's
# /usr/bin/convert), RUNS (runs per tool on the small picture, default 15),
# RUNS_LARGE (on the large one, default 3; ImageMagick takes half a minute
# for each). Each figure is the best of its runs: the least disturbed by
# whatever else the machine is doing. Wall time is what a script waits for;
# CPU time (user + system) is steadier on a busy machine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
vdetool="${VDETOOL:-$root/build/vdetool}"
# Debian's own binary first: a wrapper earlier in PATH would add its own
# start-up to every run.
if [ -n "${IMAGEMAGICK:-}" ]; then
  imagemagick=$IMAGEMAGICK
elif [ -x /usr/bin/convert ]; then
  imagemagick=/usr/bin/convert
else
  imagemagick=$(command -v convert || true)
fi
[ -x "$vdetool" ] || { echo "no vdetool at $vdetool (build it, or set VDETOOL)" >&2; exit 1; }
vdetool=$(realpath "$vdetool")
[ -n "$imagemagick" ] || { echo "ImageMagick's convert is not installed" >&2; exit 1; }

# In memory where possible: vdetool syncs each file it replaces, ImageMagick
# does not, and a disk's sync time would be measured instead of the work.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT

exec python3 - "$vdetool" "$imagemagick" "$root/examples/menu.pal" "$work" \
  "${RUNS:-15}" "${RUNS_LARGE:-3}" <<'PYTHON'
import os
import random
import struct
import subprocess
import sys
import time

vdetool, imagemagick, palette_path, work, runs, runs_large = sys.argv[1:7]
runs, runs_large = int(runs), int(runs_large)


def bmp_header(width, height, bits, data_bytes, palette_bytes=b""):
    offset = 14 + 40 + len(palette_bytes)
    return (b"BM" + struct.pack("<IHHI", offset + data_bytes, 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, data_bytes, 2835, 2835,
                        len(palette_bytes) // 4, 0) + palette_bytes)


def photo_like(path, width, height, seed):
    """Smooth gradients with grain, nearly every pixel a colour of its own,
    as a photograph has them. Rows are shifted copies of a few grainy rows,
    which keeps the making of a large picture fast."""
    rnd = random.Random(seed)
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for _ in range(7):
        row = bytearray(row_bytes)
        for x in range(width):
            t = x / max(width - 1, 1)
            row[3 * x] = int(60 + 120 * t + rnd.randint(-12, 12)) & 255
            row[3 * x + 1] = int(200 - 90 * t * t + rnd.randint(-12, 12)) & 255
            row[3 * x + 2] = int(90 + 100 * (1 - abs(2 * t - 1)) + rnd.randint(-12, 12)) & 255
        rows.append(bytes(row))
    shifts = [bytes((v + k) & 255 for v in range(256)) for k in range(256)]
    with open(path, "wb") as out:
        out.write(bmp_header(width, height, 24, row_bytes * height))
        for y in range(height):
            shift = (y * 256 // height + rnd.randint(0, 3)) & 255
            out.write(rows[(y * 5) % 7].translate(shifts[shift]))


def palette_bmp(path):
    """The 256 colours as a 16x16 picture, one pixel each: what -remap reads."""
    raw = open(palette_path, "rb").read(1024).ljust(1024, b"\0")
    entries = b"".join(bytes((raw[4 * i + 2], raw[4 * i + 1], raw[4 * i], 0)) for i in range(256))
    pixels = bytes(range(256))
    with open(path, "wb") as out:
        out.write(bmp_header(16, 16, 8, len(pixels), entries) + pixels)


def run(command):
    """Wall and CPU seconds of one whole process."""
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=work, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("failed: " + " ".join(command))
    return wall, usage.ru_utime + usage.ru_stime


def best_of(count, commands):
    """Runs the commands in turn, `count` rounds, so that both see the same
    conditions; the best wall and CPU time of each."""
    best = [[float("inf"), float("inf")] for _ in commands]
    for _ in range(count):
        for i, command in enumerate(commands):
            wall, cpu = run(command)
            best[i][0] = min(best[i][0], wall)
            best[i][1] = min(best[i][1], cpu)
    return best


palette_bmp(os.path.join(work, "palette.bmp"))
with open(os.path.join(work, "menu.pal"), "wb") as out:
    out.write(open(palette_path, "rb").read())
cases = [("304x354", 304, 354, runs), ("4096x4096", 4096, 4096, runs_large)]
print("vdetool:     " + vdetool)
print("ImageMagick: " + imagemagick)
print("%-10s %5s %14s %14s %14s %14s %9s %9s" % (
    "picture", "runs", "vdetool wall", "IM wall", "vdetool CPU", "IM CPU", "wall x", "CPU x"))
met = True
for name, width, height, count in cases:
    picture = "photo%s.bmp" % name
    photo_like(os.path.join(work, picture), width, height, seed=width)
    (tool_wall, tool_cpu), (im_wall, im_cpu) = best_of(count, [
        [vdetool, "convert", picture, "vdetool_out.bmp"],
        [imagemagick, picture, "+dither", "-remap", "palette.bmp", "im_out.bmp"],
    ])
    wall_ratio, cpu_ratio = im_wall / tool_wall, im_cpu / max(tool_cpu, 1e-6)
    met = met and wall_ratio >= 10
    print("%-10s %5d %11.1f ms %11.1f ms %11.1f ms %11.1f ms %8.1fx %8.1fx" % (
        name, count, 1000 * tool_wall, 1000 * im_wall, 1000 * tool_cpu, 1000 * im_cpu,
        wall_ratio, cpu_ratio))
print("target (vdetool at least 10 times faster, wall time, both pictures): " +
      ("met" if met else "NOT met"))
PYTHON
