"""The crash collector's request handling, and a real crash upload taken
apart by it: a test_helper process under wine64 crashes with the crash
client installed and sends its report over WinHTTP to a one-request
listener here, which hands the body to the collector."""

import gzip
import json
import os
import pathlib
import socket
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))

import crash_collector  # noqa: E402
from e2e_support import crash_helper, installer_version, make_crash_folders, wine_environment  # noqa: E402


def mime(text):
    return text.replace("%", "%25").replace('"', "%22").replace("\n", "%0a").replace("\r", "%0d")


def build_body(boundary, fields, files):
    """A body the way the installer builds it."""
    body = b""
    for name, value in sorted(fields.items()):
        body += b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n" % (
            boundary.encode(), mime(name).encode(), value.encode())
    for name, (file_name, data) in sorted(files.items()):
        body += (b"--%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\n"
                 b"Content-Type: application/octet-stream\r\n\r\n" % (
                     boundary.encode(), mime(name).encode(), mime(file_name).encode()))
        body += data + b"\r\n"
    return body + b"--%s--\r\n" % boundary.encode()


BOUNDARY = "---MultipartBoundary-0123456789abcdefABCDEF0123456789---"
HEADERS = {"Content-Type": "multipart/form-data; boundary=" + BOUNDARY, "Content-Encoding": "gzip"}


class HandleSubmitTest(unittest.TestCase):
    def test_fields_and_dump_of_a_gzip_upload(self):
        fields = {"prod": "Tarvik", "brand_name": "\u00c9tude", 'a"b\r\n%': "odd name"}
        dump = bytes(range(256)) * 300 + b"\r\n--" + BOUNDARY.encode()[:10]
        body = gzip.compress(build_body(BOUNDARY, fields, {"upload_file_minidump": ("U.dmp", dump)}))
        status, record = crash_collector.handle_submit(HEADERS, body, "product=Tarvik&version=1.0%20b")
        self.assertEqual(status, 200, record.get("error"))
        self.assertEqual(record["fields"], fields)
        self.assertEqual(crash_collector.dump_bytes(record), dump)
        self.assertEqual(record["dump"]["size"], len(dump))
        self.assertEqual(record["dump"]["filename"], "U.dmp")
        self.assertEqual(record["dump"]["content_type"], "application/octet-stream")
        self.assertEqual(record["query"], {"product": "Tarvik", "version": "1.0 b"})
        # Not a minidump: the record says so and is still accepted.
        self.assertIsNone(record["dump_annotations"])
        self.assertIn("not a minidump", record["dump_annotations_error"])
        # The server keeps records in a JSON log.
        self.assertEqual(json.loads(json.dumps(record)), record)

    def test_uncompressed_body_and_header_case(self):
        body = build_body("B", {"k": "v"}, {"upload_file_minidump": (".dmp", b"MDMP")})
        status, record = crash_collector.handle_submit({"content-type": "multipart/form-data; boundary=B"}, body)
        self.assertEqual(status, 200, record.get("error"))
        self.assertEqual(record["fields"], {"k": "v"})
        self.assertEqual(crash_collector.dump_bytes(record), b"MDMP")

    def test_bad_requests_are_refused(self):
        good = build_body(BOUNDARY, {"k": "v"}, {"upload_file_minidump": (".dmp", b"MDMP")})
        cases = {
            "not gzip": (HEADERS, good),
            "cut gzip": (HEADERS, gzip.compress(good)[:-12]),
            "no boundary": ({"Content-Type": "multipart/form-data", "Content-Encoding": "gzip"}, gzip.compress(good)),
            "other boundary": ({"Content-Type": "multipart/form-data; boundary=X"}, good),
            "no final boundary": ({"Content-Type": HEADERS["Content-Type"]}, good[:-4]),
            "no dump": ({"Content-Type": HEADERS["Content-Type"]}, build_body(BOUNDARY, {"k": "v"}, {})),
            "unknown encoding": ({"Content-Type": HEADERS["Content-Type"], "Content-Encoding": "br"}, good),
        }
        for name, (headers, body) in cases.items():
            with self.subTest(name):
                status, record = crash_collector.handle_submit(headers, body)
                self.assertEqual(status, 400)
                self.assertTrue(record["error"])
                json.dumps(record)

    def test_minidump_annotations_through_absolute_positions(self):
        import struct
        strings = b""
        entries = b""
        area = 32 + 12 + 52 + 4 + 8 * 2
        for text in (b"k", b"v\xc3\xa9", b"z", b""):
            entries += struct.pack("<I", area + len(strings))
            strings += struct.pack("<I", len(text)) + text + b"\0"
        stream = (struct.pack("<I", 1) + bytes(32) + struct.pack("<IIII", 4 + len(entries) + len(strings), 32 + 12 + 52,
                                                                  0, 0) + struct.pack("<I", 2) + entries + strings)
        dump = b"MDMP" + struct.pack("<III", 0xa793, 1, 32) + bytes(16)
        dump += struct.pack("<III", crash_collector.CRASH_INFO_STREAM_TYPE, len(stream), 44) + stream
        self.assertEqual(crash_collector.read_crash_annotations(dump), {"k": "v\u00e9", "z": ""})
        broken = bytearray(dump)
        broken[area + 4 + 1] = 0x41  # the zero byte after "k"
        with self.assertRaises(ValueError):
            crash_collector.read_crash_annotations(bytes(broken))
        with self.assertRaises(ValueError):
            crash_collector.read_crash_annotations(dump[:area])

    def test_early_response_only_for_the_wine_request_shape(self):
        self.assertTrue(crash_collector.early_response_needed(
            {"Transfer-Encoding": "chunked", "Content-Length": "0"}))
        self.assertFalse(crash_collector.early_response_needed({"Transfer-Encoding": "chunked"}))
        self.assertFalse(crash_collector.early_response_needed({"Content-Length": "10"}))


