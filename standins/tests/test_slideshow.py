"""End-to-end tests of the progress screen's slideshow: the real installer
under wine64 on the virtual display, fetching the stand-in's drawn slides.
"""
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

from e2e_support import BUILD_DIR, SOURCE_DIR, InstallerRunTestCase, printed_exit_code, read_log, windows_path

sys.path.insert(0, str(SOURCE_DIR / "scripts" / "lib"))
import drive_window  # noqa: E402

RESUME_TITLE = "(interrupted|Resume\\?)$"  # either dialog family
SLIDES = "/browser/installer/"
# The middle of the slide's picture, in window coordinates.
PICTURE_POINT = (600, 190)


def pixel(path, x, y):
    out = subprocess.run(["convert", str(path), "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "txt:"],
                         capture_output=True, text=True).stdout
    return out.strip().splitlines()[-1].split()[2] if out.strip() else ""


def records_pid(records):
    """The installer process that showed the window (the one that stopped slides)."""
    return next(r.process_id for r in records if r.text == "Slide downloads stopped")


class SlideshowWindowTest(InstallerRunTestCase):
    work_prefix = "slides-e2e-"

    def start_and_install(self):
        # Setup waits, so the progress screen stays.
        self.start_installer(["--standin-install-root=" + windows_path(self.work / "installed"),
                              "--standin-record=" + windows_path(self.record), "--standin-delay-ms=120000"])
        window = drive_window.find_window(120)
        self.assertIsNotNone(window, "the installation window did not appear\n" + self.log_tail())
        time.sleep(1.0)
        drive_window.click(window, drive_window.INSTALL_POINT)
        return window

    def log_tail(self):
        return "\n".join(record.text for record in read_log(self.temp)[-30:])

    def test_progress_screen_moves_on_to_a_downloaded_slide(self):
        mark = self.server.mark()
        window = self.start_and_install()
        shots = Path(os.environ.get("TARVIK_SCREENSHOT_DIR", BUILD_DIR / "screenshots"))
        shots.mkdir(parents=True, exist_ok=True)
        time.sleep(3.0)
        first = drive_window.screenshot(window, str(shots / "progress-first-slide.png"), margin=0)
        time.sleep(10.0)
        second = drive_window.screenshot(window, str(shots / "progress-slide-02.png"), margin=0)

        paths = [r["path"] for r in self.server.read_requests(since=mark, path_prefix=SLIDES)]
        # PNG or JPEG by the Windows version the prefix reports.
        self.assertTrue(paths and paths[0].rsplit("/", 1)[1] in ("02.png", "02.jpg"), paths)
        self.assertNotEqual(pixel(first, *PICTURE_POINT), pixel(second, *PICTURE_POINT),
                            "the picture did not change: see %s and %s" % (first, second))

    def test_closing_while_a_slide_request_hangs_ends_at_once(self):
        mark = self.server.mark()
        self.server.set_fault(SLIDES, {"stall": 120000})
        window = self.start_and_install()
        self.server.wait_for_requests(1, since=mark, timeout_s=60, path_prefix=SLIDES)
        time.sleep(1.0)
        drive_window.click(window, drive_window.CLOSE_POINT)
        question = drive_window.find_window(30, RESUME_TITLE)
        self.assertIsNotNone(question, self.log_tail())
        drive_window.key(question, "Tab")  # from Resume to the stopping button
        drive_window.key(question, "Return")
        output, _ = self.process.communicate(timeout=120)
        self.assertEqual(printed_exit_code(output), 500, self.log_tail())
        # The window's closing also waits for the elevated copy the click
        # started, so the slideshow's own part is measured: from the window's
        # step before it to its end. A hanging request holds nothing: far less
        # than its 5 s limit, let alone the host's two minutes.
        records = [r for r in read_log(self.temp) if r.process_id == records_pid(read_log(self.temp))]
        at = [i for i, r in enumerate(records) if r.text == "Slide downloads stopped"]
        self.assertEqual(len(at), 1, self.log_tail())
        self.assertLess((records[at[0]].time - records[at[0] - 1].time).total_seconds(), 1.0, self.log_tail())


if __name__ == "__main__":
    unittest.main()
