#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in examples/,
# which holds a sample "menu.pal" and pictures to import.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" >/dev/null
cmake --build "$root/build" --target vde_editor -j"$(nproc)"

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
No display: the editor needs an X display to open its window, and DISPLAY is not set.
Start it from a desktop session, or try it in a virtual X server:
  xvfb-run -s '-screen 0 800x600x24' build/vde_editor    (from examples/)
and look at it with a VNC server or screenshots (see README.md).
MSG
  exit 1
fi
cd "$root/examples"
exec "$root/build/vde_editor"
