#!/usr/bin/env bash
# Installs what is missing, builds the editor and vdetool, and starts the
# editor in examples/, which holds a sample "menu.pal" and pictures to
# import. Without a display the editor says so, and how to try it under Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$root/scripts/install-deps.sh" --run
# Only the programs: the tests and benchmarks need packages that
# install-deps.sh --run leaves out (scripts/test.sh turns them on again).
cmake -S "$root" -B "$root/build" -DVDE_TESTS=OFF -DVDE_BENCH=OFF >/dev/null
cmake --build "$root/build" --target vde_editor vdetool -j"$(nproc)"
cd "$root/examples"
exec "$root/build/vde_editor"
