"""End-to-end: importing pictures, editing the fields, saving and loading
episode files and exporting BMPs, through the real window."""

import os
import shutil
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import (BMP_PROMPT_AT, CLICK_IMAGE, CLICK_LOAD, CLICK_LOWTITLE,  # noqa: E402
                     CLICK_NAME, CLICK_SAVE, CLICK_SAVE_BMP, CLICK_START_LEVEL, CLICK_TITLE,
                     EXAMPLES, FILENAME_AT, IMAGE_AREA, LOWTITLE_AREA, MESSAGE_AT, NAME_AT,
                     PLACE_AT, START_LEVEL_AT, TEXT_PROMPT_AT, TITLE_AREA, Bmp, NearestColour,
                     describe_mismatches, font, read_palette_file, region_mismatches, wait_until)

# The prompt reads a Swedish/Finnish layout from the key symbols, so an
# underscore cannot be typed plainly: the examples are copied under names of
# lowercase letters and digits only.
EXAMPLE_COPIES = {"menu.pal": "menu.pal", "sunset.bmp": "picture24.bmp",
                  "logo.bmp": "titleforeign.bmp",
                  "banner.bmp": "lowtitlemenu.bmp"}

NOT_KTO_PALETTE = "Not kto palette. Palette will be converted."
BITDEPTH_24 = "Bitdepth=24, image will be converted."


class Expected:
    """What each example picture becomes in menu.pal, as colour indices and
    as screen colours, worked out here from the files and the matching rule
    (least sum of absolute RGB differences, lowest index among equals)."""

    _made = None

    def __init__(self):
        self.palette = read_palette_file(os.path.join(EXAMPLES, "menu.pal"))
        nearest = NearestColour(self.palette)

        menu = Bmp(os.path.join(EXAMPLES, "banner.bmp"))
        assert menu.bits == 8 and menu.palette[:256] == self.palette, "example not in menu.pal"
        foreign = Bmp(os.path.join(EXAMPLES, "logo.bmp"))
        assert foreign.bits == 8 and foreign.palette[:256] != self.palette
        true_colour = Bmp(os.path.join(EXAMPLES, "sunset.bmp"))
        assert true_colour.bits == 24

        self.indices = {
            "Image": [[nearest.index(c) for c in row] for row in true_colour.rows],
            "Title": [[nearest.index(foreign.palette[i]) for i in row] for row in foreign.rows],
            "LowTitle": [list(row) for row in menu.rows],
        }
        self.colours = {slot: [[self.palette[i] for i in row] for row in rows]
                        for slot, rows in self.indices.items()}

    @classmethod
    def get(cls):
        if cls._made is None:
            cls._made = cls()
        return cls._made


AREAS = {"Image": IMAGE_AREA, "Title": TITLE_AREA, "LowTitle": LOWTITLE_AREA}
SOURCES = {
    "Image": (CLICK_IMAGE, "picture24", BITDEPTH_24),
    "Title": (CLICK_TITLE, "titleforeign", NOT_KTO_PALETTE),
    "LowTitle": (CLICK_LOWTITLE, "lowtitlemenu", None),
}


