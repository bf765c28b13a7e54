"""The release as a release engineer makes it: the shipped executables as the
build leaves them (stripped, dated, symbols beside them, within the size
budget), the README's release steps run end to end on the test key, and every
tool's answer to a missing file."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from datetime import datetime, timezone

import tag_test_support as support

sys.path.insert(0, os.path.join(support.SOURCE_DIR, "tools"))
import pe_image  # noqa: E402
import tag_tool  # noqa: E402

SOURCE_DIR = os.path.abspath(support.SOURCE_DIR)
BUILDS_DIR = os.path.abspath(os.path.join(support.BUILD_DIR, ".."))
SHIPPED = [os.path.join(BUILDS_DIR, preset, "bin", "TarvikBrowserInstaller.exe")
           for preset in ("windows-x86", "windows-x64")]
TOOLS = os.path.join(SOURCE_DIR, "tools")


def shipped_builds():
    return [path for path in SHIPPED if os.path.exists(path)]


def debug_frame_ranges(data):
    """[(start, end)] of the functions a 32-bit .debug_frame describes."""
    ranges, offset = [], 0
    while offset + 8 <= len(data):
        length, cie_pointer = struct.unpack_from("<II", data, offset)
        if length == 0:
            break
        if cie_pointer != 0xFFFFFFFF:  # an FDE: its CIE, then the function's start and length
            start, size = struct.unpack_from("<II", data, offset + 8)
            ranges.append((start, start + size))
        offset += 4 + length
    return ranges


def read(path):
    with open(path, "rb") as f:
        return f.read()


class ShippedExecutableTest(unittest.TestCase):
    def test_stripped_dated_and_symbols_beside_it(self):
        self.assertTrue(shipped_builds(), "no installer built")
        for path in shipped_builds():
            with self.subTest(path=path):
                image = pe_image.PeImage(read(path))
                names = [section.name for section in image.sections]
                self.assertEqual([n for n in names if n.startswith(".debug")], [])
                self.assertIn(".gnu_debuglink", names)
                link = next(s for s in image.sections if s.name == ".gnu_debuglink")
                linked_name = image.data[link.raw_pointer:].split(b"\0", 1)[0].decode()
                self.assertEqual(linked_name, "TarvikBrowserInstaller.debug")
                symbols = pe_image.PeImage(read(os.path.join(os.path.dirname(path), linked_name)))
                self.assertTrue(any(s.name.startswith(".debug") for s in symbols.sections))

                # The file date is the build's, as microseconds since 1601.
                fixed = image.fixed_file_info_offset()
                high, low = struct.unpack_from("<II", image.data, fixed + 44)
                seconds = ((high << 32) | low) // 1000000 - 11644473600
                built = datetime.fromtimestamp(seconds, timezone.utc)
                self.assertGreater(built.year, 2023)
                self.assertLessEqual(built, datetime.now(timezone.utc))

                # Only the default brand package ships, beside the data files.
                packages = [r.name for r in image.resources() if r.type_name == "BIN"]
                self.assertIn(319, packages)
                self.assertEqual([n for n in packages if str(n).startswith("BRAND_")], [])

    def test_i686_unwind_information_is_in_the_symbols_file_not_the_image(self):
        path = SHIPPED[0]
        if not os.path.exists(path):
            self.skipTest("no i686 build")
        image = pe_image.PeImage(read(path))
        # At most crtbegin's few entries, which its start-up code refers to.
        self.assertLessEqual(sum(s.virtual_size for s in image.sections if s.name == ".eh_frame"), 256)

        symbols_path = path[:-len(".exe")] + ".debug"
        symbols = pe_image.PeImage(read(symbols_path))
        frame = next(s for s in symbols.sections if s.name == ".debug_frame")
        ranges = debug_frame_ranges(symbols.data[frame.raw_pointer:frame.raw_pointer + frame.virtual_size])
        nm = subprocess.run(["i686-w64-mingw32-nm", "-C", symbols_path], stdout=subprocess.PIPE, text=True,
                            check=True)
        addresses = {}
        for line in nm.stdout.splitlines():
            parts = line.split(" ", 2)
            if len(parts) == 3 and parts[1] == "T":
                addresses[parts[2].split("(")[0]] = int(parts[0], 16)
        # The entry point, code built for size and code built for speed.
        for function in ("wWinMain@16", "ostrel::ClassifyWindowsVersion", "ostrel::ComputeSha256"):
            with self.subTest(function=function):
                self.assertTrue(function in addresses, "%s is not in the symbols file" % function)
                self.assertTrue(any(start <= addresses[function] < end for start, end in ranges),
                                "no unwind entry for %s" % function)

    def test_size_report_names_what_takes_the_space(self):
        path = shipped_builds()[0]
        result = subprocess.run([sys.executable, os.path.join(TOOLS, "size_report.py"), path],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(".text", result.stdout)
        self.assertRegex(result.stdout, r"\n  version +1 +\d+\n")
        self.assertNotIn("not stripped", result.stdout)
        over = subprocess.run([sys.executable, os.path.join(TOOLS, "size_report.py"), "--budget", "1000", path],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertEqual(over.returncode, 1)
        self.assertIn("over the budget", over.stderr)


class ReleaseStepsTest(unittest.TestCase):
    def test_release_script_signs_stamps_and_reads_back(self):
        pe32 = SHIPPED[0]
        if not os.path.exists(pe32):
            self.skipTest("the trailer tag needs the i686 build")
        work = tempfile.mkdtemp(prefix="release")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        tag = "partner_id=p7&banerid=3"
        result = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "make-release.sh"), "--no-build",
                                 "--installer", pe32, "--tag", tag, work],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout.count(tag + "\n"), 2, result.stdout)
        # The signed, tagged file digests like the build's output.
        digests = [line.split()[0] for line in result.stdout.splitlines() if line.endswith(".exe")
                   and len(line.split()[0]) == 64]
        self.assertEqual(len(digests), 2, result.stdout)
        self.assertEqual(digests[0], digests[1])
        signed = read(os.path.join(work, "TarvikBrowserInstaller.exe"))
        self.assertEqual(tag_tool.read_certificate_tag(signed), tag.encode())
        self.assertEqual(tag_tool.read_trailer_tag(signed), tag.encode())
        self.assertEqual(read(os.path.join(work, "TarvikBrowserInstaller.debug")),
                         read(pe32[:-len(".exe")] + ".debug"))

        # A wrong key stops the release at the signing step, in one line.
        bad_key = os.path.join(work, "bad.key")
        with open(bad_key, "w") as f:
            f.write("not a key\n")
        result = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "make-release.sh"), "--no-build",
                                 "--installer", pe32, "--key", bad_key, os.path.join(work, "again")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"\nsign_module: osslsigncode failed \(\d+\): [^\n]*bad\.key[^\n]*\n$")


class MissingInputTest(unittest.TestCase):
    """Every tool answers a missing file with one line and exit status 1."""

    def test_each_tool_names_the_missing_file(self):
        missing = "/nonexistent/input.file"
        trust = os.path.join(TOOLS, "trust")
        commands = {
            "tag_tool": [os.path.join(TOOLS, "tag_tool.py"), "read", missing],
            "tag_tool stamp": [os.path.join(TOOLS, "tag_tool.py"), "stamp", "--tag", "a=1", missing, "/tmp/x.exe"],
            "size_report": [os.path.join(TOOLS, "size_report.py"), missing],
            "release_digest": [os.path.join(TOOLS, "release_digest.py"), missing],
            "symbolize_minidump": [os.path.join(TOOLS, "symbolize_minidump.py"), missing, missing],
            "dummy_certificate": [os.path.join(TOOLS, "dummy_certificate.py"), "/nonexistent/dir/dummy.pem"],
            "config_resources": [os.path.join(TOOLS, "config_resources.py"), "copy-json", missing, "/tmp/x"],
            "sign_module": [os.path.join(trust, "sign_module.py"), "--in", missing, "--out", "/tmp/x",
                            "--sign", missing, missing, "sha256"],
            "make_trusted_list": [os.path.join(trust, "make_trusted_list.py"), "--entry", missing, missing,
                                  "--private-key", missing, "--key-index", "0", "--json-out", "/tmp/x",
                                  "--signature-out", "/tmp/y"],
        }
        for name, command in commands.items():
            with self.subTest(tool=name):
                result = subprocess.run([sys.executable] + command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertIn("/nonexistent/", result.stderr)
                self.assertTrue(result.stderr.startswith(name.split()[0] + ": "), result.stderr)


if __name__ == "__main__":
    unittest.main()
