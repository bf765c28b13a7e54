#!/usr/bin/env python3
"""Client of the stand-in server for tests and scripts.

    from standin_client import StandinServer, decode_stat_vars, decode_stat_request
    server = StandinServer()          # state dir from TARVIK_STANDIN_DIR or the build dir
    started = server.ensure_running() # starts one unless the harness already did
    mark = server.mark()
    server.set_fault("/browser/", {"status": 500}, host_kind="download_cdn", times=2)
    ... run the installer ...
    requests = server.read_requests(since=mark, path_prefix="/installstats/")
    events = server.read_stat_requests(since=mark)   # [{"cid", "path", "vars": {...}, "request"}]
    server.reset()
    if started: server.stop()

As a command: standin_client.py start|stop|wait|status|ca [--state-dir DIR] [--archive PATH]
("ca" prints the DER file of the test CA that the Wine prefix must trust.)
"""

import argparse
import json
import os
import ssl
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import server as standin_server  # noqa: E402  (ports, blob pattern)

BLOB_PERIOD = standin_server.BLOB_PERIOD
PLAIN_HTTP_PORT = standin_server.PLAIN_HTTP_PORT
WRONG_NAME_PORT = standin_server.WRONG_NAME_PORT


def default_state_dir():
    if os.environ.get("TARVIK_STANDIN_DIR"):
        return os.environ["TARVIK_STANDIN_DIR"]
    build_dir = os.environ.get("TARVIK_BUILD_DIR") or os.path.join(SOURCE_DIR, "build", "windows-x64")
    return os.path.join(build_dir, "standins")


def blob_bytes(offset, length):
    """What /__blob/<size> serves at [offset, offset + length)."""
    return standin_server.blob_bytes(offset, length)


STAT_SEND_PREFIX = "/installstats/send/dtype=stred/pid=457/"


def decode_stat_vars(path):
    """{key: value} of the "/vars=" segment of a statistics path.

    Items are "-key=value" joined by commas (the sender turns ',', '-' and '='
    inside keys and values into '_', so the split is unambiguous); each key and
    value is then percent-decoded, undoing the sender's segment escaping. A key
    twice or an item without '-' or '=' is an error, so a test comparing whole
    event sets cannot pass on a malformed request."""
    for segment in path.split("/"):
        if segment.startswith("vars="):
            items = {}
            for item in segment[len("vars="):].split(","):
                if not item:
                    continue
                if not item.startswith("-"):
                    raise ValueError("statistics item without leading '-': %r" % item)
                key, sep, value = item[1:].partition("=")
                if not sep:
                    raise ValueError("statistics item without '=': %r" % item)
                key, value = urllib.parse.unquote(key), urllib.parse.unquote(value)
                if key in items:
                    raise ValueError("statistics key twice: %r" % key)
                items[key] = value
            return items
    return {}


def decode_stat_request(path):
    """{"cid": int, "path": str, "vars": {key: value}} of a statistics request path."""
    if not path.startswith(STAT_SEND_PREFIX) or not path.endswith("/*"):
        raise ValueError("not a statistics path: %r" % path)
    segments = dict(segment.partition("=")[::2] for segment in path[len(STAT_SEND_PREFIX):-2].split("/")
                    if not segment.startswith("vars="))
    return {"cid": int(segments["cid"]), "path": segments["path"], "vars": decode_stat_vars(path)}


