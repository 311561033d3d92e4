"""Drives the built editor in a real X window for the end-to-end tests.

An Xvfb server per test class, the editor started in a scratch directory
with DISPLAY pointing at it, xdotool for the mouse and keyboard (XTEST, as
a person's input arrives), and Xlib for screenshots and for the close
request a window manager would send. Everything is waited for by polling
with a time limit: the editor draws a frame every 20 ms from a busy loop
that takes a whole core, so fixed sleeps would be either slow or flaky.

Every process started here is killed when its owner is cleaned up, when the
Python process exits, and (through PR_SET_PDEATHSIG) when the Python process
is killed outright, e.g. by a CTest timeout.
"""

import argparse
import atexit
import ctypes
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

# The first python3 on PATH may be a private interpreter without
# python3-xlib; the system one has it when scripts/install-deps.sh ran.
try:
    from Xlib import X, display as xdisplay, protocol
    from Xlib.error import DisplayError
except ImportError:
    _system_python = "/usr/bin/python3"
    if (os.environ.get("VDE_E2E_REEXEC") != "1" and os.path.exists(_system_python)
            and os.path.realpath(sys.executable) != os.path.realpath(_system_python)):
        os.environ["VDE_E2E_REEXEC"] = "1"
        os.execv(_system_python, [_system_python] + sys.argv)
    sys.exit("The end-to-end tests need python3-xlib (scripts/install-deps.sh installs it).")

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
EXAMPLES = os.path.join(ROOT, "examples")
FONT_FILE = os.path.join(ROOT, "text", "font.txt")

SCREEN_W, SCREEN_H = 640, 480
WINDOW_NAME = "VDE_Editor"

GREY = 0xA0A0A0
WHITE = 0xFFFFFF
PROMPT_GREY = 0xC0C0C0
GLYPH_ON = 0xFFFFFF
GLYPH_OFF = 0x000001  # the font's "clear" value: black, but never black 0

# Where each screen element sits: (x, y, w, h) for areas, (x, y) for text.
IMAGE_AREA = (0, 0, 304, 354)
TITLE_AREA = (350, 0, 220, 78)
LOWTITLE_AREA = (350, 100, 220, 78)
NAME_AT = (358, 216)
START_LEVEL_AT = (358, 264)
PLACE_AT = (358, 312)
FILENAME_AT = (358, 360)
MESSAGE_AT = (128, 128)
BMP_PROMPT_AT = (64, 64)  # the picture name prompt's box
TEXT_PROMPT_AT = (128, 64)  # the other prompts' box

# Click points inside each command's region, away from its edges.
CLICK_IMAGE = (150, 180)
CLICK_TITLE = (460, 40)
CLICK_LOWTITLE = (460, 140)
CLICK_NAME = (420, 216)
CLICK_START_LEVEL = (420, 264)
CLICK_LOAD = (64, 440)
CLICK_SAVE = (160, 440)
CLICK_SAVE_BMP = (256, 440)
# Inside the window, outside every command region: the pointer rests here so
# that key presses reach the window (no window manager gives it the focus).
NEUTRAL_POINT = (610, 400)

# What AddressSanitizer, LeakSanitizer and UBSan put on stderr.
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")

DEFAULT_TIMEOUT = 15.0
POLL_INTERVAL = 0.04

EDITOR = None  # path of the editor binary, set by main() or VDE_EDITOR


# --------------------------------------------------------------------------
# Processes

_live_processes = []


def _die_with_parent():
    # Linux: the child gets SIGKILL when this Python process goes away, so a
    # killed test run leaves no X server or busy editor behind.
    try:
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except OSError:
        pass


def _spawn(args, **kwargs):
    proc = subprocess.Popen(args, preexec_fn=_die_with_parent, **kwargs)
    _live_processes.append(proc)
    return proc


def _kill(proc):
    if proc is None:
        return
    if proc.poll() is None:
        try:
            proc.kill()
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
    if proc in _live_processes:
        _live_processes.remove(proc)


@atexit.register
def _kill_leftovers():
    for proc in list(_live_processes):
        _kill(proc)


