"""The installer code reads back what the host tools write: executables signed
and stamped here are read by test_helper.exe under wine64, and the brand
packages of the built installer are chosen by region and UI language."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import tag_test_support as support
import tag_tool

WINE = "/usr/lib/wine/wine64"
HELPER = os.path.join(support.BUILD_DIR, "bin", "test_helper.exe")
INSTALLER = os.path.join(support.BUILD_DIR, "bin", "TarvikBrowserInstaller.exe")
# The unit tests carry the brand packages the installer does not ship.
TEST_BRANDS = os.path.join(support.BUILD_DIR, "bin", "installer_unittests.exe")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_environment(**extra):
    environment = dict(os.environ)
    environment.setdefault("WINEDEBUG", "-all")
    environment.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=;winedbg.exe=d")
    environment.update(extra)
    return environment


def run_helper(*arguments, **environment):
    result = subprocess.run([WINE, HELPER] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=wine_environment(**environment), timeout=120)
    lines = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        name, _, value = line.partition("=")
        lines.setdefault(name, value)
    return result.returncode, lines


@unittest.skipUnless(os.path.exists(WINE) and os.path.exists(HELPER) and os.environ.get("WINEPREFIX"),
                     "needs wine64, a WINEPREFIX and the x86_64 build")
class ConfigEndToEndTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="confige2e")
        cls.cert, cls.key = support.make_signing_certificate(cls.work)
        cls.dummy = support.write_dummy_certificate(cls.work)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def read_params(self, executable):
        out_dir = tempfile.mkdtemp(dir=self.work)
        code, lines = run_helper("distrib-info", windows_path(executable), windows_path(out_dir))
        return code, lines, out_dir

    def test_certificate_tag_of_the_installer(self):
        signed = self.path("installer-signed.exe")
        support.sign(INSTALLER, signed, self.cert, self.key, self.dummy)
        stamped = self.path("installer-tagged.exe")
        with open(signed, "rb") as f:
            data = tag_tool.stamp_certificate(f.read(), b"partner_id=p1&banerid=7&lang=uk&a=1&b=&c&=x&a=2")
        with open(stamped, "wb") as f:
            f.write(data)
        ok, output = support.verify(stamped, self.cert)
        self.assertTrue(ok, output)

        code, lines, out_dir = self.read_params(stamped)
        self.assertEqual(code, 0, lines)
        self.assertEqual(lines["registry"], "partner_id=p1&banerid=7&lang=uk&a=1&b=&c&=x&a=2")
        self.assertEqual(lines["json"], '{"":"x","a":"2","b":"","banerid":"7","c":"","lang":"uk","partner_id":"p1"}')
        self.assertTrue(lines["json_path"].endswith("\\distrib_info"), lines)
        with open(os.path.join(out_dir, "distrib_info"), "rb") as f:
            self.assertEqual(json.loads(f.read()), {"": "x", "a": "2", "b": "", "banerid": "7", "c": "",
                                                    "lang": "uk", "partner_id": "p1"})

    def test_untagged_installer_has_no_parameters(self):
        signed = self.path("installer-untagged.exe")
        support.sign(INSTALLER, signed, self.cert, self.key, self.dummy)
        code, lines, out_dir = self.read_params(signed)
        self.assertEqual(code, 1)
        self.assertNotIn("registry", lines)
        self.assertEqual(lines["json_path"], "")
        self.assertFalse(os.path.exists(os.path.join(out_dir, "distrib_info")))

    def test_trailer_tag_of_a_pe32_file(self):
        source = support.pe32_executable(self.work)
        if not source:
            self.skipTest("no PE32 executable and no i686 compiler")
        signed = self.path("pe32-signed.exe")
        support.sign(source, signed, self.cert, self.key, self.dummy)
        with open(signed, "rb") as f:
            data = f.read()
        trailer = self.path("pe32-trailer.exe")
        with open(trailer, "wb") as f:
            f.write(tag_tool.stamp_trailer(data, b"stat=1&%41=1"))
        code, lines, _ = self.read_params(trailer)
        self.assertEqual(code, 0, lines)
        self.assertEqual(lines["json"], '{"%41":"1","stat":"1"}')

        # With both tags the dummy certificate's wins.
        both = self.path("pe32-both.exe")
        with open(both, "wb") as f:
            f.write(tag_tool.stamp_trailer(tag_tool.stamp_certificate(data, b"from=certificate"), b"from=trailer"))
        ok, output = support.verify(both, self.cert)
        self.assertTrue(ok, output)
        code, lines, _ = self.read_params(both)
        self.assertEqual(lines["json"], '{"from":"certificate"}')

    def brand_info(self, brand_name, locale, module=TEST_BRANDS):
        out_dir = tempfile.mkdtemp(dir=self.work)
        code, lines = run_helper("brand-info", brand_name, windows_path(module), windows_path(out_dir),
                                 LC_ALL=locale)
        self.assertEqual(code, 0, lines)
        return lines

    def test_autodetected_brand_follows_region_and_language(self):
        lines = self.brand_info("auto", "uk_UA.UTF-8")
        self.assertEqual(lines["brand_name"], "ua_uk")
        self.assertEqual(lines["brand_id"], "ua-uk")
        self.assertEqual(lines["interface_language"], "uk")
        self.assertEqual(lines["language_id"], "1058")
        self.assertEqual(lines["brand_package_present"], "1")
        self.assertNotEqual(lines["brand_package_size"], "0")

        lines = self.brand_info("auto", "tr_TR.UTF-8")
        self.assertEqual(lines["brand_name"], "tb")

        # No brand name: the default package, in the user's language.
        lines = self.brand_info("", "de_DE.UTF-8")
        self.assertEqual(lines["brand_id"], "tarvik")
        self.assertEqual(lines["interface_language"], "de")

    def test_shipped_installer_carries_the_default_package_only(self):
        # A detected brand has no package of its own in the shipped file.
        lines = self.brand_info("auto", "uk_UA.UTF-8", module=INSTALLER)
        self.assertEqual(lines["brand_name"], "tarvik")
        self.assertEqual(lines["brand_id"], "tarvik")
        self.assertEqual(lines["brand_package_present"], "1")


if __name__ == "__main__":
    unittest.main()
