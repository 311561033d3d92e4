#!/usr/bin/env bash
# Installs the Debian packages the project needs. Safe to run again: it
# installs only what is missing. Needs root (or sudo).
#
#   bash scripts/install-deps.sh           building, running and every test
#   bash scripts/install-deps.sh --run     building and running only
#   bash scripts/install-deps.sh --bench   everything, the peers that
#                                          bench/convert_bench.py measures and /usr/bin/time
set -euo pipefail

# Building and running: a compiler and CMake, SDL 1.2 (added below), zlib,
# libpng; Xvfb and xauth (for xvfb-run) to try the editor without a display.
packages=(build-essential cmake pkg-config zlib1g-dev libpng-dev xvfb xauth)
if [ "${1:-}" != --run ]; then
  # The tests: GoogleTest, Google Benchmark, clang with libFuzzer and the
  # sanitizers' runtime, clang-tidy, cppcheck; the end-to-end tests under
  # Xvfb with xdotool, x11-utils, python3-xlib and ImageMagick's import; the
  # package test's dpkg-dev, file and man-db.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-tidy cppcheck
    xdotool x11-utils python3 python3-xlib imagemagick
    dpkg-dev file man-db)
fi
[ "${1:-}" = --bench ] && packages+=(python3-pil time)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
have_sdl=0
installed libsdl1.2-dev || installed libsdl1.2-compat-dev && have_sdl=1
[ ${#missing[@]} -eq 0 ] && [ $have_sdl -eq 1 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
# Debian 12 has SDL 1.2 itself; newer releases only its compatibility layer.
if [ $have_sdl -eq 0 ]; then
  candidate=$(apt-cache policy libsdl1.2-dev 2>/dev/null || true)
  if [[ "$candidate" == *"Candidate: "[0-9]* ]]; then
    missing+=(libsdl1.2-dev)
  else
    missing+=(libsdl1.2-compat-dev)
  fi
fi
echo "Installing: ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
