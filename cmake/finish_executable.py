#!/usr/bin/env python3
"""Turns the linked installer into what ships: the build date in the version
resource's file date, the debug information in a separate symbols file, and
the executable stripped with a debug link to that file.

  finish_executable.py --objcopy OBJCOPY --source-dir DIR [--stamp-version-date]
                       LINKED OUT.exe OUT.debug

The build date is SOURCE_DATE_EPOCH when set, else the time of the commit
being built, so two builds of one commit carry the same date. The installer
reads the file date as microseconds since 1601-01-01 UTC. The image header's
time stamp is that date too (objcopy takes it from SOURCE_DATE_EPOCH).
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import pe_image  # noqa: E402

SECONDS_FROM_1601_TO_1970 = 11644473600


def fail(message):
    sys.stderr.write("finish_executable: %s\n" % message)
    sys.exit(1)


def build_epoch(source_dir):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        result = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        value = result.stdout.strip()
        if result.returncode != 0 or not value:
            fail("no SOURCE_DATE_EPOCH and %s is not a git checkout: set SOURCE_DATE_EPOCH" % source_dir)
    if not value.isdigit():
        fail("SOURCE_DATE_EPOCH must be a number of seconds, not %r" % value)
    return int(value)


def stamp_file_date(data, epoch):
    fixed = pe_image.PeImage(bytes(data)).fixed_file_info_offset()
    micros = (epoch + SECONDS_FROM_1601_TO_1970) * 1000000
    struct.pack_into("<II", data, fixed + 44, micros >> 32, micros & 0xFFFFFFFF)


def run(epoch, *command):
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            env=environment)
    if result.returncode != 0:
        fail("%s failed: %s" % (" ".join(command), result.stdout.strip()))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--objcopy", required=True, help="the target's objcopy")
    parser.add_argument("--source-dir", required=True, help="the checkout whose commit dates the build")
    parser.add_argument("--stamp-version-date", action="store_true",
                        help="write the build date into the version resource's file date")
    parser.add_argument("linked", help="the executable as the linker wrote it (left unchanged)")
    parser.add_argument("out_exe", help="the stripped executable to write")
    parser.add_argument("out_debug", help="the symbols file to write beside it")
    args = parser.parse_args()

    with open(args.linked, "rb") as f:
        data = bytearray(f.read())
    epoch = build_epoch(args.source_dir)
    if args.stamp_version_date:
        try:
            stamp_file_date(data, epoch)
        except pe_image.PeError as error:
            fail("%s: %s" % (args.linked, error))
    out_dir = os.path.dirname(os.path.abspath(args.out_exe))
    with tempfile.TemporaryDirectory(dir=out_dir) as work:
        dated = os.path.join(work, "dated.exe")
        with open(dated, "wb") as f:
            f.write(data)
        # The debug link names the symbols file and holds its CRC; the
        # symbols file must therefore be written first, under its final name.
        debug = os.path.join(work, os.path.basename(args.out_debug))
        run(epoch, args.objcopy, "--only-keep-debug", dated, debug)
        stripped = os.path.join(work, "stripped.exe")
        run(epoch, args.objcopy, "--strip-all", "--add-gnu-debuglink=" + debug, dated, stripped)
        os.replace(debug, args.out_debug)
        os.replace(stripped, args.out_exe)


if __name__ == "__main__":
    main()