def wait_until(predicate, what, timeout=DEFAULT_TIMEOUT, on_timeout=None):
    """Polls `predicate` until it returns a true value, which is returned.

    Fails the test with `what` (and whatever `on_timeout` adds) when the time
    runs out; the predicate is tried once more at the deadline so that a slow
    poll never loses a state that arrived just in time.
    """
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            detail = on_timeout() if on_timeout else ""
            raise AssertionError("timed out after %.0f s waiting for %s%s"
                                 % (timeout, what, detail))
        time.sleep(POLL_INTERVAL)


class XServer:
    """An Xvfb server on a display number it picks itself."""

    def __init__(self, width=800, height=600):
        if shutil.which("Xvfb") is None:
            raise RuntimeError("Xvfb is not installed (scripts/install-deps.sh installs it)")
        if shutil.which("xdotool") is None:
            raise RuntimeError("xdotool is not installed (scripts/install-deps.sh installs it)")
        read_end, write_end = os.pipe()
        self.log = tempfile.TemporaryFile()
        # -displayfd: the server takes the first free display and writes its
        # number when it is ready, so parallel runs never collide.
        self.proc = _spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                            "%dx%dx24" % (width, height), "-nolisten", "tcp"],
                           pass_fds=(write_end,), stdout=self.log, stderr=self.log)
        os.close(write_end)
        try:
            number = self._read_display_number(read_end)
        finally:
            os.close(read_end)
        self.name = ":%d" % number
        self.env = dict(os.environ, DISPLAY=self.name)
        self.display = None
        try:
            self.display = wait_until(self._connect, "the X server %s to accept clients"
                                      % self.name, on_timeout=self._log_text)
        except BaseException:
            self.close()
            raise

    def _read_display_number(self, fd):
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        text = b""
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or self.proc.poll() is not None:
                said = self._log_text()
                self.close()
                raise RuntimeError("Xvfb did not start" + said)
            ready, _, _ = select.select([fd], [], [], min(left, 0.2))
            if ready:
                chunk = os.read(fd, 16)
                if not chunk:
                    said = self._log_text()
                    self.close()
                    raise RuntimeError("Xvfb did not say its display" + said)
                text += chunk
        return int(text.strip())

    def _connect(self):
        try:
            return xdisplay.Display(self.name)
        except (DisplayError, OSError, ConnectionError):
            return None

    def _log_text(self):
        try:
            self.log.seek(0)
            return "\nXvfb said:\n" + self.log.read().decode(errors="replace")
        except (OSError, ValueError):
            return ""

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True,
                       timeout=DEFAULT_TIMEOUT, stdout=subprocess.DEVNULL)

    def close(self):
        if getattr(self, "display", None) is not None:
            try:
                self.display.close()
            except Exception:  # the connection may already be gone with the server
                pass
            self.display = None
        _kill(self.proc)
        self.log.close()


# --------------------------------------------------------------------------
# Pictures

class Shot:
    """A 640x480 screenshot of the editor window as 0xRRGGBB values."""

    def __init__(self, red, green, blue, width=SCREEN_W, height=SCREEN_H):
        self.red, self.green, self.blue = red, green, blue
        self.width, self.height = width, height

    def pixel(self, x, y):
        i = y * self.width + x
        return self.red[i] << 16 | self.green[i] << 8 | self.blue[i]

    def region(self, x, y, w, h):
        """Rows of pixel values, top to bottom."""
        return [[self.pixel(x + i, y + j) for i in range(w)] for j in range(h)]

    def same_region(self, other, area):
        x, y, w, h = area
        for j in range(y, y + h):
            a, b = j * self.width + x, j * self.width + x + w
            for plane, other_plane in ((self.red, other.red), (self.green, other.green),
                                       (self.blue, other.blue)):
                if plane[a:b] != other_plane[a:b]:
                    return False
        return True

    def rgb_bytes(self):
        out = bytearray(3 * self.width * self.height)
        out[0::3], out[1::3], out[2::3] = self.red, self.green, self.blue
        return bytes(out)

    def save_png(self, path):
        write_png(path, self.width, self.height, self.rgb_bytes())


def region_mismatches(shot, x, y, expected_rows, limit=5):
    """(count, first few (x, y, seen, wanted)) where the shot differs."""
    count, first = 0, []
    for j, row in enumerate(expected_rows):
        for i, want in enumerate(row):
            seen = shot.pixel(x + i, y + j)
            if seen != want:
                count += 1
                if len(first) < limit:
                    first.append((x + i, y + j, seen, want))
    return count, first