def shows_picture(shot, slot, source=None):
    """True when the area of `slot` shows the picture meant for `source`."""
    x, y, _, _ = AREAS[slot]
    count, _ = region_mismatches(shot, x, y, Expected.get().colours[source or slot], limit=0)
    return count == 0


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class EditingTestCase(harness.EditorTestCase):

    def setUp(self):
        super().setUp()
        for name, copy in EXAMPLE_COPIES.items():
            shutil.copy(os.path.join(EXAMPLES, name), self.work_file(copy))
        self.expected = Expected.get()

    def import_picture(self, editor, slot, source=None):
        """Imports the example meant for `slot` (or `source`'s) into `slot`,
        answering the conversion message when one comes."""
        _, name, message = SOURCES[source or slot]
        editor.import_bmp(SOURCES[slot][0], name, message)
        return editor.wait_shot(lambda s: shows_picture(s, slot, source),
                                "%s.bmp in the %s area" % (name, slot))

    def import_all(self, editor):
        for slot in ("Image", "Title", "LowTitle"):
            self.import_picture(editor, slot)
        return editor.wait_main_screen()

    def edit_field(self, editor, click, prompt, text):
        editor.click(*click)
        editor.answer_prompt(TEXT_PROMPT_AT, prompt, text)

    def save_episode(self, editor, name):
        editor.click(*CLICK_SAVE)
        editor.answer_prompt(TEXT_PROMPT_AT, "Enter episode filename:", name)

    def load_episode(self, editor, name):
        editor.click(*CLICK_LOAD)
        editor.answer_prompt(TEXT_PROMPT_AT, "Enter episode filename:", name)

    def wait_file(self, name, parse=lambda path: path):
        """Waits until `name` exists in the working directory and `parse`
        accepts it; returns what `parse` gave."""
        path = self.work_file(name)

        def attempt():
            if not os.path.exists(path):
                return None
            try:
                return parse(path)
            except (ValueError, struct.error, OSError):
                return None  # still being written
        return wait_until(attempt, "%s to be written" % name)

    def assertShowsPicture(self, shot, slot):
        x, y, w, h = AREAS[slot]
        count, first = region_mismatches(shot, x, y, self.expected.colours[slot])
        if count:
            foreign = sum(1 for row in shot.region(x, y, w, h) for c in row
                          if c not in set(self.expected.palette))
            path = harness.artifact_path("%s.png" % slot)
            shot.save_png(path)
            self.fail("%s area: %s; %d pixels not menu.pal colours (screenshot %s)"
                      % (slot, describe_mismatches(count, first), foreign, path))


class ImportTests(EditingTestCase):

    # Each slot takes its picture: a BMP already in menu.pal's palette without
    # a word, one in another palette after "Not kto palette..." and a key, a
    # 24-bit one after "Bitdepth=24..." and a key. Until that key the slot
    # still says "No image"; afterwards every pixel of each area is the
    # menu.pal colour nearest to the picture's own colour there.
    def test_three_pictures_show_converted_to_menu_palette(self):
        editor = self.start_editor()
        editor.wait_main_screen()

        # No message and no key: the picture simply appears.
        shot = self.import_picture(editor, "LowTitle")
        self.assertTrue(font().shows(shot, 350, 0, "No image"))

        editor.click(*CLICK_TITLE)
        editor.answer_prompt(BMP_PROMPT_AT, "Enter bmp filename:", "titleforeign")
        shot = editor.wait_shows(*MESSAGE_AT, NOT_KTO_PALETTE)
        self.assertTrue(font().shows(shot, 350, 0, "No image"))
        editor.key("space")
        editor.wait_shot(lambda s: shows_picture(s, "Title"), "the converted title picture")

        editor.click(*CLICK_IMAGE)
        editor.answer_prompt(BMP_PROMPT_AT, "Enter bmp filename:", "picture24")
        shot = editor.wait_shows(*MESSAGE_AT, BITDEPTH_24)
        self.assertTrue(font().shows(shot, 0, 0, "No image"))
        editor.key("space")
        editor.wait_shot(lambda s: shows_picture(s, "Image"), "the converted 24-bit picture")

        shot = editor.wait_main_screen()
        for slot, area in AREAS.items():
            self.assertShowsPicture(shot, slot)
            self.assertFalse(font().shows(shot, area[0], area[1], "No image"), slot)
        self.finish(editor)

    # A name that is not a file imports nothing: the slot keeps "No image"
    # and the editor carries on.
    def test_missing_bmp_leaves_the_slot_empty(self):
        editor = self.start_editor()
        editor.wait_main_screen()
        editor.click(*CLICK_TITLE)
        editor.answer_prompt(BMP_PROMPT_AT, "Enter bmp filename:", "nosuchpicture")
        shot = editor.wait_main_screen()
        self.assertEqual(font().read(shot, 350, 0), "No image")
        self.import_picture(editor, "Title", "LowTitle")
        self.finish(editor)


