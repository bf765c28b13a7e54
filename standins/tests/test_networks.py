"""The installer on networks as users have them: behind the user's proxy (a
real tinyproxy, the only way to the stand-ins), behind a proxy that wants
credentials or is down, behind a middlebox that re-signs HTTPS, and on a
guest network whose sign-in page answers every request."""
import shutil
import subprocess
import sys
import time
import unittest

from e2e_support import (ARCHIVES, SOURCE_DIR, TEST_HELPER, WINE64, crash_helper, make_crash_folders,
                         printed_exit_code, windows_path)
from test_silent_installation import SilentInstallationTestCase

from crash_collector import dump_bytes  # noqa: E402  (e2e_support puts standins/ on the path)
from proxies import (AUTH_PROXY_PORT, DOWN_PROXY_PORT, PROXY_SOURCE_ADDRESS, InspectingProxy, Tinyproxy,
                     make_inspection_ca, user_proxy)

sys.path.insert(0, str(SOURCE_DIR / "scripts" / "lib"))
import drive_window  # noqa: E402

RETRY_WAIT_S = 15
SLACK_S = 45


@unittest.skipUnless(shutil.which("tinyproxy"), "tinyproxy is not installed (scripts/test.sh installs it)")
class NetworkTestCase(SilentInstallationTestCase):
    work_prefix = "network-e2e-"

    def through(self, port):
        """The prefix user's proxy set to 127.0.0.1:`port` for this test."""
        settings = user_proxy(WINE64, self.env, "127.0.0.1:%d" % port)
        settings.__enter__()
        self.addCleanup(settings.__exit__, None, None, None)

    def only_through_proxies(self):
        """Requests that went past the proxy are refused from here on."""
        self.server.configure(only_from=PROXY_SOURCE_ADDRESS)

    def assert_all_went_through(self, mark, connects):
        requests = self.server.read_requests(since=mark)
        self.assertEqual([r["path"] for r in requests if "refused_peer" in r], [], "requests went past the proxy")
        ports = {r["port"] for r in requests}
        self.assertTrue(ports, "no request reached the stand-ins")
        self.assertLessEqual(ports, {int(c.rsplit(":", 1)[1]) for c in connects}, connects)

    def attempt_errors(self):
        return [t.split(" failed: ", 1)[1] for t in self.texts() if t.startswith("Download attempt ")]

    def download_once(self, url):
        """One download with the product's downloader (test_helper): its result line."""
        target = self.work / "one-download"
        return subprocess.run([WINE64, str(TEST_HELPER), "download-to-file", url, windows_path(target)], env=self.env,
                              capture_output=True, text=True, timeout=120).stdout