class OneRequestListener:
    """Accepts one HTTP request on localhost, answers it with `status` and
    records the raw request bytes. Answers before reading the body when the
    client needs that (Wine), else after."""

    def __init__(self, status):
        self.status = status
        self.raw = b""
        self.headers = {}
        self.error = None
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.server.settimeout(120)
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _receive_until(self, connection, predicate):
        while not predicate(self.raw):
            data = connection.recv(65536)
            if not data:
                raise EOFError("connection closed")
            self.raw += data

    def _serve(self):
        try:
            connection, _ = self.server.accept()
            with connection:
                connection.settimeout(60)
                self._receive_until(connection, lambda raw: b"\r\n\r\n" in raw)
                head = self.raw.split(b"\r\n\r\n", 1)[0].decode()
                for line in head.split("\r\n")[1:]:
                    name, _, value = line.partition(": ")
                    self.headers[name] = value
                answer = b"HTTP/1.1 %d Status\r\nContent-Length: 0\r\n\r\n" % self.status
                early = crash_collector.early_response_needed(self.headers)
                if early:
                    connection.sendall(answer)
                self._receive_until(connection, lambda raw: raw.endswith(b"\r\n0000\r\n\r\n"))
                if not early:
                    connection.sendall(answer)
        except Exception as error:  # reported by the test
            self.error = error
        finally:
            self.server.close()

    def chunks(self):
        """(size lines, payload) of the recorded chunked body."""
        body = self.raw.split(b"\r\n\r\n", 1)[1]
        lines, payload = [], b""
        while True:
            line, body = body.split(b"\r\n", 1)
            size = int(line, 16)
            lines.append(line.decode())
            if size == 0:
                if body != b"\r\n":
                    raise ValueError("bytes after the terminator")
                return lines, payload
            if body[size:size + 2] != b"\r\n":
                raise ValueError("chunk of %d bytes not followed by a line end" % size)
            payload += body[:size]
            body = body[size + 2:]


@unittest.skipUnless(os.environ.get("TARVIK_BUILD_DIR"), "needs the Windows build (TARVIK_BUILD_DIR)")
class CrashUploadTest(unittest.TestCase):
    USER_ID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"
    ANNOTATIONS = {"brand": "ua_uk", "partner": "tarvik-test", "brand_id": "tarvik",
                   "brand_name": "Tarvik Browser", "default_language": "ru"}

    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.appdata, self.temp = make_crash_folders(directory.name, self.USER_ID)

    def crash(self, port):
        crash_helper(wine_environment(), self.appdata, self.temp, "ostrel-crash-upload-test", self.ANNOTATIONS,
                     upload_url="http://localhost:%d/submit" % port)

    def test_accepted_upload_is_the_whole_report_and_the_dump_is_deleted(self):
        listener = OneRequestListener(200)
        self.crash(listener.port)
        listener.thread.join(60)
        self.assertIsNone(listener.error)

        request_line = listener.raw.split(b"\r\n", 1)[0].decode()
        self.assertEqual(request_line, "POST /submit?product=Tarvik&version=%s HTTP/1.1" % installer_version())
        headers = listener.headers
        self.assertRegex(headers["User-Agent"], r"^Crashpad/0\.8\.0 WinHTTP/\d+\.\d+\.\d+\.\d+"
                                                r"( Windows_NT/\d+\.\d+\.\d+\.\d+ \(x86(; WoW64)?\))?$")
        self.assertEqual(headers["Content-Encoding"], "gzip")
        self.assertEqual(headers["Transfer-Encoding"], "chunked")
        self.assertRegex(headers["Content-Type"],
                         r"^multipart/form-data; boundary=---MultipartBoundary-[0-9A-Za-z]{32}---$")

        size_lines, payload = listener.chunks()
        self.assertEqual(size_lines[-1], "0000")
        self.assertTrue(all(line == "8000" for line in size_lines[:-2]), size_lines)
        self.assertRegex(size_lines[-2], r"^[0-9a-f]{4}$")

        status, record = crash_collector.handle_submit(headers, payload, request_line.split("?", 1)[1].split(" ")[0])
        self.assertEqual(status, 200, record.get("error"))
        expected = dict(self.ANNOTATIONS, ptype="installer", uid=self.USER_ID[1:-1], ver=installer_version(),
                        plat="Win32", prod="Tarvik", gzip_enabled="true")
        report_id = record["fields"].pop("report_id")
        self.assertEqual(record["fields"], expected)
        self.assertEqual(record["dump"]["filename"], self.USER_ID[1:-1] + ".dmp")
        self.assertEqual(record["dump_annotations"], dict(expected, report_id=report_id))
        self.assertEqual(list(self.temp.iterdir()), [])

    def test_refused_upload_keeps_the_dump(self):
        listener = OneRequestListener(204)
        self.crash(listener.port)
        listener.thread.join(60)
        self.assertIsNone(listener.error)
        dumps = list(self.temp.glob("*.dmp"))
        self.assertEqual(len(dumps), 1)
        annotations = crash_collector.read_crash_annotations(dumps[0].read_bytes())
        self.assertEqual(annotations["report_id"] + ".dmp", dumps[0].name)


if __name__ == "__main__":
    unittest.main()
