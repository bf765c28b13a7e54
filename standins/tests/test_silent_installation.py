"""End-to-end tests of a silent installation: the real TarvikBrowserInstaller.exe
under wine64 downloads the stand-in setup archive from the stand-in server,
verifies it, runs it and exits with its exit code.

Each run gets its own %TEMP% (test_helper run-with-temp), so its log, its data
files and the archive's temporary file are in the test folder; the stand-in
setup installs into the test folder too and records its command line there.
"""
import json
import os
import subprocess
import time
import unittest
from pathlib import Path

from e2e_support import (ARCHIVES, INSTALLER, TEST_HELPER, WINE64, InstallerRunTestCase, first_missing_line,
                         printed_exit_code, read_log, run_with_temp_command, windows_path)

PRODUCT_KEY = r"HKCU\Software\Tarvik\TarvikBrowser"
HAND_OVER_VALUES = ["InstallerData", "ClidsFile", "TarvikWebsiteIconFile", "DistribInfoParams", "brand", "BrandFile"]
RETRY_WAIT_S = 15


class SilentInstallationTestCase(InstallerRunTestCase):
    work_prefix = "silent-e2e-"

    def setUp(self):
        super().setUp()
        self.install_root = self.work / "installed"
        # A failed installation leaves its hand-over values; the next test starts without them.
        self.addCleanup(self.remove_hand_over_values)

    # --- running the installer ---

    # A user's own silent run; PrivilegedSilentInstallationTest runs it elevated.
    as_user = True

    def command(self, switches, timeout_ms):
        return run_with_temp_command(self.temp, INSTALLER,
                                     ["--silent", "--standin-install-root=" + windows_path(self.install_root),
                                      "--standin-record=" + windows_path(self.record),
                                      "--standin-browser-lifetime-ms=1000"] + switches, timeout_ms,
                                     as_user=self.as_user)

    def exit_code(self, output):
        code = printed_exit_code(output)
        self.assertIsNotNone(code, f"no exit code in {output!r}")
        return code & 0xFFFFFFFF

    def install(self, switches=(), timeout_ms=240000):
        """Runs a silent installation; returns the full exit code (unsigned)."""
        output = subprocess.run(self.command(list(switches), timeout_ms), env=self.env, capture_output=True,
                                text=True, timeout=timeout_ms / 1000 + 60).stdout
        return self.exit_code(output)

    def install_expecting(self, expected, switches=(), timeout_ms=240000):
        """Runs a silent installation that must end with `expected`; a failure shows what setup and the log said."""
        code = self.install(switches, timeout_ms)
        if code != expected:
            record = self.record.read_text(encoding="utf-8") if self.record.exists() else "(none)"
            self.fail(f"exit code {code:#x}, not {expected:#x}\nsetup record:\n{record}\nlog:\n"
                      + "\n".join(map(repr, self.log()[-40:])))

    # --- what it left ---

    def log(self):
        return read_log(self.temp)

    def texts(self):
        return [record.text for record in self.log()]

    def assert_lines_in_order(self, prefixes):
        texts = self.texts()
        missing = first_missing_line(texts, prefixes)
        if missing:
            self.fail(f"no line {missing[0]!r} after line {missing[1]} in:\n" + "\n".join(texts))

    def selected_urls(self):
        texts = self.texts()
        start = texts.index("Selected download urls:") + 1
        urls = []
        for text in texts[start:]:
            if not text.startswith("https://"):
                break
            urls.append(text)
        return urls

    def archive_requests(self, since):
        return [r for r in self.server.read_requests(since=since, host_kind="download_cdn")
                if r["path"].endswith("/browser-setup.arc")]

    def setup_runs(self):
        if not self.record.exists():
            return []
        lines = [json.loads(line) for line in self.record.read_text(encoding="utf-8").splitlines() if line.strip()]
        return [line for line in lines if line.get("role") == "setup"]

    def archive_files(self):
        return sorted(self.temp.glob("qb*.tmp"))

    def remove_hand_over_values(self):
        for name in HAND_OVER_VALUES + ["PartnerFile"]:
            subprocess.run([WINE64, "reg", "delete", PRODUCT_KEY, "/v", name, "/f"], env=self.env,
                           capture_output=True)

    def product_values(self):
        result = subprocess.run([WINE64, "reg", "query", PRODUCT_KEY], env=self.env, capture_output=True, text=True)
        values = {}
        for line in result.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values


