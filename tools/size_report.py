#!/usr/bin/env python3
"""Prints what takes the space in the shipped installer: the file's size
against its budget, bytes by section, and resource bytes by resource type
(images, fonts, string tables, packages...), read from the executable itself
so new kinds of resources show up without changing this report.

  size_report.py [--budget BYTES] EXE

Exit status 1 when the file is larger than the budget (default 1.5 MiB, the
most the stripped i686 build may take; the release test runs this report).
"""

import argparse
import os
import sys

import cli
import pe_image

DEFAULT_BUDGET = 1572864  # 1.5 MiB


def report(data, name, budget):
    image = pe_image.PeImage(data)
    lines = []
    share = 100.0 * len(data) / budget
    lines.append("%s: %d bytes, %.1f%% of the %d-byte budget" % (name, len(data), share, budget))
    lines.append("")
    lines.append("Sections (bytes in the file, bytes in memory):")
    in_sections = 0
    for section in sorted(image.sections, key=lambda s: -s.raw_size):
        lines.append("  %-16s %10d %10d" % (section.name, section.raw_size, section.virtual_size))
        in_sections += section.raw_size
    lines.append("  %-16s %10d" % ("(headers, tail)", len(data) - in_sections))
    debug = [s.name for s in image.sections if s.name.startswith(".debug")]
    if debug:
        lines.append("  not stripped: %s" % " ".join(debug))

    groups = {}
    for resource in image.resources():
        count, size = groups.get(resource.type_name, (0, 0))
        groups[resource.type_name] = (count + 1, size + resource.size)
    lines.append("")
    lines.append("Resources by type (count, bytes):")
    for type_name, (count, size) in sorted(groups.items(), key=lambda item: -item[1][1]):
        lines.append("  %-16s %5d %10d" % (type_name, count, size))
    lines.append("  %-16s %5d %10d" % ("(all)", sum(c for c, _ in groups.values()),
                                        sum(s for _, s in groups.values())))
    return lines, len(data) <= budget


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--budget", type=int, default=DEFAULT_BUDGET, help="the most bytes the file may take")
    parser.add_argument("exe", help="the executable to report on (the stripped shipping build)")
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        data = f.read()
    lines, within = report(data, os.path.basename(args.exe), args.budget)
    print("\n".join(lines))
    if not within:
        raise cli.Failure("%s is %d bytes, over the budget of %d" % (args.exe, len(data), args.budget))
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("size_report", main))
