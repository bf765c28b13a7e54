#!/usr/bin/env python3
"""Makes a delay-load import library for one DLL.

The exports come either from the toolchain's ordinary import library (read
with nm) or from a hand-written .def file. Functions go into the delay-load
library; data exports cannot be bound late and are left out, so references to
them still resolve to the ordinary import library linked after this one.

i686 symbols carry a leading underscore and, for stdcall functions, an @N
suffix; the .def keeps the suffix so the symbols match what the compiler
references, and dlltool --kill-at drops it from the imported name.
"""
import argparse
import os
import subprocess
import sys


GUID_PREFIXES = ("IID_", "CLSID_", "LIBID_", "GUID_")


def exports_from_import_lib(nm, import_lib, underscore):
    output = subprocess.run([nm, import_lib], check=True, capture_output=True, text=True).stdout
    imports = set()
    code = set()
    for line in output.splitlines():
        parts = line.split()
        if len(parts) < 2:
            continue
        kind, symbol = parts[-2], parts[-1]
        if kind == "I" and symbol.startswith("__imp_"):
            name = symbol[len("__imp_"):]
            if underscore:
                if not name.startswith("_"):
                    continue
                name = name[1:]
            imports.add(name)
        elif kind == "T":
            name = symbol
            if underscore:
                if not name.startswith("_"):
                    continue
                name = name[1:]
            code.add(name)
    # GUIDs some import libraries list like functions (oleacc's IID_IAccessible)
    # are data: the uuid library defines them, and a thunk for one would clash.
    functions = sorted(name for name in imports if name in code and not name.startswith(GUID_PREFIXES))
    if not functions:
        sys.exit(f"no function exports found in {import_lib}")
    return functions


def exports_from_def(path):
    functions = []
    in_exports = False
    with open(path, encoding="ascii") as handle:
        for raw in handle:
            line = raw.split(";", 1)[0].strip()
            if not line:
                continue
            if line.upper() == "EXPORTS":
                in_exports = True
                continue
            if in_exports and " DATA" not in line.upper():
                functions.append(line.split()[0])
    return functions


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dlltool", required=True)
    parser.add_argument("--nm")
    parser.add_argument("--import-lib")
    parser.add_argument("--def-input")
    parser.add_argument("--dll", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    underscore = args.bits == 32
    if args.import_lib:
        functions = exports_from_import_lib(args.nm, args.import_lib, underscore)
    elif args.def_input:
        functions = exports_from_def(args.def_input)
    else:
        sys.exit("--import-lib or --def-input is required")

    def_path = os.path.splitext(args.output)[0] + ".def"
    with open(def_path, "w", encoding="ascii") as handle:
        handle.write(f'LIBRARY "{args.dll}"\nEXPORTS\n')
        for name in functions:
            handle.write(f"  {name}\n")

    # dlltool names its symbols after the output path: run it beside the
    # output so that no build path ends up in the executable's symbols.
    output_dir, output_name = os.path.split(os.path.abspath(args.output))
    command = [args.dlltool, "--input-def", os.path.basename(def_path), "--dllname", args.dll,
               "--output-delaylib", output_name]
    if underscore:
        command.append("--kill-at")
    if os.path.exists(args.output):
        os.remove(args.output)
    subprocess.run(command, check=True, cwd=output_dir)


if __name__ == "__main__":
    main()
