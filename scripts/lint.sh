#!/usr/bin/env bash
# Static analysis of the project's own sources (app/ episode/ files/ memory/
# palette/ picture/ text/ tools/, not the generated text/font_data.cpp): clang-tidy with the checks in
# .clang-tidy, then cppcheck with the suppressions in scripts/cppcheck.supp.
# Exits non-zero when either reports anything or cannot run.
#
#   scripts/lint.sh                   both
#   scripts/lint.sh --tidy-only       clang-tidy only
#   scripts/lint.sh --cppcheck-only   cppcheck only
#
# LINT_BUILD_DIR (default build-lint-analysis) is the build directory that is
# configured for its compile_commands.json; nothing is compiled. JOBS
# (default 2) is the number of files analysed at once. CLANG_TIDY and CPPCHECK
# name other binaries.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${LINT_BUILD_DIR:-$root/build-lint-analysis}"
jobs="${JOBS:-2}"
clang_tidy="${CLANG_TIDY:-clang-tidy}"
cppcheck="${CPPCHECK:-cppcheck}"
run_tidy=1
run_cppcheck=1
case "${1:-}" in
    "") ;;
    --tidy-only) run_cppcheck=0 ;;
    --cppcheck-only) run_tidy=0 ;;
    *) echo "usage: $0 [--tidy-only|--cppcheck-only]" >&2; exit 2 ;;
esac

cd "$root"
sources=()
while IFS= read -r file; do sources+=("$file"); done < <(
    find app episode files memory palette picture text tools -name '*.cpp' ! -path text/font_data.cpp | LC_ALL=C sort)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "lint: no sources found under $root" >&2
    exit 2
fi

status=0

if [ "$run_tidy" = 1 ]; then
    command -v "$clang_tidy" >/dev/null || { echo "lint: $clang_tidy not found" >&2; exit 2; }
    # Tests and benchmarks are not analysed, so they need not be configured.
    cmake -S "$root" -B "$build" -DVDE_TESTS=OFF -DVDE_BENCH=OFF -DVDE_FUZZ=OFF >/dev/null
    echo "lint: clang-tidy over ${#sources[@]} files ($jobs at a time)"
    tidy_out="$(mktemp -d)"
    trap 'rm -rf "$tidy_out"' EXIT
    # Each file's report goes to its own log so that parallel runs do not mix
    # their lines; a file whose run fails leaves a .failed mark. The inner
    # script's $1..$4 are its own arguments, hence the single quotes.
    # shellcheck disable=SC2016
    printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -I{} sh -c '
        log="$1/$(printf %s "$2" | tr / _).log"
        "$3" -p "$4" --quiet "$2" >"$log" 2>&1 || printf %s "$2" >"$log.failed"
    ' sh "$tidy_out" {} "$clang_tidy" "$build"
    for log in "$tidy_out"/*.log; do
        # clang-tidy prints "N warnings generated." even for warnings from
        # system headers that it then hides; only real findings count.
        if [ -e "$log.failed" ] || grep -q ': \(warning\|error\):' "$log"; then
            grep -v '^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated\.$' "$log" || true
            grep -q ': \(warning\|error\):' "$log" ||
                echo "lint: clang-tidy could not analyse $(cat "$log.failed")"
            status=1
        fi
    done
    [ "$status" = 0 ] && echo "lint: clang-tidy clean"
fi

if [ "$run_cppcheck" = 1 ]; then
    command -v "$cppcheck" >/dev/null || { echo "lint: $cppcheck not found" >&2; exit 2; }
    echo "lint: cppcheck over ${#sources[@]} files"
    # SDL's own headers are read so that its macros are known; other system
    # headers are described by cppcheck's library files instead.
    sdl_include=()
    for flag in $(pkg-config --cflags-only-I sdl 2>/dev/null || true); do sdl_include+=("$flag"); done
    if "$cppcheck" --enable=warning,performance,portability --std=c++17 --language=c++ \
        --library=posix --library=sdl --library=zlib \
        --inline-suppr --suppressions-list=scripts/cppcheck.supp \
        --suppress=missingIncludeSystem \
        -I app -I episode -I memory -I palette -I text -I tools/vdetool "${sdl_include[@]}" \
        -j "$jobs" --quiet --error-exitcode=1 \
        --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
        "${sources[@]}"; then
        echo "lint: cppcheck clean"
    else
        status=1
    fi
fi

exit "$status"
