"""End-to-end tests of the dialogs setup asks for and of an existing installation:
the real installer under wine64 on the virtual display, driven with real
input (xdotool), against the stand-in server and the stand-in setup.
"""
import json
import subprocess
import sys
import time
import unittest
from pathlib import Path

from e2e_support import (INSTALLER, SOURCE_DIR, WINE64, InstallerRunTestCase, printed_exit_code, read_log,
                         run_with_temp_command, windows_path)

sys.path.insert(0, str(SOURCE_DIR / "scripts" / "lib"))
import drive_window  # noqa: E402

MACHINE_KEY = r"HKLM\Software\Tarvik\TarvikBrowser"


class DialogsEndToEndTest(InstallerRunTestCase):
    work_prefix = "dialogs-e2e-"

    def setUp(self):
        super().setUp()
        self.addCleanup(self.forget_machine_installation)

    def forget_machine_installation(self):
        subprocess.run([WINE64, "reg", "delete", MACHINE_KEY, "/reg:32", "/f"], env=self.env, capture_output=True)

    def arguments(self, switches):
        return ["--standin-install-root=" + windows_path(self.work / "installed"),
                "--standin-record=" + windows_path(self.record), "--do-not-launch-browser"] + switches

    def start(self, switches):
        self.start_installer(self.arguments(switches))

    def log_tail(self):
        return "\n".join(record.text for record in list(read_log(self.temp))[-30:])

    def setup_runs(self):
        lines = self.record.read_text(encoding="utf-8").splitlines() if self.record.exists() else []
        return [run for run in map(json.loads, filter(None, lines)) if run.get("role") == "setup"]

    def click_install(self):
        window = drive_window.find_window(120)
        self.assertIsNotNone(window, "the installation window did not appear\n" + self.log_tail())
        time.sleep(1.0)
        drive_window.click(window, drive_window.INSTALL_POINT)

    def wait_for_exit(self):
        output, _ = self.process.communicate(timeout=300)
        self.assertIsNotNone(printed_exit_code(output), output)

    def test_cancelled_corporate_update_answers_setup_with_zero(self):
        self.start(["--standin-mode=corp-browser-exists"])
        self.click_install()
        # Either family's title of the corporate-update notice says "already".
        notice = drive_window.find_window(120, "already")
        self.assertIsNotNone(notice, "the corporate update notice did not appear\n" + self.log_tail())
        time.sleep(1.0)
        drive_window.key(notice, "Escape")
        self.wait_for_exit()
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1)
        self.assertEqual(runs[0]["answer"], 0)
        self.assertNotIn("install_dir", runs[0])

    def browser_present_after_pre_installing(self, switches):
        # A silent run of the stand-in setup pre-installs the browser.
        subprocess.run(run_with_temp_command(self.temp, INSTALLER, self.arguments(["--silent"] + switches), 240000),
                       env=self.env, capture_output=True, timeout=300)
        self.assertTrue((self.work / "installed" / "Tarvik" / "TarvikBrowser" / "Application").is_dir(),
                        self.log_tail())
        mark = self.server.mark()
        self.start([])
        self.click_install()
        self.wait_for_exit()
        clicks = [r["vars"] for r in self.server.read_stat_requests(since=mark)
                  if r["vars"].get("action") == "install_browser_button_clicked"]
        self.assertEqual(len(clicks), 1)
        return clicks[0]["browser_present"]

    def test_corporate_machine_installation_is_reported_as_corporate(self):
        self.assertEqual(self.browser_present_after_pre_installing(["--system-level", "--standin-corporate"]),
                         "corporate")

    def test_per_user_installation_is_reported_as_user(self):
        self.assertEqual(self.browser_present_after_pre_installing([]), "user")


if __name__ == "__main__":
    unittest.main()
