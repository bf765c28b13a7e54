"""The benchmark's own programs (scripts/bench.sh): a figure is only worth
printing when what it timed did the real work. The large signed archive passes
the installer's whole verification, and a changed payload byte is refused; the
first-paint timer sees a real window program paint and end; the idle paint
count runs the installation window itself."""
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from e2e_support import ARCHIVES, BIN_DIR, SOURCE_DIR, TEST_HELPER, WINE64, windows_path, wine_environment

sys.path.insert(0, str(SOURCE_DIR / "tools"))
import pe_image  # noqa: E402

BENCH_ARCHIVE = SOURCE_DIR / "scripts" / "lib" / "bench_archive.py"


class BenchProgramsTest(unittest.TestCase):
    def setUp(self):
        self.env = wine_environment()
        self.work = Path(tempfile.mkdtemp(prefix="bench-e2e-"))
        self.addCleanup(shutil.rmtree, self.work, True)

    def helper(self, *arguments):
        return subprocess.run([WINE64, str(TEST_HELPER)] + list(arguments), env=self.env, capture_output=True,
                              text=True, timeout=120).stdout.strip()

    def test_large_archive_passes_the_installer_verification_until_a_payload_byte_changes(self):
        archive = self.work / "large.arc"
        subprocess.run([sys.executable, str(BENCH_ARCHIVE), "--setup", str(ARCHIVES / "browser-setup-unsigned.arc"),
                        "--codesign", str(SOURCE_DIR / "tools" / "trust" / "test_codesign"), "--size-mb", "3",
                        "--out", str(archive)], check=True)
        data = archive.read_bytes()
        payload = pe_image.PeImage(data).sections[-1]
        self.assertEqual(payload.name, ".payload")
        self.assertGreaterEqual(len(data), 3 * 2**20)
        self.assertRegex(self.helper("verify-module", windows_path(archive), "2"),
                         r"^result=ok best_ms=[\d.]+ median_ms=[\d.]+ runs=2$")

        changed = bytearray(data)
        changed[payload.raw_pointer + payload.raw_size // 2] ^= 0xFF
        archive.write_bytes(changed)
        self.assertTrue(self.helper("verify-module", windows_path(archive), "1").startswith("result=refused"))

    def test_first_paint_times_a_window_program_and_closes_it(self):
        output = self.helper("first-paint", "2", "60000", "--", windows_path(BIN_DIR / "minimal_window.exe"))
        self.assertRegex(output, r"^best_ms=[\d.]+ median_ms=[\d.]+ visible_best_ms=[\d.]+ runs=2 each_ms=\d+,\d+$")
        best, visible = float(output.split()[0][8:]), float(output.split()[2][16:])
        self.assertGreaterEqual(best, visible)

    def test_idle_paint_count_runs_the_installation_window(self):
        report = self.work / "paints.txt"
        subprocess.run([WINE64, str(BIN_DIR / "ui_gallery.exe"), "--idle-paints=2", "--report=" + windows_path(report)],
                       env=self.env, capture_output=True, timeout=120)
        # The installation window standing idle on its first screen paints nothing.
        self.assertEqual(report.read_text().strip(), "paints=0 seconds=2")


if __name__ == "__main__":
    unittest.main()
