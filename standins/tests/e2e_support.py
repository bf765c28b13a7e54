"""What the end-to-end tests share: where the Windows build is, how wine64
is started, paths as Windows processes take them, the installer's log, and a
test case that has the stand-in server running for its class."""
import os
import shutil
import tempfile
import re
import subprocess
import sys
import unittest
from datetime import datetime
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from standin_client import StandinServer  # noqa: E402

# The test run's wine64: scripts/test.sh names one beside Wine's 32-bit
# loader, which also starts the shipped i686 (PE32) build.
WINE64 = os.environ.get("TARVIK_WINE64", "/usr/lib/wine/wine64")
SOURCE_DIR = Path(os.environ.get("TARVIK_SOURCE_DIR", HERE.parents[1]))
BUILD_DIR = Path(os.environ.get("TARVIK_BUILD_DIR", SOURCE_DIR / "build" / "windows-x64"))
BIN_DIR = BUILD_DIR / "bin"
ARCHIVES = BUILD_DIR / "standins"
TEST_HELPER = BIN_DIR / "test_helper.exe"
# The build under test: the x86_64 one unless TARVIK_PRODUCT_BIN_DIR names
# another (the shipped i686 build); the tools around it stay x86_64.
PRODUCT_BIN_DIR = Path(os.environ.get("TARVIK_PRODUCT_BIN_DIR", BIN_DIR))
INSTALLER = PRODUCT_BIN_DIR / "TarvikBrowserInstaller.exe"
# test_helper of the build under test, for what must run in its code (a crash).
PRODUCT_HELPER = PRODUCT_BIN_DIR / "test_helper.exe"


def product_arch():
    """"i686" or "x86_64": the machine field of the installer under test."""
    data = INSTALLER.read_bytes()[:4096]
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return "i686" if data[pe + 4:pe + 6] == b"\x4c\x01" else "x86_64"

LOG_FILE_NAME = "ostrel.log"
_LOG_RECORD = re.compile(r"^(\S+ \S+) (\d+):(\d+) (INFO|ERROR|WARNING): (.*) \(([^():]+):\d+\)$", re.S)
_RECORD_START = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+ \d+:\d+ ")


def windows_path(path):
    """The path as a Wine process sees it (drive Z: is the host's root)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_environment():
    """The environment for wine64: the prefix the test run made, quiet, no Mono, Gecko or debugger."""
    if not os.environ.get("WINEPREFIX"):
        raise RuntimeError("WINEPREFIX is not set: run the tests through scripts/test.sh")
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env["WINEDLLOVERRIDES"] = "mscoree=;mshtml=;winedbg.exe=d"
    return env


def installer_version():
    """The four-part version the build stamps into the installer."""
    return re.search(r'set\(TARVIK_INSTALLER_VERSION "([^"]+)"\)',
                     (SOURCE_DIR / "CMakeLists.txt").read_text()).group(1)


class LogRecord:
    def __init__(self, match):
        self.time = datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f")
        self.process_id = int(match.group(2))
        self.level = match.group(4)
        self.text = match.group(5)
        self.function = match.group(6)

    def __repr__(self):
        return f"{self.process_id} {self.level} {self.function}: {self.text}"


def read_log(temp_dir):
    """The records of the log in `temp_dir`. Each record is one line (the
    logger escapes control characters); a line that does not start a record
    is still joined to the one before, for logs of older builds."""
    path = Path(temp_dir) / LOG_FILE_NAME
    if not path.exists():
        return []
    lines = []
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if _RECORD_START.match(line) or not lines:
            lines.append(line)
        else:
            lines[-1] += "\n" + line
    return [LogRecord(match) for match in map(_LOG_RECORD.match, lines) if match]


def first_missing_line(texts, prefixes):
    """The first of `prefixes` that no text after the previous one's line
    starts with, and the index searched from; None when all are in order."""
    position = 0
    for prefix in prefixes:
        for index in range(position, len(texts)):
            if texts[index].startswith(prefix):
                position = index + 1
                break
        else:
            return prefix, position
    return None


def run_with_temp_command(temp, program, arguments, timeout_ms, as_user=False):
    """The command that runs `program` with %TEMP% at `temp` through the
    Windows-side helper, which prints the full 32-bit exit code (the shell
    sees only 8 bits) as "exit=<code>". Wine runs everything elevated; with
    `as_user` the program gets a normal user's limited token instead."""
    return [WINE64, str(TEST_HELPER), "run-with-temp"] + (["--as-user"] if as_user else []) + [
        windows_path(temp), str(timeout_ms), "--", windows_path(program)] + list(arguments)