class SilentInstallationTest(SilentInstallationTestCase):
    def test_installation_downloads_verifies_runs_setup_and_cleans_up(self):
        mark = self.server.mark()
        self.install_expecting(0, ["--distr-info-params=banerid=5"])

        urls = self.selected_urls()
        self.assertGreaterEqual(len(urls), 1)
        for url in urls:
            self.assertTrue(url.startswith(self.server.origin()) and url.endswith("/browser-setup.arc"
                                                                                 "?from_installer=true"), url)
        requests = self.archive_requests(mark)
        self.assertEqual(len(requests), 1)  # the first URL answered
        self.assertEqual(self.server.origin() + requests[0]["path"] + "?from_installer=true", urls[0])

        archive = windows_path(self.temp)
        self.assert_lines_in_order([
            "Install Browser.",
            "Executable path: " + archive + "\\qb",
            "Try to download module:" + archive + "\\qb",
            "Selected download urls:",
            "Connection established: " + urls[0],
            "Module downloaded: ",
            "Verifying ",
            "File successfully verified with sha256. ",
            "Verification succeeded: ",
            "Run: ",
            "Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0",
            "Removed HKEY_CURRENT_USER\\Software\\Tarvik\\TarvikBrowser\\InstallerData",
            "Installer exit with code: 0",
        ])
        self.assertEqual(self.archive_files(), [])
        self.assertEqual([t for t in self.texts() if t.startswith("Closed a ")], [], "a handle closed twice")
        # The versioned-URL rule reads the build date from the version resource.
        self.assertEqual([t for t in self.texts() if t.startswith(("Version time is 0", "Used the last write"))], [])

        runs = self.setup_runs()
        self.assertEqual(len(runs), 1)
        switches = runs[0]["switches"]
        temp = windows_path(self.temp) + "\\"
        self.assertEqual({name: value for name, value in switches.items() if not name.startswith("standin-")}, {
            "abt-config-resource-file": temp + "abt_config_resource",
            "abt-update-path": switches["abt-update-path"],
            "brand-name": "tarvik",
            "brand-package": temp + "BrandFile",
            "clids-file": temp + "clids.xml",
            "distr-info-file": temp + "distrib_info",
            "distr-info-params": "banerid=5",
            "install-start-time-no-uac": switches["install-start-time-no-uac"],
            "installer-brand-id": "tarvik",
            "installerdata": temp + "master_preferences",
            "progress-window": "0",
            "send-statistics": "",
            "silent": "",
            "source": "lite",
            "tarvik-website-icon-file": temp + "website.ico",
            "variations-update-path": switches["variations-update-path"],
            "verbose-logging": "",
        })
        self.assertRegex(switches["install-start-time-no-uac"], r"^[1-9]\d*$")
        # The seeds' paths, reserved by the background tasks in the temporary folder.
        for name in ("variations-update-path", "abt-update-path"):
            self.assertTrue(switches[name].startswith(temp + "ait"), switches[name])
        self.assertNotEqual(switches["variations-update-path"], switches["abt-update-path"])
        self.assertTrue(runs[0]["program"].startswith(temp + "qb"))
        self.assertTrue(runs[0]["browser_started"])

        values = self.product_values()
        for name in HAND_OVER_VALUES:
            self.assertNotIn(name, values)
        self.assertEqual(values.get("pv"), "25.2.0.1234")
        application = windows_path(self.install_root) + "\\Tarvik\\TarvikBrowser\\Application"
        self.assertEqual(values.get("UninstallString"), application + "\\25.2.0.1234\\Installer\\setup.exe")
        self.assertTrue((self.install_root / "Tarvik" / "TarvikBrowser" / "Application" / "browser.exe").exists())

    def test_setup_exit_code_is_the_installer_exit_code(self):
        # Every code but 7 and 8 counts as a finished run, named by its top byte.
        self.install_expecting(0x74000005, ["--standin-exit-code=0x74000005"])
        self.assert_lines_in_order(["Setup process exit with code: UNABLE_TO_EXTRACT_SETUP(116); error: 5",
                                    "Removed HKEY_CURRENT_USER\\Software\\Tarvik\\TarvikBrowser\\InstallerData",
                                    "Installer exit with code: 1946157061"])

        # 7 is a failed installation: the hand-over values stay for the next attempt.
        (self.temp / "ostrel.log").unlink()
        self.install_expecting(7, ["--standin-exit-code=7"])
        self.assert_lines_in_order(["Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 7",
                                    "Installer exit with code: 7"])
        values = self.product_values()
        for name in ("InstallerData", "ClidsFile", "TarvikWebsiteIconFile", "brand", "BrandFile"):
            self.assertIn(name, values)
        self.assertEqual(self.archive_files(), [])


class RefusedArchiveTest(SilentInstallationTestCase):
    def refused(self, archive_name):
        self.server.configure(archive=str(ARCHIVES / archive_name))
        self.install_expecting(402)
        self.assertEqual(self.setup_runs(), [])
        self.assertEqual(self.archive_files(), [])
        self.assertIn("InstallerData", self.product_values())

    def test_trusted_list_changed_by_one_byte(self):
        self.refused("browser-setup-tampered.arc")
        self.assert_lines_in_order(["Failed to verify signature, error: ", "Verify error", "Verifying ",
                                    "Module verification failed: ", "Installer exit with code: 402"])

    def test_archive_signed_by_an_unlisted_certificate(self):
        self.refused("browser-setup-unlisted.arc")
        self.assert_lines_in_order(["Verifying ", "Can not find sertificate in trusted list. ",
                                    "KNOWN_ERROR_untrusted_certificate", "Can not find any trusted certificates. ",
                                    "Module verification failed: ", "Installer exit with code: 402"])


