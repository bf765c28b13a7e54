#!/usr/bin/env python3
"""The fault matrix: the real installer, silent, against the stand-ins under
one fault per row, each row in a work folder of its own (its %TEMP%, setup's
record file, setup's installation root). Every row states what must hold (exit
code, log lines, what setup ran, what was left behind, how long it may take)
and prints what it saw.

    fault_matrix.py [--list] [--only NAME[,NAME...]]

Run it through scripts/fault-matrix.sh, which makes the Wine prefix and starts
the stand-ins; CTest runs a few quick rows (e2e.fault_matrix).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from e2e_support import (ARCHIVES, INSTALLER, TEST_HELPER, WINE64, StandinServer, first_missing_line,
                         printed_exit_code, read_log, run_with_temp_command, windows_path, wine_environment)
from standin_client import PLAIN_HTTP_PORT  # noqa: E402 (e2e_support puts it on the path)

RETRY_WAIT_S = 15        # between archive attempts
NETWORK_TIMEOUT_S = 20   # connect, send and receive time-outs of a request
PROGRESS_WINDOW_S = 30   # a body must bring 32 KiB per window
# Start-up, setup's run, the final report (2.5 s) and the statistics drain (2 s)
# on a shared 2-core machine under Wine.
SLACK_S = 30
ATTEMPTS = 6  # in all: one URL with 6, or a fresh build's versioned URL and the main one with 3 each

PRODUCT_KEY = r"HKCU\Software\Tarvik\TarvikBrowser"
HAND_OVER_VALUES = ["InstallerData", "ClidsFile", "TarvikWebsiteIconFile", "DistribInfoParams", "brand", "BrandFile",
                    "PartnerFile"]
ARCHIVE_PATH = "/browser-setup.arc"


def archive_size():
    return (ARCHIVES / "browser-setup.arc").stat().st_size


class Run:
    """One row's folder, its installer runs, and the problems its checks found."""

    def __init__(self, server, env, name):
        self.server, self.env = server, env
        self.work = Path(tempfile.mkdtemp(prefix="fault-%s-" % name))
        self.temp = self.work / "temp"
        self.temp.mkdir()
        self.record = self.work / "setup-record.jsonl"
        self.install_root = self.work / "installed"
        self.problems = []
        self.processes = []
        self.mark = server.mark()

    # --- running ---

    def switches(self):
        return ["--silent", "--do-not-launch-browser", "--standin-install-root=" + windows_path(self.install_root),
                "--standin-record=" + windows_path(self.record)]

    def command(self, extra=(), timeout_s=300, program=INSTALLER, temp=None):
        # A user's run: each row's files are in its own %TEMP%.
        return run_with_temp_command(temp or self.temp, program, self.switches() + list(extra), int(timeout_s * 1000),
                                     as_user=True)

    def install(self, extra=(), timeout_s=300, program=INSTALLER, temp=None):
        """Runs the installer to its end; (signed exit code or None, seconds)."""
        start = time.monotonic()
        output = subprocess.run(self.command(extra, timeout_s, program, temp), env=self.env, capture_output=True,
                                text=True, timeout=timeout_s + 60).stdout
        return printed_exit_code(output), time.monotonic() - start

    def start(self, arguments, **kwargs):
        process = subprocess.Popen(arguments, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True, **kwargs)
        self.processes.append(process)
        return process

    def helper(self, *arguments, timeout_s=60):
        return subprocess.run([WINE64, str(TEST_HELPER)] + [str(a) for a in arguments], env=self.env,
                              capture_output=True, text=True, timeout=timeout_s).stdout

    def wait_for(self, condition, timeout_s, what):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            value = condition()
            if value:
                return value
            time.sleep(0.1)
        self.problem("no " + what + " within %d s" % timeout_s)
        return None

    # --- what it left ---

    def log(self, temp=None):
        return read_log(temp or self.temp)

    def texts(self, temp=None):
        return [record.text for record in self.log(temp)]

    def setup_runs(self):
        if not self.record.exists():
            return []
        lines = [json.loads(line) for line in self.record.read_text(encoding="utf-8").splitlines() if line.strip()]
        return [line for line in lines if line.get("role") == "setup"]

    def archive_files(self, temp=None):
        return sorted((temp or self.temp).glob("qb*.tmp"))

    def archive_requests(self, host_kind="download_cdn"):
        return [r for r in self.server.read_requests(since=self.mark, host_kind=host_kind)
                if r["path"].endswith(ARCHIVE_PATH)]

    def failures(self):
        """The texts after "failed: " of the archive attempts, in order."""
        return [r.text.split(" failed: ", 1)[1] for r in self.log()
                if r.function == "DownloadModule" and r.text.startswith("Download attempt ")]

    # --- checks ---

    def problem(self, text):
        self.problems.append(text)

    def expect_code(self, code, expected):
        if code != expected:
            self.problem("exit %s, not %s" % (code, expected))

    def expect_lines(self, prefixes, temp=None):
        """Lines starting with these texts, in this order."""
        missing = first_missing_line(self.texts(temp), prefixes)
        if missing:
            prefix, position = missing
            self.problem("no line %r%s" % (prefix, " after line %d" % position if position else ""))

    def expect_no_line(self, prefix, temp=None):
        if any(text.startswith(prefix) for text in self.texts(temp)):
            self.problem("a line %r" % prefix)

    def expect_setup_runs(self, count, temp=None):
        runs = self.setup_runs()
        if len(runs) != count:
            self.problem("setup ran %d times, not %d" % (len(runs), count))
        prefix = windows_path(temp or self.temp) + "\\qb"
        for run in runs:
            if not run.get("program", "").startswith(prefix):
                self.problem("setup ran %s" % run.get("program"))

    def expect_no_archive_left(self, temp=None):
        left = self.archive_files(temp)
        if left:
            self.problem("archive files left: %s" % ", ".join(p.name for p in left))

    def expect_within(self, seconds, bound_s):
        if seconds > bound_s:
            self.problem("took %.0f s, bound %d s" % (seconds, bound_s))

    # --- clean-up ---

    def close(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        subprocess.run(["chattr", "-R", "-i", str(self.work)], capture_output=True)
        shutil.rmtree(self.work, True)
        self.server.reset()
        forget_installation(self.env)


def forget_installation(env):
    """Hand-over values and an installed stand-in browser must not reach the next row."""
    for key in (PRODUCT_KEY, r"HKLM\Software\Tarvik\TarvikBrowser"):
        for name in HAND_OVER_VALUES + ["pv", "ypv", "UninstallString", "corporate"]:
            subprocess.run([WINE64, "reg", "delete", key, "/v", name, "/f", "/reg:32"], env=env, capture_output=True)
    for name in HAND_OVER_VALUES:
        subprocess.run([WINE64, "reg", "delete", PRODUCT_KEY, "/v", name, "/f"], env=env, capture_output=True)


def summary(code, seconds, run, extra=""):
    text = "%s in %.0f s; setup ran %d" % (code, seconds, len(run.setup_runs()))
    return text + ("; " + extra if extra else "")


def failures_text(failures):
    return "failed: " + ", ".join(failures) if failures else "no failed attempt"


# --- rows ---------------------------------------------------------------------

ROWS = []


class Row:
    def __init__(self, name, fault, expected, function):
        self.name, self.fault, self.expected, self.function = name, fault, expected, function


def row(name, fault, expected):
    def register(function):
        ROWS.append(Row(name, fault, expected, function))
        return function
    return register


def retried_once(run, fault, first_failure, bound_s, times=1, extra_checks=None):
    """A transient archive fault: one failed attempt, one wait, then a whole installation."""
    run.server.set_fault("/browser/", fault, host_kind="download_cdn", times=times)
    code, seconds = run.install()
    run.expect_code(code, 0)
    failures = run.failures()
    if not failures or not failures[0].startswith(first_failure):
        run.problem("first failure %r, not %r" % (failures[:1], first_failure))
    run.expect_lines(["Selected download urls:", "Download attempt 1 of ",
                      "Module downloaded: ", "Verification succeeded: ", "Setup process exit with code: SUCCESS",
                      "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, bound_s)
    if extra_checks:
        extra_checks()
    return summary(code, seconds, run, failures_text(failures))


@row("http-404", "every archive request answers 404",
     "401; every attempt of every URL (6 in all, 7 where the 1-attempt Windows 7 URL leads) "
     "'final_query_info-404-', 'Max download attempts failed'; setup never runs; <= 15 s a retry + %d s" % SLACK_S)
def http_404(run):
    run.server.set_fault("/browser/", {"status": 404}, host_kind="download_cdn")
    code, seconds = run.install()
    run.expect_code(code, 401)
    failures = run.failures()
    if not failures or not all(f.startswith("final_query_info-404-") for f in failures):
        run.problem("failures %r" % failures)
    # Each URL's attempts run 1..n in turn, and every one was made.
    counts = [tuple(map(int, re.match(r"Download attempt (\d+) of (\d+) ", r.text).groups())) for r in run.log()
              if r.function == "DownloadModule" and r.text.startswith("Download attempt ")]
    expected, position = [], 0
    while position < len(counts):
        total = counts[position][1]
        expected += [(i, total) for i in range(1, total + 1)]
        position += total
    if counts != expected or len(counts) < ATTEMPTS:
        run.problem("attempts %s" % counts)
    run.expect_lines(["Selected download urls:", "Download attempt ", "Max download attempts failed",
                      "Module was not downloaded: ", "Installer exit with code: 401"])
    run.expect_setup_runs(0)
    run.expect_no_archive_left()
    requests = run.archive_requests()
    if len(requests) != len(failures):
        run.problem("%d archive requests for %d attempts" % (len(requests), len(failures)))
    run.expect_within(seconds, (len(failures) - 1) * RETRY_WAIT_S + SLACK_S)
    return summary(code, seconds, run, "%d requests, attempts %s" % (
        len(requests), " ".join("%d/%d" % c for c in counts)))


@row("captive-portal", "every archive request is answered by a guest network's sign-in page (HTML, 200)",
     "401, a download failure, not a tampered archive (402); every attempt 'captive_portal-200'; nothing verified; "
     "setup never runs; <= 15 s a retry + %d s" % SLACK_S)
def captive_portal(run):
    run.server.set_fault("/browser/", {"portal": 1}, host_kind="download_cdn")
    code, seconds = run.install()
    run.expect_code(code, 401)
    failures = run.failures()
    if len(failures) < ATTEMPTS or any(f != "captive_portal-200" for f in failures):
        run.problem("failures %r" % failures)
    if any(r.text.startswith("Verifying ") for r in run.log()):
        run.problem("a sign-in page was verified as an archive")
    run.expect_lines(["Selected download urls:", "Not the archive but a page of the network",
                      "Max download attempts failed", "Installer exit with code: 401"])
    run.expect_setup_runs(0)
    run.expect_no_archive_left()
    run.expect_within(seconds, (len(failures) - 1) * RETRY_WAIT_S + SLACK_S)
    return summary(code, seconds, run, failures_text(failures))


@row("http-500", "the first archive request answers 500",
     "0 after one retry; attempt 1 'final_query_info-500-'; <= 15 s + %d s" % SLACK_S)
def http_500(run):
    return retried_once(run, {"status": 500}, "final_query_info-500-", RETRY_WAIT_S + SLACK_S)


@row("cut-body", "the first archive body ends cleanly at half its announced length",
     "0; attempt 1 'incomplete_download-<half>'; the half is resumed or restarted, never run; "
     "<= 2 x 15 s + %d s" % SLACK_S)
def cut_body(run):
    half = archive_size() // 2
    run.server.set_fault("/browser/", {"cut": half}, host_kind="download_cdn", times=1)
    code, seconds = run.install()
    run.expect_code(code, 0)
    failures = run.failures()
    if not failures or failures[0] != "incomplete_download-%d" % half:
        run.problem("failures %r" % failures)
    # More than 10% arrived, so the next attempt resumes; Wine's WinINet cannot
    # set the position, so that attempt fails and the one after starts from zero.
    if len(failures) > 1 and not failures[1].startswith("internet_set_file_pointer-"):
        run.problem("second failure %r" % failures[1])
    run.expect_lines(["Incomplete download: ", "Module downloaded: ", "Verification succeeded: ",
                      "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, 2 * RETRY_WAIT_S + SLACK_S)
    return summary(code, seconds, run, failures_text(failures))


@row("dropped-connection", "the first archive connection is reset after 60,000 body bytes",
     "0 after one retry; attempt 1 'internet_read-'; <= 15 s + %d s" % SLACK_S)
def dropped_connection(run):
    return retried_once(run, {"throttle": 400000, "drop": 60000}, "internet_read-", RETRY_WAIT_S + SLACK_S)


@row("stalled-host", "the first archive request is read and never answered",
     "0 after one retry; attempt 1 fails by the 20-s time-out ('internet_open_url-12002'; Wine 8: -12030); "
     "<= 20 s + 15 s + %d s" % SLACK_S)
def stalled_host(run):
    def attempt_took_the_timeout():
        log = run.log()
        start = next((r.time for r in log if r.text == "Selected download urls:"), None)
        failed = next((r.time for r in log if r.text.startswith("Download attempt 1 ")), None)
        if start and failed:
            took = (failed - start).total_seconds()
            if not NETWORK_TIMEOUT_S - 1 <= took <= NETWORK_TIMEOUT_S + 10:
                run.problem("the stalled attempt took %.1f s" % took)
    return retried_once(run, {"stall": 120000}, "internet_open_url-",
                        NETWORK_TIMEOUT_S + RETRY_WAIT_S + SLACK_S, extra_checks=attempt_took_the_timeout)


@row("throttled-body", "the first archive body trickles at 500 bytes/s",
     "0 after one retry; attempt 1 'no_progress-<bytes>' after one 30-s window; <= 30 s + 15 s + %d s" % SLACK_S)
def throttled_body(run):
    return retried_once(run, {"throttle": 500}, "no_progress-", PROGRESS_WINDOW_S + RETRY_WAIT_S + SLACK_S)


@row("redirect-loop", "the first 11 archive requests redirect to themselves",
     "0 after one retry; attempt 1 'too_many_redirects-10' after 11 requests; <= 15 s + %d s" % SLACK_S)
def redirect_loop(run):
    def eleven_requests_then_one():
        faults = [bool(r["fault"]) for r in run.archive_requests()]
        if faults != [True] * 11 + [False]:
            run.problem("archive requests (faulty or not): %s" % faults)
    return retried_once(run, {"redirect": "loop"}, "too_many_redirects-10", RETRY_WAIT_S + SLACK_S, times=11,
                        extra_checks=eleven_requests_then_one)


@row("redirect-plain-http", "the first archive request redirects to plain http, which would serve an unsigned archive",
     "0 after one retry; attempt 1 'insecure_redirect-1', no request reaches the plain host; <= 15 s + %d s" % SLACK_S)
def redirect_plain_http(run):
    run.server.configure(files={"unsigned.arc": str(ARCHIVES / "browser-setup-unsigned.arc")})

    def nothing_reached_the_plain_host():
        plain = [r["path"] for r in run.server.read_requests(since=run.mark, host_kind="plain_http")]
        if plain:
            run.problem("the plain host was asked for %s" % plain)
    return retried_once(run, {"redirect": "http://127.0.0.1:%d/__file/unsigned.arc" % PLAIN_HTTP_PORT},
                        "insecure_redirect-1", RETRY_WAIT_S + SLACK_S, extra_checks=nothing_reached_the_plain_host)


@row("wrong-tls-name", "the first archive request redirects to a host whose certificate names another host",
     "0 after one retry; attempt 1 'internet_open_url-12038', no request reaches that host; <= 15 s + %d s" % SLACK_S)
def wrong_tls_name(run):
    def nothing_reached_the_host():
        reached = run.server.read_requests(since=run.mark, host_kind="wrong_name")
        if reached:
            run.problem("%d requests reached the wrong-name host" % len(reached))
    return retried_once(run, {"redirect": "wrong_name"}, "internet_open_url-12038", RETRY_WAIT_S + SLACK_S,
                        extra_checks=nothing_reached_the_host)


HUGE_HEADER_BYTES = 256 * 1024


@row("huge-headers", "every archive answer carries a %d-KiB header" % (HUGE_HEADER_BYTES // 1024),
     "0; the header is ignored, no attempt fails; <= %d s" % SLACK_S)
def huge_headers(run):
    run.server.set_fault("/browser/", {"header": "X-Padding:" + "p" * HUGE_HEADER_BYTES}, host_kind="download_cdn")
    code, seconds = run.install()
    run.expect_code(code, 0)
    failures = run.failures()
    if failures:
        run.problem("failures %r" % failures)
    run.expect_lines(["Module downloaded: ", "Verification succeeded: ", "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run, failures_text(failures))


# --- local faults ---


@row("temp-missing", "%TEMP% names a folder that does not exist",
     "0; the log makes the folder, the installation goes on in it; <= %d s" % SLACK_S)
def temp_missing(run):
    missing = run.work / "missing" / "temp"
    code, seconds = run.install(temp=missing)
    run.expect_code(code, 0)
    run.expect_lines(["Temporary path is: " + windows_path(missing) + "\\", "Verification succeeded: ",
                      "Installer exit with code: 0"], temp=missing)
    run.expect_setup_runs(1, temp=missing)
    run.expect_no_archive_left(temp=missing)
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run)


@row("temp-read-only", "%TEMP% cannot be written (immutable folder)",
     "400 ('Cannot obtain temp file.'; under Wine 8, which names a temporary file it could not make, 401 "
     "'Cannot create file:'), both lost with the log; no archive request, setup never runs; <= %d s" % SLACK_S)
def temp_read_only(run):
    if subprocess.run(["chattr", "+i", str(run.temp)], capture_output=True).returncode != 0:
        run.problem("chattr +i failed: the file system cannot make the folder read-only")
        return "not run"
    code, seconds = run.install()
    if code not in (400, 401):
        run.problem("exit %s, not 400 or 401" % code)
    run.expect_setup_runs(0)
    requests = run.archive_requests()
    if requests:
        run.problem("%d archive requests" % len(requests))
    run.expect_within(seconds, SLACK_S)
    left = list(run.temp.iterdir())
    if left:
        run.problem("files in the read-only folder: %s" % left)
    return summary(code, seconds, run, "%d archive requests" % len(requests))


@row("log-lock-held", "another process holds the log's lock for the whole run",
     "0; one 'LOGGING: Failed to lock log file' line, every record still written; <= %d s" % (2 * SLACK_S))
def log_lock_held(run):
    log_path = windows_path(run.temp) + "\\ostrel.log"
    holder = run.start([WINE64, str(TEST_HELPER), "hold-log-mutex", log_path, "600000"])
    time.sleep(2)  # the holder takes the lock at its start
    code, seconds = run.install()
    holder.kill()
    run.expect_code(code, 0)
    raw = (run.temp / "ostrel.log").read_text(errors="replace") if (run.temp / "ostrel.log").exists() else ""
    notes = raw.count("LOGGING: Failed to lock log file")
    if notes != 1:
        run.problem("%d lock-failure notes" % notes)
    run.expect_lines(["Verification succeeded: ", "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, 2 * SLACK_S)
    return summary(code, seconds, run, "%d records" % len(run.log()))


@row("log-is-directory", "%TEMP%\\ostrel.log is a directory",
     "0; the records are lost, the installation is not; <= %d s" % SLACK_S)
def log_is_directory(run):
    (run.temp / "ostrel.log").mkdir()
    code, seconds = run.install()
    run.expect_code(code, 0)
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run)


PLANTED_DLL_SOURCE = r"""
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetTempPathW(MAX_PATH, path);
    if (length > 0 && length < MAX_PATH) {
      lstrcatW(path, L"planted-dll-loaded");
      CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
  }
  return TRUE;
}
"""
PLANTED_NAMES = ["version.dll", "wininet.dll", "winhttp.dll", "cabinet.dll", "wintrust.dll", "crypt32.dll",
                 "oleacc.dll", "dbghelp.dll", "uxtheme.dll", "dwmapi.dll", "gdiplus.dll", "msimg32.dll",
                 "shcore.dll", "propsys.dll", "userenv.dll", "secur32.dll", "netapi32.dll", "iphlpapi.dll"]


@row("planted-dll", "the installer runs from a folder holding DLLs named like system ones",
     "0; 'Runned in secure environment.', none of the DLLs is loaded; <= %d s" % SLACK_S)
def planted_dll(run):
    app = run.work / "app"
    app.mkdir()
    source = run.work / "planted.c"
    source.write_text(PLANTED_DLL_SOURCE)
    dll = run.work / "planted.dll"
    built = subprocess.run(["x86_64-w64-mingw32-gcc", "-shared", "-o", str(dll), str(source)], capture_output=True,
                           text=True)
    if built.returncode != 0:
        run.problem("the planted DLL did not build: " + built.stderr.strip()[:200])
        return "not run"
    for name in PLANTED_NAMES:
        shutil.copy(dll, app / name)
    program = app / INSTALLER.name
    shutil.copy(INSTALLER, program)
    code, seconds = run.install(program=program)
    run.expect_code(code, 0)
    run.expect_lines(["Runned in secure environment.", "Verification succeeded: ", "Installer exit with code: 0"])
    run.expect_no_line("Exiting, DLL files found")
    if (run.temp / "planted-dll-loaded").exists():
        run.problem("a planted DLL was loaded")
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run, "%d DLLs planted, none loaded" % len(PLANTED_NAMES)
                   if not (run.temp / "planted-dll-loaded").exists() else "a planted DLL was loaded")


@row("archive-swapped", "another process tries to write, replace and delete the archive once it is downloaded",
     "0; 'write=0 replace=0 delete=0' (locked until setup ends); setup runs the downloaded archive; <= %d s" % SLACK_S)
def archive_swapped(run):
    start = time.monotonic()
    installer = run.start(run.command(["--standin-delay-ms=4000"]))
    downloaded = run.wait_for(lambda: any(t.startswith("Module downloaded: ") for t in run.texts()), 120,
                              "'Module downloaded: ' line")
    outcome = ""
    if downloaded:
        archives = run.archive_files()
        if len(archives) != 1:
            run.problem("%d archive files" % len(archives))
        else:
            replacement = run.work / "replacement.arc"
            shutil.copy(ARCHIVES / "browser-setup-unsigned.arc", replacement)
            outcome = run.helper("try-replace", windows_path(archives[0]), windows_path(replacement)).strip()
            if "write=0 replace=0 delete=0" not in outcome:
                run.problem("try-replace: %r" % outcome)
    output, _ = installer.communicate(timeout=300)
    seconds = time.monotonic() - start
    code = printed_exit_code(output)
    run.expect_code(code, 0)
    run.expect_lines(["Verification succeeded: ", "Setup process exit with code: SUCCESS", "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    run.expect_no_archive_left()
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run, outcome or "no swap tried")


def refused(run, archive_name, lines):
    run.server.configure(archive=str(ARCHIVES / archive_name))
    code, seconds = run.install()
    run.expect_code(code, 402)
    run.expect_lines(lines + ["Module verification failed: ", "Installer exit with code: 402"])
    run.expect_setup_runs(0)
    run.expect_no_archive_left()
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run)


@row("tampered-list", "the archive's trusted list was changed after it was signed",
     "402; 'Failed to verify signature, error: ', 'Module verification failed: '; setup never runs; "
     "<= %d s" % SLACK_S)
def tampered_list(run):
    return refused(run, "browser-setup-tampered.arc", ["Failed to verify signature, error: ", "Verifying "])


@row("foreign-signer", "the archive is signed by a certificate its trusted list does not name",
     "402; 'Can not find sertificate in trusted list. ', 'Module verification failed: '; setup never runs; "
     "<= %d s" % SLACK_S)
def foreign_signer(run):
    return refused(run, "browser-setup-unlisted.arc", ["Verifying ", "Can not find sertificate in trusted list. ",
                                                        "Can not find any trusted certificates. "])


@row("second-instance", "another installer holds the single-instance lock",
     "600; 'Another installer instance is already running.', 'Master installer process id: <id>'; "
     "nothing downloaded; <= %d s" % SLACK_S)
def second_instance(run):
    ready, stop, result = run.work / "ready", run.work / "stop", run.work / "result"
    holder = run.start([WINE64, str(TEST_HELPER), "hold-installer-instance", windows_path(INSTALLER),
                        windows_path(ready), windows_path(stop), windows_path(result)])
    text = run.wait_for(lambda: ready.exists() and ready.read_text(), 60, "first instance")
    if not text:
        return "no first instance"
    master = int(text.split()[0])
    code, seconds = run.install()
    stop.write_text("stop")
    holder.wait(timeout=60)
    run.expect_code(code, 600)
    run.expect_lines(["Another installer instance is already running.", "Master installer process id: %d" % master])
    run.expect_no_line("Selected download urls:")
    run.expect_setup_runs(0)
    if run.archive_requests():
        run.problem("the archive was requested")
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run)


@row("elevation-parent-dies", "the first copy dies while its elevated copy waits for the go-ahead",
     "the copy exits -1 with 'Installer started as admin has been unexpectedly synced, wr=2'; setup never runs; "
     "<= 10 s after the death")
def elevation_parent_dies(run):
    ready = run.work / "copy.pid"
    first = run.start([WINE64, str(TEST_HELPER), "start-elevated-copy", windows_path(INSTALLER),
                       windows_path(run.temp), windows_path(ready)] + run.switches())
    pid = run.wait_for(lambda: ready.exists() and ready.read_text().strip(), 60, "elevated copy")
    if not pid:
        return "no elevated copy"
    waiter = run.start([WINE64, str(TEST_HELPER), "wait-process", pid, "60000"])
    if waiter.stdout.readline().strip() != "opened":
        run.problem("the copy could not be watched")
        return "not watched"
    run.wait_for(lambda: "Start installer as admin" in run.texts(), 60, "'Start installer as admin' line")
    died = time.monotonic()
    first.kill()
    first.wait()
    output, _ = waiter.communicate(timeout=120)
    seconds = time.monotonic() - died
    code = printed_exit_code(output)
    run.expect_code(code, -1)
    run.expect_lines(["Start installer as admin",
                      "Installer started as admin has been unexpectedly synced, wr=2"])
    run.expect_setup_runs(0)
    run.expect_within(seconds, 10)
    return "copy exit %s %.0f s after the death; setup ran %d" % (code, seconds, len(run.setup_runs()))


@row("killed-and-rerun", "the installer is ended mid-download, then run again",
     "the rerun exits 0, downloads afresh and runs its own whole archive, never the partial one; "
     "<= %d s" % SLACK_S)
def killed_and_rerun(run):
    # About 25 s of download, so the end comes in its middle.
    run.server.set_fault("/browser/", {"throttle": max(archive_size() // 25, 40000)}, host_kind="download_cdn",
                         times=1)
    first = run.start(run.command())
    started = run.wait_for(lambda: next((t for t in run.texts() if t.startswith("Installer process id: ")), None),
                           60, "installer process id")
    partial = run.wait_for(lambda: [p for p in run.archive_files() if p.stat().st_size > 0], 60,
                           "download in progress")
    if not started or not partial:
        return "no download to end"
    run.helper("end-process", started.split(": ")[1])
    first.communicate(timeout=60)
    partial = run.archive_files()
    sizes = [p.stat().st_size for p in partial]
    if not sizes or not all(0 < size < archive_size() for size in sizes):
        run.problem("left by the ended run: %s" % sizes)
    (run.temp / "ostrel.log").rename(run.temp / "first-run.log")
    mark = run.server.mark()
    code, seconds = run.install()
    run.expect_code(code, 0)
    run.expect_lines(["Selected download urls:", "Module downloaded: ", "Verification succeeded: ",
                      "Installer exit with code: 0"])
    run.expect_setup_runs(1)
    programs = {run_["program"].rsplit("\\", 1)[-1].lower() for run_ in run.setup_runs()}
    if programs & {p.name.lower() for p in partial}:
        run.problem("setup ran the partial archive")
    ranged = [r for r in run.server.read_requests(since=mark, host_kind="download_cdn")
              if r["path"].endswith(ARCHIVE_PATH) and "range" in r["header_map"]]
    if ranged:
        run.problem("the rerun asked for a range")
    left = [p for p in run.archive_files() if p not in partial]
    if left:
        run.problem("the rerun left %s" % left)
    run.expect_within(seconds, SLACK_S)
    return summary(code, seconds, run, "ended at %d of %d bytes; that file stays, unused" % (sizes[0] if sizes else 0,
                                                                                          archive_size()))


# --- running the matrix ---


def run_rows(rows, server, env, out=sys.stdout):
    results = []
    for row_ in rows:
        print("running %s ..." % row_.name, file=sys.stderr, flush=True)
        run = Run(server, env, row_.name)
        try:
            observed = row_.function(run)
        except Exception as error:  # a broken row is that row's FAIL, the matrix goes on
            run.problem("row error: %r" % error)
            observed = "row error"
        finally:
            run.close()
        verdict = "PASS" if not run.problems else "FAIL: " + "; ".join(run.problems)
        results.append((row_, observed, verdict))
        print("  %s: %s" % (row_.name, verdict), file=sys.stderr, flush=True)
    print_table(results, out)
    return results


def print_table(results, out):
    def cell(text):
        return text.replace("|", "\\|")
    print("| fault | expected (exit code, log lines, bound) | observed | verdict |", file=out)
    print("|---|---|---|---|", file=out)
    for row_, observed, verdict in results:
        print("| %s: %s | %s | %s | %s |" % (row_.name, cell(row_.fault), cell(row_.expected), cell(observed),
                                             cell(verdict)), file=out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true", help="print the rows and exit")
    parser.add_argument("--only", default="", help="NAME[,NAME...]: run only these rows")
    args = parser.parse_args(argv)
    if args.list:
        for row_ in ROWS:
            print("%-22s %s" % (row_.name, row_.fault))
        return 0
    rows = ROWS
    if args.only:
        names = [name.strip() for name in args.only.split(",") if name.strip()]
        unknown = [name for name in names if name not in {r.name for r in ROWS}]
        if unknown:
            print("unknown rows: %s (see --list)" % ", ".join(unknown), file=sys.stderr)
            return 2
        rows = [r for r in ROWS if r.name in names]
    env = wine_environment()
    server = StandinServer()
    started = server.ensure_running()
    try:
        started_at = time.monotonic()
        results = run_rows(rows, server, env)
        print("\n%d rows, %d failed, %.0f s" % (len(results), sum(v != "PASS" for _, _, v in results),
                                                time.monotonic() - started_at))
    finally:
        server.reset()
        if started:
            server.stop()
    return 0 if all(verdict == "PASS" for _, _, verdict in results) else 1


if __name__ == "__main__":
    sys.exit(main())
