#!/usr/bin/env python3
"""The window's three fonts, made at build time from Debian's fonts-inter.

  ui_fonts.py --source-dir /usr/share/fonts/opentype/inter --strings-dir resources/strings --out-dir OUT

Each output is a source face renamed to the family the window asks for by
name and subset to the characters it can be asked to draw: the alphabets of
the Latin and Cyrillic interface languages with their punctuation, always,
plus every character of the string tables in --strings-dir (resources/strings/
<code>.txt), so a new or changed translation never draws boxes. The string
tables are optional: without them the fixed alphabets alone are kept.

Chinese and Japanese texts are drawn with a system face (ui/ui_font_faces),
so characters of those tables that the source lacks are left out silently;
such a character in any other table is reported on stderr.

Needs fontTools (Debian: python3-fonttools). Output is reproducible: the
source's time stamps are kept.
"""

import argparse
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

# (output file, family name, PostScript name, OS/2 weight class, source file)
FACES = [
    ("kx_geo_regular.otf", "KX Geo Regular", "KXGeo-Regular", 400, "InterDisplay-Regular.otf"),
    ("kx_geo_medium.otf", "KX Geo Medium", "KXGeo-Medium", 500, "InterDisplay-Medium.otf"),
    ("kx_text.otf", "KX Text", "KXText-Regular", 400, "Inter-Regular.otf"),
]

# What the interface languages other than Chinese and Japanese can need.
BASE_RANGES = [
    (0x0020, 0x007E),  # ASCII
    (0x00A0, 0x00FF),  # no-break space, Latin-1: French, German, Italian, Spanish, Portuguese
    (0x0100, 0x017F),  # Latin Extended-A: Czech, Turkish
    (0x02BB, 0x02BC),  # Uzbek Latin o' and g' (modifier letters)
    (0x02C6, 0x02C7), (0x02D8, 0x02DD),  # spacing accents
    (0x0400, 0x045F),  # Cyrillic: Russian, Ukrainian, Kazakh basics
    (0x0490, 0x0491),  # Ukrainian ghe with upturn
    (0x0492, 0x0493), (0x049A, 0x049B), (0x04A2, 0x04A3), (0x04AE, 0x04B1),
    (0x04BA, 0x04BB), (0x04D8, 0x04D9), (0x04E8, 0x04E9),  # Kazakh
    (0x2009, 0x200A),  # thin and hair spaces
    (0x2010, 0x2027),  # dashes, quotes, bullet, ellipsis
    (0x202F, 0x2030),  # narrow no-break space (French), per mille
    (0x2039, 0x203A),  # single guillemets
    (0x20AC, 0x20AC), (0x20BD, 0x20BD), (0x20B8, 0x20B8),  # euro, rouble, tenge
    (0x2116, 0x2116), (0x2122, 0x2122),  # numero, trade mark
]

# Their texts are drawn with a system face that has the glyphs.
SYSTEM_FACE_LANGUAGES = {"ja", "zh-CN", "zh-TW"}

# Name records kept from the source: copyright, version, licence and its
# URL (the licence asks that the copyright and licence go with the font).
KEPT_NAME_IDS = {0, 5, 13, 14}
WINDOWS, UNICODE_BMP, ENGLISH_US = 3, 1, 0x409


def base_code_points():
    points = set()
    for first, last in BASE_RANGES:
        points.update(range(first, last + 1))
    return points


def unescape(text):
    """The string files' escapes: \\n is a line feed, \\\\ a backslash."""
    out = []
    i = 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
            out.append("\n" if text[i + 1] == "n" else "\\")
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def string_table_characters(strings_dir):
    """{language code: set of code points its texts draw}."""
    tables = {}
    if not strings_dir or not os.path.isdir(strings_dir):
        return tables
    for name in sorted(os.listdir(strings_dir)):
        if not name.endswith(".txt"):
            continue
        points = set()
        with open(os.path.join(strings_dir, name), encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\r\n")
                if not line or line.startswith("#") or "\t" not in line:
                    continue
                text = unescape(line.split("\t", 1)[1])
                points.update(ord(c) for c in text if c >= " ")
        tables[name[:-len(".txt")]] = points
    return tables


def rename(font, family, postscript_name, weight):
    """Makes the face answer to `family` alone, as one regular style."""
    name = font["name"]
    kept = [record for record in name.names
            if record.nameID in KEPT_NAME_IDS and record.platformID == WINDOWS]
    name.names = kept
    version = name.getDebugName(5) or ""
    for name_id, value in ((1, family), (2, "Regular"), (3, "%s;%s" % (version, postscript_name)),
                           (4, family), (6, postscript_name)):
        name.setName(value, name_id, WINDOWS, UNICODE_BMP, ENGLISH_US)
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [postscript_name]
        top = cff.topDictIndex[0]
        top.FamilyName = family
        top.FullName = family
        top.Weight = "Regular"
    os2 = font["OS/2"]
    os2.usWeightClass = weight
    # Regular only: not italic, not bold, no typographic family to regroup by.
    os2.fsSelection = (os2.fsSelection & ~0x0161) | 0x0040
    font["head"].macStyle = 0


def make_face(source_path, out_path, family, postscript_name, weight, code_points):
    font = TTFont(source_path, recalcTimestamp=False)
    available = set(font.getBestCmap())
    options = subset.Options()
    # GDI draws these texts without OpenType layout: the tables would be dead weight.
    options.layout_features = []
    options.drop_tables += ["GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "STAT", "DSIG"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.recalc_timestamp = False
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=sorted(code_points & available))
    subsetter.subset(font)
    rename(font, family, postscript_name, weight)
    font.save(out_path)
    return available


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--strings-dir")
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args(argv)

    tables = string_table_characters(args.strings_dir)
    wanted = base_code_points()
    for points in tables.values():
        wanted |= points
    os.makedirs(args.out_dir, exist_ok=True)
    drawable = None  # code points every face has
    for out_name, family, postscript_name, weight, source_name in FACES:
        source = os.path.join(args.source_dir, source_name)
        if not os.path.isfile(source):
            sys.stderr.write("ui_fonts: %s missing (apt-get install fonts-inter)\n" % source)
            return 1
        out = os.path.join(args.out_dir, out_name)
        available = make_face(source, out, family, postscript_name, weight, wanted)
        drawable = available if drawable is None else drawable & available
        print("%s: %s, %d bytes" % (out_name, family, os.path.getsize(out)))
    for code, points in sorted(tables.items()):
        if code not in SYSTEM_FACE_LANGUAGES:
            for point in sorted(points - drawable):
                sys.stderr.write("ui_fonts: warning: %s.txt: U+%04X is not in every source face; "
                                 "it would draw as a box\n" % (code, point))
    return 0

if __name__ == "__main__":
    sys.exit(main())
