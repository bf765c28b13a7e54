#!/usr/bin/env python3
"""The window's three fonts, made at build time from Debian's fonts-inter.

  ui_fonts.py --source-dir /usr/share/fonts/opentype/inter --strings-dir resources/strings --out-dir OUT

Each output is a source face renamed to the family the window asks for by
name and subset to exactly the characters the window draws in it: every
character of the string tables in --strings-dir (resources/strings/
<code>.txt) and of the few texts the window composes itself. The set is
computed on every build from the tables, so a new or changed translation
brings its characters along; one that a source face lacks stops the build,
since it would draw as a box.

Chinese and Japanese texts are drawn with a system face (ui/ui_font_faces),
so those tables add nothing.

Needs fontTools (Debian: python3-fonttools). Output is reproducible: the
source's time stamps are kept.
"""

import argparse
import os
import sys
import unicodedata

from fontTools import subset
from fontTools.ttLib import TTFont

# (output file, family name, PostScript name, OS/2 weight class, source file)
FACES = [
    ("kx_geo_regular.otf", "KX Geo Regular", "KXGeo-Regular", 400, "InterDisplay-Regular.otf"),
    ("kx_geo_medium.otf", "KX Geo Medium", "KXGeo-Medium", 500, "InterDisplay-Medium.otf"),
    ("kx_text.otf", "KX Text", "KXText-Regular", 400, "Inter-Regular.otf"),
]

# What the window draws besides table texts: the progress status's
# "<status> 42%" (ui/window_choices.cc StatusText) and the full stop the
# statistics label adds after its consent text (StatisticsLabelMarkup).
COMPOSED_TEXT = "0123456789 %."

# Their texts are drawn with a system face that has the glyphs.
SYSTEM_FACE_LANGUAGES = {"ja", "zh-CN", "zh-TW"}

# Name records kept from the source: copyright, version, licence and its
# URL (the licence asks that the copyright and licence go with the font).
KEPT_NAME_IDS = {0, 5, 13, 14}
WINDOWS, UNICODE_BMP, ENGLISH_US = 3, 1, 0x409


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
    options = subset.Options()
    # GDI draws these texts without OpenType layout: the tables would be dead weight.
    options.layout_features = []
    options.drop_tables += ["GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "STAT", "DSIG"]
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.recalc_timestamp = False
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=sorted(code_points))
    subsetter.subset(font)
    rename(font, family, postscript_name, weight)
    font.save(out_path)


def wanted_code_points(tables):
    """Every code point the window draws in the product's faces."""
    wanted = {ord(c) for c in COMPOSED_TEXT}
    for code, points in tables.items():
        if code not in SYSTEM_FACE_LANGUAGES:
            wanted |= points
    return wanted


def missing_characters(tables, available):
    """Lines naming each character of a table (other than the system-face
    ones) that `available` lacks, with the tables that use it."""
    lines = []
    for point in sorted(wanted_code_points(tables) - available):
        users = [code + ".txt" for code, points in sorted(tables.items())
                 if point in points and code not in SYSTEM_FACE_LANGUAGES] or ["the composed texts"]
        lines.append("U+%04X %s (%s) in %s" % (point, unicodedata.name(chr(point), "unnamed"), chr(point),
                                              ", ".join(users)))
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--strings-dir", required=True)
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args(argv)

    if not os.path.isdir(args.strings_dir):
        sys.stderr.write("ui_fonts: no string tables at %s\n" % args.strings_dir)
        return 1
    tables = string_table_characters(args.strings_dir)
    wanted = wanted_code_points(tables)
    os.makedirs(args.out_dir, exist_ok=True)
    for out_name, family, postscript_name, weight, source_name in FACES:
        source = os.path.join(args.source_dir, source_name)
        if not os.path.isfile(source):
            sys.stderr.write("ui_fonts: %s missing (apt-get install fonts-inter)\n" % source)
            return 1
        available = set(TTFont(source, lazy=True).getBestCmap())
        missing = missing_characters(tables, available)
        if missing:
            sys.stderr.write("ui_fonts: %s has no glyph for what the window would draw with it; change the "
                             "text or the face:\n  %s\n" % (source_name, "\n  ".join(missing)))
            return 1
        out = os.path.join(args.out_dir, out_name)
        make_face(source, out, family, postscript_name, weight, wanted)
        print("%s: %s, %d glyphs, %d bytes" % (out_name, family, len(TTFont(out)["CFF "].cff[0].CharStrings),
                                             os.path.getsize(out)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
