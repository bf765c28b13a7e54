"""The window's fonts (tools/ui_fonts.py): exact face names, the subset the
string tables ask for, the build stopping on a character no face has, and
the fonts of the build covering every Latin and Cyrillic string table."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from fontTools.ttLib import TTFont

import tag_test_support as support

TOOL = os.path.join(support.SOURCE_DIR, "tools", "ui_fonts.py")
SOURCE_FONTS = os.environ.get("TARVIK_FONT_SOURCE_DIR", "/usr/share/fonts/opentype/inter")
FACES = {"kx_geo_regular.otf": ("KX Geo Regular", 400),
         "kx_geo_medium.otf": ("KX Geo Medium", 500),
         "kx_text.otf": ("KX Text", 400)}
SYSTEM_FACE_LANGUAGES = {"ja", "zh-CN", "zh-TW"}
KAZAKH = "ӘәҒғҚқҢңӨөҰұҮүҺһІі"


def names(font):
    return {record.nameID: record.toUnicode() for record in font["name"].names}


def run_tool(strings_dir, out_dir):
    return subprocess.run([sys.executable, TOOL, "--source-dir", SOURCE_FONTS, "--strings-dir", strings_dir,
                           "--out-dir", out_dir], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


class UiFontsToolTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="uifonts")
        self.strings = os.path.join(self.work, "strings")
        os.mkdir(self.strings)

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def write_table(self, code, *lines):
        with open(os.path.join(self.strings, code + ".txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def build(self, out_name="out"):
        out = os.path.join(self.work, out_name)
        result = run_tool(self.strings, out)
        self.assertEqual(result.returncode, 0, result.stderr)
        return out

    def test_faces_answer_to_their_names_and_carry_exactly_what_the_window_draws(self):
        # The comment's snowman is not text; the Chinese table draws with a system face.
        self.write_table("kk", "# Kazakh (1087) \u2603", "400\t" + KAZAKH + " \u2192 \\n\\\\")
        self.write_table("zh-CN", "# Chinese (2052)", "400\t\u5b89\u88c5 Tarvik \u00df")
        out = self.build()

        for file_name, (family, weight) in FACES.items():
            font = TTFont(os.path.join(out, file_name))
            with self.subTest(family=family):
                name_table = names(font)
                self.assertEqual(name_table[1], family)
                self.assertEqual(name_table[2], "Regular")
                self.assertEqual(name_table[4], family)
                self.assertNotIn(16, name_table)
                self.assertNotIn(17, name_table)
                self.assertIn("Open Font License", name_table[13])
                self.assertEqual(font["CFF "].cff.fontNames, [name_table[6]])
                self.assertEqual(font["OS/2"].usWeightClass, weight)
                cmap = font.getBestCmap()
                # The table's characters, its escaped backslash, and the
                # digits and percent sign of the progress status.
                for c in KAZAKH + "\u2192\\ 0123456789%.":
                    self.assertIn(ord(c), cmap, "U+%04X" % ord(c))
                # Nothing else: not the comment's, the Chinese table's, nor
                # letters no table uses.
                for c in "\u2603\u5b89\u00dfTaZ":
                    self.assertNotIn(ord(c), cmap, "U+%04X" % ord(c))
        with open(os.path.join(out, "kx_text.otf"), "rb") as f:
            first = f.read()
        with open(os.path.join(self.build("again"), "kx_text.otf"), "rb") as f:
            self.assertEqual(f.read(), first, "two runs differ")

    def test_a_character_no_source_face_has_stops_the_build(self):
        self.write_table("kk", "400\t\u0422\u0430\u0440\u0432\u0438\u043a \u0f00")
        self.write_table("uz", "400\t\u0f00")
        self.write_table("ja", "400\t\u30d6\u30e9")  # a system face draws it: no complaint
        out = os.path.join(self.work, "out")
        result = run_tool(self.strings, out)
        self.assertEqual(result.returncode, 1)
        self.assertIn("U+0F00 TIBETAN SYLLABLE OM (\u0f00) in kk.txt, uz.txt", result.stderr)
        self.assertNotIn("U+30D6", result.stderr)
        self.assertFalse(os.path.exists(out) and os.listdir(out), "a face was written")


class BuiltFontsTest(unittest.TestCase):
    """The fonts the executable carries draw every character of every table
    that does not use a system face."""

    def test_every_latin_and_cyrillic_table_is_covered(self):
        fonts_dir = os.path.join(support.BUILD_DIR, "generated", "resources", "fonts")
        if not os.path.isdir(fonts_dir):
            self.skipTest("no build at %s" % support.BUILD_DIR)
        sys.path.insert(0, os.path.dirname(TOOL))
        import ui_fonts
        tables = ui_fonts.string_table_characters(os.path.join(support.SOURCE_DIR, "resources", "strings"))
        tables["the composed texts"] = {ord(c) for c in "0123456789 %."}
        for file_name in FACES:
            cmap = TTFont(os.path.join(fonts_dir, file_name)).getBestCmap()
            for code, points in tables.items():
                if code in SYSTEM_FACE_LANGUAGES:
                    continue
                missing = ["U+%04X" % point for point in sorted(points) if point not in cmap]
                self.assertEqual(missing, [], "%s lacks characters of %s" % (file_name, code))


if __name__ == "__main__":
    unittest.main()
