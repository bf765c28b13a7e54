#!/usr/bin/env python3
"""Makes a delay-load import library for one DLL, writing its COFF members.

The exports come either from the toolchain's ordinary import library (read
with nm) or from a hand-written .def file. Functions go into the delay-load
library; data exports cannot be bound late and are left out, so references to
them still resolve to the ordinary import library linked after this one.

Why not dlltool --output-delaylib: its member for a function holds the
function's slot (.idata$5, pointing at the load thunk) and, in one .text
section, both the jump stub `_F@N` and the load thunk. i686 ld drops the .text
of an import-library member whose symbols nobody references (its dead
jump-stub elimination), so every function called only through its slot
(`__declspec(dllimport)`, as most Windows headers declare them) was left with
a slot of 0 and the first call jumped to address 0.

Here each function has two members:
  <prefix>_s<N>.o  the slot, its lookup-table entry and hint/name (.idata$5,
                   .idata$4, .idata$6), pointing at the load thunk by symbol;
                   no code, so ld never takes it for a jump stub;
  <prefix>_l<N>.o  the load thunk `__imp_load_F` and the jump stub `F`, with
                   no .idata sections, so ld never drops it.
A reference to either pulls the other in. The head holds the delay-import
descriptor, the module handle and the shared tail-merge code; the tail ends
the two tables and names the DLL. Members sort by name within each .idata$N
output section, so the tables stay contiguous: head, slots, tail.

i686 symbols carry a leading underscore and, for stdcall functions, an @N
suffix; the imported name drops the suffix.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

GUID_PREFIXES = ("IID_", "CLSID_", "LIBID_", "GUID_")

# COFF constants.
MACHINE = {32: 0x14C, 64: 0x8664}
SCN_CNT_CODE = 0x20
SCN_CNT_INITIALIZED_DATA = 0x40
SCN_ALIGN = {1: 0x00100000, 2: 0x00200000, 4: 0x00300000, 8: 0x00400000, 16: 0x00500000}
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_READ = 0x40000000
SCN_MEM_WRITE = 0x80000000
CLASS_EXTERNAL = 2
CLASS_STATIC = 3
# Relocation types: absolute pointer, image-relative 32 bits, pc-relative 32 bits.
REL_POINTER = {32: 0x0006, 64: 0x0001}
REL_RVA = {32: 0x0007, 64: 0x0003}
REL_PC32 = {32: 0x0014, 64: 0x0004}

CODE = SCN_CNT_CODE | SCN_MEM_EXECUTE | SCN_MEM_READ
DATA = SCN_CNT_INITIALIZED_DATA | SCN_MEM_READ | SCN_MEM_WRITE
RDATA = SCN_CNT_INITIALIZED_DATA | SCN_MEM_READ


class Section:
    def __init__(self, name, flags, align, data=b""):
        self.name = name
        self.flags = flags | SCN_ALIGN[align]
        self.data = bytearray(data)
        self.relocs = []  # (offset, symbol name, type)


class CoffObject:
    """One COFF object: sections, their relocations and the symbols they name."""

    def __init__(self, bits):
        self.bits = bits
        self.sections = []
        self.symbols = {}  # name -> (section index or 0, value, class)

    def section(self, name, flags, align, data=b""):
        section = Section(name, flags, align, data)
        self.sections.append(section)
        return section

    def define(self, name, section, value=0, storage=CLASS_EXTERNAL):
        self.symbols[name] = (self.sections.index(section) + 1, value, storage)

    def reloc(self, section, offset, symbol, kind):
        section.relocs.append((offset, symbol, kind))
        if symbol not in self.symbols and symbol not in (s.name for s in self.sections):
            self.symbols[symbol] = (0, 0, CLASS_EXTERNAL)

    def to_bytes(self):
        strings = bytearray()

        def name_field(name):
            encoded = name.encode("ascii")
            if len(encoded) <= 8:
                return encoded.ljust(8, b"\0")
            offset = 4 + len(strings)
            strings.extend(encoded + b"\0")
            return struct.pack("<II", 0, offset)

        # Symbol table: each section's own symbol (with its auxiliary record),
        # then the named symbols in a fixed order.
        table = []
        index = {}
        for number, section in enumerate(self.sections, 1):
            index[section.name] = len(table)
            table.append((section.name, 0, number, CLASS_STATIC, section))
            table.append(None)  # auxiliary record
        for name in sorted(self.symbols):
            number, value, storage = self.symbols[name]
            index[name] = len(table)
            table.append((name, value, number, storage, None))

        header_size = 20 + 40 * len(self.sections)
        position = header_size
        layout = []
        for section in self.sections:
            data_at = position if section.data else 0
            position += len(section.data)
            relocs_at = position if section.relocs else 0
            position += 10 * len(section.relocs)
            layout.append((data_at, relocs_at))
        symbols_at = position

        out = bytearray(struct.pack("<HHIIIHH", MACHINE[self.bits], len(self.sections), 0, symbols_at,
                                    len(table), 0, 0))
        for section, (data_at, relocs_at) in zip(self.sections, layout):
            out += name_field(section.name)
            out += struct.pack("<IIIIIIHHI", 0, 0, len(section.data), data_at, relocs_at, 0,
                               len(section.relocs), 0, section.flags)
        for section in self.sections:
            out += section.data
            for offset, symbol, kind in section.relocs:
                out += struct.pack("<IIH", offset, index[symbol], kind)
        for entry in table:
            if entry is None:
                continue
            name, value, number, storage, section = entry
            aux = 1 if section is not None else 0
            out += name_field(name) + struct.pack("<IhHBB", value, number, 0, storage, aux)
            if section is not None:
                out += struct.pack("<IHHIHB3x", len(section.data), len(section.relocs), 0, 0, 0, 0)
        out += struct.pack("<I", 4 + len(strings)) + strings
        return bytes(out)


class DelayLibrary:
    def __init__(self, dll, prefix, bits):
        self.dll = dll
        self.prefix = prefix
        self.bits = bits
        self.pointer = bits // 8
        self.underscore = "_" if bits == 32 else ""

    def c_name(self, name):
        return self.underscore + name

    @property
    def tail_merge(self):
        return self.c_name("__tailMerge_" + self.prefix)

    @property
    def descriptor(self):
        return "__DELAY_IMPORT_DESCRIPTOR_" + self.prefix

    @property
    def dll_name_symbol(self):
        return "__" + self.prefix + "_iname"

    def head(self):
        obj = CoffObject(self.bits)
        text = obj.section(".text", CODE, 16)
        if self.bits == 32:
            # The slot's address is in eax; ecx and edx may carry fastcall
            # arguments. __delayLoadHelper2 is stdcall (descriptor, slot).
            text.data += b"\x51\x52\x50\x68" + bytes(4) + b"\xe8" + bytes(4) + b"\x5a\x59\xff\xe0"
            obj.reloc(text, 4, self.descriptor, REL_POINTER[32])
            obj.reloc(text, 9, "___delayLoadHelper2@8", REL_PC32[32])
        else:
            # Keeps the four argument registers and their floating-point
            # twins across the helper (a REAL argument of a GDI+ function
            # travels in xmm), with 32 bytes of home space below them.
            text.data += (b"\x48\x81\xec\x88\x00\x00\x00"          # sub rsp, 0x88
                          b"\x48\x89\x4c\x24\x60"                  # mov [rsp+0x60], rcx
                          b"\x48\x89\x54\x24\x68"                  # mov [rsp+0x68], rdx
                          b"\x4c\x89\x44\x24\x70"                  # mov [rsp+0x70], r8
                          b"\x4c\x89\x4c\x24\x78"                  # mov [rsp+0x78], r9
                          b"\x66\x0f\x7f\x44\x24\x20"              # movdqa [rsp+0x20], xmm0
                          b"\x66\x0f\x7f\x4c\x24\x30"              # movdqa [rsp+0x30], xmm1
                          b"\x66\x0f\x7f\x54\x24\x40"              # movdqa [rsp+0x40], xmm2
                          b"\x66\x0f\x7f\x5c\x24\x50"              # movdqa [rsp+0x50], xmm3
                          b"\x48\x89\xc2"                          # mov rdx, rax (the slot)
                          b"\x48\x8d\x0d" + bytes(4) +             # lea rcx, [descriptor]
                          b"\xe8" + bytes(4) +                     # call __delayLoadHelper2
                          b"\x66\x0f\x6f\x44\x24\x20"              # movdqa xmm0, [rsp+0x20]
                          b"\x66\x0f\x6f\x4c\x24\x30"              # movdqa xmm1, [rsp+0x30]
                          b"\x66\x0f\x6f\x54\x24\x40"              # movdqa xmm2, [rsp+0x40]
                          b"\x66\x0f\x6f\x5c\x24\x50"              # movdqa xmm3, [rsp+0x50]
                          b"\x48\x8b\x4c\x24\x60"                  # mov rcx, [rsp+0x60]
                          b"\x48\x8b\x54\x24\x68"                  # mov rdx, [rsp+0x68]
                          b"\x4c\x8b\x44\x24\x70"                  # mov r8, [rsp+0x70]
                          b"\x4c\x8b\x4c\x24\x78"                  # mov r9, [rsp+0x78]
                          b"\x48\x81\xc4\x88\x00\x00\x00"          # add rsp, 0x88
                          b"\xff\xe0")                             # jmp rax
            lea = text.data.index(b"\x48\x8d\x0d")
            obj.reloc(text, lea + 3, self.descriptor, REL_PC32[64])
            obj.reloc(text, lea + 8, "__delayLoadHelper2", REL_PC32[64])
            # Unwind information: one 0x88-byte allocation by a 7-byte prologue.
            xdata = obj.section(".xdata", RDATA, 4, b"\x01\x07\x02\x00\x07\x01\x11\x00")
            pdata = obj.section(".pdata", RDATA, 4, bytes(12))
            struct.pack_into("<II", pdata.data, 0, 0, len(text.data))
            obj.reloc(pdata, 0, ".text", REL_RVA[64])
            obj.reloc(pdata, 4, ".text", REL_RVA[64])
            obj.reloc(pdata, 8, ".xdata", REL_RVA[64])
        obj.define(self.tail_merge, text)

        handle = obj.section(".data", DATA, self.pointer, bytes(self.pointer))
        obj.define("__DLL_HANDLE_" + self.prefix, handle, storage=CLASS_STATIC)

        # The table starts (a zero entry first, as dlltool lays them out).
        iat = obj.section(".idata$5", DATA, 4, bytes(self.pointer))
        obj.define("__IAT_" + self.prefix, iat, self.pointer, CLASS_STATIC)
        int_table = obj.section(".idata$4", DATA, 4, bytes(self.pointer))
        obj.define("__INT_" + self.prefix, int_table, self.pointer, CLASS_STATIC)

        # ImgDelayDescr: attributes (RVA based), name, module handle, IAT, INT,
        # bound IAT, unload IAT, time stamp.
        descriptor = obj.section(".rdata", RDATA, 4, struct.pack("<8I", 1, 0, 0, 0, 0, 0, 0, 0))
        obj.define(self.descriptor, descriptor)
        obj.reloc(descriptor, 4, self.dll_name_symbol, REL_RVA[self.bits])
        obj.reloc(descriptor, 8, "__DLL_HANDLE_" + self.prefix, REL_RVA[self.bits])
        obj.reloc(descriptor, 12, "__IAT_" + self.prefix, REL_RVA[self.bits])
        obj.reloc(descriptor, 16, "__INT_" + self.prefix, REL_RVA[self.bits])
        return obj

    def tail(self):
        obj = CoffObject(self.bits)
        obj.section(".idata$4", DATA, 4, bytes(self.pointer))
        obj.section(".idata$5", DATA, 4, bytes(self.pointer))
        name = self.dll.encode("ascii") + b"\0"
        names = obj.section(".idata$7", DATA, 4, name + bytes(-len(name) % 4))
        obj.define(self.dll_name_symbol, names)
        return obj

    def slot(self, function):
        """The function's slot, lookup-table entry and hint/name."""
        symbol, imported = function
        obj = CoffObject(self.bits)
        iat = obj.section(".idata$5", DATA, 4, bytes(self.pointer))
        obj.define("__imp_" + self.c_name(symbol), iat)
        obj.reloc(iat, 0, "__imp_load_" + self.c_name(symbol), REL_POINTER[self.bits])
        lookup = obj.section(".idata$4", DATA, 4, bytes(self.pointer))
        hint_name = b"\0\0" + imported.encode("ascii") + b"\0"
        obj.section(".idata$6", DATA, 2, hint_name + bytes(len(hint_name) % 2))
        obj.reloc(lookup, 0, ".idata$6", REL_RVA[self.bits])
        return obj

    def thunks(self, function):
        """The load thunk (the slot's first target) and the jump stub."""
        symbol, _ = function
        slot = "__imp_" + self.c_name(symbol)
        obj = CoffObject(self.bits)
        text = obj.section(".text", CODE, 4 if self.bits == 32 else 16)
        # F: jmp [slot]
        text.data += b"\xff\x25" + bytes(4)
        obj.reloc(text, 2, slot, REL_POINTER[32] if self.bits == 32 else REL_PC32[64])
        obj.define(self.c_name(symbol), text, 0)
        load = len(text.data)
        if self.bits == 32:
            text.data += b"\xb8" + bytes(4) + b"\xe9" + bytes(4)  # mov eax, slot; jmp tail-merge
            obj.reloc(text, load + 1, slot, REL_POINTER[32])
            obj.reloc(text, load + 6, self.tail_merge, REL_PC32[32])
        else:
            text.data += b"\x48\x8d\x05" + bytes(4) + b"\xe9" + bytes(4)  # lea rax, slot; jmp tail-merge
            obj.reloc(text, load + 3, slot, REL_PC32[64])
            obj.reloc(text, load + 8, self.tail_merge, REL_PC32[64])
        obj.define("__imp_load_" + self.c_name(symbol), text, load)
        return obj


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