class ProxyTest(NetworkTestCase):
    def test_silent_installation_and_crash_report_go_through_the_users_proxy(self):
        self.through(47460)
        with Tinyproxy(str(self.work)) as proxy:
            self.only_through_proxies()
            mark = self.server.mark()
            self.install_expecting(0)
            self.assert_all_went_through(mark, proxy.connects())
            kinds = {r["host_kind"] for r in self.server.read_requests(since=mark)}
            # The archive, the statistics, the seeds and the final report.
            self.assertLessEqual({"download_cdn", "browser_api_international", "browser_api_national",
                                  "statistics_storage"}, kinds)

            # A crash behind the same proxy: the report arrives whole.
            mark = self.server.mark()
            appdata, temp = make_crash_folders(self.work / "crash", "{3F2504E0-4F89-41D3-9A0C-0305E82C3302}")
            crash_helper(self.env, appdata, temp, "ostrel-proxy-crash-test", {"brand": "tarvik"})
            requests = self.server.wait_for_requests(1, since=mark, path_prefix="/submit")
            self.assertEqual(len(requests), 1, "the crash report did not arrive")
            self.assertEqual(requests[0]["crash_status"], 200, requests[0]["crash_record"].get("error"))
            self.assertEqual(dump_bytes(requests[0]["crash_record"])[:4], b"MDMP")
            self.assertEqual(list(temp.iterdir()), [], "an accepted dump is deleted")
            self.assert_all_went_through(mark, proxy.connects())
            self.assertIn("localhost:47445", proxy.connects())

    def test_windowed_installation_and_its_slides_go_through_the_users_proxy(self):
        self.through(47460)
        with Tinyproxy(str(self.work)) as proxy:
            self.only_through_proxies()
            mark = self.server.mark()
            self.start_installer(["--standin-install-root=" + windows_path(self.install_root),
                                  "--standin-record=" + windows_path(self.record),
                                  "--standin-browser-lifetime-ms=1000", "--standin-step-delay-ms=600"])
            window = drive_window.find_window(120)
            self.assertIsNotNone(window, "no window")
            time.sleep(1.0)
            drive_window.click(window, drive_window.INSTALL_POINT)
            output, _ = self.process.communicate(timeout=300)
            # The user is an administrator under Wine: the elevated copy installs, then 400.
            self.assertEqual(printed_exit_code(output), 400, "\n".join(self.texts()[-40:]))
            self.assertIn("The elevated installer has finished, success=1", self.texts())
            self.assert_all_went_through(mark, proxy.connects())
            slides = self.server.read_requests(since=mark, path_prefix="/browser/installer/")
            self.assertTrue(slides, "no slide was asked for")

    def test_proxy_that_wants_credentials_ends_the_installation_401_naming_its_answer(self):
        self.through(AUTH_PROXY_PORT)
        with Tinyproxy(str(self.work), AUTH_PROXY_PORT, basic_auth="tarvik:not-given") as proxy:
            started = time.monotonic()
            self.install_expecting(401)
            elapsed = time.monotonic() - started
            errors = self.attempt_errors()
            self.assertTrue(errors and all(e == "proxy_auth_required-407" for e in errors), errors)
            self.assertIn("localhost:47441", proxy.connects())
        self.assertTrue(any(t.startswith("The proxy asks for credentials (407)") for t in self.texts()))
        self.assertLess(elapsed, (len(errors) - 1) * RETRY_WAIT_S + SLACK_S)

    def test_proxy_that_is_down_fails_each_attempt_fast_with_its_own_text(self):
        self.through(DOWN_PROXY_PORT)
        started = time.monotonic()
        output = self.download_once("https://localhost:47441/browser/tarvik/browser-setup.arc")
        self.assertIn("result=failed error=proxy_connect-12029 ", output)
        self.assertLess(time.monotonic() - started, 10)


class MiddleboxTest(NetworkTestCase):
    def setUp(self):
        super().setUp()
        self.server_ca = self.server.ca_pem

    def inspecting(self, name, **options):
        _, leaf, key = make_inspection_ca(str(ARCHIVES), name)
        return InspectingProxy(leaf, key, self.server_ca, **options)

    def test_trusted_inspection_root_works_and_the_archive_signature_still_decides(self):
        # A corporate root installed in the machine's store, as such roots are.
        ca_der, _, _ = make_inspection_ca(str(ARCHIVES), "corporate")
        subprocess.run([WINE64, str(TEST_HELPER), "add-root-cert", windows_path(ca_der)], env=self.env, check=True)
        self.through(47462)
        self.only_through_proxies()
        with self.inspecting("corporate") as middlebox:
            mark = self.server.mark()
            self.install_expecting(0)
            self.assertIn("localhost:47441", middlebox.connects)
            self.assert_all_went_through(mark, middlebox.connects)
        self.assertIn("Verification succeeded: ", "\n".join(self.texts()))

        # The same middlebox changing a byte of the archive: the signature fails it.
        with self.inspecting("corporate", tamper_offset=200000):
            self.temp = self.work / "temp-tampered"
            self.temp.mkdir()
            self.install_expecting(402)

    def test_untrusted_inspection_root_fails_with_its_own_text(self):
        self.through(47462)
        with self.inspecting("untrusted") as middlebox:
            output = self.download_once("https://localhost:47441/browser/tarvik/browser-setup.arc")
            self.assertEqual(middlebox.connects, ["localhost:47441"])
        self.assertRegex(output, r"result=failed error=untrusted_certificate-\d+ ")


class CaptivePortalTest(NetworkTestCase):
    def test_sign_in_page_is_a_download_failure_that_is_retried(self):
        mark = self.server.mark()
        self.server.set_fault("/browser/", {"portal": 1}, host_kind="download_cdn", times=1)
        self.install_expecting(0)
        self.assertEqual(self.attempt_errors(), ["captive_portal-200"])
        self.assertTrue(any(t.startswith("Not the archive but a page of the network (a sign-in page?)")
                            for t in self.texts()))
        attempts = [r["vars"] for r in self.server.read_stat_requests(since=mark)
                    if r["vars"].get("action") == "download_attempt"]
        self.assertEqual([a.get("error") for a in attempts], ["captive_portal_200", None])


if __name__ == "__main__":
    unittest.main()