class FieldTests(EditingTestCase):

    # The name takes the text as typed; the start level gets ".VLV" added;
    # Escape at a prompt cancels it, changing nothing and not ending the
    # editor.
    def test_name_and_start_level_edits(self):
        editor = self.start_editor()
        editor.wait_main_screen()
        self.edit_field(editor, CLICK_NAME, "Enter episodename:", "mycastles")
        editor.wait_text(*NAME_AT, "mycastles")
        self.edit_field(editor, CLICK_START_LEVEL, "Enter startlevel:", "forest2")
        editor.wait_text(*START_LEVEL_AT, "forest2.VLV")

        editor.click(*CLICK_NAME)
        editor.wait_shows(TEXT_PROMPT_AT[0] + 4, TEXT_PROMPT_AT[1] + 4, "Enter episodename:")
        editor.type("zzz")
        editor.wait_shows(TEXT_PROMPT_AT[0] + 4, TEXT_PROMPT_AT[1] + 20, "zzz")
        editor.key("Escape")
        shot = editor.wait_main_screen()
        self.assertEqual(font().read(shot, *NAME_AT), "mycastles")
        self.assertIsNone(editor.proc.poll())
        self.finish(editor)


class EpisodeFileTests(EditingTestCase):

    def make_episode(self, editor, name):
        """Three pictures, a name, a start level and place 9, saved as
        `name`.vde; returns the file's bytes and the screen after saving."""
        self.import_all(editor)
        self.edit_field(editor, CLICK_NAME, "Enter episodename:", "mycastles")
        editor.wait_text(*NAME_AT, "mycastles")
        self.edit_field(editor, CLICK_START_LEVEL, "Enter startlevel:", "forest2")
        editor.wait_text(*START_LEVEL_AT, "forest2.VLV")
        editor.key("KP_Add", "KP_Add")
        editor.wait_text(*PLACE_AT, "9")
        self.save_episode(editor, name)
        editor.wait_text(*FILENAME_AT, name + ".vde")
        data = self.wait_file(name + ".vde", read_bytes)
        return data, editor.wait_main_screen()

    # Save VDE writes the 208-byte header (header size, place, name at 16,
    # start level at 144, picture sizes and their fixed extras from 176) and
    # then each picture as a length and a zlib stream of its menu.pal indices,
    # row by row; loading that file in a new run brings back the very same
    # screen.
    def test_save_writes_the_episode_and_load_restores_it(self):
        editor = self.start_editor()
        data, saved_screen = self.make_episode(editor, "ep1")

        def le32(at):
            return struct.unpack_from("<I", data, at)[0]
        self.assertEqual(le32(0), 204)
        self.assertEqual(le32(4), 9)
        self.assertEqual((le32(8), le32(12)), (1, 0))
        self.assertEqual(data[16:16 + 10], b"mycastles\0")
        self.assertEqual(data[144:144 + 12], b"forest2.VLV\0")
        self.assertEqual([le32(at) for at in range(176, 208, 4)],
                         [304, 354, 0x00670098, 0x00770860, 220, 78, 0x006BB0CC, 0x00706100])
        at = 208
        for slot in ("Image", "Title", "LowTitle"):
            length = le32(at)
            self.assertLessEqual(at + 4 + length, len(data), slot)
            pixels = zlib.decompress(data[at + 4:at + 4 + length])
            self.assertEqual(pixels, bytes(i for row in self.expected.indices[slot] for i in row),
                             slot)
            at += 4 + length
        self.assertEqual(at, len(data), "bytes after the third picture")

        self.finish(editor)

        editor = self.start_editor()
        editor.wait_text(*NAME_AT, "#Kelto@Episode")
        self.load_episode(editor, "ep1")
        shot = editor.wait_text(*FILENAME_AT, "ep1.vde")
        shot = editor.wait_shot(lambda s: s.same_region(saved_screen, (0, 0, 640, 480)),
                                "the same screen as when ep1.vde was saved")
        self.assertEqual(font().read(shot, *NAME_AT), "mycastles")
        for slot in AREAS:
            self.assertShowsPicture(shot, slot)
        self.finish(editor)

    # A file that ends inside its first picture is reported as "File corrupt!";
    # after a key the name and start level are empty and the place is back to
    # 7, while the pictures already on screen stay and the file is not touched.
    def test_damaged_file_is_reported_and_keeps_the_pictures(self):
        editor = self.start_editor()
        data, _ = self.make_episode(editor, "ep1")
        first_length = struct.unpack_from("<I", data, 208)[0]
        damaged = data[:208 + 4 + first_length // 2]
        with open(self.work_file("bad.vde"), "wb") as f:
            f.write(damaged)

        self.load_episode(editor, "bad")
        editor.wait_shows(*MESSAGE_AT, "File corrupt!")
        editor.key("space")
        shot = editor.wait_text(*NAME_AT, "")
        shot = editor.wait_main_screen()
        self.assertEqual(font().read(shot, *START_LEVEL_AT), "")
        self.assertEqual(font().read(shot, *PLACE_AT), "7")
        self.assertEqual(font().read(shot, *FILENAME_AT), "bad.vde")
        for slot in AREAS:
            self.assertShowsPicture(shot, slot)
        self.assertEqual(read_bytes(self.work_file("bad.vde")), damaged)
        self.finish(editor)

    # Save VDE refuses while a picture slot is empty: "You need 3 bmp
    # files!", no file written, and the editor goes on after a key. Checked
    # with no picture at all and with one slot left empty.
    def test_save_needs_all_three_pictures(self):
        editor = self.start_editor()
        editor.wait_main_screen()
        for imported in ((), ("Title", "LowTitle")):
            with self.subTest(imported=imported):
                for slot in imported:
                    self.import_picture(editor, slot, "LowTitle")
                self.save_episode(editor, "ep2")
                editor.wait_shows(*MESSAGE_AT, "You need 3 bmp files!")
                editor.key("space")
                shot = editor.wait_main_screen()
                self.assertEqual(font().read(shot, 0, 0), "No image")
                self.assertFalse(os.path.exists(self.work_file("ep2.vde")))
        self.assertIsNone(editor.proc.poll())
        self.finish(editor)


class SaveBmpTests(EditingTestCase):

    def read_export(self, name):
        def parse(path):
            bmp = Bmp(path)
            if bmp.bits != 8:
                raise ValueError("%s has %d bits a pixel" % (name, bmp.bits))
            return bmp
        return self.wait_file(name, parse)

    def check_export(self, bmp, slot, shot):
        x, y, w, h = AREAS[slot]
        self.assertEqual((bmp.width, bmp.height), (w, h), slot)
        self.assertEqual(bmp.palette[:256], self.expected.palette, slot)
        self.assertEqual(bmp.rows, self.expected.indices[slot], slot)
        self.assertEqual(bmp.colours(), shot.region(x, y, w, h), slot)

    # Save BMP writes Image.bmp, Title.bmp and LowTitle.bmp, 8-bit in
    # menu.pal's palette with the slots' indices, for the slots that hold a
    # picture and for no other; their colours are the ones on screen.
    def test_export_writes_each_filled_slot(self):
        editor = self.start_editor()
        editor.wait_main_screen()
        shot = self.import_picture(editor, "LowTitle")
        editor.click(*CLICK_SAVE_BMP)
        bmp = self.read_export("LowTitle.bmp")
        self.check_export(bmp, "LowTitle", shot)
        # The slots are written in screen order, Image first: by now an
        # export of the empty ones would be there.
        self.assertFalse(os.path.exists(self.work_file("Image.bmp")))
        self.assertFalse(os.path.exists(self.work_file("Title.bmp")))

        self.import_picture(editor, "Title")
        self.import_picture(editor, "Image")
        shot = editor.wait_main_screen()
        os.remove(self.work_file("LowTitle.bmp"))
        editor.click(*CLICK_SAVE_BMP)
        for slot in ("Image", "Title", "LowTitle"):
            self.check_export(self.read_export(slot + ".bmp"), slot, shot)
        self.finish(editor)


if __name__ == "__main__":
    harness.main()
