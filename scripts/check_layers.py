#!/usr/bin/env python3
"""Fails when a source folder includes a header from a folder above it, or
closes a kernel, internet or WinHTTP handle outside an owner's Close.

The layer order is written once, here, lowest first. A folder may include its
own headers and those of folders on lower levels, never a sibling's or a
higher one's. Unit tests (*_unittest.cc) and the test support folders may
include anything: they sit above the product. A handle closed by hand can be
closed twice, the second time whatever handle has taken its number meanwhile;
an owner (base/scoped_handle.h and its traits) closes each handle once.

    scripts/check_layers.py [ROOT]
"""
import pathlib
import re
import sys

LAYERS = [
    ["base"],
    ["resources"],
    ["net"],
    ["config", "trust", "win"],
    ["reporting"],
    ["install", "crash"],
    ["ui"],
    ["app"],
]
# Folders outside the product: test support, stand-ins and tools.
UNCHECKED = {"testing", "standins", "tools", "native", "build"}

LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"/]+)/[^"]+"', re.MULTILINE)
HANDLE_CLOSE = re.compile(r"\b(CloseHandle|InternetCloseHandle|WinHttpCloseHandle)\s*\(")
OWNER_CLOSE = re.compile(r"\bClose\(Handle h\)")


def violations(root):
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cc", ".c", ".rc") or not path.is_file():
            continue
        relative = path.relative_to(root)
        folder = relative.parts[0]
        if len(relative.parts) < 2 or folder in UNCHECKED or folder.startswith("."):
            continue
        if path.name.endswith("_unittest.cc"):
            continue
        if folder not in LEVEL:
            yield f"{relative}: folder '{folder}' has no layer; add it to LAYERS in scripts/check_layers.py"
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        # Inside an owner's Close whose body spans lines: from its opening
        # line to the first line that is only its closing brace.
        owner_body_end = None
        for number, line_text in enumerate(text.splitlines(), 1):
            owner_line = OWNER_CLOSE.search(line_text)
            if owner_line and line_text.rstrip().endswith("{"):
                owner_body_end = line_text[:len(line_text) - len(line_text.lstrip())] + "}"
            elif owner_body_end is not None and line_text.rstrip() == owner_body_end:
                owner_body_end = None
            call = HANDLE_CLOSE.search(line_text)
            if (call and not owner_line and owner_body_end is None and
                    not line_text.lstrip().startswith("//")):
                yield f"{relative}:{number}: {call.group(1)} outside an owner's Close (base/scoped_handle.h)"
        for match in INCLUDE.finditer(text):
            target = match.group(1)
            if target == folder or target not in LEVEL:
                continue
            if LEVEL[target] >= LEVEL[folder]:
                line = text.count("\n", 0, match.start()) + 1
                yield f"{relative}:{line}: '{folder}/' may not include '{target}/' (not a lower layer)"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    found = list(violations(root))
    for line in found:
        print(line)
    order = " < ".join(", ".join(level) for level in LAYERS)
    print(f"layer order: {order}: {len(found)} problem(s)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
