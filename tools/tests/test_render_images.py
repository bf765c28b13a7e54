"""The art pipeline's last pass (tools/render_images.py): zopflipng rewrites
each rendered PNG in fewer bytes with the very same pixels, whichever layout
it picks for it (palette, grey, RGBA)."""

import os
import shutil
import sys
import tempfile
import unittest

from test_image_resources import SOURCE_DIR, decode_png

sys.path.insert(0, str(SOURCE_DIR / "tools"))
import render_images  # noqa: E402

MANIFEST = SOURCE_DIR / "resources" / "images" / "images.json"


class RecompressionTest(unittest.TestCase):
    def test_recompressed_images_keep_every_pixel_in_fewer_bytes(self):
        manifest = render_images.load_manifest(str(MANIFEST))
        work = tempfile.mkdtemp(prefix="render")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        # A palette strip, a flat picture that ends up as 1-bit grey, and
        # the wordmark's soft edges.
        chosen = {"check_box_1x.png", "dialog_background.png", "logo_1x.png"}
        for name, _, scale, image in render_images.outputs(manifest):
            if name not in chosen:
                continue
            with self.subTest(image=name):
                path = os.path.join(work, name)
                render_images.render(manifest, name, scale, image, work)
                with open(path, "rb") as f:
                    before = f.read()
                render_images.recompress_png(path)
                with open(path, "rb") as f:
                    after = f.read()
                self.assertLess(len(after), len(before))
                self.assertEqual(decode_png(after), decode_png(before))
            chosen.discard(name)
        self.assertEqual(chosen, set(), "not in the manifest")


if __name__ == "__main__":
    unittest.main()
