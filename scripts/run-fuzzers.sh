#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each one
# for FUZZ_SECONDS (default 60) on a copy of its seed corpus, so that the
# committed corpus never changes. Exits non-zero when any target finds a
# crash, a sanitizer report, a leak or a timeout; the reproducer is kept in
# build-fuzz/findings/<target>/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"

# One line per target: name, seed corpus under tests/data/, extra options.
targets=(
  "fuzz_episode episode -max_len=16384"
  "fuzz_pictures pictures -max_len=16384"
  "fuzz_palette palette -max_len=2048"
)

mkdir -p "$build"
cmake -S "$root" -B "$build" -DVDE_FUZZ=ON -DVDE_TESTS=OFF -DVDE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
names=()
for line in "${targets[@]}"; do
  read -r name _ <<<"$line"
  names+=("$name")
done
cmake --build "$build" --target "${names[@]}" -j"$(nproc)"

status=0
for line in "${targets[@]}"; do
  read -r name corpus options <<<"$line"
  work=$(mktemp -d)
  cp -R "$root/tests/data/$corpus/." "$work/"
  # Scratch files of the target; libFuzzer ends without running exit
  # handlers, so they are removed here. Memory-backed when possible.
  scratch=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
  findings="$build/findings/$name"
  mkdir -p "$findings"
  log="$build/$name.log"
  echo "== $name: ${seconds}s on a copy of tests/data/$corpus"
  set +e
  # shellcheck disable=SC2086  # the options are separate words
  TMPDIR="$scratch" "$build/$name" "$work" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 \
    -artifact_prefix="$findings/" $options >"$log" 2>&1
  rc=$?
  set -e
  rm -rf "$work" "$scratch"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  echo "$name: ${runs:-?} executions, exit status $rc (log: $log)"
  if [ "$rc" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|==[0-9]+==|runtime error|Test unit written' "$log" | head -20 || true
    status=1
  fi
done
exit "$status"
