#!/usr/bin/env bash
# Installs what is missing, then runs the whole matrix:
#   1. a build with warnings as errors and every test: unit and integration,
#      the exhaustive colour-matching sweep, end-to-end under Xvfb;
#   2. a build with AddressSanitizer and UndefinedBehaviorSanitizer and the
#      same tests (the sweep aside);
#   3. the Debian package: built, installed with apt, tried, removed;
#   4. clang-tidy and cppcheck over the project's code (and, first of all,
#      the generated font table checked against text/font.txt);
#   5. each fuzz target for FUZZ_SECONDS (default 60).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

bash "$root/scripts/install-deps.sh"

echo "== The font table is the one text/font.txt gives"
python3 "$root/scripts/gen_font.py" --check

passed=0
# Runs ctest in a build directory with the given options, and counts what
# passed for the summary at the end (a failure stops the script).
run_ctest() {
  local build=$1
  shift
  local log
  log=$(mktemp)
  # No test found is a failure too; the log goes with either outcome.
  (cd "$build" && ctest --output-on-failure --no-tests=error "$@") | tee "$log" ||
    { rm -f "$log"; return 1; }
  local total
  total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  passed=$((passed + ${total:-0}))
  rm -f "$log"
}

run_suite() {  # build directory, extra CMake options...
  local build=$1
  shift
  # Tests and benchmarks on whatever an earlier scripts/run.sh left in the cache.
  cmake -S "$root" -B "$build" -DVDE_WERROR=ON -DVDE_TESTS=ON -DVDE_BENCH=ON "$@" >/dev/null
  cmake --build "$build" -j"$jobs"
  # Unit and integration tests in parallel; the end-to-end tests one at a
  # time, each with its own X server and editor.
  run_ctest "$build" -j"$jobs" -LE e2e
  run_ctest "$build" -L e2e
}

echo "== Build with warnings as errors, all tests"
run_suite "$root/build"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
run_suite "$root/build-asan" -DVDE_SANITIZE=ON -DVDE_BENCH=OFF

echo "== Debian package"
bash "$root/scripts/package-test.sh" "$root/build-pkg"

echo "== Static analysis"
bash "$root/scripts/lint.sh"

echo "== Fuzzing"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}" bash "$root/scripts/run-fuzzers.sh"

# Every stage above stops the script on a failure, so reaching here means
# everything passed.
echo "== Summary"
echo "ctest: $passed passed, 0 failed"
