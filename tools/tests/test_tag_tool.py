import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

import tag_test_support as support
import tag_tool

TOOL = os.path.join(support.SOURCE_DIR, "tools", "tag_tool.py")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class TagToolTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tagtool")
        cls.cert, cls.key = support.make_signing_certificate(cls.work)
        cls.dummy = support.write_dummy_certificate(cls.work)
        cls.pe32_plus = os.path.join(cls.work, "plus.exe")
        support.sign(support.pe32_plus_executable(), cls.pe32_plus, cls.cert, cls.key, cls.dummy)
        source32 = support.pe32_executable(cls.work)
        cls.pe32 = None
        if source32:
            cls.pe32 = os.path.join(cls.work, "pe32.exe")
            support.sign(source32, cls.pe32, cls.cert, cls.key, cls.dummy)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def assert_signature_valid(self, path):
        ok, output = support.verify(path, self.cert)
        self.assertTrue(ok, output)

    def assert_checksum_current(self, path):
        # osslsigncode computes the checksum on its own and names a mismatch.
        output = subprocess.run(["osslsigncode", "verify", "-in", path], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True).stdout
        computed = re.search(r"^(?:Calculated )?PE checksum\s*:\s*([0-9A-F]{8})$", output, re.M)
        self.assertIsNotNone(computed, output)
        self.assertNotIn("invalid PE checksum", output)
        data = read(path)
        pe = tag_tool.PeFile(data)
        self.assertEqual(struct.unpack_from("<I", data, pe.checksum_offset)[0], int(computed.group(1), 16))

    def stamp(self, kind, tag, source, output):
        return subprocess.run([sys.executable, TOOL, "stamp", "--kind", kind, "--tag", tag, source, output],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_certificate_tag_keeps_the_signature_valid(self):
        original = read(self.pe32_plus)
        self.assertEqual(tag_tool.read_certificate_tag(original), b"")
        result = self.stamp("certificate", "partner_id=42&lang=uk", self.pe32_plus, self.path("c1.exe"))
        self.assertEqual(result.returncode, 0, result.stderr)
        stamped = read(self.path("c1.exe"))
        self.assertEqual(len(stamped), len(original))
        self.assertEqual(tag_tool.read_certificate_tag(stamped), b"partner_id=42&lang=uk")
        self.assert_checksum_current(self.path("c1.exe"))
        self.assert_signature_valid(self.path("c1.exe"))
        read_back = subprocess.run([sys.executable, TOOL, "read", self.path("c1.exe")], stdout=subprocess.PIPE)
        self.assertEqual(read_back.stdout, b"partner_id=42&lang=uk\n")

        # Stamping again replaces the tag without leaving the old text behind.
        self.assertEqual(self.stamp("certificate", "a=1", self.path("c1.exe"), self.path("c2.exe")).returncode, 0)
        again = read(self.path("c2.exe"))
        self.assertEqual(tag_tool.read_certificate_tag(again), b"a=1")
        offset, size = tag_tool.dummy_slots(again)[0]
        self.assertEqual(again[offset + 5:offset + size], b"\0" * (size - 5))

    def test_stamp_in_place_and_bad_tags(self):
        target = self.path("inplace.exe")
        shutil.copyfile(self.pe32_plus, target)
        original = read(target)
        # Untagged: both kinds say so alike, in one line.
        for kind in ("certificate", "trailer"):
            result = subprocess.run([sys.executable, TOOL, "read", "--kind", kind, target],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.assertEqual((result.returncode, result.stdout), (1, b""))
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)

        # The installer widens each byte: anything but ASCII is refused.
        result = self.stamp("certificate", "lang=\u0443\u043a", target, target)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"ASCII", result.stderr)
        self.assertEqual(read(target), original)

        # A stamp interrupted while writing leaves the signed original whole.
        with mock.patch.object(tag_tool.os, "fsync", side_effect=KeyboardInterrupt):
            with self.assertRaises(KeyboardInterrupt):
                tag_tool.write_replacing(target, tag_tool.stamp_certificate(original, b"a=1"))
        self.assertEqual(read(target), original)
        self.assertEqual(sorted(os.listdir(self.work)).count("inplace.exe"), 1)
        self.assertFalse([name for name in os.listdir(self.work) if name.startswith(".tag_tool-")])

        self.assertEqual(self.stamp("certificate", "a=1", target, target).returncode, 0)
        self.assertEqual(tag_tool.read_certificate_tag(read(target)), b"a=1")
        self.assert_signature_valid(target)

    def test_certificate_tag_must_fit_the_slot(self):
        data = read(self.pe32_plus)
        self.assertEqual(tag_tool.read_certificate_tag(tag_tool.stamp_certificate(data, b"q" * 10240)), b"q" * 10240)
        with self.assertRaises(tag_tool.TagError):
            tag_tool.stamp_certificate(data, b"q" * 10241)
        result = self.stamp("certificate", "q" * 10241, self.pe32_plus, self.path("long.exe"))
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"does not fit", result.stderr)
        self.assertFalse(os.path.exists(self.path("long.exe")))

    def test_files_without_a_place_for_the_tag_are_refused(self):
        support.sign(support.pe32_plus_executable(), self.path("plain.exe"), self.cert, self.key)
        with self.assertRaisesRegex(tag_tool.TagError, "no dummy certificate"):
            tag_tool.stamp_certificate(read(self.path("plain.exe")), b"a=1")
        with self.assertRaisesRegex(tag_tool.TagError, "no certificate table"):
            tag_tool.stamp_certificate(read(support.pe32_plus_executable()), b"a=1")
        with self.assertRaisesRegex(tag_tool.TagError, "not a PE file"):
            tag_tool.stamp_certificate(b"MZ" + b"\0" * 10, b"a=1")
        with self.assertRaisesRegex(tag_tool.TagError, "PE32 files only"):
            tag_tool.stamp_trailer(read(self.pe32_plus), b"a=1")

    def test_truncated_certificate_table_is_refused(self):
        data = bytearray(read(self.pe32_plus))
        pe = tag_tool.PeFile(data)
        # Make the certificates set end one byte early.
        start, end = tag_tool._certificates(data, pe)
        header = start - 4  # certificates [0] with a two-byte length
        self.assertEqual(data[header] & 0xFF, 0xA0)
        struct.pack_into(">H", data, header + 2, end - start - 1)
        with self.assertRaisesRegex(tag_tool.TagError, "ends inside a certificate"):
            tag_tool.read_certificate_tag(bytes(data))

    def test_trailer_tag_keeps_the_signature_valid(self):
        if not self.pe32:
            self.skipTest("no PE32 executable and no i686 compiler")
        original = read(self.pe32)
        self.assertIsNone(tag_tool.read_trailer_tag(original))
        result = self.stamp("trailer", "banerid=7&stat=1", self.pe32, self.path("t1.exe"))
        self.assertEqual(result.returncode, 0, result.stderr)
        stamped = read(self.path("t1.exe"))
        self.assertEqual(tag_tool.read_trailer_tag(stamped), b"banerid=7&stat=1")
        self.assertEqual(len(stamped) % 8, 0)
        pe = tag_tool.PeFile(stamped)
        self.assertEqual(pe.table + pe.table_size, len(stamped))
        self.assertEqual(struct.unpack_from("<I", stamped, pe.table)[0], pe.table_size)
        self.assert_checksum_current(self.path("t1.exe"))
        self.assert_signature_valid(self.path("t1.exe"))
        # The dummy slot is untouched.
        self.assertEqual(tag_tool.read_certificate_tag(stamped), b"")

        self.assertEqual(self.stamp("trailer", "x=1", self.path("t1.exe"), self.path("t2.exe")).returncode, 0)
        again = read(self.path("t2.exe"))
        self.assertEqual(tag_tool.read_trailer_tag(again), b"x=1")
        self.assertLess(len(again), len(stamped))
        self.assert_signature_valid(self.path("t2.exe"))

    def test_trailer_limits(self):
        if not self.pe32:
            self.skipTest("no PE32 executable and no i686 compiler")
        data = read(self.pe32)
        self.assertEqual(tag_tool.read_trailer_tag(tag_tool.stamp_trailer(data, b"z" * 65535)), b"z" * 65535)
        with self.assertRaisesRegex(tag_tool.TagError, "does not fit"):
            tag_tool.stamp_trailer(data, b"z" * 65536)
        # A declared length that reaches past the end of the file is no tag.
        stamped = bytearray(tag_tool.stamp_trailer(data, b"abc"))
        block = stamped.rindex(tag_tool.TRAILER_MAGIC)
        struct.pack_into(">H", stamped, block + 4, len(stamped) - block - 6 + 1)
        self.assertIsNone(tag_tool.read_trailer_tag(bytes(stamped)))
        # Data after the certificate table is refused.
        with self.assertRaisesRegex(tag_tool.TagError, "not at the end"):
            tag_tool.stamp_trailer(data + b"\0" * 8, b"a=1")


if __name__ == "__main__":
    unittest.main()
