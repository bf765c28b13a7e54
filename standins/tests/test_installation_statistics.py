"""End-to-end tests of what a silent installation reports: every statistics
event of the run, as the stand-in receives it, with exactly its keys; the
parameters handed to setup through the registry; the final installation
report. The real TarvikBrowserInstaller.exe runs under wine64 against the
stand-ins, as in test_silent_installation.
"""
import getpass
import os
import re
import subprocess
import unittest
import urllib.parse
from pathlib import Path

from e2e_support import ARCHIVES, TEST_HELPER, WINE64, installer_version
from test_silent_installation import PRODUCT_KEY, SilentInstallationTestCase

STANDIN_BROWSER_VERSION = "25.2.0.1234"  # the stand-in setup's own file version
OLD_VERSION = "24.1.0.1"
UAC_LINE = re.compile(r'^Read HKEY_LOCAL_MACHINE\\.*\\ConsentPromptBehaviorAdmin which is "(\d+)"$')
# A hang guard only: a stand-in that never answers holds each request for this long.
STALL_MS = 300000
GUARD_MS = 150000


def stat_text(value):
    """A value as the statistics request carries it: the item syntax characters become '_'."""
    return re.sub(r"[,=-]", "_", value)


class InstallationStatisticsTestCase(SilentInstallationTestCase):
    def setUp(self):
        super().setUp()
        # A browser version left by an earlier run makes the installation an update.
        self.reg("add", PRODUCT_KEY, "/v", "pv", "/t", "REG_SZ", "/d", OLD_VERSION, "/f")
        self.reg("delete", PRODUCT_KEY, "/v", "ypv", "/f")
        self.reg("delete", PRODUCT_KEY, "/v", "install_stat", "/f")

    def reg(self, *args):
        subprocess.run([WINE64, "reg", *args], env=self.env, capture_output=True)

    def helper(self, *args):
        output = subprocess.run([WINE64, str(TEST_HELPER), *args], env=self.env, capture_output=True, text=True,
                                timeout=120).stdout
        return dict(line.partition("=")[::2] for line in output.replace("\r", "").splitlines() if line)

    def user_id(self):
        """This Windows user's identifier, from its file in the prefix."""
        path = Path(os.environ["WINEPREFIX"]) / "drive_c" / "users" / getpass.getuser() / "AppData" / "Roaming" \
            / "Tarvik" / "ui"
        return path.read_text().strip().strip("{}")

    def final_reports(self, since):
        return self.server.read_requests(since=since, host_kind="statistics_storage",
                                         path_prefix="/get/browser/install")

    def uac(self):
        """The uac value for this machine: "100" when UAC prompts are off, else
        "0" (setup runs here, not in an elevated copy)."""
        values = [UAC_LINE.match(text).group(1) for text in self.texts() if UAC_LINE.match(text)]
        self.assertEqual(len(values), 1, values)
        return "100" if values[0] == "0" else "0"


class InstallationStatisticsTest(InstallationStatisticsTestCase):
    maxDiff = None

    def test_events_hand_over_and_final_report_of_a_silent_installation(self):
        screen = self.helper("screen-metrics")
        mark = self.server.mark()
        self.install_expecting(0, ["--distr-info-params=banerid=5&tarvikuid=7&distr_tarvikuid=9"])

        reports = self.final_reports(mark)
        self.assertEqual(len(reports), 1)
        report = dict(urllib.parse.parse_qsl(reports[0]["query"], keep_blank_values=True))
        self.assertEqual(set(report), {"ui", "result", "time", "download_time", "install_time"})
        self.assertRegex(report["ui"], r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
        self.assertEqual(report["result"], "success")
        for key in ("time", "download_time", "install_time"):
            self.assertRegex(report[key], r"^\d+$")
        # The whole active time holds the download and setup.
        self.assertGreaterEqual(int(report["time"]), int(report["download_time"]) + int(report["install_time"]) - 1)

        standing = {
            "brand_id": "tarvik", "partner_id": "", "testids": "",
            "banner_id": "5", "tarvik_uid": "7", "distr_tarvik_uid": "9",
            "launched": "false", "ui": stat_text(self.user_id()), "old_ver": OLD_VERSION,
            "lite_ver": installer_version(), "installer_type": "lite", "old_style": "0",
        }
        after_download = dict(standing, new_ver=STANDIN_BROWSER_VERSION, install_type="normal")
        archive_size = str((ARCHIVES / "browser-setup.arc").stat().st_size)
        url = stat_text(self.selected_urls()[0])
        dpi = str(int(int(screen["logpixels"]) * 100 / 96 + 0.5))
        expected = [
            dict(standing, action="installer_started", dpi=dpi, resolution=screen["resolution"]),
            dict(standing, action="download", stage="started"),
            dict(standing, action="download_attempt", status="success", attempt_number="1",
                 downloaded_size=archive_size, total_size=archive_size, url=url, x64="1"),
            dict(after_download, action="download", stage="finished", download_time=report["download_time"]),
            dict(after_download, action="update", stage="setup_exe_launched", uac=self.uac()),
            dict(after_download, action="update", stage="setup_exe_exited", setup_time=report["install_time"]),
        ]
        received = self.server.read_stat_requests(since=mark)
        self.assertEqual([(r["cid"], r["path"]) for r in received], [(72992, "extended_stat")] * len(expected))
        self.assertEqual([r["vars"] for r in received], expected)

        # Setup found the parameters when it started; they are gone afterwards.
        runs = self.setup_runs()
        self.assertEqual(len(runs), 1)
        lines = runs[0].get("install_stat", "").split("\n")
        handed_over = dict(zip(lines[0::2], lines[1::2]))
        expected_hand_over = dict(after_download, ui=self.user_id())  # as stored, before the item syntax
        del expected_hand_over["old_style"]
        self.assertEqual(handed_over, expected_hand_over)
        self.assertNotIn("install_stat", self.product_values())

    def test_host_that_never_answers_does_not_hold_the_installation(self):
        self.server.set_fault("/installstats/send/", {"stall": STALL_MS}, host_kind="browser_api_international")
        mark = self.server.mark()
        # Were an answer waited for, the guard would end the run long before the stand-in gives up.
        self.install_expecting(0, timeout_ms=GUARD_MS)
        self.assertEqual(len(self.setup_runs()), 1)

        # Each unanswered request holds the sender for its time-outs, while the
        # installation goes on: the archive is requested before the second event
        # gets out. Events still queued at the end are dropped.
        requests = [r for r in self.server.read_requests(since=mark)
                    if r["path"].startswith("/installstats/send/") or r["path"].endswith("/browser-setup.arc")]
        kinds = ["archive" if r["path"].endswith("/browser-setup.arc") else "statistics" for r in requests]
        self.assertIn("archive", kinds)
        statistics = [index for index, kind in enumerate(kinds) if kind == "statistics"]
        self.assertGreaterEqual(len(statistics), 1)
        if len(statistics) > 1:
            self.assertLess(kinds.index("archive"), statistics[1], kinds)
        received = self.server.read_stat_requests(since=mark)
        self.assertTrue(all(r["request"]["fault"] == {"stall": STALL_MS} for r in received))
        sequence = [("installer_started", None), ("download", "started"), ("download_attempt", None),
                    ("download", "finished"), ("update", "setup_exe_launched"), ("update", "setup_exe_exited")]
        actions = [(r["vars"]["action"], r["vars"].get("stage")) for r in received]
        self.assertEqual(actions, sequence[:len(actions)])
        self.assertEqual(len(self.final_reports(mark)), 1)


if __name__ == "__main__":
    unittest.main()
