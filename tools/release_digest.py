#!/usr/bin/env python3
"""Prints, for each executable, the SHA-256 of what a build makes of it: the
file without its certificate table (signature and tags), with the header
fields signing changes (CheckSum, the certificate table's directory entry)
zeroed and the zero padding signing adds at the end dropped. A released file
and a build of its commit give the same digest.

  release_digest.py FILE...
"""

import argparse
import hashlib
import struct
import sys

import cli
import tag_tool


def build_digest(data):
    data = bytearray(data)
    try:
        pe = tag_tool.PeFile(data)
        if pe.table + pe.table_size != len(data):
            raise cli.Failure("the certificate table is not at the end of the file")
        del data[pe.table:]
    except tag_tool.TagError as error:
        if "no certificate table" not in str(error):
            raise
        pe = None
    if pe is None:
        pe = _header_offsets(data)
    struct.pack_into("<I", data, pe.checksum_offset, 0)
    struct.pack_into("<II", data, pe.security_entry, 0, 0)
    return hashlib.sha256(bytes(data).rstrip(b"\0")).hexdigest()


class _header_offsets:
    """The two header field offsets of an unsigned file."""

    def __init__(self, data):
        pe = struct.unpack_from("<I", data, 60)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.checksum_offset = optional + 64
        self.security_entry = optional + (112 if magic == tag_tool.PE32_PLUS_MAGIC else 96) + 4 * 8


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="+", metavar="FILE", help="a released (signed) or freshly built executable")
    args = parser.parse_args()
    for path in args.files:
        with open(path, "rb") as f:
            print("%s  %s" % (build_digest(f.read()), path))
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("release_digest", main))
