#!/usr/bin/env python3
"""Local stand-in of the maker's web services, for tests and the run command.

One process serves every host kind of the "development" set of
config/maker_hosts.json on its own HTTPS port (localhost only), plus one plain
HTTP port used as the target of cross-host redirects. The test CA and the
server certificate are made with openssl in the state directory on first
start (test-only keys, never committed).

Every request is appended to <state dir>/requests.jsonl as one JSON object.
Faults are chosen per test, either by URL (a "/__fault/<spec>/" prefix, no
shared state) or through the control API ("/__control/..."). See README.md.
"""

import argparse
import base64
import datetime
import email.utils
import hashlib
import http.server
import importlib.util
import io
import json
import mmap
import os
import re
import select
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
DEFAULT_HOSTS_JSON = os.path.join(SOURCE_DIR, "config", "maker_hosts.json")
PLAIN_HTTP_PORT = 47440
WRONG_NAME_PORT = 47449  # HTTPS with a certificate for another name (wrong.invalid)
WRONG_NAME = "wrong.invalid"
BLOB_PERIOD = 251  # byte i of a blob is i % 251
SEND_PIECE = 1 << 20
BODY_TEXT_LIMIT = 64 * 1024
SEED_SIGNATURE = "c3RhbmQtaW4gc2VlZCBzaWduYXR1cmU="
LAST_MODIFIED = "Wed, 21 Oct 2015 07:28:00 GMT"
COUNTRY = "ru"


def read_host_ports(hosts_json):
    """{host kind: port} of the development set."""
    with open(hosts_json, encoding="utf-8") as f:
        hosts = json.load(f)["development"]
    ports = {}
    for kind, origin in hosts.items():
        match = re.search(r":(\d+)$", origin)
        if match:
            ports[kind] = int(match.group(1))
    return ports


# --- certificates -----------------------------------------------------------

