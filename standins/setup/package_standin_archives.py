#!/usr/bin/env python3
"""Packages the stand-in setup program as the setup archives tests use.

    package_standin_archives.py --setup UNSIGNED.exe --trusted-json TRUSTED.JSON
                                --codesign DIR --out-dir DIR

Writes into --out-dir:
  browser-setup.arc           signed by leaf_sha256 (SHA-256), the one the stand-in server serves
  browser-setup-dual.arc      leaf_sha1 (SHA-1) primary, leaf_sha256 (SHA-256) nested
  browser-setup-sha1.arc      leaf_sha1 (SHA-1) only
  browser-setup-unlisted.arc  signed by leaf_unlisted, which the trusted list does not name
  browser-setup-tampered.arc  TRUSTED.JSON changed by one byte after it was signed, then
                              Authenticode-signed by leaf_sha256 (so only the list is wrong)
  browser-setup-modified.arc  browser-setup.arc with one code byte changed after signing
  browser-setup-unsigned.arc  no Authenticode signature"""

import argparse
import os
import shutil
import struct
import sys
import tempfile

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "trust")
sys.path.insert(0, os.path.abspath(TOOLS))
import sign_module  # noqa: E402


def tamper_trusted_json(image, json_bytes):
    """`image` with the embedded TRUSTED.JSON changed by one byte: the case
    of the first hex letter of a pub_key flips, so the list still parses and
    names the same keys; only its signature no longer matches."""
    if image.count(json_bytes) != 1:
        raise ValueError("TRUSTED.JSON must occur exactly once in the image")
    start = image.index(json_bytes)
    key_start = json_bytes.index(b'"pub_key": "') + len(b'"pub_key": "')
    offset = next(i for i in range(key_start, key_start + 64) if chr(json_bytes[i]) in "abcdef")
    changed = bytearray(image)
    changed[start + offset] = ord(chr(json_bytes[offset]).upper())
    return bytes(changed)


def first_section_offset(image):
    """File offset of the first section's raw data."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    table = pe + 24 + optional_size
    return struct.unpack_from("<I", image, table + 20)[0]


def change_code_byte(image):
    changed = bytearray(image)
    changed[first_section_offset(image) + 0x40] ^= 0xFF
    return bytes(changed)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--setup", required=True)
    parser.add_argument("--trusted-json", required=True)
    parser.add_argument("--codesign", required=True)
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)

    def signer(name, digest):
        base = os.path.join(args.codesign, name)
        return (base + ".chain.pem", base + ".key", digest)

    def out(name):
        return os.path.join(args.out_dir, name)

    sha256 = signer("leaf_sha256", "sha256")
    sha1 = signer("leaf_sha1", "sha1")
    unlisted = signer("leaf_unlisted", "sha256")
    with open(args.setup, "rb") as f:
        image = f.read()
    with open(args.trusted_json, "rb") as f:
        json_bytes = f.read()

    sign_module.sign(args.setup, out("browser-setup.arc"), [sha256])
    sign_module.sign(args.setup, out("browser-setup-dual.arc"), [sha1, sha256])
    sign_module.sign(args.setup, out("browser-setup-sha1.arc"), [sha1])
    sign_module.sign(args.setup, out("browser-setup-unlisted.arc"), [unlisted])
    shutil.copyfile(args.setup, out("browser-setup-unsigned.arc"))
    with tempfile.TemporaryDirectory() as work:
        tampered = os.path.join(work, "tampered.exe")
        with open(tampered, "wb") as f:
            f.write(tamper_trusted_json(image, json_bytes))
        sign_module.sign(tampered, out("browser-setup-tampered.arc"), [sha256])
    with open(out("browser-setup.arc"), "rb") as f:
        signed = f.read()
    with open(out("browser-setup-modified.arc"), "wb") as f:
        f.write(change_code_byte(signed))


if __name__ == "__main__":
    main()
