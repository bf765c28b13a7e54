#!/usr/bin/env python3
"""Makes a large signed setup archive for the verification benchmark: the
unsigned stand-in setup program (which carries the signed trusted list) with
one more section of random bytes, so the archive is about SIZE_MB, then
Authenticode-signed by leaf_sha256 as the stand-in archives are.

    bench_archive.py --setup UNSIGNED.exe --codesign DIR --size-mb N --out FILE

The payload is a section rather than bytes appended after the image, as a
real archive carries its payload, so the whole file is part of the image the
signature covers."""

import argparse
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "trust"))
import sign_module  # noqa: E402

SECTION_HEADER_SIZE = 40
INITIALIZED_READABLE = 0x40000040


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def add_section(image, name, payload):
    """`image` with a new last section holding `payload`."""
    image = bytearray(image)
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    section_alignment, file_alignment = struct.unpack_from("<II", image, optional + 32)
    headers_size = struct.unpack_from("<I", image, optional + 60)[0]
    table = optional + optional_size
    new_header = table + sections * SECTION_HEADER_SIZE
    headers = [struct.unpack_from("<8sIIIIIIHHI", image, table + i * SECTION_HEADER_SIZE) for i in range(sections)]
    first_raw = min(h[4] for h in headers if h[3])
    if new_header + SECTION_HEADER_SIZE > min(headers_size, first_raw) or any(
            image[new_header:new_header + SECTION_HEADER_SIZE]):
        raise ValueError("no room for another section header")
    raw_end = max(h[4] + h[3] for h in headers)
    if len(image) != raw_end:
        raise ValueError("the image has data after its last section")
    virtual_end = max(h[2] + max(h[1], h[3]) for h in headers)
    virtual_address = align(virtual_end, section_alignment)
    raw_size = align(len(payload), file_alignment)
    struct.pack_into("<8sIIIIIIHHI", image, new_header, name.encode().ljust(8, b"\0"), len(payload),
                     virtual_address, raw_size, len(image), 0, 0, 0, 0, INITIALIZED_READABLE)
    struct.pack_into("<H", image, pe + 6, sections + 1)
    struct.pack_into("<I", image, optional + 56, align(virtual_address + len(payload), section_alignment))
    initialized = struct.unpack_from("<I", image, optional + 8)[0]
    struct.pack_into("<I", image, optional + 8, initialized + raw_size)
    image += payload + b"\0" * (raw_size - len(payload))
    return bytes(image)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--setup", required=True, help="the unsigned stand-in setup program")
    parser.add_argument("--codesign", required=True, help="tools/trust/test_codesign")
    parser.add_argument("--size-mb", type=int, required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    with open(args.setup, "rb") as f:
        image = f.read()
    payload = os.urandom(max(0, args.size_mb * 2**20 - len(image)))
    signer = os.path.join(args.codesign, "leaf_sha256")
    with tempfile.TemporaryDirectory() as work:
        unsigned = os.path.join(work, "unsigned.exe")
        with open(unsigned, "wb") as f:
            f.write(add_section(image, ".payload", payload))
        sign_module.sign(unsigned, args.out, [(signer + ".chain.pem", signer + ".key", "sha256")])
    return 0


if __name__ == "__main__":
    sys.exit(main())
