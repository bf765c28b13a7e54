"""The window's fonts (tools/ui_fonts.py): exact face names, the subset the
string tables ask for, and the fonts of the build covering every Latin and
Cyrillic string table."""

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
        return out, result.stderr

    def test_faces_answer_to_their_names_and_carry_what_the_tables_draw(self):
        # The arrow lies outside the fixed alphabets; U+0F00 is in no source
        # face; the comment's snowman is not text.
        self.write_table("kk", "# Kazakh (1087) \u2603", "400\tТарвик \u2192 \\n\\\\", "401\t\u0f00")
        self.write_table("zh-CN", "# Chinese (2052)", "400\t\u5b89\u88c5 Tarvik")
        out, stderr = self.build()

        self.assertIn("kk.txt: U+0F00", stderr)
        self.assertEqual(stderr.count("warning"), 1, stderr)
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
                for c in KAZAKH + "\u2192\u00a0\u2026\u02bb0":
                    self.assertIn(ord(c), cmap, "U+%04X" % ord(c))
                for c in "\u2190\u2603\u5b89":  # an unused arrow, the comment's, the Chinese table's
                    self.assertNotIn(ord(c), cmap, "U+%04X" % ord(c))
                self.assertLess(os.path.getsize(os.path.join(out, file_name)), 48 * 1024)

    def test_without_string_tables_the_alphabets_are_kept_and_output_is_reproducible(self):
        shutil.rmtree(self.strings)
        first, _ = self.build("first")
        second, _ = self.build("second")
        for file_name in FACES:
            with open(os.path.join(first, file_name), "rb") as a, open(os.path.join(second, file_name), "rb") as b:
                self.assertEqual(a.read(), b.read(), file_name)
            cmap = TTFont(os.path.join(first, file_name)).getBestCmap()
            for c in KAZAKH + "ČřŮĞİışÀßœ«»„“”–—":
                self.assertIn(ord(c), cmap, "U+%04X" % ord(c))


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
        for file_name in FACES:
            cmap = TTFont(os.path.join(fonts_dir, file_name)).getBestCmap()
            for code, points in tables.items():
                if code in SYSTEM_FACE_LANGUAGES:
                    continue
                missing = ["U+%04X" % point for point in sorted(points) if point not in cmap]
                self.assertEqual(missing, [], "%s lacks characters of %s.txt" % (file_name, code))


if __name__ == "__main__":
    unittest.main()
