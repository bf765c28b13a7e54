"""Statistics requests of the real reporter (test_helper.exe under wine64) as the stand-in receives them."""

import os
import subprocess
import unittest
import uuid

from e2e_support import TEST_HELPER, WINE64, StandinServerTestCase, wine_environment

# A hang guard only: the stand-in's stall outlasts it by far.
HANG_GUARD_S = 90
STALL_MS = 300000

STANDING = {"brand_id": "unknown", "partner_id": "unknown", "testids": "", "installer_type": "lite",
            "launched": "false", "old_style": "0", "old_ver": "23.1.0.1"}


def run_helper(*args):
    """{key: value} of what test_helper printed."""
    result = subprocess.run([WINE64, str(TEST_HELPER), *args], env=wine_environment(), stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=HANG_GUARD_S)
    if result.returncode != 0:
        raise AssertionError("test_helper %s exited with %d: %s" % (args, result.returncode, result.stderr[-2000:]))
    lines = result.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()
    return dict(line.partition("=")[::2] for line in lines if line)


@unittest.skipUnless(os.path.exists(TEST_HELPER) and os.path.exists(WINE64), "needs the x64 build and wine64")
class StatisticsTest(StandinServerTestCase):
    maxDiff = None

    def setUp(self):
        self.server.reset()
        self.mark = self.server.mark()
        self.user_id = str(uuid.uuid4()).upper()

    def test_events_arrive_in_order_with_exactly_their_keys(self):
        printed = run_helper("stat-events", "catalogue", "{%s}" % self.user_id)
        self.assertEqual("1", printed["idle"])
        # Hyphens are item syntax: the identifier travels with underscores.
        standing = dict(STANDING, ui=self.user_id.replace("-", "_"), lite_ver=printed["lite_ver"])
        url = "https://localhost:47441/browser/tarvik/browser_setup.arc?from_installer_true"
        expected = [
            (72992, "extended_stat", {"action": "installer_started", "dpi": "150", "resolution": printed["resolution"]}),
            (72992, "extended_stat", {"action": "download", "stage": "started"}),
            (72992, "extended_stat", {"action": "download", "stage": "error", "error": "attempt_1_final_query_info_404_0",
                                      "url": url, "redirect": "127.0.0.1"}),
            (72992, "extended_stat", {"action": "download_attempt", "status": "failed",
                                      "error": "final_query_info_404_0", "attempt_number": "1",
                                      "downloaded_size": "0", "total_size": "0", "url": url,
                                      "redirect": "127.0.0.1"}),
            (72696, "qobrowser_reinstall_dialog", {"chosen_checkbox": "sendstat", "dialog_window": "liteinstall"}),
            (72696, "qobrowser_reinstall_dialog", {"clicked_link": "https://localhost:47446/browser_agreement/?lang_ru&x_a_b",
                                                   "dialog_window": "liteinstall"}),
        ]
        received = self.server.read_stat_requests(since=self.mark)
        self.assertEqual([(cid, path, dict(standing, **keys)) for cid, path, keys in expected],
                         [(r["cid"], r["path"], r["vars"]) for r in received])
        for r in received:
            self.assertEqual("browser_api_international", r["request"]["host_kind"])
            self.assertEqual("GET", r["request"]["method"])
            self.assertEqual("Tarvik.Browser installer", r["request"]["header_map"]["user-agent"])
            self.assertTrue(r["request"]["header_map"]["sec-ch-ua-platform-version"].startswith('"'))

    def test_host_that_never_answers_neither_holds_the_queue_nor_delays_exit(self):
        self.server.set_fault("/installstats/send/", {"stall": STALL_MS}, host_kind="browser_api_international")
        printed = run_helper("stat-events", "stalled", "{%s}" % self.user_id)
        # Every request was given up after its time-outs, so the queue drained.
        self.assertEqual("1", printed["idle"])
        self.assertIn("destroyed", printed)
        received = [int(r["vars"]["seq"]) for r in self.server.read_stat_requests(since=self.mark)]
        self.assertEqual([1, 2, 3], received[:3])
        # seq 4 may have been in progress when the reporter went; seq 5 was
        # still queued and is dropped.
        self.assertIn(received[3:], ([], [4]))


if __name__ == "__main__":
    unittest.main()