def ensure_certificates(state_dir):
    """A test CA and a localhost server certificate, made once per state dir."""
    ca_key = os.path.join(state_dir, "ca.key")
    ca_pem = os.path.join(state_dir, "ca.pem")
    ca_der = os.path.join(state_dir, "ca.der")
    key = os.path.join(state_dir, "server.key")
    cert = os.path.join(state_dir, "server.pem")
    if all(os.path.exists(p) for p in (ca_pem, ca_der, key, cert)):
        return ca_pem, cert, key

    def run(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_pem,
        "-days", "3650", "-subj", "/CN=Tarvik stand-in test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("x509", "-in", ca_pem, "-outform", "DER", "-out", ca_der)
    csr = os.path.join(state_dir, "server.csr")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=localhost")
    ext = os.path.join(state_dir, "server.ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=DNS:localhost,DNS:*.browser.localhost,IP:127.0.0.1\n")
    run("x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
        "-out", cert, "-days", "825", "-sha256", "-extfile", ext)
    os.remove(csr)
    return ca_pem, cert, key


def ensure_wrong_name_certificate(state_dir):
    """A certificate of the same trusted CA for a name that is not localhost:
    a client that checks names refuses it, one that does not takes it."""
    ca_key = os.path.join(state_dir, "ca.key")
    ca_pem = os.path.join(state_dir, "ca.pem")
    key = os.path.join(state_dir, "wrong-name.key")
    cert = os.path.join(state_dir, "wrong-name.pem")
    if os.path.exists(key) and os.path.exists(cert):
        return cert, key

    def run(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    csr = os.path.join(state_dir, "wrong-name.csr")
    ext = os.path.join(state_dir, "wrong-name.ext")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=" + WRONG_NAME)
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=DNS:%s\n" % WRONG_NAME)
    run("x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
        "-out", cert, "-days", "825", "-sha256", "-extfile", ext)
    os.remove(csr)
    return cert, key


# --- generated content ------------------------------------------------------

_PATTERN = bytes(i % BLOB_PERIOD for i in range(BLOB_PERIOD * ((SEND_PIECE // BLOB_PERIOD) + 2)))


def blob_bytes(offset, length):
    """Bytes [offset, offset + length) of the deterministic blob."""
    out = bytearray()
    while length > 0:
        start = offset % BLOB_PERIOD
        take = min(length, len(_PATTERN) - start)
        out += _PATTERN[start:start + take]
        offset += take
        length -= take
    return bytes(out)


def make_png(width, height, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    row = b"\x00" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def make_jpeg(state_dir, width, height, color):
    """A JPEG made by ImageMagick when it is there; None otherwise."""
    path = os.path.join(state_dir, "slide-%dx%d-%s.jpg" % (width, height, color.strip("#")))
    if not os.path.exists(path):
        convert = shutil.which("convert")
        if not convert:
            return None
        subprocess.run([convert, "-size", "%dx%d" % (width, height), "xc:" + color, path],
                       check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def drawn_slide(slides_dir, number, extension, dark):
    """The slide drawn for this number and theme (tools/render_images.py), or None."""
    name = "%sslide_%02d%s_2x.%s" % ("dark_" if dark else "", number, "_jpeg" if extension == "jpg" else "",
                                    extension)
    try:
        with open(os.path.join(slides_dir, name), "rb") as f:
            return f.read()
    except OSError:
        return None


def make_zip(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries.items():
            archive.writestr(name, data)
    return buffer.getvalue()


def dechunk(reader, sizes=None):
    """Reads a chunked body from a file object; returns the bytes. The size
    line of every chunk, the terminator's included, is appended to `sizes`."""
    body = bytearray()
    while True:
        line = reader.readline(1024)
        if not line:
            raise ValueError("chunked body ended early")
        size_text = line.split(b";")[0].strip()
        if sizes is not None:
            sizes.append(size_text.decode("ascii", "replace"))
        size = int(size_text or b"0", 16)
        if size == 0:
            while True:  # trailers up to the empty line
                trailer = reader.readline(1024)
                if trailer in (b"\r\n", b"\n", b""):
                    return bytes(body)
        body += reader.read(size)
        reader.readline(1024)


# --- faults -----------------------------------------------------------------

FAULT_KEYS = {
    "status": int,          # answer with this status
    "cut": int,             # announce the full length, send this many body bytes, close cleanly
    "drop": int,            # send this many body bytes, then reset the connection; -1: before any answer
    "delay": int,           # milliseconds before the answer
    "throttle": int,        # body bytes per second
    "redirect": str,        # a host kind, "plain" (http://127.0.0.1:47440), "wrong_name" (https://localhost:47449,
                            # whose certificate names another host), "loop" (this very URL) or a whole URL
    "redirect_status": int,
    "omit_header": str,     # leave this response header out
    "header": str,          # "Name:value" added to the response
    "no_length": int,       # 1: no Content-Length, body ends with the connection
    "garbage": int,         # send this many body bytes, then bytes that are not TLS, then reset
    "stall": int,           # read the request, answer nothing for this many ms (a host that never answers)
    "slides": int,          # serve this many slides (02 up to 01 + N), then 404
    "portal": int,          # 1: answer with a network's sign-in page, status 200 (a captive portal)
}

PORTAL_PAGE = (b"<!DOCTYPE html><html><head><title>Sign in to the guest network</title></head>"
               b"<body><form method=post action=/login><input name=room><button>Connect</button></form>"
               b"</body></html>\n")


def parse_fault_spec(spec):
    fault = {}
    for item in spec.split(","):
        if not item:
            continue
        key, _, value = item.partition("=")
        key = key.strip()
        if key not in FAULT_KEYS:
            raise ValueError("unknown fault " + key)
        fault[key] = FAULT_KEYS[key](urllib.parse.unquote(value))
    return fault


class State:
    def __init__(self, args, ports):
        self.args = args
        self.ports = ports
        self.kind_by_port = {port: kind for kind, port in ports.items()}
        self.kind_by_port[args.plain_port] = "plain_http"
        self.kind_by_port[args.wrong_name_port] = "wrong_name"
        self.lock = threading.Lock()
        self.log_lock = threading.Lock()
        self.log_path = os.path.join(args.state_dir, "requests.jsonl")
        self.crash_collector, self.crash_early_response = load_crash_collector()
        self.reset()

    def reset(self):
        with self.lock:
            self.generation = getattr(self, "generation", 0) + 1
            self.faults = []  # dicts: path_prefix, host_kind, times, fault
            self.files = dict(self.args.files)
            self.archive = self.args.archive
            self.slides = 3
            self.only_from = None  # the one peer address served (a proxy's); None: any

    def add_fault(self, entry):
        with self.lock:
            self.faults.append(entry)

    def take_fault(self, host_kind, path):
        with self.lock:
            for entry in self.faults:
                if entry.get("host_kind") not in (None, host_kind):
                    continue
                if not path.startswith(entry.get("path_prefix", "/")):
                    continue
                times = entry.get("times")
                if times is not None:
                    if times <= 0:
                        continue
                    entry["times"] = times - 1
                return dict(entry["fault"])
        return {}

    def record(self, entry):
        line = (json.dumps(entry, sort_keys=True) + "\n").encode("utf-8")
        # One unbuffered append a record, so readers rarely see half of one.
        with self.log_lock:
            with open(self.log_path, "ab", buffering=0) as f:
                f.write(line)


def load_crash_collector():
    """(handle_submit, early_response_needed) of crash_collector.py; None for what is missing."""
    path = os.path.join(HERE, "crash_collector.py")
    if not os.path.exists(path):
        return None, None
    spec = importlib.util.spec_from_file_location("crash_collector", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    handler = None
    for name in ("handle_submit", "handle", "collect"):
        if callable(getattr(module, name, None)):
            handler = getattr(module, name)
            break
    early = getattr(module, "early_response_needed", None)
    return handler, early if callable(early) else None


# --- the handler ------------------------------------------------------------

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TarvikStandin/1.0"
    state = None  # set on the class per server

    def log_message(self, format, *args):  # quiet: the JSON log is the record
        pass

    @property
    def host_kind(self):
        return self.state.kind_by_port.get(self.server.server_address[1], "unknown")

    def do_GET(self):
        self.handle_request(send_body=True)

    def do_HEAD(self):
        self.handle_request(send_body=False)

    def do_POST(self):
        self.handle_request(send_body=True)

    def read_body(self, chunk_sizes=None):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            return dechunk(self.rfile, chunk_sizes)
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def is_crash_upload(self, path):
        return path == "/submit" and self.command == "POST" and self.state.crash_collector is not None

    def handle_request(self, send_body):
        url = urllib.parse.urlsplit(self.path)
        path, query = url.path, url.query
        if path.startswith("/__control/"):
            try:
                body = self.read_body()
            except ValueError:
                self.close_connection = True
                return
            return self.control(path[len("/__control/"):], body)

        only_from = self.state.only_from
        if only_from and self.client_address[0] != only_from:
            # A request that went past the proxy the test put in the way.
            entry = self.log_entry(path, url, query, {}, b"", [])
            entry["refused_peer"] = self.client_address[0]
            self.state.record(entry)
            return self.reset_connection()

        fault, fault_error = {}, None
        match = re.match(r"^/__fault/([^/]*)(/.*)?$", path)
        if match:
            try:
                fault = parse_fault_spec(match.group(1))
            except ValueError as error:
                fault_error = str(error)
            path = match.group(2) or "/"
        if fault_error is None and not fault:  # a fault in the URL replaces the configured ones
            fault = self.state.take_fault(self.host_kind, path)

        # Wine's WinHTTP announces a chunked upload with "Content-Length: 0" and
        # writes the body only after it has the answer: answer first, then read.
        answered_early = (fault_error is None and self.is_crash_upload(path) and
                          self.state.crash_early_response is not None and
                          self.state.crash_early_response(dict(self.headers.items())))
        if answered_early:
            if fault.get("stall") or fault.get("drop") == -1:
                # No answer, so no body either.
                self.state.record(self.log_entry(path, url, query, fault, b"", []))
                return self.stall(fault["stall"]) if fault.get("stall") else self.reset_connection()
            if fault.get("delay"):
                time.sleep(fault["delay"] / 1000.0)
            # Empty: the client never reads this answer, and under Wine a
            # connection closed with unread bytes is reset, cutting the body.
            self.answer(fault.get("status", 200), b"", "text/plain", send_body)

        chunk_sizes = []
        try:
            body = self.read_body(chunk_sizes)
        except ValueError:
            self.close_connection = True
            return
        if fault_error is not None:
            return self.answer(400, fault_error.encode(), "text/plain", send_body)

        entry = self.log_entry(path, url, query, fault, body, chunk_sizes)
        crash = None
        if self.is_crash_upload(path):
            entry["answered_before_body"] = bool(answered_early)
            try:
                crash = self.state.crash_collector(dict(self.headers.items()), body, query)
                entry["crash_status"], entry["crash_record"] = crash[0], crash[1]
            except Exception as error:  # the collector's fault is the test's failure, not the server's
                entry["crash_error"] = repr(error)
                crash = (500, None)
        self.state.record(entry)
        if answered_early:
            self.close_connection = True
            return

        if fault.get("stall"):
            return self.stall(fault["stall"])
        if fault.get("delay"):
            time.sleep(fault["delay"] / 1000.0)
        if fault.get("drop") == -1:
            return self.reset_connection()
        if fault.get("portal"):
            return self.answer(200, PORTAL_PAGE, "text/html", send_body)
        if "redirect" in fault:
            return self.redirect(fault, path, query, send_body, self.path)
        if "status" in fault:
            return self.answer(fault["status"], b"stand-in error %d\n" % fault["status"], "text/plain",
                               send_body, fault)
        if crash is not None:
            return self.answer(crash[0], b"stand-in-crash-report-id\n", "text/plain", send_body, fault)
        return self.route(path, query, fault, send_body)

    def log_entry(self, path, url, query, fault, body, chunk_sizes):
        entry = {
            "time": time.time(),
            "host_kind": self.host_kind,
            "port": self.server.server_address[1],
            "method": self.command,
            "path": path,
            "raw_path": url.path,
            "query": query,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_size": len(body),
            "body_sha256": hashlib.sha256(body).hexdigest(),
            "fault": fault,
        }
        if body and len(body) <= BODY_TEXT_LIMIT:
            entry["body_base64"] = base64.b64encode(body).decode("ascii")
        if chunk_sizes:
            entry["chunk_sizes"] = chunk_sizes
        return entry

    # --- routes ---

    def route(self, path, query, fault, send_body):
        state = self.state
        blob = re.match(r"^/__blob/(\d+)(/.*)?$", path)
        if blob:
            size = int(blob.group(1))
            return self.serve_content(size, lambda o, n: blob_bytes(o, n), "application/octet-stream",
                                      fault, send_body, ranges=True)
        if path.startswith("/__file/"):
            name = path[len("/__file/"):]
            with state.lock:
                file_path = state.files.get(name)
            if file_path:
                return self.serve_file(file_path, fault, send_body)
            return self.answer(404, b"no such file\n", "text/plain", send_body, fault)
        if path.endswith("/browser-setup.arc"):
            with state.lock:
                archive = state.archive
            return self.serve_file(archive, fault, send_body)
        slide = re.match(r"^/browser/installer/(?:.*/)?x2/(\d\d+)\.(png|jpg)$", path)
        if slide:
            number = int(slide.group(1))
            with state.lock:
                count = fault.get("slides", state.slides)
            if number < 2 or number > count + 1:
                return self.answer(404, b"no such slide\n", "text/plain", send_body, fault)
            drawn = drawn_slide(state.args.slides_dir, number, slide.group(2), "/dark/" in path)
            if drawn:
                kind = "image/png" if slide.group(2) == "png" else "image/jpeg"
                return self.serve_bytes(drawn, kind, fault, send_body)
            color = (40 * number % 256, 90, 200)
            if slide.group(2) == "png":
                data, kind = make_png(64, 48, color), "image/png"
            else:
                data = make_jpeg(state.args.state_dir, 64, 48, "#%02x%02x%02x" % color)
                kind = "image/jpeg"
                if data is None:
                    data, kind = make_png(64, 48, color), "image/png"
            return self.serve_bytes(data, kind, fault, send_body)
        if path in ("/content/get/experiments/browser.proto", "/ab/get"):
            seed = b"stand-in variations seed for " + path.encode() + b"?" + query.encode()
            extra = {"X-Seed-Signature": SEED_SIGNATURE, "Last-Modified": LAST_MODIFIED, "X-Country": COUNTRY}
            return self.serve_bytes(seed, "application/octet-stream", fault, send_body, extra)
        if path == "/configs/all_zip":
            data = make_zip({"config.json": json.dumps({"query": query}).encode()})
            return self.serve_bytes(data, "application/zip", fault, send_body)
        if path.startswith("/wallpapers/"):
            data = make_zip({"wallpaper.txt": path.encode()})
            return self.serve_bytes(data, "application/zip", fault, send_body)
        if path.startswith("/installstats/send/"):
            return self.serve_bytes(b"", "text/plain", fault, send_body)
        if path == "/get/browser/install":
            return self.serve_bytes(b"ok\n", "text/plain", fault, send_body)
        if path == "/submit":
            return self.answer(200, b"stand-in-crash-report-id\n", "text/plain", send_body, fault)
        if self.host_kind in ("legal_documents", "main_site", "browser_web_site"):
            page = b"<html><body>stand-in page " + path.encode() + b"</body></html>\n"
            return self.serve_bytes(page, "text/html", fault, send_body)
        return self.answer(404, b"not found\n", "text/plain", send_body, fault)

    def redirect(self, fault, path, query, send_body, request_target):
        target = fault["redirect"]
        tail = path + ("?" + query if query else "")
        if target == "loop":
            location = request_target
        elif target == "plain":
            location = "http://127.0.0.1:%d%s" % (self.state.args.plain_port, tail)
        elif target == "wrong_name":
            location = "https://localhost:%d%s" % (self.state.args.wrong_name_port, tail)
        elif target in self.state.ports:
            location = "https://localhost:%d%s" % (self.state.ports[target], tail)
        else:
            location = target
        self.answer(fault.get("redirect_status", 302), b"", "text/plain", send_body, {},
                    {"Location": location})

    # --- senders ---

    def answer(self, status, data, content_type, send_body, fault=None, extra=None):
        self.serve_bytes(data, content_type, fault or {}, send_body, extra, status=status)

    def serve_bytes(self, data, content_type, fault, send_body, extra=None, status=200):
        self.serve_content(len(data), lambda o, n: data[o:o + n], content_type, fault, send_body,
                           extra=extra, status=status)

    def serve_file(self, file_path, fault, send_body):
        try:
            f = open(file_path, "rb")
        except OSError:
            return self.answer(404, b"file missing\n", "text/plain", send_body, fault)
        with f:
            size = os.fstat(f.fileno()).st_size
            if size == 0:
                return self.serve_bytes(b"", "application/octet-stream", fault, send_body)
            with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as view:
                data = memoryview(view)
                try:
                    self.serve_content(size, lambda o, n: data[o:o + n], "application/octet-stream", fault,
                                       send_body, ranges=True,
                                       extra={"Last-Modified": email.utils.formatdate(
                                           os.fstat(f.fileno()).st_mtime, usegmt=True)})
                finally:
                    data.release()

    def serve_content(self, size, read, content_type, fault, send_body, extra=None, status=200, ranges=False):
        start, end = 0, size
        headers = {"Content-Type": content_type}
        if ranges:
            headers["Accept-Ranges"] = "bytes"
            requested = self.headers.get("Range")
            if requested and status == 200:
                match = re.match(r"^bytes=(\d*)-(\d*)$", requested.strip())
                first = int(match.group(1)) if match and match.group(1) else None
                last = int(match.group(2)) if match and match.group(2) else None
                if match and first is not None and first < size and (last is None or last >= first):
                    start, end = first, min(size, (last + 1) if last is not None else size)
                    status = 206
                    headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
                elif match and first is None and last:  # suffix range
                    start, end, status = max(0, size - last), size, 206
                    headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
                else:
                    return self.answer(416, b"", "text/plain", send_body, {},
                                       {"Content-Range": "bytes */%d" % size})
        headers.update(extra or {})
        if fault.get("header"):
            name, _, value = fault["header"].partition(":")
            headers[name.strip()] = value.strip()
        length = end - start
        faulty = any(k in fault for k in ("cut", "drop", "no_length", "garbage"))
        if not fault.get("no_length"):
            headers["Content-Length"] = str(length)
        if faulty or fault.get("throttle"):
            headers["Connection"] = "close"
            self.close_connection = True
        omit = fault.get("omit_header", "").lower()
        self.send_response(status)
        for name, value in headers.items():
            if name.lower() != omit:
                self.send_header(name, value)
        self.end_headers()
        if not send_body:
            return
        limit = length
        if "cut" in fault:
            limit = min(length, max(0, fault["cut"]))
        if "drop" in fault and fault["drop"] >= 0:
            limit = min(length, fault["drop"])
        if "garbage" in fault:
            limit = min(length, fault["garbage"])
        throttle = fault.get("throttle") or 0
        piece = SEND_PIECE if not throttle else max(1, min(SEND_PIECE, throttle // 10))
        sent = 0
        try:
            while sent < limit:
                n = min(piece, limit - sent)
                self.wfile.write(read(start + sent, n))
                sent += n
                if throttle:
                    time.sleep(n / throttle)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            self.close_connection = True
            return
        if "drop" in fault and fault["drop"] >= 0:
            return self.reset_connection()
        if "garbage" in fault:
            self.send_garbage()
            return self.reset_connection()
        if "cut" in fault or fault.get("no_length"):
            self.close_connection = True

    def send_garbage(self):
        """Bytes below the TLS layer that no client can decrypt."""
        try:
            self.wfile.flush()
            with socket.socket(fileno=os.dup(self.connection.fileno())) as raw:
                raw.sendall(b"\x17\x03\x03\x00\x40" + b"\xa5" * 64)
            time.sleep(0.2)
        except OSError:
            pass

    def stall(self, milliseconds):
        """Answers nothing until the client goes away, the stand-in is reset or the time is up; then closes."""
        self.close_connection = True
        deadline = time.time() + milliseconds / 1000.0
        generation = self.state.generation
        while time.time() < deadline and self.state.generation == generation:
            try:
                readable, _, _ = select.select([self.connection], [], [], 0.1)
                if readable and not self.connection.recv(1):
                    return
            except (OSError, ValueError):  # ssl.SSLError is an OSError
                return

    def reset_connection(self):
        """Ends the connection with a reset (no TLS close_notify, no FIN)."""
        self.close_connection = True
        try:
            self.wfile.flush()
        except OSError:
            pass
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass

    # --- control API ---

    def control(self, command, body):
        state = self.state
        try:
            request = json.loads(body or b"{}")
        except ValueError:
            return self.answer(400, b"bad json\n", "application/json", True)
        if command == "health":
            reply = {"ok": True, "pid": os.getpid(), "ports": state.ports, "plain_port": state.args.plain_port,
                     "wrong_name_port": state.args.wrong_name_port, "log": state.log_path, "state_dir": state.args.state_dir}
        elif command == "reset":
            state.reset()
            reply = {"ok": True}
        elif command == "fault":
            try:
                fault = request["fault"]
                if isinstance(fault, str):
                    fault = parse_fault_spec(fault)
                else:
                    unknown = set(fault) - set(FAULT_KEYS)
                    if unknown:
                        raise ValueError("unknown faults %s" % sorted(unknown))
            except (KeyError, ValueError) as error:
                return self.answer(400, json.dumps({"error": str(error)}).encode(), "application/json", True)
            state.add_fault({"path_prefix": request.get("path_prefix", "/"), "host_kind": request.get("host_kind"),
                             "times": request.get("times"), "fault": fault})
            reply = {"ok": True}
        elif command == "config":
            with state.lock:
                if "archive" in request:
                    state.archive = request["archive"]
                if "slides" in request:
                    state.slides = int(request["slides"])
                if "only_from" in request:
                    state.only_from = request["only_from"]
                state.files.update(request.get("files", {}))
            reply = {"ok": True}
        elif command == "shutdown":
            reply = {"ok": True}
            threading.Thread(target=lambda: os.kill(os.getpid(), signal.SIGTERM), daemon=True).start()
        else:
            return self.answer(404, b"unknown control command\n", "text/plain", True)
        self.answer(200, json.dumps(reply).encode(), "application/json", True)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, handler, tls_context):
        self.tls_context = tls_context
        super().__init__(address, handler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's thread, not the accept loop.
        raw = request
        if self.tls_context:
            request.settimeout(30)
            try:
                request = self.tls_context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
            request.settimeout(None)
        try:
            self.RequestHandlerClass(request, client_address, self)
        except (ConnectionError, ssl.SSLError, OSError):
            pass
        finally:
            if request is not raw:
                try:
                    request.close()  # closes without close_notify; a reset fault set SO_LINGER 0
                except OSError:
                    pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--state-dir", required=True, help="certificates, request log, pid file")
    parser.add_argument("--hosts-json", default=DEFAULT_HOSTS_JSON)
    parser.add_argument("--archive", default=None, help="file served as browser-setup.arc")
    parser.add_argument("--file", action="append", default=[], help="NAME=PATH served at /__file/NAME")
    parser.add_argument("--slides-dir", default=None,
                        help="the drawn slides (default: <state dir>/../standins/slides, as the build renders them)")
    parser.add_argument("--plain-port", type=int, default=PLAIN_HTTP_PORT)
    parser.add_argument("--wrong-name-port", type=int, default=WRONG_NAME_PORT)
    parser.add_argument("--bind", default="127.0.0.1")
    args = parser.parse_args()

    os.makedirs(args.state_dir, exist_ok=True)
    args.state_dir = os.path.abspath(args.state_dir)
    args.files = dict(item.split("=", 1) for item in args.file)
    if not args.archive:
        args.archive = default_archive(args.state_dir)
    if not args.slides_dir:
        args.slides_dir = os.path.join(os.path.dirname(args.state_dir), "standins", "slides")
    ca, cert, key = ensure_certificates(args.state_dir)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)

    ports = read_host_ports(args.hosts_json)
    state = State(args, ports)
    Handler.state = state
    servers = [Server((args.bind, port), Handler, context) for port in sorted(set(ports.values()))]
    servers.append(Server((args.bind, args.plain_port), Handler, None))
    wrong_cert, wrong_key = ensure_wrong_name_certificate(args.state_dir)
    wrong_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    wrong_context.load_cert_chain(wrong_cert, wrong_key)
    servers.append(Server((args.bind, args.wrong_name_port), Handler, wrong_context))
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    with open(os.path.join(args.state_dir, "server.pid"), "w") as f:
        f.write(str(os.getpid()))
    print("stand-in server ready: ports %s, plain %d, state %s" % (
        ",".join(str(p) for p in sorted(set(ports.values()))), args.plain_port, args.state_dir), flush=True)
    while not stop.wait(0.5):
        pass
    for server in servers:
        server.shutdown()
        server.server_close()
    try:
        os.remove(os.path.join(args.state_dir, "server.pid"))
    except OSError:
        pass


def default_archive(state_dir):
    """The signed stand-in setup program when the build made one, else a dummy."""
    env = os.environ.get("TARVIK_STANDIN_ARCHIVE")
    if env and os.path.exists(env):
        return env
    build_dir = os.path.dirname(state_dir)
    for candidate in (os.path.join(state_dir, "browser-setup.arc"),
                      os.path.join(build_dir, "standins", "browser-setup.arc"),
                      os.path.join(build_dir, "bin", "browser-setup.arc")):
        if os.path.exists(candidate):
            return candidate
    dummy = os.path.join(state_dir, "dummy-setup.arc")
    if not os.path.exists(dummy):
        with open(dummy, "wb") as f:
            f.write(blob_bytes(0, 1 << 20))
    return dummy


if __name__ == "__main__":
    main()
