#!/usr/bin/env bash
# Builds the Debian package, installs it with apt as a user would, tries what
# it installed (vdetool on the sample files, the editor's window under Xvfb,
# the manual pages) and removes it again.
#
#   bash scripts/package-test.sh [BUILD_DIR]     (default: build-pkg)
#
# Needs root (or sudo) for apt-get, and what scripts/install-deps.sh installs.
# The package is removed on every way out, failures included.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build-pkg}")
jobs=$(nproc)
limit=60  # seconds for each thing waited for; CI machines may be busy

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_get() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@"; }
fail() { echo "package test: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' vde-editor 2>/dev/null | grep -q 'install ok installed'; }

tmp=$(mktemp -d)
xvfb_pid=""
editor_pid=""
we_installed=0
cleanup() {
  local status=$?
  set +e
  # SIGKILL: SDL turns SIGTERM into a quit event, which a key wait ignores.
  [ -n "$editor_pid" ] && kill -KILL "$editor_pid" 2>/dev/null && wait "$editor_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [ $we_installed -eq 1 ] && installed; then
    echo "package test: removing vde-editor after a failure" >&2
    apt_get purge vde-editor >/dev/null
  fi
  rm -rf "$tmp"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Polls a command until it succeeds; fails with $1 after $limit seconds.
wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "timed out after ${limit} s waiting for $what"
    sleep 0.1
  done
}

echo "-- building the package in $build"
# Release, without tests or benchmarks: what a user installs.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVDE_TESTS=OFF -DVDE_BENCH=OFF -DVDE_FUZZ=OFF -DVDE_SANITIZE=OFF >/dev/null
cmake --build "$build" -j"$jobs"
rm -f "$build"/vde-editor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/vde-editor_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "cpack made no single vde-editor package"
fi
deb=${debs[0]}
version=$(grep -m1 '^CMAKE_PROJECT_VERSION:' "$build/CMakeCache.txt" | cut -d= -f2)

echo "-- checking $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = vde-editor ] || fail "the package is not named vde-editor"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The libraries the binaries link, found by dpkg-shlibdeps: a package that
# lacks one installs but cannot start on a machine without it.
for lib in 'libsdl1\.2' 'libpng16-16' 'zlib1g' 'libc6' 'libstdc\+\+6' 'libgcc-s1'; do
  [[ $depends =~ (^|, )$lib ]] || fail "Depends lacks ${lib//\\/}"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
[[ "$(dpkg-deb -f "$deb" Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
  fail "the Maintainer field is not Name <address>: $(dpkg-deb -f "$deb" Maintainer)"
for path in usr/bin/vde_editor usr/bin/vdetool \
    usr/share/man/man1/vde_editor.1.gz usr/share/man/man1/vdetool.1.gz \
    usr/share/doc/vde-editor/copyright usr/share/applications/vde_editor.desktop \
    usr/share/icons/hicolor/scalable/apps/vde_editor.svg \
    usr/share/doc/vde-editor/README.md usr/share/doc/vde-editor/docs/quirks.md \
    usr/share/doc/vde-editor/examples/menu.pal usr/share/doc/vde-editor/examples/sunset.bmp \
    usr/share/doc/vde-editor/examples/logo.bmp usr/share/doc/vde-editor/examples/banner.bmp; do
  grep -qx "\./$path" <<<"$contents" || fail "the package lacks /$path"
done
# The samples by name: exports left in examples/ by trying the editor are not
# samples.
for path in Image.bmp Title.bmp LowTitle.bmp; do
  grep -q "examples/$path\$" <<<"$contents" && fail "the package holds the export $path as a sample"
done

echo "-- installing"
installed && echo "package test: vde-editor was installed already; it is replaced and removed"
we_installed=1
# A slim Debian image tells dpkg to leave out documentation and manual pages;
# this package's own are put in anyway, since they are what is tested here.
apt_install() {
  apt_get install --no-install-recommends \
    -o Dpkg::Options::=--path-include='/usr/share/doc/vde-editor/*' \
    -o Dpkg::Options::=--path-include='/usr/share/man/man1/vd*' "$deb"
}
# The runtime libraries are normally there already (the build needs their
# development packages); fresh package lists only when they are not.
apt_install >/dev/null || { apt_get update && apt_install >/dev/null; }
installed || fail "apt-get did not install vde-editor"

echo "-- vdetool"
[ "$(/usr/bin/vdetool --version)" = "vdetool $version" ] || fail "vdetool --version: $(/usr/bin/vdetool --version)"
examples=/usr/share/doc/vde-editor/examples
mkdir "$tmp/tool"
(
  cd "$tmp/tool"
  # zlib and libpng at work in the installed binary, on the installed samples.
  /usr/bin/vdetool pack -o try.vde --palette "$examples/menu.pal" --image "$examples/sunset.bmp" \
    --title "$examples/logo.bmp" --lowtitle "$examples/banner.bmp"
  [ "$(/usr/bin/vdetool check try.vde)" = "try.vde: ok" ] || fail "vdetool check of a packed episode"
  /usr/bin/vdetool unpack try.vde --format png --palette "$examples/menu.pal" -o out
  for f in Image Title LowTitle; do
    [ "$(head -c 8 "out/$f.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
      fail "vdetool unpack wrote no PNG $f.png"
  done
)

echo "-- the editor under Xvfb"
mkdir "$tmp/work"
cp "$examples/menu.pal" "$tmp/work/"
# -displayfd: the server takes a free display and writes its number once it
# accepts clients. -noreset: an X server resets when its last client leaves,
# and drops or stalls the clients that connect meanwhile; here every client
# (xdpyinfo, xdotool, and SDL, which connects twice) comes and goes.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
xvfb_ready() {
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended: $(cat "$tmp/xvfb.log")"
  grep -q '^[0-9][0-9]*$' "$tmp/display"
}
wait_for "Xvfb to start" xvfb_ready
DISPLAY=":$(cat "$tmp/display")"
export DISPLAY
x_answers() { xdpyinfo >/dev/null 2>&1; }
wait_for "the X server $DISPLAY to accept clients" x_answers
(cd "$tmp/work" && exec /usr/bin/vde_editor) </dev/null >/dev/null 2>"$tmp/editor.err" &
editor_pid=$!
window=""
find_window() {
  kill -0 "$editor_pid" 2>/dev/null ||
    fail "the editor ended before showing its window: $(cat "$tmp/editor.err")"
  window=$(xdotool search --onlyvisible --name '^VDE_Editor$' 2>/dev/null | head -n1)
  [ -n "$window" ]
}
if ! (wait_for "the VDE_Editor window" find_window); then
  # What there was to see, for the log.
  echo "editor stderr: $(head -c 2000 "$tmp/editor.err")" >&2
  echo "windows: $(xwininfo -root -tree 2>&1 | grep -i -E 'vde|child' | head -n 5)" >&2
  echo "editor waits in: $(cat "/proc/$editor_pid/wchan" 2>/dev/null)" >&2
  echo "Xvfb said: $(head -c 2000 "$tmp/xvfb.log")" >&2
  fail "no VDE_Editor window"
fi
find_window
# Drawn, not only mapped: the grey backdrop beside the pictures and the
# white area of the empty big picture.
pixel() { import -window "$window" -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null | od -An -tx1 | tr -d ' \n'; }
screen_drawn() { [ "$(pixel 610 400)" = a0a0a0 ] && [ "$(pixel 150 180)" = ffffff ]; }
wait_for "the editor screen to be drawn" screen_drawn
# No window manager: keys go to the focused window, so focus it and keep the
# pointer over it, as the end-to-end tests do.
xdotool mousemove --window "$window" 610 400
timeout "$limit" xdotool windowfocus --sync "$window" || fail "could not focus the editor window"
xdotool key Escape
editor_ended() { ! kill -0 "$editor_pid" 2>/dev/null; }
wait_for "the editor to end after Escape" editor_ended
status=0
wait "$editor_pid" || status=$?
editor_pid=""
[ $status -eq 0 ] || fail "the editor ended with status $status: $(cat "$tmp/editor.err")"
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""

echo "-- manual pages"
for page in vde_editor vdetool; do
  file=/usr/share/man/man1/$page.1.gz
  [ -f "$file" ] || fail "$file is not installed"
  if command -v man >/dev/null; then
    [ "$(man -w "$page")" = "$file" ] || fail "man -w $page finds $(man -w "$page" 2>&1)"
  fi
  # The version in the page's header is written by hand: it must follow the
  # project's.
  zcat "$file" | head -n 5 | grep -q "^\.TH .* \"$page $version\"" ||
    fail "$file does not name version $version in its .TH line"
  if command -v groff >/dev/null; then
    warnings=$(zcat "$file" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$file: $warnings"
  fi
done

echo "-- removing"
apt_get remove vde-editor >/dev/null
[ ! -e /usr/bin/vde_editor ] || fail "/usr/bin/vde_editor is still there after apt-get remove"
# Without conffiles, remove leaves nothing for purge, and dpkg forgets the
# package; purge whatever it still knows of.
if dpkg-query -W vde-editor >/dev/null 2>&1; then apt_get purge vde-editor >/dev/null; fi
installed && fail "vde-editor is still installed after apt-get purge"
for path in /usr/bin/vde_editor /usr/bin/vdetool /usr/share/doc/vde-editor \
    /usr/share/man/man1/vde_editor.1.gz /usr/share/man/man1/vdetool.1.gz \
    /usr/share/applications/vde_editor.desktop; do
  [ ! -e "$path" ] || fail "$path is still there after apt-get purge"
done
we_installed=0
echo "package test: ok ($(basename "$deb"))"
