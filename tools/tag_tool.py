#!/usr/bin/env python3
"""Stamps an installer tag into a signed executable, or reads it back.

Two places can hold the tag, both in the certificate table, which the
Authenticode signature does not cover, so stamping needs no re-signing:

  certificate  the slot of the dummy certificate (dummy_certificate.py) that
               was added to the signature as an extra certificate; the file
               keeps its size. Tags of up to the slot size minus 2 bytes.
  trailer      a block ("Qact", 16-bit big-endian length, tag) after the
               first certificate entry; PE32 files only. Tags of up to
               65535 bytes.

  tag_tool.py stamp [--kind certificate|trailer] --tag TEXT IN OUT
  tag_tool.py read [--kind certificate|trailer] IN

A tag that does not fit, a tag that is not ASCII, or a file without the place
to hold it, is refused (exit status 1). The PE checksum is updated after
stamping, and OUT is replaced only once the stamped copy is complete. `read`
of a file without a tag (or with an empty one) exits with status 1 for both
kinds.
"""

import argparse
import os
import struct
import sys
import tempfile

import cli
import der
from dummy_certificate import TBS_PREFIX

TRAILER_MAGIC = b"Qact"
MAX_TRAILER_TAG = 0xFFFF
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B


class TagError(ValueError):
    pass


class PeFile:
    """The header fields the tag places depend on, each read within bounds."""

    def __init__(self, data):
        if len(data) < 64 or data[:2] != b"MZ":
            raise TagError("not a PE file (no DOS header)")
        self.pe = struct.unpack_from("<I", data, 60)[0]
        if self.pe + 24 + 2 > len(data) or data[self.pe:self.pe + 4] != b"PE\0\0":
            raise TagError("not a PE file (no PE signature)")
        optional = self.pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        if self.magic == PE32_MAGIC:
            directory = optional + 96
        elif self.magic == PE32_PLUS_MAGIC:
            directory = optional + 112
        else:
            raise TagError("unknown optional header magic 0x%x" % self.magic)
        self.checksum_offset = optional + 64
        self.security_entry = directory + 4 * 8
        if self.security_entry + 8 > len(data):
            raise TagError("the data directory lies outside the file")
        self.table, self.table_size = struct.unpack_from("<II", data, self.security_entry)
        if self.table == 0 or self.table_size < 8 or self.table + self.table_size > len(data):
            raise TagError("no certificate table (is the file signed?)")

    @property
    def pe32(self):
        return self.magic == PE32_MAGIC


