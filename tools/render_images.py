#!/usr/bin/env python3
"""Renders the installer's images from the SVG drawings in resources/images.

  outputs MANIFEST
      The output file names, one a line (read by CMake).
  sources MANIFEST
      The drawings and pieces the outputs are made from, one a line.
  render MANIFEST OUTDIR [FILE...]
      Renders the named output files (all when none is named) into OUTDIR,
      and writes OUTDIR/images.rc, which carries every output under its id.

The manifest (resources/images/images.json) names, per image, the drawing,
the theme colours and extra values substituted into it ($name), the 1x size
(the drawing's user units are 1x pixels), an optional crop of the drawing,
the format and the ids with their scale. One drawing thus gives the 1x and
the 2x image, the light and the dark one, the PNG and the JPEG one.

Tools: rsvg-convert renders, pngquant reduces PNGs to a palette (the images
are flat art, so 256 colours lose nothing visible and halve the bytes),
zopflipng then stores every PNG, the icon's too, in the fewest bytes it finds
for the same pixels, and ImageMagick's convert writes JPEGs (already with
optimised Huffman tables, which is all a lossless pass could add).
"""

import concurrent.futures
import json
import os
import re
import shutil
import string
import struct
import subprocess
import sys
import tempfile

JPEG_QUALITY = "85"
# Inter draws the wordmarks; a silent fallback to another face would change
# the logo, so its absence stops the build.
REQUIRED_FONT_FAMILY = "Inter"


def fail(message):
    sys.stderr.write("render_images: %s\n" % message)
    sys.exit(1)


def load_manifest(path):
    with open(path, encoding="utf-8") as f:
        manifest = json.load(f)
    manifest["dir"] = os.path.dirname(os.path.abspath(path))
    # Drawings kept apart from the installer's (the stand-in's slides) share
    # its theme colours.
    if "themes_from" in manifest:
        with open(os.path.join(manifest["dir"], manifest["themes_from"]), encoding="utf-8") as f:
            manifest["themes"] = json.load(f)["themes"]
    return manifest


def output_name(identifier, image):
    base = re.sub(r"^ID[RI]_", "", identifier).lower()
    return base + {"png": ".png", "jpeg": ".jpg", "ico": ".ico"}[image["format"]]


def outputs(manifest):
    """(file name, identifier, scale, image) for every output."""
    for image in manifest["images"]:
        for identifier, scale in image["ids"].items():
            yield output_name(identifier, image), identifier, scale, image


def drawing_text(manifest, image):
    def read(name):
        with open(os.path.join(manifest["dir"], name), encoding="utf-8") as f:
            return f.read()
    # Shared pieces (the mark) come in first, so their own $values are filled too.
    pieces = {name: read(file) for name, file in manifest["pieces"].items()}
    text = string.Template(read(image["drawing"])).safe_substitute(pieces)
    values = dict(manifest["themes"].get(image.get("theme", ""), {}))
    values.update(image.get("vars", {}))
    try:
        return string.Template(text).substitute(values)
    except (KeyError, ValueError) as error:
        fail("%s: no value for %s" % (image["drawing"], error))


def with_viewport(svg, view, width, height):
    """The drawing with its root element showing `view` at width x height."""
    root = re.search(r"<svg\b[^>]*>", svg)
    if not root:
        fail("no <svg> element")
    tag = root.group(0)
    for name in ("viewBox", "width", "height"):
        tag = re.sub(r'\s%s="[^"]*"' % name, "", tag)
    tag = tag[:-1].rstrip("/") + ' viewBox="%s" width="%d" height="%d">' % (
        " ".join(str(v) for v in view), width, height)
    return svg[:root.start()] + tag + svg[root.end():]


def drawing_view(svg):
    match = re.search(r'<svg\b[^>]*\sviewBox="([^"]*)"', svg)
    if not match:
        fail("a drawing that is cut needs a viewBox")
    return [int(float(v)) for v in match.group(1).split()]


def run(command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        fail("%s failed: %s" % (command[0], result.stderr.decode(errors="replace").strip()))


def check_font():
    result = subprocess.run(["fc-list", ":family=%s" % REQUIRED_FONT_FAMILY, "family"],
                            capture_output=True, text=True)
    if not result.stdout.strip():
        fail("font family %r is not installed (Debian package fonts-inter)" % REQUIRED_FONT_FAMILY)


def render_png(svg, view, width, height, target, work):
    source = os.path.join(work, "drawing.svg")
    with open(source, "w", encoding="utf-8") as f:
        f.write(with_viewport(svg, view, width, height))
    run(["rsvg-convert", "--format", "png", "--output", target, source])


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is not a PNG" % path)
    return struct.unpack(">II", header[16:24])


def png_layout(path):
    """(bit depth, colour type) from the IHDR chunk."""
    with open(path, "rb") as f:
        header = f.read(26)
    return tuple(header[24:26])


def recompress_png(path, keep_layout=False):
    """Rewrites a PNG losslessly in fewer bytes. rsvg-convert and pngquant
    deflate at zlib's default effort; zopflipng searches filters, colour
    types and deflate choices (a few seconds per large image). With
    keep_layout, a result of another colour type or depth is refused."""
    with tempfile.TemporaryDirectory() as work:
        smaller = os.path.join(work, "smaller.png")
        run(["zopflipng", "-y", path, smaller])
        if keep_layout and png_layout(smaller) != png_layout(path):
            return
        if os.path.getsize(smaller) < os.path.getsize(path):
            shutil.copyfile(smaller, path)


def write_icon(pngs, target):
    """An icon file of PNG entries (read by Windows Vista and later)."""
    entries, blobs = [], []
    offset = 6 + 16 * len(pngs)
    for path in pngs:
        with open(path, "rb") as f:
            data = f.read()
        width, height = png_size(path)
        entries.append(struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                                   len(data), offset))
        blobs.append(data)
        offset += len(data)
    with open(target, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(pngs)) + b"".join(entries) + b"".join(blobs))


