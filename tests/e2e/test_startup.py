"""End-to-end: the editor's start screen, the keys of the main screen, the
ways it ends, and starting without a palette."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import (FILENAME_AT, GREY, IMAGE_AREA, LOWTITLE_AREA, NAME_AT, PLACE_AT,  # noqa: E402
                     START_LEVEL_AT, TITLE_AREA, WHITE, Canvas, describe_mismatches, font)


def start_screen():
    """The whole 640x480 window of a fresh start, drawn independently."""
    canvas = Canvas(GREY)
    for area in (IMAGE_AREA, TITLE_AREA, LOWTITLE_AREA):
        canvas.fill(area, WHITE)
        canvas.text(area[0], area[1], "No image")
    canvas.text(350, 200, "Episode name:")
    canvas.text(*NAME_AT, "#Kelto@Episode")
    canvas.text(350, 248, "Start level:")
    canvas.text(*START_LEVEL_AT, "CASTLE1.VLV")
    canvas.text(350, 296, "Place in episodelist:")
    canvas.text(*PLACE_AT, "7")
    canvas.text(350, 344, "Filename:")
    canvas.text(32, 432, "Load VDE")
    canvas.text(128, 432, "Save VDE")
    canvas.text(224, 432, "Save BMP")
    return canvas


class MainScreenTests(harness.EditorTestCase):

    def setUp(self):
        super().setUp()
        self.copy_examples("menu.pal")
        self.editor = self.start_editor()

    # Every pixel of the first screen is as drawn from the layout: grey
    # background, the three white picture areas each saying "No image", the
    # field labels with their default values, an empty file name and the
    # three buttons, all in the 8x8 font, white on black cells.
    def test_start_screen_matches_the_layout_pixel_for_pixel(self):
        expected = start_screen()
        shot = self.editor.wait_main_screen()
        count, first = expected.mismatches(shot)
        if count:
            path = harness.artifact_path("start-screen.png")
            shot.save_png(path)
            self.fail("start screen: %s (screenshot %s)"
                      % (describe_mismatches(count, first), path))
        self.assertEqual(font().read(shot, *FILENAME_AT), "")
        self.finish(self.editor)

    # Keypad plus and minus step the place in the episode list by one each,
    # and minus stops at 0 instead of wrapping round.
    def test_keypad_plus_and_minus_step_the_place(self):
        self.editor.wait_text(*PLACE_AT, "7")
        self.editor.key("KP_Add")
        self.editor.wait_text(*PLACE_AT, "8")
        self.editor.key("KP_Subtract")
        self.editor.wait_text(*PLACE_AT, "7")
        self.editor.key(*["KP_Subtract"] * 9)
        self.editor.wait_text(*PLACE_AT, "0")
        self.editor.key("KP_Add", "KP_Add")
        self.editor.wait_text(*PLACE_AT, "2")
        self.finish(self.editor)

    # Escape in the main screen ends the program, successfully.
    def test_escape_ends_with_status_0(self):
        self.editor.wait_main_screen()
        self.editor.key("Escape")
        self.assertEnds(self.editor, 0)

    # A close request from the window manager (WM_DELETE_WINDOW) ends the
    # program successfully too.
    def test_close_request_ends_with_status_0(self):
        self.editor.wait_main_screen()
        self.editor.request_close()
        self.assertEnds(self.editor, 0)

    # Events the editor has no use for, such as mouse motion, are reported
    # on stderr, one line each, and the editor keeps running.
    def test_mouse_motion_is_reported_as_an_unknown_event(self):
        self.editor.wait_main_screen()
        before = self.editor.stderr_text().splitlines()
        for point in ((500, 420), (520, 430), (540, 410)):
            self.editor.move_to(*point)
        lines = harness.wait_until(
            lambda: (lambda now: now if len(now) > len(before) else None)(
                self.editor.stderr_text().splitlines()),
            "stderr lines about the mouse motion")
        self.assertEqual(set(lines), {"I don't know what this event is!"})
        self.assertIsNone(self.editor.proc.poll())
        self.finish(self.editor)


class MissingPaletteTests(harness.EditorTestCase):

    # Without "menu.pal" the window says so in two lines and waits; the next
    # key ends the program with status 1.
    def test_missing_palette_is_reported_and_a_key_ends_with_status_1(self):
        editor = self.start_editor()
        shot = editor.wait_text(64, 64, "Couldn't find \"menu.pal\"")
        self.assertEqual(font().read(shot, 64, 72), "Quitting...")
        # The message stays up until a key: no editor screen behind it.
        self.assertFalse(font().shows(shot, 350, 200, "Episode name:"))
        self.assertIsNone(editor.proc.poll())
        editor.key("space")
        self.assertEnds(editor, 1)


if __name__ == "__main__":
    harness.main()
