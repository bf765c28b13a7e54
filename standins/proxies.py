"""Networks as users have them, for the end-to-end tests: a real proxy
(Debian's tinyproxy: CONNECT, Basic authentication), a middlebox that
inspects HTTPS by re-signing each connection with a root of its own, and the
user's proxy settings of the Wine prefix that point at them.

Both proxies connect onward from PROXY_SOURCE_ADDRESS, and the stand-in
server can be told to refuse every other peer (StandinServer.only_from), so a
request that went past the proxy fails and is recorded as refused.
"""

import os
import re
import select
import socket
import ssl
import struct
import subprocess
import threading
import time
from contextlib import contextmanager

PROXY_SOURCE_ADDRESS = "127.0.0.2"
PROXY_PORT = 47460
AUTH_PROXY_PORT = 47461
INSPECTING_PROXY_PORT = 47462
DOWN_PROXY_PORT = 47463  # nothing listens there
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def wait_for_port(port, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("nothing listens on port %d" % port)


class Tinyproxy:
    """tinyproxy in the foreground on 127.0.0.1:`port`, its log in `directory`.
    With `basic_auth` ("user:password") it answers 407 to a request without them."""

    def __init__(self, directory, port=PROXY_PORT, basic_auth=None):
        self.port = port
        self.log_path = os.path.join(directory, "tinyproxy-%d.log" % port)
        self.config_path = os.path.join(directory, "tinyproxy-%d.conf" % port)
        lines = ["Port %d" % port, "Listen 127.0.0.1", "Bind " + PROXY_SOURCE_ADDRESS, "Timeout 120",
                 'LogFile "%s"' % self.log_path, "LogLevel Info", "MaxClients 64"]
        if basic_auth:
            lines.append("BasicAuth " + basic_auth.replace(":", " ", 1))
        with open(self.config_path, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.process = None

    def __enter__(self):
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", self.config_path], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_for_port(self.port)
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait(timeout=10)

    def connects(self):
        """The "host:port" of each CONNECT the proxy was asked for, in order."""
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            return []
        return re.findall(r"Request \(file descriptor \d+\): CONNECT (\S+) HTTP", text)


def make_inspection_ca(directory, name):
    """A root of a middlebox and its certificate for localhost: (ca.der, leaf.pem, leaf.key)."""
    base = os.path.join(directory, name)
    ca_key, ca_pem, ca_der = base + "-ca.key", base + "-ca.pem", base + "-ca.der"
    key, cert = base + "-leaf.key", base + "-leaf.pem"
    if all(os.path.exists(p) for p in (ca_der, key, cert)):
        return ca_der, cert, key

    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_pem, "-days", "3650",
            "-subj", "/CN=%s inspection root" % name, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("x509", "-in", ca_pem, "-outform", "DER", "-out", ca_der)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", base + ".csr", "-subj", "/CN=localhost")
    with open(base + ".ext", "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,DNS:*.browser.localhost\n")
    openssl("x509", "-req", "-in", base + ".csr", "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
            "-days", "825", "-sha256", "-extfile", base + ".ext")
    return ca_der, cert, key


class InspectingProxy:
    """A middlebox that inspects HTTPS: it accepts CONNECT, ends the client's
    TLS with a certificate of its own root (`leaf_cert`, `leaf_key`), opens its
    own TLS to the server (trusting `upstream_ca`) and relays the bytes.
    With `tamper_offset`, it changes the byte at that offset of each answer
    longer than that (what an attacker on the path could do)."""

    def __init__(self, leaf_cert, leaf_key, upstream_ca, port=INSPECTING_PROXY_PORT, tamper_offset=None):
        self.port = port
        self.tamper_offset = tamper_offset
        self.client_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.client_context.load_cert_chain(leaf_cert, leaf_key)
        self.upstream_context = ssl.create_default_context(cafile=upstream_ca)
        self.connects = []  # "host:port" of each CONNECT
        self.handshakes = 0  # client handshakes completed with the middlebox's certificate
        self.errors = []  # what ended connections early, for a failing test's message
        self.lock = threading.Lock()
        self.listener = None

    def __enter__(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.port))
        self.listener.listen(64)
        threading.Thread(target=self.accept_loop, daemon=True).start()
        return self

    def __exit__(self, *_):
        # A shutdown wakes the blocked accept(); a close alone leaves the port bound.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()

    def accept_loop(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.serve, args=(client,), daemon=True).start()

    def serve(self, client):
        upstream = None
        try:
            client.settimeout(30)
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                piece = client.recv(4096)
                if not piece:
                    return
                head += piece
            match = re.match(rb"CONNECT ([^:\s]+):(\d+) HTTP/1\.[01]\r\n", head)
            if not match:
                client.sendall(b"HTTP/1.1 405 Only CONNECT\r\nContent-Length: 0\r\n\r\n")
                return
            host, port = match.group(1).decode(), int(match.group(2))
            with self.lock:
                self.connects.append("%s:%d" % (host, port))
            raw_upstream = socket.create_connection((host, port), timeout=30,
                                                    source_address=(PROXY_SOURCE_ADDRESS, 0))
            client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            client = self.client_context.wrap_socket(client, server_side=True)
            with self.lock:
                self.handshakes += 1
            upstream = self.upstream_context.wrap_socket(raw_upstream, server_hostname=host)
            self.relay(client, upstream)
        except (OSError, ssl.SSLError) as error:
            self.errors.append(repr(error))
        finally:
            for sock in (client, upstream):
                if sock is not None:
                    try:
                        sock.close()
                    except OSError:
                        pass

    def relay(self, client, upstream):
        # Each side is read until it has nothing, then select() waits: bytes
        # OpenSSL read ahead during the handshake (a client that sends its
        # request with its last handshake message) are invisible to select().
        answered = 0
        for sock in (client, upstream):
            sock.setblocking(False)
        while True:
            moved = False
            for source, target in ((client, upstream), (upstream, client)):
                try:
                    data = source.recv(65536)
                except (ssl.SSLWantReadError, ssl.SSLWantWriteError, BlockingIOError):
                    continue
                if not data:
                    return
                if source is upstream and self.tamper_offset is not None:
                    if answered <= self.tamper_offset < answered + len(data):
                        index = self.tamper_offset - answered
                        data = data[:index] + bytes([data[index] ^ 0xFF]) + data[index + 1:]
                    answered += len(data)
                target.settimeout(30)
                target.sendall(data)
                target.setblocking(False)
                moved = True
            if not moved and not select.select([client, upstream], [], [], 60)[0]:
                return


def _connection_settings(proxy, bypass):
    """The binary DefaultConnectionSettings value the system keeps beside the
    plain values (WinHTTP reads this one): version, counter, flags (2: manual
    proxy), then the proxy, the bypass list and an empty script address."""
    flags = 1 | (2 if proxy else 0)
    blob = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy or "", bypass or "", ""):
        data = text.encode("ascii")
        blob += struct.pack("<I", len(data)) + data
    return blob + b"\0" * 32