def pe_checksum(data, checksum_offset):
    """The optional header's CheckSum of `data`, the field itself counted as zero."""
    padded = bytes(data[:checksum_offset]) + b"\0\0\0\0" + bytes(data[checksum_offset + 4:])
    if len(padded) % 2:
        padded += b"\0"
    total = sum(struct.unpack("<%dH" % (len(padded) // 2), padded))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def _update_checksum(data, pe):
    struct.pack_into("<I", data, pe.checksum_offset, pe_checksum(data, pe.checksum_offset))


def _certificates(data, pe):
    """(certificates cursor, ContentInfo) of the first table entry's SignedData."""
    start = pe.table + 8
    content, content_end = der.read_header(data, start, pe.table + pe.table_size)
    if content_end > pe.table + pe.table_size:
        raise TagError("the ContentInfo runs past the certificate table")
    cursor = (start, content_end)
    cursor = der.enter(data, cursor)       # ContentInfo
    cursor = der.skip(data, cursor)        # contentType
    cursor = der.enter(data, cursor)       # [0]
    cursor = der.enter(data, cursor)       # SignedData
    cursor = der.skip(data, cursor, 3)     # version, digestAlgorithms, contentInfo
    return der.enter(data, cursor)         # certificates [0]


def _slot(data, cursor):
    """(offset, size) of the tag slot of the dummy certificate at cursor, or None."""
    try:
        c = der.enter(data, der.enter(data, cursor))  # Certificate, TBSCertificate
        if c[1] - c[0] < len(TBS_PREFIX) or bytes(data[c[0]:c[0] + len(TBS_PREFIX)]) != TBS_PREFIX:
            return None
        c = der.skip(data, c, 7)
        c = der.enter(data, der.enter(data, c))       # [3], Extensions
        c = der.enter(data, der.skip(data, c, 3))     # the fourth extension
        c = der.enter(data, der.skip(data, c))        # extnValue
        return c[0], c[1] - c[0]
    except der.DerError:
        return None


def dummy_slots(data):
    """Slots of every dummy certificate, in order."""
    pe = PeFile(data)
    try:
        pos, end = _certificates(data, pe)
        slots = []
        while pos < end:
            _, element_end = der.read_header(data, pos, end)
            slot = _slot(data, (pos, end))
            if slot:
                slots.append(slot)
            pos = element_end
        if pos != end:
            raise TagError("the certificates set ends inside a certificate")
    except der.DerError as error:
        raise TagError("invalid certificate table: %s" % error)
    return slots


def read_certificate_tag(data):
    tag = b""
    for offset, size in dummy_slots(data):
        if size >= 2:
            length = struct.unpack_from(">H", data, offset)[0]
            if length <= size - 2:
                tag += bytes(data[offset + 2:offset + 2 + length])
    return tag


def _trailer_position(data, pe):
    content_info = pe.table + 8
    if content_info + 4 > len(data) or data[content_info:content_info + 2] != b"\x30\x82":
        raise TagError("the ContentInfo does not use a two-byte length")
    length = struct.unpack_from(">H", data, content_info + 2)[0]
    return pe.table + ((length + 4 + 8 + 7) & ~7)


def read_trailer_tag(data):
    """The trailer tag, or None; PE32 only, like the installer."""
    try:
        pe = PeFile(data)
        if not pe.pe32:
            return None
        block = _trailer_position(data, pe)
    except TagError:
        return None
    if block + 6 > len(data) or data[block:block + 4] != TRAILER_MAGIC:
        return None
    length = struct.unpack_from(">H", data, block + 4)[0]
    if block + 6 + length > len(data):
        return None
    return bytes(data[block + 6:block + 6 + length])


def stamp_certificate(data, tag):
    data = bytearray(data)
    slots = dummy_slots(data)
    if not slots:
        raise TagError("the signature holds no dummy certificate (sign with -ac dummy.pem)")
    offset, size = slots[0]
    if size < 2 or len(tag) > size - 2:
        raise TagError("a tag of %d bytes does not fit the %d-byte slot" % (len(tag), max(size - 2, 0)))
    data[offset:offset + size] = struct.pack(">H", len(tag)) + tag + b"\0" * (size - 2 - len(tag))
    # Other dummy certificates would add their text to the tag.
    for other_offset, other_size in slots[1:]:
        data[other_offset:other_offset + other_size] = b"\0" * other_size
    _update_checksum(data, PeFile(data))
    return bytes(data)


def stamp_trailer(data, tag):
    data = bytearray(data)
    pe = PeFile(data)
    if not pe.pe32:
        raise TagError("the trailer tag is read from PE32 files only")
    if len(tag) > MAX_TRAILER_TAG:
        raise TagError("a tag of %d bytes does not fit the 16-bit length" % len(tag))
    if pe.table + pe.table_size != len(data):
        raise TagError("the certificate table is not at the end of the file")
    block = _trailer_position(data, pe)
    rest = bytes(data[block:])
    if block > len(data) or (rest.strip(b"\0") and not rest.startswith(TRAILER_MAGIC)):
        raise TagError("other data follows the first certificate entry")
    stamped = TRAILER_MAGIC + struct.pack(">H", len(tag)) + tag
    stamped += b"\0" * (-len(stamped) % 8)
    data[block:] = stamped
    # The block becomes part of the first entry, so the table still reads as
    # one WIN_CERTIFICATE.
    table_size = len(data) - pe.table
    struct.pack_into("<I", data, pe.table, table_size)
    struct.pack_into("<I", data, pe.security_entry + 4, table_size)
    _update_checksum(data, pe)
    return bytes(data)


def read_tag(data, kind):
    """The tag of `kind` in `data`; TagError for a file without one. An empty
    tag counts as none, as it does for the installer."""
    pe = PeFile(data)
    if kind == "certificate":
        tag = read_certificate_tag(data)
    else:
        if not pe.pe32:
            raise TagError("the trailer tag is read from PE32 files only")
        tag = read_trailer_tag(data)
    if not tag:
        raise TagError("the file carries no %s tag" % kind)
    return tag


def write_replacing(path, data):
    """Writes `path` through a temporary file in its folder and a rename, so an
    interrupted write leaves the old file whole, even when it is the input."""
    directory = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=directory, prefix=".tag_tool-")
    try:
        with os.fdopen(handle, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        mode = os.stat(path).st_mode if os.path.exists(path) else 0o666 & ~_umask()
        os.chmod(temporary, mode & 0o7777)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True, metavar="{stamp,read}")
    kinds = dict(choices=["certificate", "trailer"], default="certificate",
                 help="where the tag goes: the dummy certificate's slot (default) or the trailer block")
    stamp = commands.add_parser("stamp", help="write a tag into a signed executable",
                                description="Writes TAG into a signed executable; the signature stays valid.")
    stamp.add_argument("--kind", **kinds)
    stamp.add_argument("--tag", required=True,
                       help="the tag text: ASCII distribution parameters, key=value pairs joined by &")
    stamp.add_argument("input", help="the signed executable to stamp")
    stamp.add_argument("output", help="where the stamped copy goes (may be the input itself)")
    read = commands.add_parser("read", help="print the tag of an executable",
                               description="Prints the tag; a file without one is an error (exit status 1).")
    read.add_argument("--kind", **kinds)
    read.add_argument("input", help="the executable to read")
    args = parser.parse_args()

    with open(args.input, "rb") as f:
        data = f.read()
    if args.command == "stamp":
        try:
            tag = args.tag.encode("ascii")
        except UnicodeEncodeError:
            raise cli.Failure("the tag must be ASCII: the installer widens each byte to one character")
        stamped = stamp_certificate(data, tag) if args.kind == "certificate" else stamp_trailer(data, tag)
        write_replacing(args.output, stamped)
    else:
        sys.stdout.buffer.write(read_tag(data, args.kind) + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("tag_tool", main))
