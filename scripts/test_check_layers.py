"""The layer check passes on this tree and fails on an include that goes up."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parent / "check_layers.py"
ROOT = SCRIPT.parent.parent


def run_check(root):
    return subprocess.run([sys.executable, str(SCRIPT), str(root)], capture_output=True, text=True)


class CheckLayersTest(unittest.TestCase):
    def test_a_handle_closed_outside_an_owner_fails(self):
        with tempfile.TemporaryDirectory() as temp:
            root = pathlib.Path(temp)
            (root / "net").mkdir()
            (root / "net" / "owner.cc").write_text(
                "bool Traits::Close(Handle h) { return ::InternetCloseHandle(h) != FALSE; }\n"
                "// A comment may name ::CloseHandle(h).\n"
                "  static bool Close(Handle h) {\n"
                "    if (::CloseHandle(h)) return true;\n"
                "    return false;\n"
                "  }\n")
            self.assertEqual(run_check(root).returncode, 0, run_check(root).stdout)
            (root / "net" / "callback.cc").write_text(
                "void F(HINTERNET h) {\n  ::InternetCloseHandle(h);\n}\n"
                "  static bool Close(Handle h) {\n  }\n  void G(HANDLE h) { ::CloseHandle(h); }\n")
            result = run_check(root)
            self.assertEqual(result.returncode, 1)
            self.assertIn("net/callback.cc:2: InternetCloseHandle outside an owner's Close", result.stdout)
            # An owner's body ends at its own closing brace.
            self.assertIn("net/callback.cc:6: CloseHandle outside an owner's Close", result.stdout)

    def test_this_tree_keeps_its_layers(self):
        result = run_check(ROOT)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_an_upward_or_sideways_include_fails_and_tests_may_reach_up(self):
        with tempfile.TemporaryDirectory() as temp:
            root = pathlib.Path(temp)
            for folder in ("base", "win", "config", "app"):
                (root / folder).mkdir()
            (root / "app" / "entry_point.h").write_text("#pragma once\n")
            (root / "base" / "ok.cc").write_text('#include "base/ok.h"\n#include <windows.h>\n')
            (root / "win" / "probe_unittest.cc").write_text('#include "app/entry_point.h"\n')
            self.assertEqual(run_check(root).returncode, 0)

            (root / "win" / "probe.cc").write_text('#include "base/ok.h"\n\n#include "app/entry_point.h"\n')
            (root / "config" / "brand.h").write_text('#include "win/probe.h"\n')
            result = run_check(root)
            self.assertEqual(result.returncode, 1)
            self.assertIn("win/probe.cc:3: 'win/' may not include 'app/'", result.stdout)
            self.assertIn("config/brand.h:1: 'config/' may not include 'win/'", result.stdout)

            shutil.rmtree(root / "config")
            (root / "gadgets").mkdir()
            (root / "gadgets" / "g.cc").write_text("")
            self.assertIn("folder 'gadgets' has no layer", run_check(root).stdout)


if __name__ == "__main__":
    unittest.main()
