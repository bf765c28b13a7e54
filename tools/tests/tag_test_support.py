"""Shared set-up of the tag tests: a throwaway code-signing certificate and
signed copies of small executables (PE32 and PE32+)."""

import os
import shutil
import subprocess
import sys

SOURCE_DIR = os.environ.get("TARVIK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ.get("TARVIK_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "windows-x64"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))

import dummy_certificate  # noqa: E402


def run(*command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)


def make_signing_certificate(directory):
    """A self-signed code-signing certificate and key, valid for this test only."""
    key = os.path.join(directory, "signing-key.pem")
    certificate = os.path.join(directory, "signing-cert.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", certificate,
        "-days", "2", "-subj", "/CN=Tag test signer", "-addext", "extendedKeyUsage=codeSigning",
        "-addext", "keyUsage=digitalSignature")
    return certificate, key


def write_dummy_certificate(directory):
    path = os.path.join(directory, "dummy.pem")
    with open(path, "wb") as f:
        f.write(dummy_certificate.to_pem(dummy_certificate.make_certificate()))
    return path


def pe32_plus_executable():
    return os.path.join(BUILD_DIR, "bin", "test_helper.exe")


def pe32_executable(directory):
    """A PE32 file: the shipping i686 build when it is there, else a tiny one
    compiled here. None when neither is possible."""
    shipped = os.path.join(BUILD_DIR, "..", "windows-x86", "bin", "TarvikBrowserInstaller.exe")
    if os.path.exists(shipped):
        return shipped
    compiler = shutil.which("i686-w64-mingw32-gcc")
    if not compiler:
        return None
    source = os.path.join(directory, "tiny.c")
    with open(source, "w") as f:
        f.write("int main(void) { return 0; }\n")
    output = os.path.join(directory, "tiny32.exe")
    run(compiler, "-O1", "-s", source, "-o", output)
    return output


def sign(source, output, certificate, key, extra_certificates=None):
    command = ["osslsigncode", "sign", "-certs", certificate, "-key", key, "-h", "sha256", "-in", source,
               "-out", output]
    if extra_certificates:
        command[2:2] = ["-ac", extra_certificates]
    run(*command)


def verify(path, ca_file):
    """True when osslsigncode accepts the Authenticode signature of `path`."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ca_file, "-in", path],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return result.returncode == 0, result.stdout.decode("utf-8", "replace")
