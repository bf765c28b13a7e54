"""The import-slot check: the built installers pass it, and it fails on the
faults it is for, among them the i686 link that left delay-load slots at 0
(a program linked with dlltool's delay library, as the installer once was)."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TARVIK_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("TARVIK_BUILD_DIR", SOURCE_DIR / "build" / "windows-x64"))
sys.path.insert(0, str(SOURCE_DIR / "tools"))
import check_imports  # noqa: E402

INSTALLERS = {arch: BUILD_DIR.parent / preset / "bin" / "TarvikBrowserInstaller.exe"
              for arch, preset in (("i686", "windows-x86"), ("x86_64", "windows-x64"))}
GENERATOR = SOURCE_DIR / "cmake" / "make_delay_import_lib.py"

# Calls one function through its slot only, as the Windows headers declare
# most functions (dllimport): what i686 ld left without a load thunk.
PROGRAM = r"""
#include <windows.h>
#include <shlobj.h>
int main(void) {
  wchar_t path[MAX_PATH];
  return SHGetSpecialFolderPathW(0, path, CSIDL_APPDATA, 0) ? 0 : 1;
}
"""


def first_delay_descriptor(path):
    """(image, descriptor rva, one of its slots) found the way the check goes."""
    image = check_imports.ImportImage(Path(path).read_bytes())
    loader = image.loader_slots()
    objdump = check_imports.OBJDUMP[image.pe.pe32_plus]
    for slot in sorted(check_imports.referenced_slots(objdump, path, image)):
        if slot in loader or not image.pointer_at(slot):
            continue
        descriptor, fault = check_imports.descriptor_of_thunk(image, image.pointer_at(slot) - image.pe.image_base,
                                                             slot)
        if not fault:
            return image, descriptor, slot
    raise AssertionError("no delay-loaded slot in %s" % path)


class CheckImportsTest(unittest.TestCase):
    def test_the_built_installers_have_no_empty_slot(self):
        built = {arch: path for arch, path in INSTALLERS.items() if path.exists()}
        self.assertIn("i686", built, "the shipped i686 build is missing")
        for arch, path in built.items():
            with self.subTest(arch=arch):
                faults, summary = check_imports.check(path)
                self.assertEqual(faults, [], summary)
                # Every system library but kernel32 and the C runtime is delay-loaded.
                self.assertRegex(summary, r"(?:[2-9]\d|1\d) delay descriptors")

    def link_test_program(self, work, delay_library):
        source = Path(work) / "program.c"
        source.write_text(PROGRAM)
        exe = Path(work) / "program.exe"
        subprocess.run(["i686-w64-mingw32-gcc", "-O2", str(source), "-o", str(exe), str(delay_library),
                        "-lshell32"], check=True, capture_output=True)
        return exe

    def test_a_slot_without_its_load_thunk_fails_and_the_project_library_has_one(self):
        with tempfile.TemporaryDirectory() as work:
            definition = Path(work) / "shell32.def"
            definition.write_text('LIBRARY "shell32.dll"\nEXPORTS\n  SHGetSpecialFolderPathW@16\n')
            subprocess.run(["i686-w64-mingw32-dlltool", "--input-def", definition.name, "--dllname", "shell32.dll",
                            "--output-delaylib", "libdlltool_delay.a", "--kill-at"], check=True, cwd=work)
            faults, _ = check_imports.check(self.link_test_program(work, Path(work) / "libdlltool_delay.a"))
            self.assertEqual(len(faults), 1, faults)
            self.assertIn("holds 0", faults[0])

            ours = Path(work) / "libshell32_delay.a"
            subprocess.run([sys.executable, str(GENERATOR), "--ar", "i686-w64-mingw32-ar", "--def-input",
                            str(definition), "--dll", "shell32.dll", "--bits", "32", "--output", str(ours)],
                           check=True)
            faults, summary = check_imports.check(self.link_test_program(work, ours))
            self.assertEqual(faults, [], summary)
            self.assertIn("1 delay descriptors with 1 slots", summary)

    def test_damaged_tables_are_named(self):
        installer = INSTALLERS["i686"]
        image, descriptor, slot = first_delay_descriptor(installer)
        _, name_rva, handle_rva, iat_rva, int_rva = struct.unpack_from("<5I", image.data,
                                                                      image.pe.offset(descriptor))
        damages = {
            "empty slot": (image.pe.offset(slot), bytes(4), "holds 0"),
            "slot into data": (image.pe.offset(slot), struct.pack("<I", image.pe.image_base + handle_rva),
                               "points outside the code"),
            "not RVA based": (image.pe.offset(descriptor), bytes(4), "not RVA based"),
            "module handle set": (image.pe.offset(handle_rva), b"\x01\0\0\0", "module handle slot"),
            "name table cut short": (image.pe.offset(int_rva), bytes(4), "longer than its name table"),
        }
        with tempfile.TemporaryDirectory() as work:
            for label, (offset, patch, expected) in damages.items():
                with self.subTest(damage=label):
                    damaged = Path(work) / "damaged.exe"
                    shutil.copyfile(installer, damaged)
                    data = bytearray(damaged.read_bytes())
                    data[offset:offset + len(patch)] = patch
                    damaged.write_bytes(bytes(data))
                    faults, _ = check_imports.check(damaged)
                    self.assertTrue(any(expected in fault for fault in faults), faults)

    def test_command_line_exit_status(self):
        tool = SOURCE_DIR / "tools" / "check_imports.py"
        result = subprocess.run([sys.executable, str(tool), str(INSTALLERS["i686"])], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("import slots sound", result.stdout)
        with tempfile.NamedTemporaryFile(suffix=".exe") as not_pe:
            not_pe.write(b"MZ" + bytes(200))
            not_pe.flush()
            result = subprocess.run([sys.executable, str(tool), not_pe.name], capture_output=True, text=True)
            self.assertEqual(result.returncode, 1)
            self.assertIn("check_imports:", result.stderr)


if __name__ == "__main__":
    unittest.main()
