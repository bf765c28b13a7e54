"""A real crash report reaching the running stand-in's crash collector: a
test_helper process under wine64 installs the crash client the way the
installer's start-up does, crashes, and uploads over WinHTTP (HTTPS) to the
collector's default address; the stand-in records what the collector made of
the request."""

import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from standin_client import StandinServer  # noqa: E402

WINE64 = "/usr/lib/wine/wine64"
SOURCE_DIR = pathlib.Path(os.environ.get("TARVIK_SOURCE_DIR", HERE.parents[1]))


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def installer_version():
    return re.search(r'set\(TARVIK_INSTALLER_VERSION "([^"]+)"\)',
                     (SOURCE_DIR / "CMakeLists.txt").read_text()).group(1)


@unittest.skipUnless(os.environ.get("TARVIK_BUILD_DIR") and os.path.exists(WINE64),
                     "needs the Windows build (TARVIK_BUILD_DIR) and wine64")
class StandinCrashUploadTest(unittest.TestCase):
    USER_ID = "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}"
    ANNOTATIONS = {"brand": "ua_uk", "partner": "tarvik-test", "brand_id": "tarvik",
                   "brand_name": "Tarvik Browser", "default_language": "ru"}

    @classmethod
    def setUpClass(cls):
        cls.server = StandinServer()
        cls.started_server = cls.server.ensure_running()

    @classmethod
    def tearDownClass(cls):
        if cls.started_server:
            cls.server.stop()

    def setUp(self):
        self.server.reset()
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.root = pathlib.Path(directory.name)
        (self.root / "appdata" / "Tarvik").mkdir(parents=True)
        (self.root / "appdata" / "Tarvik" / "ui").write_bytes(self.USER_ID.encode())
        self.temp = self.root / "temp"
        self.temp.mkdir()

    def crash(self):
        helper = pathlib.Path(os.environ["TARVIK_BUILD_DIR"]) / "bin" / "test_helper.exe"
        environment = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d")
        command = [WINE64, str(helper), "crash", "null", "--appdata=" + windows_path(self.root / "appdata"),
                   "--user=ostrel-standin-crash-test", "--temp=" + windows_path(self.temp)]
        command += ["%s=%s" % item for item in self.ANNOTATIONS.items()]
        subprocess.run(command, env=environment, timeout=180, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_upload_is_taken_apart_by_the_collector_and_the_dump_deleted(self):
        mark = self.server.mark()
        self.crash()

        requests = self.server.read_requests(since=mark, path_prefix="/submit")
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


if __name__ == "__main__":
    unittest.main()
