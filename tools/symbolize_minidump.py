#!/usr/bin/env python3
"""Symbolises the crashing thread of a minidump with the symbols file the
build writes beside the executable (TarvikBrowserInstaller.debug).

  symbolize_minidump.py [--nm TOOL] [--module NAME] DUMP SYMBOLS

The first frame is the exception address; the frames after it are the words
of the crashing thread's stack that point into the module's code, innermost
first: return addresses, and now and then a stale one (the shipped executable
keeps no frame pointers, so the stack is scanned, not walked). Each line reads
"#N 0xADDRESS function+0xOFFSET", the function being the nearest code symbol
at or below the address in the symbols file. The module is the one whose file
name is NAME (default: the symbols file's name with .exe).
"""

import argparse
import bisect
import os
import shutil
import struct
import subprocess
import sys

import cli
import pe_image

THREAD_LIST, MODULE_LIST, EXCEPTION, SYSTEM_INFO = 3, 4, 6, 7
X86, AMD64 = 0, 9
# (instruction pointer, stack pointer) offsets in the thread's CONTEXT.
CONTEXT_REGISTERS = {X86: (0xB8, 0xC4), AMD64: (0xF8, 0x98)}
TOOL_PREFIX = {X86: "i686-w64-mingw32-", AMD64: "x86_64-w64-mingw32-"}


class Minidump:
    def __init__(self, data):
        self.data = data
        if data[:4] != b"MDMP":
            raise cli.Failure("not a minidump (no MDMP signature)")
        count, directory = self._unpack("<II", 8)
        self.streams = {}
        for i in range(count):
            kind, size, rva = self._unpack("<III", directory + 12 * i)
            self.streams.setdefault(kind, (rva, size))

    def _unpack(self, layout, offset):
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            raise cli.Failure("the minidump is truncated")
        return struct.unpack_from(layout, self.data, offset)

    def stream(self, kind):
        if kind not in self.streams:
            raise cli.Failure("the minidump has no stream of type %d" % kind)
        return self.streams[kind][0]

    def architecture(self):
        return self._unpack("<H", self.stream(SYSTEM_INFO))[0]

    def exception(self):
        """(thread id, exception code, exception address, context offset)."""
        at = self.stream(EXCEPTION)
        thread_id, = self._unpack("<I", at)
        code, = self._unpack("<I", at + 8)
        address, = self._unpack("<Q", at + 8 + 16)
        _, context = self._unpack("<II", at + 8 + 152)
        return thread_id, code, address, context

    def modules(self):
        """[(file name, base, size)]."""
        at = self.stream(MODULE_LIST)
        count, = self._unpack("<I", at)
        found = []
        for i in range(count):
            entry = at + 4 + 108 * i
            base, size, _, _, name_rva = self._unpack("<QIIII", entry)
            length, = self._unpack("<I", name_rva)
            name = self.data[name_rva + 4:name_rva + 4 + length].decode("utf-16-le", "replace")
            found.append((name.replace("\\", "/").rsplit("/", 1)[-1], base, size))
        return found

    def stack(self, thread_id):
        """(start address, bytes) of a thread's stack memory."""
        at = self.stream(THREAD_LIST)
        count, = self._unpack("<I", at)
        for i in range(count):
            entry = at + 4 + 48 * i
            tid, = self._unpack("<I", entry)
            if tid == thread_id:
                start, size, rva = self._unpack("<QII", entry + 24)
                return start, self.data[rva:rva + size]
        raise cli.Failure("the minidump holds no thread %d" % thread_id)


def frames(dump, module_name):
    """[address] of the crashing thread inside the module, innermost first,
    and the module's load address."""
    architecture = dump.architecture()
    if architecture not in CONTEXT_REGISTERS:
        raise cli.Failure("unsupported processor architecture %d" % architecture)
    word = "<Q" if architecture == AMD64 else "<I"
    width = struct.calcsize(word)
    thread_id, _, address, context = dump.exception()
    _, stack_pointer_at = CONTEXT_REGISTERS[architecture]
    stack_pointer, = dump._unpack(word, context + stack_pointer_at)
    matches = [(base, size) for name, base, size in dump.modules() if name.lower() == module_name.lower()]
    if not matches:
        raise cli.Failure("the minidump lists no module named %s" % module_name)
    base, size = matches[0]
    found = [address] if base <= address < base + size else []
    start, memory = dump.stack(thread_id)
    first = max(0, stack_pointer - start)
    first -= first % width
    for offset in range(first, len(memory) - width + 1, width):
        value, = struct.unpack_from(word, memory, offset)
        if base <= value < base + size:
            found.append(value)
    return architecture, base, found


def code_symbols(nm, symbols):
    """Sorted [(address, name)] of the code symbols in the symbols file."""
    output = subprocess.run([nm, "-C", "--defined-only", symbols], check=True, stdout=subprocess.PIPE,
                            text=True).stdout
    found = []
    for line in output.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in ("T", "t") and not parts[2].startswith("."):
            found.append((int(parts[0], 16), parts[2]))
    if not found:
        raise cli.Failure("%s holds no code symbols" % symbols)
    return sorted(found)


def symbolise(symbols, image_base, base, addresses):
    """[(address, "function+0xoffset")] for addresses of a module loaded at base."""
    starts = [address for address, _ in symbols]
    named = []
    for address in addresses:
        image_address = image_base + address - base
        index = bisect.bisect_right(starts, image_address) - 1
        if index < 0:
            named.append((address, "??"))
        else:
            named.append((address, "%s+0x%x" % (symbols[index][1], image_address - starts[index])))
    return named


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--nm", help="the nm of the dump's architecture (default: the mingw-w64 one)")
    parser.add_argument("--module", help="the crashing executable's file name as the dump lists it")
    parser.add_argument("dump", help="the minidump (.dmp) from the crash collector")
    parser.add_argument("symbols", help="the symbols file of the same build (e.g. TarvikBrowserInstaller.debug)")
    args = parser.parse_args()
    with open(args.dump, "rb") as f:
        dump = Minidump(f.read())
    with open(args.symbols, "rb") as f:
        image_base = pe_image.PeImage(f.read()).image_base
    module = args.module or os.path.splitext(os.path.basename(args.symbols))[0] + ".exe"
    architecture, base, addresses = frames(dump, module)
    nm = args.nm or TOOL_PREFIX[architecture] + "nm"
    if not shutil.which(nm):
        raise cli.Failure("%s is not installed" % nm)
    for number, (address, function) in enumerate(
            symbolise(code_symbols(nm, args.symbols), image_base, base, addresses)):
        print("#%d 0x%x %s" % (number, address, function))
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("symbolize_minidump", main))
