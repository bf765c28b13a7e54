"""A real crash report reaching the running stand-in's crash collector: a
test_helper process under wine64 installs the crash client the way the
installer's start-up does, crashes, and uploads over WinHTTP (HTTPS) to the
collector's default address; the stand-in records what the collector made of
the request."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

from e2e_support import (PRODUCT_HELPER, SOURCE_DIR, StandinServerTestCase, crash_helper, installer_version,
                         make_crash_folders, wine_environment)
from crash_collector import dump_bytes  # noqa: E402  (e2e_support puts standins/ on the path)


@unittest.skipUnless(os.environ.get("TARVIK_BUILD_DIR"), "needs the Windows build (TARVIK_BUILD_DIR)")
class StandinCrashUploadTest(StandinServerTestCase):
    USER_ID = "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}"
    ANNOTATIONS = {"brand": "ua_uk", "partner": "tarvik-test", "brand_id": "tarvik",
                   "brand_name": "Tarvik Browser", "default_language": "ru"}

    def setUp(self):
        self.server.reset()
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.appdata, self.temp = make_crash_folders(directory.name, self.USER_ID)

    def crash(self):
        crash_helper(wine_environment(), self.appdata, self.temp, "ostrel-standin-crash-test", self.ANNOTATIONS)

    def test_upload_is_taken_apart_by_the_collector_and_the_dump_deleted(self):
        mark = self.server.mark()
        self.crash()

        requests = self.server.wait_for_requests(1, since=mark, path_prefix="/submit")
        self.assertEqual(len(requests), 1)
        request = requests[0]
        self.assertEqual((request["host_kind"], request["method"]), ("crash_collector", "POST"))
        self.assertEqual(request["query"], "product=Tarvik&version=" + installer_version())
        headers = request["header_map"]
        self.assertRegex(headers["user-agent"], r"^Crashpad/0\.8\.0 WinHTTP/\d+\.\d+\.\d+\.\d+"
                                                r"( Windows_NT/\d+\.\d+\.\d+\.\d+ \(x86(; WoW64)?\))?$")
        self.assertEqual(headers["content-encoding"], "gzip")
        self.assertEqual(headers["transfer-encoding"], "chunked")
        self.assertRegex(headers["content-type"],
                         r"^multipart/form-data; boundary=---MultipartBoundary-[0-9A-Za-z]{32}---$")
        # Full chunks of 0x8000 bytes, the rest, the terminator.
        sizes = request["chunk_sizes"]
        self.assertEqual(sizes[-1], "0000")
        self.assertTrue(all(size == "8000" for size in sizes[:-2]), sizes)
        self.assertRegex(sizes[-2], r"^[0-9a-f]{4}$")
        # Wine's client writes the body only after the answer.
        self.assertTrue(request["answered_before_body"])

        self.assertEqual(request["crash_status"], 200, request["crash_record"].get("error"))
        record = request["crash_record"]
        expected = dict(self.ANNOTATIONS, ptype="installer", uid=self.USER_ID[1:-1], ver=installer_version(),
                        plat="Win32", prod="Tarvik", gzip_enabled="true")
        report_id = record["fields"].pop("report_id")
        self.assertEqual(record["fields"], expected)
        self.assertEqual(record["dump"]["filename"], self.USER_ID[1:-1] + ".dmp")
        self.assertEqual(record["dump"]["content_type"], "application/octet-stream")
        self.assertEqual(record["dump_annotations"], dict(expected, report_id=report_id))
        # Accepted: the client deleted its dump.
        self.assertEqual(list(self.temp.iterdir()), [])

    def test_collected_dump_symbolises_with_the_symbols_file(self):
        # test_helper is stripped and split like the installer, so this is how
        # a field dump of the installer is read (README, "Crash dumps").
        mark = self.server.mark()
        self.crash()
        request = self.server.wait_for_requests(1, since=mark, path_prefix="/submit")[0]
        dump = self.temp.parent / "collected.dmp"
        dump.write_bytes(dump_bytes(request["crash_record"]))
        symbols = PRODUCT_HELPER.with_suffix(".debug")
        result = subprocess.run([sys.executable, str(SOURCE_DIR / "tools" / "symbolize_minidump.py"), str(dump),
                                 str(symbols)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        frames = result.stdout.splitlines()
        # The faulting instruction is in the crash command; the helper's
        # command dispatch and entry point are further out on the stack.
        self.assertRegex(frames[0], r"^#0 0x[0-9a-f]+ .*\bCrash\(.*\+0x[0-9a-f]+$")
        self.assertTrue(any(re.search(r"\bwmain\b|\bwWinMain\b|\bmain\b", frame) for frame in frames[1:]),
                        result.stdout)


if __name__ == "__main__":
    unittest.main()