_whole_drawings = {}


def whole_drawing(svg, scale):
    """The whole drawing rendered once per process for all pieces cut from it."""
    key = (svg, scale)
    if key not in _whole_drawings:
        view = drawing_view(svg)
        path = os.path.join(_cache_dir(), "whole%d.png" % len(_whole_drawings))
        render_png(svg, view, view[2] * scale, view[3] * scale, path, _cache_dir())
        _whole_drawings[key] = path
    return _whole_drawings[key]


def _cache_dir():
    if not hasattr(_cache_dir, "path"):
        _cache_dir.path = tempfile.mkdtemp(prefix="render_images")
    return _cache_dir.path


def render(manifest, file_name, scale, image, out_dir):
    svg = drawing_text(manifest, image)
    target = os.path.join(out_dir, file_name)
    with tempfile.TemporaryDirectory() as work:
        if image["format"] == "ico":
            pngs = []
            for size in image["sizes"]:
                png = os.path.join(work, "%d.png" % size)
                render_png(svg, image["view"], size, size, png, work)
                # Windows reads PNG icon entries as 32-bit pictures, as the
                # icon directory says they are.
                recompress_png(png, keep_layout=True)
                pngs.append(png)
            write_icon(pngs, target)
            return
        width, height = image["size"]
        rendered = os.path.join(work, "rendered.png")
        if "crop" in image:
            # Cut from the whole drawing: a filter (the shadows' blur) sees
            # only what is drawn inside the view, so a narrow view loses it.
            x, y, _, _ = image["crop"]
            whole = whole_drawing(svg, scale)
            run(["convert", whole, "-crop", "%dx%d+%d+%d" % (width * scale, height * scale,
                 x * scale, y * scale), "+repage", "PNG32:" + rendered])
        else:
            render_png(svg, [0, 0, width, height], width * scale, height * scale, rendered, work)
        if png_size(rendered) != (width * scale, height * scale):
            fail("%s rendered at %s" % (file_name, png_size(rendered)))
        if image["format"] == "jpeg":
            run(["convert", rendered, "-background", "white", "-flatten", "-strip",
                 "-quality", JPEG_QUALITY, "-sampling-factor", "2x2", "-interlace", "none",
                 target])
        elif image.get("palette", True):
            run(["pngquant", "--speed", "3", "--strip", "--force", "--output", target, "256",
                 rendered])
        else:
            shutil.copyfile(rendered, target)


def write_rc(manifest, target):
    lines = ["// Generated by tools/render_images.py from resources/images/images.json."]
    for name, identifier, _, image in outputs(manifest):
        kind = "ICON" if image["format"] == "ico" else "RCDATA"
        lines.append('%s %s "resources/images/%s"' % (identifier, kind, name))
    text = "\n".join(lines) + "\n"
    if os.path.exists(target):
        with open(target, encoding="utf-8") as f:
            if f.read() == text:
                return
    with open(target, "w", encoding="utf-8") as f:
        f.write(text)


def render_all(manifest, out_dir, names):
    known = {name for name, _, _, _ in outputs(manifest)}
    for name in names:
        if name not in known:
            fail("no image %s in the manifest" % name)
    chosen = [output for output in outputs(manifest) if not names or output[0] in names]
    if any(image.get("needs_font") for _, _, _, image in chosen):
        check_font()
    os.makedirs(out_dir, exist_ok=True)
    try:
        for name, _, scale, image in chosen:
            render(manifest, name, scale, image, out_dir)
        pngs = [os.path.join(out_dir, name) for name, _, _, image in chosen if image["format"] == "png"]
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
            list(pool.map(recompress_png, pngs))
    finally:
        if hasattr(_cache_dir, "path"):
            shutil.rmtree(_cache_dir.path)
    write_rc(manifest, os.path.join(out_dir, "images.rc"))


def main(argv):
    if len(argv) == 2 and argv[0] == "outputs":
        for name, _, _, _ in outputs(load_manifest(argv[1])):
            print(name)
    elif len(argv) == 2 and argv[0] == "sources":
        manifest = load_manifest(argv[1])
        files = {image["drawing"] for image in manifest["images"]} | set(manifest["pieces"].values())
        for name in sorted(files):
            print(os.path.join(manifest["dir"], name))
    elif len(argv) >= 3 and argv[0] == "render":
        render_all(load_manifest(argv[1]), argv[2], argv[3:])
    else:
        fail("usage: outputs MANIFEST | sources MANIFEST | render MANIFEST OUTDIR [FILE...]")


if __name__ == "__main__":
    main(sys.argv[1:])