class StandinServer:
    def __init__(self, state_dir=None, hosts_json=None):
        self.state_dir = os.path.abspath(state_dir or default_state_dir())
        self.ports = standin_server.read_host_ports(hosts_json or standin_server.DEFAULT_HOSTS_JSON)
        self.log_path = os.path.join(self.state_dir, "requests.jsonl")
        self._process = None

    # --- addresses ---

    def origin(self, host_kind="download_cdn"):
        return "https://localhost:%d" % self.ports[host_kind]

    def url(self, host_kind, path):
        return self.origin(host_kind) + path

    @property
    def ca_pem(self):
        return os.path.join(self.state_dir, "ca.pem")

    @property
    def ca_der(self):
        return os.path.join(self.state_dir, "ca.der")

    def _context(self):
        return ssl.create_default_context(cafile=self.ca_pem)

    # --- lifetime ---

    def is_running(self):
        try:
            return bool(self._control("health", method="GET", timeout=2).get("ok"))
        except (OSError, ValueError, ssl.SSLError):
            return False

    def start(self, archive=None, timeout=60):
        """Starts a server process in the background and waits until it answers."""
        os.makedirs(self.state_dir, exist_ok=True)
        command = [sys.executable, os.path.join(HERE, "server.py"), "--state-dir", self.state_dir]
        if archive:
            command += ["--archive", archive]
        out = open(os.path.join(self.state_dir, "server.log"), "ab")
        self._process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                         start_new_session=True)
        out.close()
        self.wait(timeout)

    def wait(self, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if os.path.exists(self.ca_pem) and self.is_running():
                return
            if self._process and self._process.poll() is not None:
                raise RuntimeError("stand-in server exited with %s; see %s/server.log"
                                   % (self._process.returncode, self.state_dir))
            time.sleep(0.2)
        raise RuntimeError("stand-in server did not answer within %ss" % timeout)

    def ensure_running(self):
        """True when this call started the server (stop it again when done)."""
        if self.is_running():
            return False
        self.start()
        return True

    def stop(self, timeout=15):
        pid = None
        if self._process:
            pid = self._process.pid
        else:
            try:
                with open(os.path.join(self.state_dir, "server.pid")) as f:
                    pid = int(f.read().strip())
            except (OSError, ValueError):
                return
        try:
            os.kill(pid, 15)
        except ProcessLookupError:
            return
        if self._process:
            self._process.wait(timeout)
            self._process = None
        else:
            deadline = time.time() + timeout
            while time.time() < deadline:
                try:
                    os.kill(pid, 0)
                except ProcessLookupError:
                    return
                time.sleep(0.1)

    # --- control ---

    def _control(self, command, body=None, method="POST", timeout=10):
        data = json.dumps(body or {}).encode() if method == "POST" else None
        request = urllib.request.Request(self.url("download_cdn", "/__control/" + command), data=data, method=method)
        with urllib.request.urlopen(request, context=self._context(), timeout=timeout) as response:
            return json.loads(response.read() or b"{}")

    def reset(self):
        """Forgets every fault and configuration change (the request log stays)."""
        self._control("reset")

    def set_fault(self, path_prefix, fault, host_kind=None, times=None):
        """fault: {"status": 404}, {"cut": 1000}, {"drop": 0}, {"drop": -1}, {"delay": ms},
        {"throttle": bytes_per_s}, {"redirect": "plain" | host kind | URL}, {"omit_header": name},
        {"header": "Name:value"}, {"no_length": 1}, {"garbage": n}; or the same as "k=v,k=v" text."""
        self._control("fault", {"path_prefix": path_prefix, "fault": fault, "host_kind": host_kind, "times": times})

    def configure(self, archive=None, slides=None, files=None, only_from=None):
        """only_from: serve that peer address alone (a proxy's) and record any
        other's request as refused ("refused_peer"); reset() ends it."""
        body = {}
        if only_from is not None:
            body["only_from"] = only_from
        if archive is not None:
            body["archive"] = archive
        if slides is not None:
            body["slides"] = slides
        if files:
            body["files"] = files
        self._control("config", body)

    # --- the request log ---

    def mark(self):
        """Position in the request log; read_requests(since=mark) sees only what came after."""
        try:
            with open(self.log_path, "rb") as f:
                data = f.read()
        except OSError:
            return 0
        # After the last whole record: one being written belongs to what comes after.
        return data.rfind(b"\n") + 1

    def read_requests(self, since=0, host_kind=None, path_prefix=None, method=None):
        try:
            with open(self.log_path, "rb") as f:
                f.seek(since)
                data = f.read()
        except OSError:
            return []
        # The server may be writing a record right now: only whole lines count.
        lines = data[:data.rfind(b"\n") + 1].decode("utf-8").splitlines()
        requests = []
        for line in lines:
            if not line.strip():
                continue
            entry = json.loads(line)
            if host_kind and entry["host_kind"] != host_kind:
                continue
            if path_prefix and not entry["path"].startswith(path_prefix):
                continue
            if method and entry["method"] != method:
                continue
            entry["header_map"] = {k.lower(): v for k, v in entry["headers"]}
            requests.append(entry)
        return requests

    def wait_for_requests(self, count, since=0, timeout_s=30, **filters):
        """read_requests until `count` have come. The server records a request
        once it has handled the whole body, which may be after the client has
        its answer and has ended."""
        deadline = time.time() + timeout_s
        while True:
            requests = self.read_requests(since=since, **filters)
            if len(requests) >= count or time.time() > deadline:
                return requests
            time.sleep(0.05)

    def read_stat_requests(self, since=0):
        """The statistics requests after `since`, decoded (decode_stat_request), in arrival order."""
        return [dict(decode_stat_request(entry["path"]), request=entry)
                for entry in self.read_requests(since=since, path_prefix="/installstats/send/")]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop", "wait", "status", "ca"])
    parser.add_argument("--state-dir", default=None)
    parser.add_argument("--archive", default=None)
    args = parser.parse_args()
    server = StandinServer(args.state_dir)
    if args.command == "start":
        if server.is_running():
            print("stand-in server already running")
            return 0
        server.start(archive=args.archive)
        print("stand-in server started, state in %s" % server.state_dir)
    elif args.command == "stop":
        server.stop()
    elif args.command == "wait":
        server.wait()
    elif args.command == "ca":
        print(server.ca_der)
    elif args.command == "status":
        running = server.is_running()
        print("running" if running else "not running")
        return 0 if running else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
