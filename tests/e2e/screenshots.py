"""Makes the README's screenshots with the real editor under Xvfb:

    docs/screenshot-start.png    the screen the editor starts with
    docs/screenshot-edited.png   an episode being edited: the three example
                                 pictures imported, a name, a start level
                                 and a place set, saved as "sunset.vde"

Usage: python3 tests/e2e/screenshots.py --editor build/vde_editor [--out docs]
"""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import (CLICK_IMAGE, CLICK_LOWTITLE, CLICK_NAME, CLICK_SAVE,  # noqa: E402
                     CLICK_START_LEVEL, CLICK_TITLE, EXAMPLES, FILENAME_AT, IMAGE_AREA,
                     LOWTITLE_AREA, NAME_AT, PLACE_AT, START_LEVEL_AT, TEXT_PROMPT_AT, TITLE_AREA,
                     font)


def make(editor_binary, out_dir):
    scratch = tempfile.mkdtemp(prefix="vde-screenshots-")
    xserver = editor = None
    try:
        work = os.path.join(scratch, "work")
        os.mkdir(work)
        # Names a person types at the prompt: no underscore, which the
        # Swedish/Finnish key table does not give for the US key symbol.
        copies = {"menu.pal": "menu.pal", "sunset.bmp": "sunset.bmp",
                  "logo.bmp": "logo.bmp", "banner.bmp": "banner.bmp"}
        for name, copy in copies.items():
            shutil.copy(os.path.join(EXAMPLES, name), os.path.join(work, copy))
        xserver = harness.XServer()
        editor = harness.Editor(xserver, work, binary=editor_binary,
                                stderr_path=os.path.join(scratch, "stderr.txt"))

        editor.wait_main_screen().save_png(os.path.join(out_dir, "screenshot-start.png"))

        editor.import_bmp(CLICK_IMAGE, "sunset", "Bitdepth=24, image will be converted.")
        editor.import_bmp(CLICK_TITLE, "logo", "Not kto palette. Palette will be converted.")
        editor.import_bmp(CLICK_LOWTITLE, "banner")
        editor.click(*CLICK_NAME)
        editor.answer_prompt(TEXT_PROMPT_AT, "Enter episodename:", "Sunset Valley")
        editor.wait_text(*NAME_AT, "Sunset Valley")
        editor.click(*CLICK_START_LEVEL)
        editor.answer_prompt(TEXT_PROMPT_AT, "Enter startlevel:", "valley1")
        editor.wait_text(*START_LEVEL_AT, "valley1.VLV")
        editor.key("KP_Add")
        editor.wait_text(*PLACE_AT, "8")
        editor.click(*CLICK_SAVE)
        editor.answer_prompt(TEXT_PROMPT_AT, "Enter episode filename:", "sunset")
        editor.wait_text(*FILENAME_AT, "sunset.vde")

        def edited(shot):
            return not any(font().shows(shot, x, y, "No image")
                           for x, y, _, _ in (IMAGE_AREA, TITLE_AREA, LOWTITLE_AREA))
        editor.wait_main_screen()
        shot = editor.wait_shot(edited, "all three pictures on screen")
        shot.save_png(os.path.join(out_dir, "screenshot-edited.png"))

        editor.key("Escape")
        status = editor.wait_exit()
        if status != 0:
            raise RuntimeError("the editor ended with status %d" % status)
    finally:
        if editor is not None:
            editor.stop()
        if xserver is not None:
            xserver.close()
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--editor", default=os.environ.get("VDE_EDITOR"), required=False)
    parser.add_argument("--out", default=os.path.join(harness.ROOT, "docs"))
    args = parser.parse_args()
    harness.EDITOR = args.editor
    binary = harness.editor_path()
    os.makedirs(args.out, exist_ok=True)
    make(binary, args.out)
    print("wrote %s and %s" % (os.path.join(args.out, "screenshot-start.png"),
                               os.path.join(args.out, "screenshot-edited.png")))


if __name__ == "__main__":
    main()
