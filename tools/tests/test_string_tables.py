"""The string-table generator: sources become .rc tables that windres turns
into the exact UTF-16 texts, and a malformed source stops the build."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get("TARVIK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(SOURCE_DIR, "tools", "string_tables.py")
WINDRES = "x86_64-w64-mingw32-windres"


def string_bundles(res):
    """{(bundle, language): [16 texts]} of the RT_STRING entries of a .res file."""
    bundles = {}
    offset = 0
    while offset < len(res):
        data_size, header_size = struct.unpack_from("<II", res, offset)
        type_marker, type_id, name_marker, name_id = struct.unpack_from("<HHHH", res, offset + 8)
        language = struct.unpack_from("<H", res, offset + header_size - 10)[0]
        data = res[offset + header_size:offset + header_size + data_size]
        if type_marker == 0xFFFF and type_id == 6 and name_marker == 0xFFFF:
            texts, position = [], 0
            for _ in range(16):
                length = struct.unpack_from("<H", data, position)[0]
                texts.append(data[position + 2:position + 2 + 2 * length].decode("utf-16-le"))
                position += 2 + 2 * length
            bundles[(name_id, language)] = texts
        offset += (header_size + data_size + 3) & ~3
    return bundles


class StringTablesTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="strtab")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def generate(self, sources, header=None):
        paths = []
        for code, text in sources.items():
            path = os.path.join(self.work, code + ".txt")
            with open(path, "wb") as f:
                f.write(text.encode("utf-8") if isinstance(text, str) else text)
            paths.append(path)
        rc = os.path.join(self.work, "strings.rc")
        options = ["--ids-header", header] if header else []
        result = subprocess.run([sys.executable, TOOL] + options + [rc] + paths, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        return result, rc

    def test_texts_reach_the_resources_unchanged(self):
        tricky = 'Tarvik\u00a0Браузер "((лицензия))" %i\\n2\\\\3 \U0001F600 ??= 日本'
        result, rc = self.generate({
            "en": "# English (1033)\n\n400\tTarvik\n402\tA\\nB\n",
            "ru": "# Russian\n400\tTarvik\n415\t%s\n" % tricky,
            "zh-TW": "410\t\u5b89\u88dd\n",
        })
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(rc, "rb") as f:
            self.assertTrue(f.read().isascii())
        res = os.path.join(self.work, "strings.res")
        subprocess.run([WINDRES, "-i", rc, "-O", "res", "-o", res], check=True)
        with open(res, "rb") as f:
            bundles = string_bundles(f.read())
        self.assertEqual(set(bundles), {(26, 0x0409), (26, 0x0419), (26, 0x0404)})
        self.assertEqual(bundles[(26, 0x0409)][:3], ["Tarvik", "", "A\nB"])
        self.assertEqual(bundles[(26, 0x0419)][15],
                         'Tarvik\u00a0Браузер "((лицензия))" %i\n2\\3 \U0001F600 ??= 日本')
        self.assertEqual(bundles[(26, 0x0404)][10], "\u5b89\u88dd")

    def test_malformed_sources_stop_the_build(self):
        cases = {
            "unknown escape": ("en", "400\ta\\tb\n"),
            "not in ascending order": ("en", "401\ta\n400\tb\n"),
            "expected <id><TAB><text>": ("en", "400 a\n"),
            "byte-order mark": ("en", "\ufeff400\ta\n"),
            "not UTF-8": ("en", b"400\t\xff\n"),
            "unknown language code": ("pt", "400\ta\n"),
        }
        for message, (code, text) in cases.items():
            with self.subTest(message):
                result, rc = self.generate({code: text})
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(rc))

    def test_the_english_source_names_the_ids_for_the_code(self):
        header = os.path.join(self.work, "string_ids.h")
        result, rc = self.generate({"en": "400:WindowTitle\tTarvik\n476:OldWindowsText\n477:Title\tA\n",
                                    "ru": "400\tTarvik\n477\tB\n"}, header)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(header) as f:
            text = f.read()
        self.assertIn("inline constexpr int kStringWindowTitle = 400;", text)
        self.assertIn("inline constexpr int kStringOldWindowsText = 476;", text)
        # A name without a text declares an id no table carries.
        with open(rc) as f:
            self.assertNotIn("476,", f.read())

        cases = {
            "names belong to the English source": {"en": "400:A\tx\n", "ru": "400:A\tx\n"},
            "id 401 has no name": {"en": "400:A\tx\n401\ty\n"},
            "name A given twice": {"en": "400:A\tx\n401:A\ty\n"},
            "is not a name": {"en": "400:lower\tx\n"},
        }
        for message, sources in cases.items():
            with self.subTest(message):
                if os.path.exists(header):
                    os.remove(header)
                result, _ = self.generate(sources, header)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(header))


if __name__ == "__main__":
    unittest.main()
