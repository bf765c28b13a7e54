"""End-to-end tests of the installer's process frame: the probe mode, the
single-instance lock with the master process id in the SHARED section, copies
that refuse to run beside DLLs, and the order of the start-up log lines.

They start the real TarvikBrowserInstaller.exe under wine64. Exit codes are
read on the Windows side (test_helper run-with-temp), which also points the
installer's %TEMP% (and so its log) at a folder of the test.
"""
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from e2e_support import (INSTALLER, PRODUCT_HELPER, TEST_HELPER, WINE64, read_log, run_with_temp, windows_path,
                         wine_environment)

START_LINE = "-------------------------------------- Start install."


def quiet_setup(work):
    """Switches that keep the stand-in setup's installation in the test folder, without a browser."""
    return ["--do-not-launch-browser", "--standin-install-root=" + windows_path(work / "installed"),
            "--standin-record=" + windows_path(work / "setup-record.jsonl")]


class ProcessFrameTestCase(unittest.TestCase):
    def setUp(self):
        self.env = wine_environment()
        self.work = Path(tempfile.mkdtemp(prefix="frame-e2e-"))
        self.addCleanup(shutil.rmtree, self.work, True)
        self.temp = self.work / "temp"
        self.temp.mkdir()

    def run_installer(self, arguments, program=INSTALLER, timeout_ms=60000):
        """Runs the installer with %TEMP% in the test folder; returns its full exit code."""
        code = run_with_temp(self.env, self.temp, program, arguments, timeout_ms)
        self.assertIsNotNone(code, "the helper printed no exit code")
        return code

    def start_helper(self, *arguments, helper=TEST_HELPER):
        process = subprocess.Popen([WINE64, str(helper)] + [str(a) for a in arguments], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_process, process)
        return process

    @staticmethod
    def stop_process(process):
        if process.poll() is None:
            process.kill()
            process.wait()

    def wait_for_file(self, path, seconds=60):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if path.exists():
                return path.read_text()
            time.sleep(0.05)
        self.fail(f"{path} did not appear")

    def hold_instance(self):
        """Starts a stand-in first installer; returns (process id, stop function)."""
        ready, stop, result = self.work / "ready", self.work / "stop", self.work / "result"
        # It maps the installer's image to write its SHARED section: a helper
        # of the installer's own bitness.
        process = self.start_helper("hold-installer-instance", windows_path(INSTALLER), windows_path(ready),
                                    windows_path(stop), windows_path(result), helper=PRODUCT_HELPER)
        process_id = int(self.wait_for_file(ready).split()[0])

        def stop_instance():
            stop.write_text("stop")
            process.wait(timeout=60)
            return self.wait_for_file(result)

        return process_id, stop_instance

    def texts(self, records):
        return [record.text for record in records]


class ProbeAndSingleInstanceTest(ProcessFrameTestCase):
    def test_probe_mode_answers_701_and_never_takes_the_lock(self):
        self.held_id, stop_instance = self.hold_instance()
        self.assertEqual(self.run_installer(["--check-the-interface"]), 701)
        stop_instance()
        records = read_log(self.temp)
        self.assertEqual(records[0].text, START_LINE)
        self.assertEqual(records[-1].text,
                         "Handled non install cmd line option by win10 default browser helper, ret code: 701")
        self.assertEqual(records[-1].function, "wWinMain")
        texts = self.texts(records)
        self.assertNotIn("Lite installer mode.", texts)
        self.assertFalse(any("installer instance" in text for text in texts))

    def test_second_instance_exits_600_and_brings_the_master_to_the_top(self):
        master_id, stop_instance = self.hold_instance()
        # Another window takes the foreground away from the master.
        taker_ready, taker_stop = self.work / "taker-ready", self.work / "taker-stop"
        self.start_helper("take-foreground", windows_path(taker_ready), windows_path(taker_stop))
        self.wait_for_file(taker_ready)

        self.assertEqual(self.run_installer(["--silent"]), 600)
        result = stop_instance()
        taker_stop.write_text("stop")

        records = read_log(self.temp)
        self.assertEqual(self.texts(records), [
            START_LINE,
            "Runned in secure environment.",
            "Lite installer mode.",
            "Another installer instance is already running.",
            f"Master installer process id: {master_id}",
        ])
        self.assertNotEqual(records[0].process_id, master_id)
        self.assertEqual(result, "foreground=1")


class CopiesBesideDllsTest(ProcessFrameTestCase):
    def setUp(self):
        super().setUp()
        self.app = self.work / "app"
        self.app.mkdir()
        self.copy = self.app / "TarvikBrowserInstaller.exe"
        shutil.copy(INSTALLER, self.copy)

    def test_copies_beside_a_stray_dll_run_where_safe_dll_search_is_on(self):
        # Wine has safe DLL search, so a copy started from a folder with stray
        # DLLs (the user's downloads) goes on: only without it would it refuse.
        (self.app / "planted.dll").write_bytes(b"MZ")
        self.assertEqual(self.run_installer(["--spawned_in_protected_dir", "--silent"] + quiet_setup(self.work),
                                            program=self.copy), 0)
        texts = self.texts(read_log(self.temp))
        self.assertIn("Runned in secure environment.", texts)
        self.assertNotIn("Exiting, DLL files found in working directory", texts)

        # An elevated copy gets as far as its wait for a first copy, which this
        # test does not play: -1, not -200.
        (self.temp / "ostrel.log").unlink()
        self.assertEqual(self.run_installer(["--run-as-admin", "--parent-installer-process-id=0", "--silent"],
                                            program=self.copy), -1)
        texts = self.texts(read_log(self.temp))
        self.assertIn("Runned in secure environment.", texts)
        self.assertIn("Start installer as admin", texts)

    def test_a_directory_named_like_a_dll_does_not_count(self):
        (self.app / "plugins.dll").mkdir()
        # The copy goes on to a whole silent installation against the stand-ins.
        self.assertEqual(self.run_installer(["--spawned_in_protected_dir", "--silent"] + quiet_setup(self.work),
                                            program=self.copy), 0)
        self.assertIn("Runned in secure environment.", self.texts(read_log(self.temp)))


class StartUpLogTest(ProcessFrameTestCase):
    def test_silent_start_up_lines_come_in_order(self):
        self.assertEqual(self.run_installer(["--silent", "--brand-name=partner"] + quiet_setup(self.work)), 0)
        records = read_log(self.temp)
        process_id = records[0].process_id
        # The entry point's own lines; the configuration and the installation log theirs in between.
        main_records = [record for record in records if record.function == "wWinMain"]
        texts = self.texts(main_records)
        # Wine runs it elevated: its files go to a folder of its own.
        self.assertRegex(texts[5] if len(texts) > 5 else "", r"(?i)^Working path is: c:\\windows\\temp\\tbi")
        self.assertEqual(texts[:5] + texts[6:], [
            START_LINE,
            "Runned in secure environment.",
            "Lite installer mode.",
            f"Installer process id: {process_id}",
            "Temporary path is: " + windows_path(self.temp) + "\\",
            "Installing in silent mode.",
            "Installer exit with code: 0",
        ])
        for record in main_records:
            self.assertEqual((record.process_id, record.level), (process_id, "INFO"))


if __name__ == "__main__":
    unittest.main()