def describe_mismatches(count, first):
    return "%d pixels differ, first: %s" % (count, ", ".join(
        "(%d,%d) #%06X not #%06X" % item for item in first))


def write_png(path, width, height, rgb):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    stride = 3 * width
    raw = b"".join(b"\0" + rgb[y * stride:(y + 1) * stride] for y in range(height))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def read_palette_file(path):
    """menu.pal: 256 records of red, green, blue, unused -> 0xRRGGBB list."""
    with open(path, "rb") as f:
        data = f.read(1024)
    return [data[i] << 16 | data[i + 1] << 8 | data[i + 2] for i in range(0, 1024, 4)]


class Bmp:
    """An uncompressed 8- or 24-bit BMP: rows top to bottom."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"BM":
            raise ValueError("%s is not a BMP" % path)
        offset = struct.unpack_from("<I", data, 10)[0]
        info = struct.unpack_from("<IiiHHI", data, 14)
        info_size, width, height, _, bits, compression = info
        colours_used = struct.unpack_from("<I", data, 46)[0]
        if compression != 0 or bits not in (8, 24):
            raise ValueError("%s: %d bits, compression %d not read here"
                             % (path, bits, compression))
        self.width, self.height, self.bits = width, abs(height), bits
        self.palette = []
        if bits == 8:
            count = colours_used or 256
            at = 14 + info_size
            for i in range(count):
                b, g, r = data[at + 4 * i], data[at + 4 * i + 1], data[at + 4 * i + 2]
                self.palette.append(r << 16 | g << 8 | b)
        stride = (self.width * bits + 31) // 32 * 4
        self.rows = []  # indices (8-bit) or 0xRRGGBB (24-bit)
        for j in range(self.height):
            file_row = self.height - 1 - j if height > 0 else j
            row = data[offset + file_row * stride:offset + file_row * stride + stride]
            if bits == 8:
                self.rows.append(list(row[:self.width]))
            else:
                self.rows.append([row[3 * i + 2] << 16 | row[3 * i + 1] << 8 | row[3 * i]
                                  for i in range(self.width)])

    def colours(self):
        """Rows of 0xRRGGBB values."""
        if self.bits == 24:
            return self.rows
        return [[self.palette[i] for i in row] for row in self.rows]


class NearestColour:
    """The editor's matching rule: the palette entry with the least sum of
    absolute red, green and blue differences; among equals the lowest index."""

    def __init__(self, palette):
        self.entries = [(c >> 16, c >> 8 & 255, c & 255) for c in palette]
        self.cache = {}

    def index(self, colour):
        found = self.cache.get(colour)
        if found is None:
            r, g, b = colour >> 16, colour >> 8 & 255, colour & 255
            best, found = 1 << 30, 0
            for i, (pr, pg, pb) in enumerate(self.entries):
                d = abs(r - pr) + abs(g - pg) + abs(b - pb)
                if d < best:
                    best, found = d, i
            self.cache[colour] = found
        return found


# --------------------------------------------------------------------------
# Text

class Font:
    """The editor's 8x8 glyphs, read from text/font.txt."""

    def __init__(self, path=FONT_FILE):
        self.glyphs = {}
        code, rows = None, []
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if line.startswith(";") or not line.strip():
                    continue
                if line.startswith("0x"):
                    code, rows = int(line.split()[0], 16), []
                    continue
                rows.append(line.strip())
                if len(rows) == 8:
                    self.glyphs[code] = tuple(tuple(GLYPH_ON if c == "#" else GLYPH_OFF for c in r)
                                              for r in rows)
        if len(self.glyphs) != 256:
            raise ValueError("%s holds %d glyphs, not 256" % (path, len(self.glyphs)))
        # Reading back: printable ASCII first, so that a blank cell reads as
        # a space rather than as one of the other blank codes. A cell with no
        # clear pixel (the full block) looks like a white area, so it is
        # never read as text.
        self.by_pattern = {}
        for c in list(range(0x20, 0x7F)) + list(range(256)):
            if any(GLYPH_OFF in row for row in self.glyphs[c]):
                self.by_pattern.setdefault(self.glyphs[c], c)

    def cell(self, shot, x, y):
        return tuple(tuple(shot.pixel(x + i, y + j) for i in range(8)) for j in range(8))

    def read(self, shot, x, y, limit=80):
        """The text drawn from (x, y) rightwards, up to the first cell that
        is not a glyph (background, picture, window edge)."""
        out = []
        while len(out) < limit and x + 8 <= shot.width and y + 8 <= shot.height:
            code = self.by_pattern.get(self.cell(shot, x, y))
            if code is None:
                break
            out.append(code)
            x += 8
        return bytes(out).decode("cp850")

    def shows(self, shot, x, y, text):
        """True when `text` is drawn at (x, y), whatever follows it."""
        for k, ch in enumerate(text.encode("cp850")):
            if self.cell(shot, x + 8 * k, y) != self.glyphs[ch]:
                return False
        return True


