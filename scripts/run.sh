#!/usr/bin/env bash
# Installs what is missing, builds the editor and vdetool, and starts the
# editor in examples/, which holds a sample "menu.pal" and pictures to
# import. Without a display the editor says so, and how to try it under Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$root/scripts/install-deps.sh" --run
cmake -S "$root" -B "$root/build" >/dev/null
cmake --build "$root/build" --target vde_editor vdetool -j"$(nproc)"
cd "$root/examples"
exec "$root/build/vde_editor"
