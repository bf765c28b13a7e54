"""Checks of the built installer executables (both architectures, when
built): only kernel32 and the C runtime are bound by the loader, every
other system library is delay-loaded under its undecorated function names,
and the SHARED and Shared sections are initialised, readable, writable and
shared (Shared with exactly the delayed parameters' 0xED4 bytes, all zero).
"""
import os
import struct
import subprocess
import unittest
from pathlib import Path

BUILD_DIR = Path(os.environ.get("TARVIK_BUILD_DIR", Path(__file__).resolve().parents[2] / "build" / "windows-x64"))
BUILDS = {
    "x86_64": (BUILD_DIR.parent / "windows-x64", "x86_64-w64-mingw32-nm"),
    "i686": (BUILD_DIR.parent / "windows-x86", "i686-w64-mingw32-nm"),
}

# The loader binds these before any of the installer's code can switch on safe
# DLL search, and a copy of the installer may start beside stray DLLs (the
# user's downloads folder). Only libraries Windows always takes from its own
# directory (known DLLs) may be bound that way; oleacc.dll is not one of them.
LOADER_BOUND = {"kernel32.dll", "msvcrt.dll"}
DELAY_LOADED = {name + ".dll" for name in (
    "user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 comctl32 gdiplus msimg32 "
    "uxtheme wininet winhttp crypt32 wintrust version bcrypt userenv winmm oleacc").split()}

IMAGE_SCN_CNT_INITIALIZED_DATA = 0x40
IMAGE_SCN_MEM_SHARED = 0x10000000
IMAGE_SCN_MEM_READ = 0x40000000
IMAGE_SCN_MEM_WRITE = 0x80000000


class PeImage:
    def __init__(self, path):
        self.data = path.read_bytes()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        assert self.data[pe:pe + 4] == b"PE\0\0"
        sections, optional_size = struct.unpack_from("<H12xH", self.data, pe + 6)
        optional = pe + 24
        self.pe32_plus = struct.unpack_from("<H", self.data, optional)[0] == 0x20B
        self.image_base = (struct.unpack_from("<Q", self.data, optional + 24)[0] if self.pe32_plus
                           else struct.unpack_from("<I", self.data, optional + 28)[0])
        directories = optional + (112 if self.pe32_plus else 96)
        self.import_rva = struct.unpack_from("<I", self.data, directories + 8)[0]
        self.sections = {}
        self.virtual_sizes = {}
        for i in range(sections):
            offset = optional + optional_size + 40 * i
            name = self.data[offset:offset + 8].rstrip(b"\0").decode("ascii")
            virtual_size, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", self.data, offset + 8)
            characteristics = struct.unpack_from("<I", self.data, offset + 36)[0]
            self.sections[name] = (rva, max(virtual_size, raw_size), raw_pointer, characteristics)
            self.virtual_sizes[name] = virtual_size

    def offset(self, rva):
        for start, size, raw_pointer, _ in self.sections.values():
            if start <= rva < start + size:
                return raw_pointer + rva - start
        raise ValueError(f"rva {rva:#x} outside every section")

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def loader_imports(self):
        names = []
        offset = self.offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, offset + 12)[0]
            if name_rva == 0:
                return names
            names.append(self.string(name_rva))
            offset += 20

    def delay_import(self, descriptor_va):
        """(dll name, [function names or #ordinals]) of one delay-load descriptor."""
        offset = self.offset(descriptor_va - self.image_base)
        attributes, name_rva, _, _, int_rva = struct.unpack_from("<5I", self.data, offset)
        assert attributes & 1, "descriptor is not RVA based"
        functions = []
        thunk_format, ordinal_flag = ("<Q", 1 << 63) if self.pe32_plus else ("<I", 1 << 31)
        thunk = self.offset(int_rva)
        while True:
            entry = struct.unpack_from(thunk_format, self.data, thunk)[0]
            if entry == 0:
                break
            functions.append(f"#{entry & 0xFFFF}" if entry & ordinal_flag else self.string((entry & 0x7FFFFFFF) + 2))
            thunk += struct.calcsize(thunk_format)
        return self.string(name_rva), functions


def delay_descriptors(nm, path):
    # The shipped file is stripped; its symbols are in the symbols file beside it.
    symbols = path.with_suffix(".debug")
    output = subprocess.run([nm, str(symbols if symbols.exists() else path)], check=True, capture_output=True,
                            text=True).stdout
    return [int(line.split()[0], 16) for line in output.splitlines() if "__DELAY_IMPORT_DESCRIPTOR_" in line]


class InstallerImageTest(unittest.TestCase):
    def builds(self):
        found = False
        for arch, (build_dir, nm) in BUILDS.items():
            path = build_dir / "bin" / "TarvikBrowserInstaller.exe"
            if path.exists():
                found = True
                yield arch, path, nm
        self.assertTrue(found, "no installer built")

    def test_only_known_system_libraries_are_bound_by_the_loader(self):
        for arch, path, nm in self.builds():
            with self.subTest(arch=arch):
                image = PeImage(path)
                bound = {name.lower() for name in image.loader_imports()}
                self.assertTrue(bound <= LOADER_BOUND, f"bound by the loader: {sorted(bound - LOADER_BOUND)}")

                delayed = {}
                for descriptor in delay_descriptors(nm, path):
                    dll, functions = image.delay_import(descriptor)
                    delayed.setdefault(dll.lower(), []).extend(functions)
                self.assertTrue({"user32.dll", "shell32.dll", "advapi32.dll"} <= set(delayed), sorted(delayed))
                self.assertTrue(set(delayed) <= DELAY_LOADED, sorted(set(delayed) - DELAY_LOADED))
                for dll, functions in delayed.items():
                    for function in functions:
                        # i686 stdcall decoration must not reach the imported names.
                        self.assertNotIn("@", function, f"{dll}!{function}")
                        self.assertTrue(function, dll)
                self.assertIn("MessageBoxW", delayed["user32.dll"])

    def test_shared_section_is_shared_initialised_data(self):
        flags = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_SHARED
        for arch, path, _ in self.builds():
            with self.subTest(arch=arch):
                sections = PeImage(path).sections
                self.assertIn("SHARED", sections)
                _, size, _, characteristics = sections["SHARED"]
                self.assertEqual(characteristics & flags, flags, hex(characteristics))
                self.assertGreaterEqual(size, 4)

    def test_delayed_params_section_is_shared_initialised_data_of_its_layout_size(self):
        flags = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_SHARED
        for arch, path, _ in self.builds():
            with self.subTest(arch=arch):
                image = PeImage(path)
                # Section names are case-sensitive: SHARED and Shared are two sections.
                self.assertIn("Shared", image.sections)
                _, _, raw_pointer, characteristics = image.sections["Shared"]
                self.assertEqual(characteristics & flags, flags, hex(characteristics))
                self.assertEqual(image.virtual_sizes["Shared"], 0xED4)
                contents = image.data[raw_pointer:raw_pointer + 0xED4]
                self.assertEqual(contents, bytes(0xED4))


if __name__ == "__main__":
    unittest.main()
