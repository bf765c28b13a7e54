"""A release-host configuration must not trust the development keys that sign
trusted lists: their private halves are in this repository. The guard looks at
the keys themselves, so a copy of the development file under another name, or
one development key among others, still stops the configuration."""
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("TARVIK_SOURCE_DIR", Path(__file__).resolve().parents[2]))
DEVELOPMENT_KEYS = SOURCE_DIR / "tools" / "trust" / "dev_keys" / "builtin_public_keys.txt"
TOOLCHAIN = SOURCE_DIR / "cmake" / "toolchain-x86_64-w64-mingw32.cmake"
GUARD_MESSAGE = "A release-host build must not trust the development list-signing keys"


def other_key(key):
    """A well-formed key line that is not `key`."""
    return key[:100] + ("B" if key[100] == "A" else "A") + key[101:]


class ReleaseKeyGuardTest(unittest.TestCase):
    def configure(self, hosts, key_lines):
        with tempfile.TemporaryDirectory() as temp:
            keys = Path(temp) / "release_keys.txt"
            keys.write_text("\n".join(key_lines) + "\n")
            result = subprocess.run(
                ["cmake", "-S", str(SOURCE_DIR), "-B", str(Path(temp) / "build"), "-G", "Ninja",
                 f"-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}", f"-DTARVIK_HOSTS={hosts}",
                 f"-DTARVIK_TRUST_PUBLIC_KEYS_FILE={keys}"],
                capture_output=True, text=True, timeout=600)
            return result.returncode, result.stdout + result.stderr

    def test_release_hosts_with_development_keys_stop_the_configuration(self):
        development = DEVELOPMENT_KEYS.read_text().split()
        self.assertEqual(len(development), 10)
        mixed = [other_key(key) for key in development[:9]] + development[9:]
        for name, lines in (("a copy of the development file", development), ("one development key", mixed)):
            with self.subTest(name):
                code, output = self.configure("release", lines)
                self.assertNotEqual(code, 0, output)
                self.assertIn(GUARD_MESSAGE, output)
        self.assertIn("indexes 9", output)


if __name__ == "__main__":
    unittest.main()