def printed_exit_code(output):
    """The exit code run-with-temp printed (signed), None when it printed none."""
    match = re.search(r"exit=(-?\d+)", output)
    return int(match.group(1)) if match else None


def run_with_temp(env, temp, program, arguments, timeout_ms):
    output = subprocess.run(run_with_temp_command(temp, program, arguments, timeout_ms), env=env,
                            capture_output=True, text=True, timeout=timeout_ms / 1000 + 60).stdout
    return printed_exit_code(output)


def make_crash_folders(root, user_id):
    """Under `root`: an %APPDATA% holding the user id the crash client reads,
    and an empty %TEMP% for the dump. Returns (appdata, temp)."""
    appdata = Path(root) / "appdata"
    (appdata / "Tarvik").mkdir(parents=True)
    (appdata / "Tarvik" / "ui").write_bytes(user_id.encode())
    temp = Path(root) / "temp"
    temp.mkdir()
    return appdata, temp


def crash_helper(env, appdata, temp, user, annotations, upload_url=None):
    """Runs test_helper's crash command: the crash client installed as at
    start-up, a null-pointer crash, the report uploaded (to `upload_url`, or
    the collector's default address)."""
    command = [WINE64, str(PRODUCT_HELPER), "crash", "null", "--appdata=" + windows_path(appdata), "--user=" + user,
               "--temp=" + windows_path(temp)]
    if upload_url:
        command.append("--upload-url=" + upload_url)
    command += ["%s=%s" % item for item in annotations.items()]
    subprocess.run(command, env=env, timeout=180, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class StandinServerTestCase(unittest.TestCase):
    """Starts the stand-in server for the class unless one is running already
    (a test run shares one), and leaves it as it found it."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server = StandinServer()
        cls.started_server = cls.server.ensure_running()

    @classmethod
    def tearDownClass(cls):
        cls.server.reset()
        if cls.started_server:
            cls.server.stop()
        super().tearDownClass()


class InstallerRunTestCase(StandinServerTestCase):
    """One installer run per test: the Wine environment, a clean stand-in
    server, and a fresh work folder with temp/ (the installer's %TEMP%) and
    setup's record file, removed after the test."""

    work_prefix = "e2e-"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.env = wine_environment()

    def setUp(self):
        self.server.reset()
        self.addCleanup(self.server.reset)
        self.work = Path(tempfile.mkdtemp(prefix=self.work_prefix))
        self.addCleanup(shutil.rmtree, self.work, True)
        self.temp = self.work / "temp"
        self.temp.mkdir()
        self.record = self.work / "setup-record.jsonl"
        self.process = None
        self.addCleanup(self.end_installer)
        self.forget_installed_browser()

    def start_installer(self, arguments, timeout_ms=240000):
        """Starts the installer with %TEMP% at the test's temp folder, without
        waiting; `self.process` prints its exit code when it ends."""
        self.process = subprocess.Popen(run_with_temp_command(self.temp, INSTALLER, arguments, timeout_ms),
                                        env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return self.process

    def end_installer(self):
        """A test that failed midway leaves its installer running: end it. A
        stopped installation leaves its setup running (a stop ends the window,
        not setup): end that too, or it installs later, into a later test."""
        if self.process and self.process.poll() is None:
            # The helper that reports the exit code is not the installer: end both.
            subprocess.run([WINE64, "taskkill", "/F", "/IM", INSTALLER.name], env=self.env, capture_output=True)
            self.process.kill()
            self.process.wait()
        for record in read_log(self.temp):
            if record.text.startswith("Process created: "):
                subprocess.run([WINE64, str(TEST_HELPER), "end-process", record.text.split(": ", 1)[1]],
                               env=self.env, capture_output=True, timeout=60)

    def forget_installed_browser(self):
        """An earlier test's installation must not make this one find a browser."""
        for key in (r"HKCU\Software\Tarvik\TarvikBrowser", r"HKLM\Software\Tarvik\TarvikBrowser"):
            for name in ("pv", "ypv", "UninstallString", "corporate"):
                subprocess.run([WINE64, "reg", "delete", key, "/v", name, "/f", "/reg:32"], env=self.env,
                               capture_output=True)
