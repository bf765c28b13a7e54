"""End-to-end tests of the installation window: the real installer under wine64
on the virtual display, driven with real input (xdotool), against the stand-in
server and the stand-in setup, which posts its progress and close messages to
the window.
"""
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

from e2e_support import (BUILD_DIR, SOURCE_DIR, TEST_HELPER, WINE64, InstallerRunTestCase, printed_exit_code,
                         product_arch, read_log, windows_path)

sys.path.insert(0, str(SOURCE_DIR / "scripts" / "lib"))
import drive_window  # noqa: E402

PRODUCT_KEY = r"HKCU\Software\Tarvik\TarvikBrowser"
# Its words are joined by no-break spaces in places.
RESUME_TITLE = "(interrupted|Resume\\?)$"  # either dialog family


class WindowedInstallationTest(InstallerRunTestCase):
    work_prefix = "window-e2e-"

    def start(self, switches):
        self.start_installer(["--standin-install-root=" + windows_path(self.work / "installed"),
                              "--standin-record=" + windows_path(self.record),
                              "--standin-browser-lifetime-ms=1000"] + switches)

    def window(self):
        window = drive_window.find_window(120)
        self.assertIsNotNone(window, "the installation window did not appear\n" + self.log_tail())
        time.sleep(1.0)
        return window

    def exit_code(self):
        output, _ = self.process.communicate(timeout=300)
        code = printed_exit_code(output)
        self.assertIsNotNone(code, output + "\n" + self.log_tail())
        return code & 0xFFFFFFFF

    def photograph(self, window, screen):
        """Saves the window as windowed-<screen>-<build>.png in the screenshot
        folder; the number of colours in the picture (a window that paints
        nothing has one or two)."""
        shots = Path(os.environ.get("TARVIK_SCREENSHOT_DIR", BUILD_DIR / "screenshots"))
        shots.mkdir(parents=True, exist_ok=True)
        path = drive_window.screenshot(window, str(shots / f"windowed-{screen}-{product_arch()}.png"), margin=0)
        colours = subprocess.run(["convert", path, "-format", "%k", "info:"], capture_output=True, text=True).stdout
        return int(colours.strip() or 0)

    def texts(self):
        return [record.text for record in read_log(self.temp)]

    def log_tail(self):
        """The log's last records, without the statistics requests' field lists."""
        return "\n".join(repr(r) for r in read_log(self.temp)[-200:] if r.function != "GetQueryUrl")

    def dialog_events(self, mark):
        return [r["vars"] for r in self.server.read_stat_requests(since=mark) if "dialog_window" in r["vars"]]

    def setup_switches(self):
        import json
        runs = [json.loads(line) for line in self.record.read_text(encoding="utf-8").splitlines() if line.strip()]
        setups = [run for run in runs if run.get("role") == "setup"]
        self.assertEqual(len(setups), 1)
        return setups[0]["switches"]

    def test_install_click_runs_setup_whose_progress_and_close_end_the_window(self):
        mark = self.server.mark()
        self.start(["--standin-step-delay-ms=600"])
        window = self.window()
        self.assertGreater(self.photograph(window, "first-screen"), 100, "the first screen is not painted")

        drive_window.click(window, drive_window.INSTALL_POINT)
        time.sleep(1.5)
        if drive_window.is_visible(window):
            self.photograph(window, "progress-screen")
        # Under Wine the user is an administrator: setup runs in the elevated
        # copy, after which the exit code stays 400.
        self.assertEqual(self.exit_code(), 400, self.log_tail())

        texts = self.texts()
        for line in ["The elevated installer has finished, success=1","--> Installer > MainWindow::OnInstallProgress: 75",
                     "--> Installer > MainWindow::OnInstallProgress: 79",
                     "--> Installer > MainWindow::OnImportProgress: 50",
                     "--> Installer > MainWindow::OnCloseWindow",
                     "Installer exit with code: 400"]:
            self.assertIn(line, texts)
        # Every process of the installation (first copy, elevated copy) closed each handle once.
        self.assertEqual([t for t in texts if t.startswith("Closed a ")], [])
        switches = self.setup_switches()
        self.assertEqual(switches.get("browser-present"), "none")
        self.assertNotEqual(switches.get("progress-window"), "0")
        self.assertIn("ok-button-pressed-time", switches)

        events = self.dialog_events(mark)
        self.assertIn({"clicked_button": "install", "dialog_window": "liteinstall"},
                      [{k: e[k] for k in ("clicked_button", "dialog_window") if k in e} for e in events])
        clicks = [r["vars"] for r in self.server.read_stat_requests(since=mark)
                  if r["vars"].get("action") == "install_browser_button_clicked"]
        self.assertEqual(len(clicks), 1)
        self.assertEqual(clicks[0]["browser_present"], "none")

    def test_close_during_installation_asks_and_stop_cancels(self):
        mark = self.server.mark()
        # Setup waits before installing, so the progress screen stays.
        self.start(["--standin-delay-ms=60000"])
        window = self.window()
        drive_window.click(window, drive_window.INSTALL_POINT)
        time.sleep(2.0)

        def answer_close_question(*keys):
            drive_window.click(window, drive_window.CLOSE_POINT)
            question = drive_window.find_window(30, RESUME_TITLE)
            self.assertIsNotNone(question, self.log_tail())
            for key in keys:
                drive_window.key(question, key)

        # Resume, then Escape (backing out of the close): the installation goes on.
        for keys in (["Return"], ["Escape"]):
            answer_close_question(*keys)
            time.sleep(1.0)
            self.assertIsNone(self.process.poll(), keys)
            self.assertTrue(drive_window.is_visible(window), keys)

        # Stop (Tab from Resume to the stopping button): the window ends and
        # the installation counts as cancelled.
        answer_close_question("Tab", "Return")
        self.assertEqual(self.exit_code(), 500, self.log_tail())
        texts = self.texts()
        self.assertIn("User cancelled installation.", texts)
        reports = [t for t in texts if "/get/browser/install?" in t]
        self.assertTrue(reports and "result=cancelled" in reports[-1], reports)
        buttons = [e.get("clicked_button") for e in self.dialog_events(mark)]
        self.assertEqual(buttons, ["install", "cancel"])

    def test_window_moves_by_its_background_minimizes_and_restores_while_installing(self):
        # Setup waits before installing, so the progress screen stays.
        self.start(["--standin-delay-ms=15000"])
        window = self.window()
        x, y, _, _ = drive_window.geometry(window)
        drive_window.drag(window, (700, 300), (100, 50))
        time.sleep(0.5)
        moved_x, moved_y, _, _ = drive_window.geometry(window)
        self.assertEqual((moved_x - x, moved_y - y), (100, 50), self.log_tail())

        mark = self.server.mark()
        drive_window.click(window, drive_window.INSTALL_POINT)
        time.sleep(2.0)
        # The minimize button belongs to the progress screen.
        drive_window.click(window, drive_window.MINIMIZE_POINT)
        self.assertTrue(self.wait_for_window_state("iconic=1 visible=1"), self.log_tail())
        # A taskbar click restores it (X without a window manager keeps showing it meanwhile).
        self.window_state("restore")
        self.assertTrue(self.wait_for_window_state("iconic=0 visible=1"), self.log_tail())
        self.assertEqual(drive_window.geometry(window)[:2], (moved_x, moved_y))

        self.assertEqual(self.exit_code(), 400, self.log_tail())
        self.assertIn("--> Installer > MainWindow::OnCloseWindow", self.texts())
        self.assertEqual([e.get("clicked_button") for e in self.dialog_events(mark)], ["install", "minimize", "restore"])

    def wait_for_window_state(self, state, timeout_s=10):
        deadline = time.monotonic() + timeout_s
        while self.window_state() != state:
            if time.monotonic() > deadline:
                return False
            time.sleep(0.25)
        return True

    def window_state(self, *action):
        """The installer window's state as Windows sees it ("iconic=N visible=N")."""
        return subprocess.run([WINE64, str(TEST_HELPER), "window-state", "Tarvik"] + list(action), env=self.env,
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def test_keyboard_alone_installs_with_the_choices_it_made(self):
        # Focus starts on Install; Tab then takes the licence link, the
        # privacy link, the statistics box, the default-browser box, the close
        # button and Install again.
        self.start(["--standin-step-delay-ms=50"])
        window = self.window()
        for name in ["Tab", "Tab", "Tab", "Tab", "space", "Tab", "Tab", "Return"]:
            drive_window.key(window, name)
            time.sleep(0.3)
        self.assertEqual(self.exit_code(), 400, self.log_tail())
        switches = self.setup_switches()
        self.assertNotIn("make-browser-default-after-import", switches, "Space did not clear the box")
        self.assertIn("send-statistics", switches)

    def test_first_screen_skipped_when_every_choice_is_given(self):
        # The installer sees Windows 10 here (the prefix says 7), where the
        # default-browser capability is asked whatever "def" says.
        key = r"HKCU\Software\Wine\AppDefaults\TarvikBrowserInstaller.exe"
        subprocess.run([WINE64, "reg", "add", key, "/v", "Version", "/d", "win10", "/f"], env=self.env,
                       capture_output=True, check=True)
        self.addCleanup(subprocess.run, [WINE64, "reg", "delete", key, "/f"], env=self.env, capture_output=True)
        # "stat=2" gives the choice as no; "stat=0" would not count as given and would show the first screen.
        self.start(["--distr-info-params=def=1&stat=2&first=1", "--standin-step-delay-ms=50"])
        self.assertEqual(self.exit_code(), 400, self.log_tail())
        switches = self.setup_switches()
        self.assertIn("make-browser-default-after-import", switches)
        self.assertNotIn("send-statistics", switches)
        # "def" given, setup still gets the capability's diagnostic: outcome
        # 0 (available) and the build number.
        self.assertRegex(switches.get("the-interface-availability", ""), r"^\d{9}$")

    def visible_windows(self):
        return drive_window.run("xdotool", "search", "--onlyvisible", "--name", "").split()


if __name__ == "__main__":
    unittest.main()