def imported_name(symbol, bits):
    """The name the DLL exports: i686 stdcall decoration (@N) dropped."""
    if bits == 32 and "@" in symbol:
        base, _, size = symbol.rpartition("@")
        if base and size.isdigit():
            return base
    return symbol


def write_library(ar, output, dll, bits, functions):
    prefix = os.path.splitext(os.path.basename(output))[0]
    if prefix.startswith("lib"):
        prefix = prefix[3:]
    library = DelayLibrary(dll, prefix, bits)
    entries = [(symbol, imported_name(symbol, bits)) for symbol in functions]
    with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(output))) as work:
        members = [(f"{prefix}_h.o", library.head())]
        for number, function in enumerate(entries):
            members.append((f"{prefix}_l{number:05d}.o", library.thunks(function)))
            members.append((f"{prefix}_s{number:05d}.o", library.slot(function)))
        members.append((f"{prefix}_t.o", library.tail()))
        names = []
        for name, obj in members:
            with open(os.path.join(work, name), "wb") as handle:
                handle.write(obj.to_bytes())
            names.append(name)
        if os.path.exists(output):
            os.remove(output)
        # Member names only (run inside the folder): no build path reaches
        # the archive, and D keeps it free of times and owners.
        list_file = os.path.join(work, "members.rsp")
        with open(list_file, "w", encoding="ascii") as handle:
            handle.write("\n".join(names) + "\n")
        subprocess.run([ar, "rcsD", os.path.abspath(output), "@members.rsp"], check=True, cwd=work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ar", required=True)
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
    write_library(args.ar, args.output, args.dll, args.bits, functions)


if __name__ == "__main__":
    main()