def _reg(wine64, env, *args):
    subprocess.run([wine64, "reg", *args], env=env, check=True, capture_output=True)


@contextmanager
def user_proxy(wine64, env, proxy, bypass="<-loopback>"):
    """The prefix user's proxy set to `proxy` ("127.0.0.1:port") for the
    duration, as the system's settings page stores it, then removed. Loopback
    goes direct by default; "<-loopback>" sends it through the proxy too."""
    _reg(wine64, env, "add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f")
    _reg(wine64, env, "add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d", proxy, "/f")
    _reg(wine64, env, "add", INTERNET_SETTINGS, "/v", "ProxyOverride", "/t", "REG_SZ", "/d", bypass, "/f")
    _reg(wine64, env, "add", INTERNET_SETTINGS + r"\Connections", "/v", "DefaultConnectionSettings", "/t",
         "REG_BINARY", "/d", _connection_settings(proxy, bypass).hex(), "/f")
    try:
        yield
    finally:
        for name in ("ProxyEnable", "ProxyServer", "ProxyOverride"):
            subprocess.run([wine64, "reg", "delete", INTERNET_SETTINGS, "/v", name, "/f"], env=env,
                           capture_output=True)
        subprocess.run([wine64, "reg", "delete", INTERNET_SETTINGS + r"\Connections", "/v",
                        "DefaultConnectionSettings", "/f"], env=env, capture_output=True)