class DownloadFaultsTest(SilentInstallationTestCase):
    def test_faults_are_retried_with_their_error_texts(self):
        # Each fault answers one request of the setup URLs, in this order; the
        # fifth request is slow but whole. Each failure costs the 15-second wait.
        for fault in ({"status": 404}, {"status": 500}, {"cut": 1000}, {"throttle": 400000, "drop": 60000},
                      {"throttle": 400000}):
            self.server.set_fault("/browser/", fault, host_kind="download_cdn", times=1)
        mark = self.server.mark()
        self.install_expecting(0)

        requests = self.archive_requests(mark)
        self.assertEqual([bool(r["fault"]) for r in requests], [True] * 5)
        failures = [r.text for r in self.log() if r.function == "DownloadModule" and "failed:" in r.text]
        self.assertEqual(len(failures), 4, failures)
        for failure, error in zip(failures, ("final_query_info-404-", "final_query_info-500-",
                                             "incomplete_download-1000", "internet_read-")):
            self.assertIn(" failed: " + error, failure)
        self.assertIn("Unsuccessful download: " + self.selected_urls()[0], self.texts())

        # Every retry waited for its 15 seconds.
        # (The background tasks' seed downloads connect too; only the archive's count.)
        opened = [r.time for r in self.log()
                  if r.text.startswith("Connection established: ") and "/browser-setup.arc?" in r.text]
        self.assertEqual(len(opened), 5)
        for before, after in zip(opened, opened[1:]):
            self.assertGreaterEqual((after - before).total_seconds(), RETRY_WAIT_S - 0.5)
        self.assertIn("Installer exit with code: 0", self.texts())
        self.assertEqual(len(self.setup_runs()), 1)


class PrivilegedSilentInstallationTest(SilentInstallationTestCase):
    """An administrator's or a deployment tool's run (Wine's token is
    elevated): what setup runs and reads is made in a folder of the run's own
    that only administrators may change, never in %TEMP%, and goes with it."""
    as_user = False

    def host_path(self, path):
        """The prefix's C: drive on the host."""
        self.assertRegex(path, r"^[Cc]:\\")
        return Path(os.environ["WINEPREFIX"]) / "drive_c" / path[3:].replace("\\", "/")

    def test_archive_and_data_files_are_made_new_in_a_protected_folder(self):
        # What another user could have left under the fixed names.
        planted = {name: self.temp / name for name in ("BrandFile", "master_preferences", "clids.xml", "distrib_info")}
        for path in planted.values():
            path.write_text("planted")
        self.install_expecting(0, ["--distr-info-params=banerid=5"])

        work = next((t.split(": ", 1)[1] for t in self.texts() if t.startswith("Working path is: ")), None)
        self.assertIsNotNone(work, "no working path in the log")
        self.assertRegex(work, r"(?i)^c:\\windows\\temp\\tbi[0-9a-f]{16}\\$")
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1)
        switches = runs[0]["switches"]
        self.assertTrue(runs[0]["program"].startswith(work + "qb"), runs[0]["program"])
        for name in ("brand-package", "installerdata", "clids-file", "distr-info-file", "abt-config-resource-file",
                     "tarvik-website-icon-file", "variations-update-path", "abt-update-path"):
            self.assertTrue(switches[name].startswith(work), (name, switches[name]))
        for name, path in planted.items():
            self.assertEqual(path.read_text(), "planted", name)
        self.assertEqual(self.archive_files(), [])
        self.assertFalse(self.host_path(work).exists(), "the protected folder outlives the run")


class ArchiveLockTest(SilentInstallationTestCase):
    def test_archive_cannot_be_replaced_while_setup_runs(self):
        process = subprocess.Popen(self.command(["--standin-delay-ms=4000"], 120000), env=self.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            deadline = time.time() + 60
            while not any(text.startswith("Process created: ") for text in self.texts()):
                self.assertLess(time.time(), deadline, "setup never started")
                self.assertIsNone(process.poll(), "the installer ended before setup started")
                time.sleep(0.1)
            archives = self.archive_files()
            self.assertEqual(len(archives), 1)
            outcome = subprocess.run([WINE64, str(TEST_HELPER), "try-replace", windows_path(archives[0]),
                                      windows_path(self.work / "replacement.arc")],
                                     env=self.env, capture_output=True, text=True, timeout=60).stdout
            self.assertIn("write=0 replace=0 delete=0", outcome)
            output, _ = process.communicate(timeout=120)
        finally:
            if process.poll() is None:
                process.kill()
        self.assertEqual(self.exit_code(output), 0)
        self.assertEqual(len(self.setup_runs()), 1)
        self.assertEqual(self.archive_files(), [])


if __name__ == "__main__":
    unittest.main()
