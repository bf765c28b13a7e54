"""The installer's images as the built executable carries them: every id of
resources/image_ids.h present in the right format, size and frame count, the
2x images twice the 1x size, and the pixels where the window code relies on
them (transparent shadow interiors, opaque backgrounds, distinct button
frames). Reads the resources of the x86_64 build.
"""
import os
import re
import struct
import unittest
import zlib
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TARVIK_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("TARVIK_BUILD_DIR", SOURCE_DIR / "build" / "windows-x64"))
EXECUTABLE = BUILD_DIR / "bin" / "TarvikBrowserInstaller.exe"

RT_ICON, RT_RCDATA, RT_GROUP_ICON = 3, 10, 14

# (1x frame size, frames, format, [(1x id, 2x id), ...]); 0 = no image.
# Backgrounds and first slides are PNG for Windows 8 and later, JPEG before.
WIN8_PNG, OLDER_JPEG = "png", "jpeg"
EXPECTED = [
    ((16, 16), 6, "png", [(2019, 2020), (0, 2311)]),                      # check box
    ((140, 48), 3, "png", [(2270, 0), (0, 2306)]),                        # Install button
    ((393, 4), 1, "png", [(2038, 2039), (0, 2312), (2040, 2041), (0, 2313)]),  # progress
    ((212, 38), 1, "png", [(2271, 2272), (2273, 2274), (0, 2314), (0, 2315)]),  # logos
    ((802, 430), 1, WIN8_PNG, [(2068, 2069), (0, 2301), (2072, 2073), (2074, 2075),
                               (0, 2304), (0, 2305)]),                    # backgrounds, slides
    ((802, 430), 1, OLDER_JPEG, [(2021, 2022), (0, 2300), (2025, 2026), (2027, 2028),
                                 (0, 2302), (0, 2303)]),
    ((20, 20), 3, "png", [(2030, 2031), (2034, 2035), (0, 2307), (0, 2309),
                          (2238, 2239)]),                                 # close, minimize
    ((20, 20), 1, "png", [(2036, 2037), (0, 2310)]),                      # first-screen minimize
    ((17, 17), 1, "png", [(i, i + 8) for i in range(2275, 2279)]
     + [(i, i + 4) for i in range(2291, 2295)]
     + [(0, i) for i in range(2316, 2320)] + [(0, i) for i in range(2324, 2328)]),  # corners
    ((9, 412), 1, "png", [(2279, 2287), (2281, 2289), (0, 2320), (0, 2322)]),  # left, right
    ((784, 9), 1, "png", [(2280, 2288), (2282, 2290), (0, 2321), (0, 2323)]),  # top, bottom
    ((410, 186), 1, "png", [(104, 0)]),                                   # classic dialog
    ((120, 28), 3, "png", [(105, 0), (106, 0)]),
    ((100, 35), 3, "png", [(2234, 2235), (2236, 2237)]),                  # dialog buttons
    ((24, 24), 1, "png", [(i, 0) for i in (2240, 2241, 2242, 2243, 2248, 2249, 2250, 2251)]),
    ((24, 8), 1, "png", [(i, 0) for i in (2244, 2246, 2252, 2254)]),      # top, bottom
    ((8, 24), 1, "png", [(i, 0) for i in (2245, 2247, 2253, 2255)]),      # right, left
]
DIALOG_BACKGROUND = 2233
ICON_GROUP = 900
ICON_SIZES = [16, 24, 32, 48, 256]


