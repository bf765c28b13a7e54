"""The stand-in server itself: endpoints, headers, ranges, faults, the log."""

import gzip
import hashlib
import http.client
import io
import json
import os
import socket
import ssl
import tempfile
import unittest
import urllib.parse
import zipfile

from e2e_support import StandinServerTestCase
from standin_client import (StandinServer, blob_bytes, decode_stat_request, decode_stat_vars, PLAIN_HTTP_PORT,
                            WRONG_NAME_PORT)


class StandinServerTest(StandinServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.context = ssl.create_default_context(cafile=cls.server.ca_pem)

    def setUp(self):
        self.server.reset()
        self.mark = self.server.mark()

    def request(self, host_kind, path, method="GET", headers=None, body=None):
        """(status, headers, body); body None when the connection broke."""
        connection = http.client.HTTPSConnection("localhost", self.server.ports[host_kind], context=self.context,
                                                 timeout=20)
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            try:
                data = response.read()
            except (http.client.IncompleteRead, ConnectionError, ssl.SSLError):
                data = None
            return response.status, {k.lower(): v for k, v in response.getheaders()}, data
        finally:
            connection.close()

    def test_every_host_kind_answers_over_tls_for_localhost(self):
        for kind in self.server.ports:
            status, _, _ = self.request(kind, "/__control/health")
            self.assertEqual(200, status, kind)

    def test_setup_archive_at_the_default_paths_with_ranges(self):
        with tempfile.NamedTemporaryFile(delete=False) as f:
            content = os.urandom(300000)
            f.write(content)
        try:
            self.server.configure(archive=f.name)
            for path in ("/browser/tarvik/browser-setup.arc", "/browser/win7/tarvik/browser-setup.arc",
                         "/browser-partners/_xp_builds/browser-setup.arc"):
                status, headers, body = self.request("download_cdn", path + "?from_installer=true")
                self.assertEqual(200, status, path)
                self.assertEqual(str(len(content)), headers["content-length"])
                self.assertEqual(content, body)
            status, headers, body = self.request("download_cdn", "/browser/tarvik/browser-setup.arc",
                                                 headers={"Range": "bytes=100000-"})
            self.assertEqual(206, status)
            self.assertEqual("bytes 100000-299999/300000", headers["content-range"])
            self.assertEqual(content[100000:], body)
            status, _, body = self.request("download_cdn", "/browser/tarvik/browser-setup.arc",
                                           headers={"Range": "bytes=10-19"})
            self.assertEqual((206, content[10:20]), (status, body))
            status, headers, _ = self.request("download_cdn", "/browser/tarvik/browser-setup.arc",
                                              headers={"Range": "bytes=400000-"})
            self.assertEqual(416, status)
            self.assertEqual("bytes */300000", headers["content-range"])
        finally:
            os.remove(f.name)

    def test_seed_and_ab_config_carry_their_headers(self):
        for kind, path in (("browser_api_international", "/content/get/experiments/browser.proto"),
                           ("browser_api_national", "/ab/get")):
            status, headers, body = self.request(kind, path + "?brand=tarvik")
            self.assertEqual(200, status)
            self.assertTrue(body)
            self.assertTrue(headers["x-seed-signature"])
            self.assertTrue(headers["last-modified"].endswith("GMT"))
            self.assertEqual("ru", headers["x-country"])
        self.server.set_fault("/ab/get", {"omit_header": "X-Seed-Signature"}, times=1)
        _, headers, _ = self.request("browser_api_national", "/ab/get")
        self.assertNotIn("x-seed-signature", headers)
        _, headers, _ = self.request("browser_api_national", "/ab/get")
        self.assertIn("x-seed-signature", headers)

    def test_bundles_slides_and_reports(self):
        status, _, body = self.request("browser_api_international", "/configs/all_zip?brandID=tarvik&partnerID=p1")
        self.assertEqual(200, status)
        self.assertIn(b"brandID=tarvik", zipfile.ZipFile(io.BytesIO(body)).read("config.json"))
        status, _, body = self.request("download_cdn", "/wallpapers/bundle.zip")
        self.assertEqual(200, status)
        zipfile.ZipFile(io.BytesIO(body))

        status, headers, body = self.request("download_cdn", "/browser/installer/new-identity/ru/x2/02.png")
        self.assertEqual((200, "image/png"), (status, headers["content-type"]))
        self.assertTrue(body.startswith(b"\x89PNG\r\n\x1a\n"))
        status, _, body = self.request("download_cdn", "/browser/installer/dark/en/x2/04.jpg")
        self.assertEqual(200, status)
        self.assertTrue(body.startswith(b"\xff\xd8") or body.startswith(b"\x89PNG"))
        self.assertEqual(404, self.request("download_cdn", "/browser/installer/ru/x2/05.png")[0])
        self.server.configure(slides=9)
        self.assertEqual(200, self.request("download_cdn", "/browser/installer/ru/x2/10.png")[0])

        self.assertEqual(200, self.request("statistics_storage", "/get/browser/install?ui=A-B&result=success&time=3")[0])
        logged = self.server.read_requests(since=self.mark, path_prefix="/get/browser/install")
        self.assertEqual(1, len(logged))
        self.assertEqual("statistics_storage", logged[0]["host_kind"])
        self.assertEqual({"ui": ["A-B"], "result": ["success"], "time": ["3"]},
                         urllib.parse.parse_qs(logged[0]["query"]))

    def test_statistics_vars_decode_back_to_pairs(self):
        path = ("/installstats/send/dtype=stred/pid=457/cid=72992/path=extended_stat/vars="
                "-action=download,-brand_id=tarvik,-error=attempt_1_final_query_info_404_0,"
                "-url=https%3A%2F%2Flocalhost%3A47441%2Fa%3Ffrom_installer_true,-old_ver=/*")
        status, _, _ = self.request("browser_api_international", path, headers={"User-Agent": "Tarvik.Browser installer"})
        self.assertEqual(200, status)
        logged = self.server.read_requests(since=self.mark, path_prefix="/installstats/send/")
        self.assertEqual(1, len(logged))
        self.assertEqual("Tarvik.Browser installer", logged[0]["header_map"]["user-agent"])
        self.assertEqual({"action": "download", "brand_id": "tarvik", "error": "attempt_1_final_query_info_404_0",
                          "url": "https://localhost:47441/a?from_installer_true", "old_ver": ""},
                         decode_stat_vars(logged[0]["path"]))
        with self.assertRaises(ValueError):
            decode_stat_vars("/vars=-a=1,-a=2/*")
        self.assertEqual({}, decode_stat_vars("/installstats/send/dtype=stred/*"))
        self.assertEqual({"cid": 72992, "path": "extended_stat", "vars": decode_stat_vars(path)},
                         decode_stat_request(path))
        [decoded] = self.server.read_stat_requests(since=self.mark)
        self.assertEqual((72992, "tarvik"), (decoded["cid"], decoded["vars"]["brand_id"]))
        with self.assertRaises(ValueError):
            decode_stat_request("/installstats/send/dtype=stred/pid=457/cid=1/path=x/vars=-a=1")  # no "/*"

    def test_stall_reads_the_request_and_closes_without_an_answer(self):
        with self.assertRaises(http.client.RemoteDisconnected):
            self.request("browser_api_international", "/__fault/stall=300/installstats/send/x/*")
        self.assertEqual(1, len(self.server.read_requests(since=self.mark, path_prefix="/installstats/send/x")))

    def test_chunked_crash_upload_is_dechunked_and_logged(self):
        body = gzip.compress(b"--boundary\r\n" + os.urandom(70000))
        chunks = b""
        for start in range(0, len(body), 32768):
            piece = body[start:start + 32768]
            chunks += b"%08x" % len(piece) + b"\r\n" + piece + b"\r\n"
        chunks += b"0000\r\n\r\n"
        status, _, _ = self.request("crash_collector", "/submit?product=Tarvik&version=1.0.0.1&guid=x", method="POST",
                                    headers={"Transfer-Encoding": "chunked", "Content-Encoding": "gzip",
                                             "Content-Type": "multipart/form-data; boundary=boundary"},
                                    body=chunks)
        logged = self.server.read_requests(since=self.mark, path_prefix="/submit")
        self.assertEqual(1, len(logged))
        self.assertEqual(len(body), logged[0]["body_size"])
        self.assertEqual(hashlib.sha256(body).hexdigest(), logged[0]["body_sha256"])
        if "crash_status" in logged[0]:
            self.assertEqual(logged[0]["crash_status"], status)
        else:
            self.assertEqual(200, status)

    def test_crash_upload_in_wines_shape_is_answered_before_its_body(self):
        # Chunked with "Content-Length: 0" beside it: the client waits for the
        # answer before it writes the body.
        multipart = (b"--B\r\nContent-Disposition: form-data; name=\"prod\"\r\n\r\nTarvik\r\n"
                     b"--B\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; filename=\"u.dmp\"\r\n"
                     b"Content-Type: application/octet-stream\r\n\r\nMDMP\r\n--B--\r\n")
        body = gzip.compress(multipart)
        raw = socket.create_connection(("localhost", self.server.ports["crash_collector"]), timeout=20)
        with self.context.wrap_socket(raw, server_hostname="localhost") as connection:
            connection.sendall(b"POST /submit?product=Tarvik HTTP/1.1\r\nHost: localhost\r\n"
                               b"Content-Type: multipart/form-data; boundary=B\r\nContent-Encoding: gzip\r\n"
                               b"Transfer-Encoding: chunked\r\nContent-Length: 0\r\n\r\n")
            answer = b""
            while b"\r\n\r\n" not in answer:
                data = connection.recv(4096)
                self.assertTrue(data, "closed without an answer")
                answer += data
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer)
            connection.sendall(b"%x\r\n" % 10 + body[:10] + b"\r\n" + b"%x\r\n" % (len(body) - 10) + body[10:] +
                               b"\r\n0\r\n\r\n")
            logged = self.server.wait_for_requests(1, since=self.mark, path_prefix="/submit")
        self.assertEqual(1, len(logged))
        entry = logged[0]
        self.assertTrue(entry["answered_before_body"])
        self.assertEqual(["a", "%x" % (len(body) - 10), "0"], entry["chunk_sizes"])
        self.assertEqual(hashlib.sha256(body).hexdigest(), entry["body_sha256"])
        self.assertEqual(200, entry["crash_status"], entry["crash_record"].get("error"))
        self.assertEqual({"prod": "Tarvik"}, entry["crash_record"]["fields"])
        self.assertEqual({"product": "Tarvik"}, entry["crash_record"]["query"])

    def test_faults_by_control_api_count_down_and_reset(self):
        self.server.set_fault("/browser/", {"status": 500}, host_kind="download_cdn", times=2)
        path = "/browser/tarvik/browser-setup.arc"
        self.assertEqual(500, self.request("download_cdn", path)[0])
        self.assertEqual(404, self.request("download_cdn", "/__fault/status=404" + path)[0])  # URL fault wins
        self.assertEqual(500, self.request("download_cdn", path)[0])
        self.assertEqual(200, self.request("download_cdn", path)[0])
        self.server.set_fault("/browser/", "status=404")
        self.assertEqual(404, self.request("browser_api_national", path)[0])  # any host kind
        self.assertEqual(404, self.request("download_cdn", path)[0])
        self.server.reset()
        self.assertEqual(200, self.request("download_cdn", path)[0])
        logged = self.server.read_requests(since=self.mark, path_prefix=path)
        self.assertEqual([{"status": 500}, {"status": 404}, {"status": 500}, {}, {"status": 404}, {"status": 404}, {}],
                         [entry["fault"] for entry in logged])

    def test_broken_deliveries(self):
        status, headers, body = self.request("download_cdn", "/__fault/cut=1000/__blob/5000")
        self.assertEqual((200, "5000"), (status, headers["content-length"]))
        self.assertIsNone(body)  # ended early
        status, _, body = self.request("download_cdn", "/__fault/no_length=1/__blob/5000")
        self.assertEqual(blob_bytes(0, 5000), body)
        with self.assertRaises((ConnectionError, http.client.RemoteDisconnected, ssl.SSLError)):
            self.request("download_cdn", "/__fault/drop=-1/__blob/10")
        # A reset may overtake the bytes before it: either way no whole body.
        try:
            body = self.request("download_cdn", "/__fault/drop=100/__blob/5000")[2]
        except (ConnectionError, ssl.SSLError):
            body = None
        self.assertIsNone(body)

    def test_redirects_to_another_host_and_the_plain_port(self):
        status, headers, _ = self.request("download_cdn", "/__fault/redirect=plain/__blob/10?x=1")
        self.assertEqual(302, status)
        self.assertEqual("http://127.0.0.1:%d/__blob/10?x=1" % PLAIN_HTTP_PORT, headers["location"])
        connection = http.client.HTTPConnection("127.0.0.1", PLAIN_HTTP_PORT, timeout=10)
        connection.request("GET", "/__blob/10?x=1")
        self.assertEqual(blob_bytes(0, 10), connection.getresponse().read())
        connection.close()
        status, headers, _ = self.request("download_cdn",
                                          "/__fault/redirect=browser_api_national,redirect_status=301/__blob/3")
        self.assertEqual((301, "https://localhost:%d/__blob/3" % self.server.ports["browser_api_national"]),
                         (status, headers["location"]))
        logged = self.server.read_requests(since=self.mark, host_kind="plain_http")
        self.assertEqual(["/__blob/10"], [entry["path"] for entry in logged])

    def test_wrong_name_port_serves_a_certificate_that_names_another_host(self):
        status, headers, _ = self.request("download_cdn", "/__fault/redirect=wrong_name/__blob/5")
        self.assertEqual((302, "https://localhost:%d/__blob/5" % WRONG_NAME_PORT), (status, headers["location"]))
        with self.assertRaises(ssl.SSLCertVerificationError) as refused:
            http.client.HTTPSConnection("localhost", WRONG_NAME_PORT, context=self.context,
                                        timeout=10).request("GET", "/__blob/5")
        self.assertIn("Hostname mismatch", str(refused.exception))
        # Only the name is wrong: the chain is the trusted CA's.
        with socket.create_connection(("127.0.0.1", WRONG_NAME_PORT), timeout=10) as raw:
            with self.context.wrap_socket(raw, server_hostname="wrong.invalid") as tls:
                tls.sendall(b"GET /__blob/5 HTTP/1.1\r\nHost: wrong.invalid\r\nConnection: close\r\n\r\n")
                reply = b""
                while chunk := tls.recv(4096):
                    reply += chunk
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"), reply[:40])
        self.assertTrue(reply.endswith(blob_bytes(0, 5)))
        logged = self.server.read_requests(since=self.mark, host_kind="wrong_name")
        self.assertEqual(["/__blob/5"], [entry["path"] for entry in logged])

    def test_bad_fault_text_is_refused(self):
        self.assertEqual(400, self.request("download_cdn", "/__fault/explode=1/__blob/1")[0])



class RequestLogReaderTest(unittest.TestCase):
    """The server appends while tests read: a record being written is not read yet."""

    def test_a_half_written_record_is_left_for_later(self):
        with tempfile.TemporaryDirectory() as state_dir:
            reader = StandinServer(state_dir=state_dir)
            whole = json.dumps({"host_kind": "download_cdn", "path": "/a", "method": "GET", "headers": []})
            half = json.dumps({"host_kind": "download_cdn", "path": "/b", "method": "GET", "headers": []})[:20]
            with open(reader.log_path, "w") as f:
                f.write(whole + "\n" + half)
            self.assertEqual([r["path"] for r in reader.read_requests()], ["/a"])
            self.assertEqual(reader.mark(), len(whole) + 1)


if __name__ == "__main__":
    unittest.main()