_font = None


def font():
    global _font
    if _font is None:
        _font = Font()
    return _font


class Canvas:
    """An expected screen, drawn from what the editor is meant to show."""

    def __init__(self, colour=GREY, width=SCREEN_W, height=SCREEN_H):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def fill(self, area, colour):
        x, y, w, h = area
        for j in range(y, y + h):
            self.pixels[j][x:x + w] = [colour] * w

    def text(self, x, y, text):
        glyphs = font().glyphs
        for k, ch in enumerate(text.encode("cp850")):
            for j, row in enumerate(glyphs[ch]):
                self.pixels[y + j][x + 8 * k:x + 8 * k + 8] = list(row)

    def mismatches(self, shot):
        return region_mismatches(shot, 0, 0, self.pixels)


# --------------------------------------------------------------------------
# The editor

class Editor:
    """One run of the editor in `workdir` on `xserver`."""

    def __init__(self, xserver, workdir, binary=None, stderr_path=None):
        self.x = xserver
        self.workdir = workdir
        self.binary = binary or editor_path()
        if stderr_path is None:
            handle, stderr_path = tempfile.mkstemp(prefix="vde-editor-stderr-")
            os.close(handle)
        self.stderr_path = stderr_path
        self.stderr_file = open(self.stderr_path, "wb")
        self._windows_before = self._all_windows(xserver.display.screen().root)
        self.proc = _spawn([self.binary], cwd=workdir, env=xserver.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=self.stderr_file)
        self.returncode = None
        self.window = None
        try:
            self.window = wait_until(self._find_window, "the %s window" % WINDOW_NAME,
                                     on_timeout=self._state_text)
            self._read_format()
            # No window manager: keys go where the pointer is (PointerRoot),
            # so the pointer is kept over the window and the focus put on it.
            self.move_to(*NEUTRAL_POINT)
            self.x.display.set_input_focus(self.window, X.RevertToPointerRoot, X.CurrentTime)
            self.x.display.sync()
        except BaseException:
            self.stop()
            raise

    # -- finding the window and reading it

    def _find_window(self):
        if self.proc.poll() is not None:
            raise AssertionError("the editor ended with status %d before showing its window%s"
                                 % (self.proc.returncode, self._state_text()))
        return self._search(self.x.display.screen().root)

    def _search(self, window):
        try:
            if window.get_wm_name() == WINDOW_NAME and self._owned(window):
                attrs = window.get_attributes()
                geometry = window.get_geometry()
                if (attrs.map_state == X.IsViewable and geometry.width >= SCREEN_W
                        and geometry.height >= SCREEN_H):
                    return window
            for child in window.query_tree().children:
                found = self._search(child)
                if found:
                    return found
        except Exception:  # a window that went away while being looked at
            return None
        return None

    def _all_windows(self, window):
        found = {window.id}
        try:
            for child in window.query_tree().children:
                found |= self._all_windows(child)
        except Exception:  # gone while being listed
            pass
        return found

    def _owned(self, window):
        # A window of an editor that has just been ended may not be gone yet
        # from the shared server: take only this process's (SDL sets
        # _NET_WM_PID), or a window that was not there before it started.
        d = self.x.display
        prop = window.get_full_property(d.intern_atom("_NET_WM_PID"), X.AnyPropertyType)
        if prop is not None and len(prop.value) == 1:
            return prop.value[0] == self.proc.pid
        return window.id not in self._windows_before

    def _read_format(self):
        d = self.x.display
        visual_id = self.window.get_attributes().visual
        for depth in d.screen().allowed_depths:
            for visual in depth.visuals:
                if visual.visual_id == visual_id:
                    masks = (visual.red_mask, visual.green_mask, visual.blue_mask)
                    break
            else:
                continue
            break
        else:
            raise AssertionError("visual of the editor window not found")
        if masks != (0xFF0000, 0x00FF00, 0x0000FF):
            raise AssertionError("unexpected visual masks %r" % (masks,))
        msb = d.display.info.image_byte_order == X.MSBFirst
        # Byte positions of red, green and blue in each 32-bit pixel.
        self._offsets = [(3 - s // 8) if msb else s // 8 for s in (16, 8, 0)]

    def shot(self):
        image = self.window.get_image(0, 0, SCREEN_W, SCREEN_H, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        if len(data) != 4 * SCREEN_W * SCREEN_H:
            raise AssertionError("screenshot of %d bytes: not 32 bits a pixel" % len(data))
        r, g, b = self._offsets
        return Shot(data[r::4], data[g::4], data[b::4])

    # -- waiting for what the window shows

    def wait_shot(self, predicate, what, timeout=DEFAULT_TIMEOUT):
        """Polls screenshots until `predicate(shot)` holds; returns that shot.
        On timeout the last screenshot is kept as an artifact."""
        last = [None]

        def attempt():
            self._check_alive(what)
            last[0] = self.shot()
            return last[0] if predicate(last[0]) else None

        return wait_until(attempt, what, timeout, lambda: self._state_text(last[0]))

    def wait_text(self, x, y, text, timeout=DEFAULT_TIMEOUT):
        """Waits until exactly `text` (and nothing more) is drawn at (x, y)."""
        return self.wait_shot(lambda s: font().read(s, x, y) == text,
                              "%r at (%d,%d)" % (text, x, y), timeout)

    def wait_shows(self, x, y, text, timeout=DEFAULT_TIMEOUT):
        """Waits until `text` is drawn at (x, y), whatever follows it."""
        return self.wait_shot(lambda s: font().shows(s, x, y, text),
                              "%r at (%d,%d)" % (text, x, y), timeout)

    def wait_main_screen(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the editor screen proper: the labels and buttons drawn
        and no prompt box over them (a prompt or message stops the frames)."""
        def ready(s):
            f = font()
            return (f.shows(s, 350, 200, "Episode name:") and f.shows(s, 32, 432, "Load VDE")
                    and f.shows(s, 128, 432, "Save VDE") and f.shows(s, 224, 432, "Save BMP")
                    and s.pixel(BMP_PROMPT_AT[0] + 263, BMP_PROMPT_AT[1] + 31) != PROMPT_GREY
                    and s.pixel(TEXT_PROMPT_AT[0] + 263, TEXT_PROMPT_AT[1] + 31) != PROMPT_GREY
                    and f.read(s, *MESSAGE_AT) == "")
        return self.wait_shot(ready, "the editor screen")

    def _check_alive(self, what):
        if self.proc.poll() is not None:
            raise AssertionError("the editor ended with status %d while waiting for %s%s"
                                 % (self.proc.returncode, what, self._state_text()))

    def _state_text(self, shot=None):
        lines = []
        if shot is not None:
            path = artifact_path("timeout.png")
            shot.save_png(path)
            lines.append("last screenshot: %s" % path)
            f = font()
            for label, at in (("message", MESSAGE_AT), ("name", NAME_AT),
                              ("start level", START_LEVEL_AT), ("place", PLACE_AT),
                              ("filename", FILENAME_AT)):
                lines.append("%s reads %r" % (label, f.read(shot, *at)))
        lines.append("editor stderr (last lines): %r" % self.stderr_text().splitlines()[-5:])
        return "\n" + "\n".join(lines)

    # -- input

    def move_to(self, x, y):
        self.x.xdotool("mousemove", x, y)

    def click(self, x, y):
        """A left click: the editor acts on the release."""
        self.x.xdotool("mousemove", x, y, "click", "1")
        # Back to a point where a stray release would start nothing.
        self.x.xdotool("mousemove", *NEUTRAL_POINT)

    def key(self, *names):
        self.x.xdotool("key", "--delay", "30", *names)

    def type(self, text):
        self.x.xdotool("type", "--delay", "30", text)

    def answer_prompt(self, prompt_at, prompt, text):
        """Waits for the prompt, types `text` and Return."""
        self.wait_shows(prompt_at[0] + 4, prompt_at[1] + 4, prompt)
        self.type(text)
        # The answer line, under the prompt, echoes every key typed.
        self.wait_shows(prompt_at[0] + 4, prompt_at[1] + 20, text)
        self.key("Return")

    def import_bmp(self, click, name, message=None):
        """Clicks a picture area, gives the BMP's name (no extension) and,
        when the import says `message`, answers it with a key."""
        self.click(*click)
        self.answer_prompt(BMP_PROMPT_AT, "Enter bmp filename:", name)
        if message:
            self.wait_shows(*MESSAGE_AT, message)
            self.key("space")

    def request_close(self):
        """WM_DELETE_WINDOW, as a window manager sends for the close button."""
        d = self.x.display
        protocols = d.intern_atom("WM_PROTOCOLS")
        delete = d.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=self.window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        self.window.send_event(event, event_mask=0)
        d.sync()

    # -- ending

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            self.returncode = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the editor did not end within %.0f s%s"
                                 % (timeout, self._state_text()))
        return self.returncode

    def stderr_text(self):
        if not self.stderr_file.closed:
            self.stderr_file.flush()
        with open(self.stderr_path, "rb") as f:
            return f.read().decode(errors="replace")

    def stop(self):
        _kill(self.proc)
        self.stderr_file.close()


# --------------------------------------------------------------------------
# Test cases

_artifact_dir = None
_artifact_count = 0


def artifact_path(name):
    """A fresh file name in VDE_E2E_ARTIFACTS (or a temporary directory)."""
    global _artifact_dir, _artifact_count
    if _artifact_dir is None:
        _artifact_dir = (os.environ.get("VDE_E2E_ARTIFACTS")
                         or tempfile.mkdtemp(prefix="vde-e2e-artifacts-"))
        os.makedirs(_artifact_dir, exist_ok=True)
    _artifact_count += 1
    return os.path.join(_artifact_dir, "%d-%03d-%s" % (os.getpid(), _artifact_count, name))


class EditorTestCase(unittest.TestCase):
    """One X server for the class, a scratch directory and editors per test."""

    xserver = None

    @classmethod
    def setUpClass(cls):
        editor_path()  # fail early, with the reason, when there is no binary
        cls.xserver = XServer()

    @classmethod
    def tearDownClass(cls):
        if cls.xserver is not None:
            cls.xserver.close()
            cls.xserver = None

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="vde-e2e-")
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.workdir = os.path.join(self.scratch, "work")
        os.mkdir(self.workdir)

    def copy_examples(self, *names):
        for name in names:
            shutil.copy(os.path.join(EXAMPLES, name), self.workdir)

    def start_editor(self):
        stderr_path = os.path.join(self.scratch, "stderr-%d.txt" % time.monotonic_ns())
        editor = Editor(self.xserver, self.workdir, stderr_path=stderr_path)
        self.addCleanup(editor.stop)
        return editor

    def work_file(self, name):
        return os.path.join(self.workdir, name)

    def assertEnds(self, editor, status):
        """The editor ends with `status` and said nothing a sanitizer says:
        in sanitizer builds leaks are only found at this normal end."""
        self.assertEqual(editor.wait_exit(), status,
                         "stderr ends with: %r" % editor.stderr_text()[-3000:])
        reports = [line for line in editor.stderr_text().splitlines()
                   if any(mark in line for mark in SANITIZER_MARKS)]
        self.assertEqual(reports, [], "sanitizer reports on stderr")

    def finish(self, editor):
        """Ends a test's editor from its main screen with Escape, status 0."""
        editor.wait_main_screen()
        editor.key("Escape")
        self.assertEnds(editor, 0)


def editor_path():
    path = EDITOR or os.environ.get("VDE_EDITOR")
    if not path:
        raise RuntimeError("no editor binary: pass --editor PATH or set VDE_EDITOR")
    path = os.path.abspath(path)
    if not os.access(path, os.X_OK):
        raise RuntimeError("the editor binary %s is missing or not executable" % path)
    return path


def main():
    """Runs the calling test module: --editor PATH, then unittest's own options."""
    global EDITOR
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--editor", default=os.environ.get("VDE_EDITOR"))
    args, rest = parser.parse_known_args()
    EDITOR = args.editor
    try:
        editor_path()
    except RuntimeError as err:
        sys.exit(str(err))
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
