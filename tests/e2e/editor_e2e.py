"""The built editor in a real X window: Xvfb on a free display, xdotool for
the keyboard and mouse, python3-xlib to read the window back. Every state is
waited for with a time limit. Usage: editor_e2e.py EDITOR SOURCE_DIR"""
import os, shutil, subprocess, sys, tempfile, time, unittest  # noqa: E401
from pathlib import Path

from Xlib import X, display, protocol

EDITOR, SOURCE = os.path.abspath(sys.argv.pop(1)), Path(sys.argv.pop(1))
GREY, WHITE, BOX = 0xA0A0A0, 0xFFFFFF, 0xC0C0C0


class EditorWindow(unittest.TestCase):
    def setUp(self):
        read_end, write_end = os.pipe()
        # -noreset: a server that resets when its last client leaves drops those connecting meanwhile
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        self.addCleanup(lambda: (xvfb.terminate(), xvfb.wait(timeout=10)))  # it removes its socket
        os.close(write_end)
        with os.fdopen(read_end) as ready:  # Xvfb writes its display number once it takes clients
            self.env = dict(os.environ, DISPLAY=":" + ready.readline().strip())
        self.x = display.Display(self.env["DISPLAY"])
        self.addCleanup(self.x.close)
        self.dir = Path(self.enterContext(tempfile.TemporaryDirectory(prefix="vde-e2e-")))
        shutil.copy(SOURCE / "examples" / "banner.bmp", self.dir)

    def start(self, stderr=None):
        self.err = self.enterContext(tempfile.TemporaryFile())
        self.proc = subprocess.Popen([EDITOR], cwd=self.dir, env=self.env, stderr=stderr or self.err)
        self.addCleanup(self.proc.kill)
        found = self.xdotool("search", "--sync", "--onlyvisible", "--pid", self.proc.pid, "--name", "^VDE_Editor$")
        self.window = self.x.create_resource_object("window", int(found.split()[0]))
        self.until(lambda: self.window.get_wm_name() == "VDE_Editor", "the caption")  # the search ignores case
        geometry = self.window.get_geometry()
        self.assertEqual((geometry.width, geometry.height), (640, 480))
        self.xdotool("mousemove", 610, 400)  # keys go to the window under the pointer

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, timeout=30, capture_output=True, text=True).stdout

    def shot(self, x, y, w=1, h=1):
        return self.window.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data

    def until(self, predicate, what, timeout=30):
        deadline = time.monotonic() + timeout
        while not predicate():
            self.assertLess(time.monotonic(), deadline, "timed out waiting for " + what)
            time.sleep(0.05)

    def shows(self, *points):
        """Waits until the window has each (x, y, colour)."""
        self.until(lambda: all(int.from_bytes(self.shot(x, y)[:3], "little") == c for x, y, c in points), repr(points))

    def command(self, x, y, text, box=(391, 95), message=()):
        """Clicks (x, y), answers the prompt with `text`, waits for the `message` points and
        dismisses them with a key, then waits for the main screen."""
        self.xdotool("mousemove", x, y, "click", 1, "mousemove", 610, 400)
        self.shows((*box, BOX))
        self.xdotool("key", "--delay", 30, *text, "Return")
        if message:
            self.shows(*message)
            self.xdotool("key", "space")
        self.shows((*box, GREY))

    def ends(self, status):
        self.assertEqual(self.proc.wait(timeout=30), status)
        self.assertNotRegex(os.pread(self.err.fileno(), 1 << 24, 0).decode(errors="replace"), "Sanitizer|runtime error:")

    # Start screen, imports (a 24-bit one says it converts), a typed name saved, Escape; a second
    # run loads it and closes: status 0.
    def test_edit_save_load(self):
        shutil.copy(SOURCE / "tests" / "data" / "palette" / "menu.pal", self.dir)
        shutil.copy(SOURCE / "examples" / "sunset.bmp", self.dir)
        self.start()
        self.shows((303, 353, WHITE), (304, 353, GREY), (569, 177, WHITE), (570, 177, GREY), (359, 216, WHITE))
        # The message's first row on the white Image area: 'B' lit, the cell after it dark.
        self.command(150, 180, "sunset", box=(327, 95), message=((128, 128, WHITE), (134, 128, 1)))
        for x, y in ((460, 40), (460, 140)):
            self.command(x, y, "banner", box=(327, 95))
        self.command(420, 216, "Saga")
        self.command(160, 440, "ep")
        pictures = self.shot(0, 0, 640, 190)
        self.xdotool("key", "Escape")
        self.ends(0)
        self.assertEqual((self.dir / "ep.vde").read_bytes()[16:21], b"Saga\0")  # the name field
        self.start()
        self.command(64, 440, "ep")
        self.assertEqual(self.shot(0, 0, 640, 190), pictures)
        atom = self.x.intern_atom
        close = [atom("WM_DELETE_WINDOW"), 0, 0, 0, 0]
        self.window.send_event(protocol.event.ClientMessage(window=self.window, client_type=atom("WM_PROTOCOLS"), data=(32, close)))
        self.x.sync()
        self.ends(0)

    # Keys type what the X keymap prints on them (Swedish: - å ä ö, AltGr's @), or the Alt table (US).
    def test_typing_follows_the_keymap(self):
        shutil.copy(SOURCE / "tests" / "data" / "palette" / "menu.pal", self.dir)
        for layout, keys, name in (("se", ["minus", "aring", "adiaeresis", "odiaeresis", "at"], b"-\x86\x84\x94@"),
                                   ("us", ["minus", "alt+bracketleft", "alt+semicolon"], b"-\x86\x94")):
            subprocess.run(["setxkbmap", "-layout", layout], env=self.env, check=True, timeout=30)
            self.start()
            for x, y in ((150, 180), (460, 40), (460, 140)):
                self.command(x, y, "banner", box=(327, 95))
            self.command(160, 440, ["l", *keys])
            self.xdotool("key", "Escape")
            self.ends(0)
            self.assertIn(b"l" + name + b".vde", os.listdir(os.fsencode(self.dir)), layout)

    # Without "menu.pal" the window says so and waits for a key; then status 1. Its message to a
    # standard error that nobody reads any more does not end it.
    def test_missing_palette(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        log = {name: os.environ.get(name, "") + ":log_path=" + str(self.dir / "sanitizer") for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS")}
        self.env.update(log)  # the sanitizers' reports cannot go to that standard error
        self.start(stderr=write_end)
        os.close(write_end)
        self.shows((66, 64, WHITE), (64, 64, 1), (64, 72, 1), (65, 72, WHITE))
        self.xdotool("key", "space")
        self.ends(1)
        self.assertEqual(list(self.dir.glob("sanitizer*")), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