class Resources:
    """RT_RCDATA, RT_ICON and RT_GROUP_ICON entries of a PE file, by id."""

    def __init__(self, path):
        data = path.read_bytes()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        pe32_plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
        directories = optional + (112 if pe32_plus else 96)
        resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            offset = optional + optional_size + 40 * i
            size, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", data, offset + 8)
            self.sections.append((rva, max(size, raw_size), raw_pointer))
        self.data = data
        self.base = self.offset(resource_rva)
        self.by_type = {}
        for type_id, type_entry in self.entries(0):
            self.by_type[type_id] = {}
            for name_id, name_entry in self.entries(type_entry):
                for _, language_entry in self.entries(name_entry):
                    rva, size = struct.unpack_from("<II", data, self.base + language_entry)
                    start = self.offset(rva)
                    self.by_type[type_id][name_id] = data[start:start + size]

    def offset(self, rva):
        for start, size, raw_pointer in self.sections:
            if start <= rva < start + size:
                return raw_pointer + rva - start
        raise ValueError("rva %#x outside every section" % rva)

    def entries(self, directory):
        """(id or name offset, offset of the entry's target) for one directory."""
        named, numbered = struct.unpack_from("<HH", self.data, self.base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, self.base + directory + 16 + 8 * i)
            yield name, target & 0x7FFFFFFF


def image_format_and_size(blob):
    if blob[:8] == b"\x89PNG\r\n\x1a\n":
        return ("png",) + struct.unpack(">II", blob[16:24])
    if blob[:2] == b"\xff\xd8":
        offset = 2
        while offset < len(blob):
            marker, length = struct.unpack_from(">xBH", blob, offset)
            if marker == 0xC0:  # baseline frame: every decoder reads it
                height, width = struct.unpack_from(">HH", blob, offset + 5)
                return "jpeg", width, height
            offset += 2 + length
        return "jpeg without a baseline frame", 0, 0
    return "unknown", 0, 0


def decode_png(blob):
    """Rows of (r, g, b, a) tuples of a non-interlaced PNG (8 bits, or fewer
    for a palette or grey, as zopflipng may store them)."""
    offset, chunks = 8, {}
    while offset < len(blob):
        length, kind = struct.unpack_from(">I4s", blob, offset)
        chunks.setdefault(kind, b"")
        chunks[kind] += blob[offset + 8:offset + 8 + length]
        offset += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    assert interlace == 0 and (depth == 8 or colour in (0, 3)), "unexpected PNG layout"
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    raw = zlib.decompress(chunks[b"IDAT"])
    stride = (width * channels * depth + 7) // 8
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            up_left = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else up_left)) & 0xFF
        rows.append(bytes(line))
        previous = line
    per_byte = 8 // depth
    def index(row, x):
        return (row[x // per_byte] >> (8 - depth * (x % per_byte + 1))) & ((1 << depth) - 1)
    if colour == 3:
        palette = chunks[b"PLTE"]
        alphas = chunks.get(b"tRNS", b"")
        colours = [tuple(palette[3 * i:3 * i + 3]) + (alphas[i] if i < len(alphas) else 255,)
                   for i in range(len(palette) // 3)]
        return [[colours[index(row, x)] for x in range(width)] for row in rows]
    # Grey or RGB without alpha: tRNS names the one sample value that is clear.
    clear = struct.unpack(">%dH" % (len(chunks[b"tRNS"]) // 2), chunks[b"tRNS"]) if b"tRNS" in chunks else None
    if colour == 0 and depth < 8:
        def grey(level):
            return (level * 255 // ((1 << depth) - 1),) * 3 + ((0,) if (level,) == clear else (255,))
        return [[grey(index(row, x)) for x in range(width)] for row in rows]
    def pixel(row, x):
        values = row[x * channels:(x + 1) * channels]
        if colour in (0, 2):
            return tuple(values) * (3 if colour == 0 else 1) + ((0,) if tuple(values) == clear else (255,))
        if colour == 4:
            values = bytes([values[0]] * 3) + values[1:]
        return tuple(values)
    return [[pixel(row, x) for x in range(width)] for row in rows]


@unittest.skipUnless(EXECUTABLE.exists(), "the x86_64 installer is not built")
class ImageResourcesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        resources = Resources(EXECUTABLE)
        cls.images = resources.by_type.get(RT_RCDATA, {})
        cls.icons = resources.by_type.get(RT_ICON, {})
        cls.icon_groups = resources.by_type.get(RT_GROUP_ICON, {})

    def pixels(self, image_id):
        return decode_png(self.images[image_id])

    def test_every_image_has_the_format_size_and_frames_of_its_role(self):
        checked = {DIALOG_BACKGROUND}
        for (width, height), frames, kind, pairs in EXPECTED:
            for pair in pairs:
                for scale, image_id in zip((1, 2), pair):
                    if not image_id:
                        continue
                    with self.subTest(image=image_id):
                        self.assertIn(image_id, self.images)
                        self.assertEqual(image_format_and_size(self.images[image_id]),
                                         (kind, width * frames * scale, height * scale))
                    checked.add(image_id)
        self.assertEqual(image_format_and_size(self.images[DIALOG_BACKGROUND])[0], "png")
        header = (SOURCE_DIR / "resources" / "image_ids.h").read_text()
        named = {int(value) for name, value in re.findall(r"#define (IDR_\w+) (\d+)", header)}
        self.assertEqual(named, checked, "image_ids.h and the expected images differ")

    def test_icon_group_holds_every_size(self):
        group = self.icon_groups[ICON_GROUP]
        _, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual(kind, 1)
        sizes = []
        for i in range(count):
            width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            size = width or 256
            self.assertEqual(height or 256, size)
            self.assertEqual(bits, 32)
            self.assertEqual(image_format_and_size(self.icons[icon_id])[1:], (size, size))
            # As the directory says: 8-bit RGBA, whatever layout would be smaller.
            self.assertEqual(self.icons[icon_id][24:26], b"\x08\x06", "icon of %d pixels" % size)
            sizes.append(size)
        self.assertEqual(sorted(sizes), ICON_SIZES)

    def test_strip_frames_differ_so_every_state_shows(self):
        for strip, frames in ((2019, 6), (2311, 6), (2270, 3), (2306, 3), (2030, 3), (2309, 3),
                              (105, 3), (106, 3), (2234, 3), (2236, 3), (2238, 3)):
            with self.subTest(strip=strip):
                rows = self.pixels(strip)
                width = len(rows[0]) // frames
                cut = [[row[f * width:(f + 1) * width] for row in rows] for f in range(frames)]
                for a in range(frames):
                    for b in range(a + 1, frames):
                        self.assertNotEqual(cut[a], cut[b], "frames %d and %d are equal" % (a, b))

    def test_backgrounds_are_opaque_and_shadows_clear_over_the_window(self):
        for background in (2068, 2069, 2072, 2075, 2301, 2305, 2233, 2038, 2040):
            with self.subTest(opaque=background):
                rows = self.pixels(background)
                # Progress images have round ends; their middle is what must be solid.
                middle = rows[len(rows) // 2][len(rows[0]) // 4:3 * len(rows[0]) // 4]
                self.assertEqual({pixel[3] for pixel in middle}, {255})
                if background not in (2038, 2040):
                    self.assertEqual({row[0][3] for row in rows}, {255})
        # Corners: the window stands from (8, 8) of the top-left corner at 1x; its
        # inside must stay clear (the shadow window lies over it), the margin shaded.
        for corner, scale in ((2275, 1), (2283, 2), (2291, 1), (2316, 2), (2324, 2)):
            with self.subTest(corner=corner):
                rows = self.pixels(corner)
                self.assertEqual(rows[16 * scale][16 * scale][3], 0)
                self.assertGreater(rows[7 * scale][12 * scale][3], 0)
                self.assertGreater(rows[7 * scale][12 * scale][3], rows[1 * scale][12 * scale][3])
        rounded, square = self.pixels(2275), self.pixels(2291)
        self.assertGreater(rounded[9][9][3], 0, "the rounded corner's cut-out carries shadow")
        self.assertEqual(square[9][9][3], 0, "the square corner is window")
        top, left = self.pixels(2280), self.pixels(2279)
        self.assertEqual(top[8][100][3], 0)
        self.assertGreater(top[6][100][3], top[1][100][3])
        self.assertEqual(left[100][8][3], 0)
        self.assertGreater(left[100][6][3], left[100][1][3])


if __name__ == "__main__":
    unittest.main()
