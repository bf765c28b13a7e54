#!/usr/bin/env python3
"""Checks that every import slot of a built executable leads somewhere.

A slot that code calls, jumps or loads through must not hold 0 on disk: for
a loader-bound import it holds the hint/name that the loader replaces, for a
delay-loaded one the address of its load thunk. Each delay slot is followed
the way the first call goes, slot -> load thunk -> tail-merge code -> delay
descriptor, and each descriptor reached must be coherent: RVA based, a DLL
name, a module handle slot that is writable and starts at 0, and an address
table and name table of the same length whose every slot leads back to the
same descriptor. Reads only the file (stripped or not) and the disassembly.

    check_imports.py EXE [--objdump PATH]

Prints one line per fault and exits 1 when there is any; 0 with a summary.
"""
import argparse
import re
import struct
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pe_image  # noqa: E402

IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
OBJDUMP = {False: "i686-w64-mingw32-objdump", True: "x86_64-w64-mingw32-objdump"}

# Memory operands of instructions that read a slot: "call *0x4071a8",
# "mov 0x4071a8,%eax", and on x86_64 "... (%rip)  # 1400071a8".
_ABSOLUTE = re.compile(r"\b(?:call|jmp|mov|push)[lq]?\s+\*?0x([0-9a-f]+)(?:,|$)")
_RIP_RELATIVE = re.compile(r"\b(?:call|jmp|mov|push)[lq]?\s+\*?-?0x[0-9a-f]+\(%rip\).*#\s*(?:0x)?([0-9a-f]+)")
_INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\t")


class ImportImage:
    def __init__(self, data):
        self.pe = pe_image.PeImage(data)
        self.data = data
        self.pointer = 8 if self.pe.pe32_plus else 4
        self.ordinal_flag = 1 << (63 if self.pe.pe32_plus else 31)

    def section_of(self, rva):
        for section in self.pe.sections:
            if section.rva <= rva < section.rva + max(section.virtual_size, section.raw_size):
                return section
        return None

    def pointer_at(self, rva):
        offset = self.pe.offset(rva)
        return struct.unpack_from("<Q" if self.pe.pe32_plus else "<I", self.data, offset)[0]

    def u32_at(self, rva):
        return struct.unpack_from("<I", self.data, self.pe.offset(rva))[0]

    def string_at(self, rva, limit=512):
        offset = self.pe.offset(rva)
        end = self.data.find(b"\0", offset, offset + limit)
        if end < 0:
            raise pe_image.PeError("no string end at rva 0x%x" % rva)
        return self.data[offset:end].decode("ascii")

    def executable(self, rva):
        section = self.section_of(rva)
        return section is not None and section.characteristics & IMAGE_SCN_MEM_EXECUTE

    def writable(self, rva):
        section = self.section_of(rva)
        return section is not None and section.characteristics & IMAGE_SCN_MEM_WRITE

    def directory(self, index):
        data = self.data
        pe = struct.unpack_from("<I", data, 60)[0]
        directories = pe + 24 + (112 if self.pe.pe32_plus else 96)
        return struct.unpack_from("<II", data, directories + 8 * index)

    def entry_name(self, entry):
        if entry & self.ordinal_flag:
            return "#%d" % (entry & 0xFFFF)
        return self.string_at((entry & 0x7FFFFFFF) + 2)

    def loader_slots(self):
        """{slot rva: "dll!function"} of the import directory."""
        slots = {}
        rva, _ = self.directory(1)
        while rva:
            lookup, _, _, name_rva, first_thunk = struct.unpack_from("<5I", self.data, self.pe.offset(rva))
            if not name_rva:
                break
            dll = self.string_at(name_rva)
            names_rva = lookup or first_thunk
            index = 0
            while True:
                entry = self.pointer_at(names_rva + index * self.pointer)
                if not entry:
                    break
                slots[first_thunk + index * self.pointer] = "%s!%s" % (dll, self.entry_name(entry))
                index += 1
            rva += 20
        return slots


def referenced_slots(objdump, path, image):
    """{slot rva: first instruction address} of memory operands in executable
    sections that lie in a data section holding imports."""
    import_rva, import_size = image.directory(1)
    iat_rva, iat_size = image.directory(12)
    holders = {s.name for s in image.pe.sections
               for rva in (import_rva, iat_rva) if rva and s.rva <= rva < s.rva + max(s.virtual_size, s.raw_size)}
    ranges = [(s.rva, s.rva + max(s.virtual_size, s.raw_size)) for s in image.pe.sections if s.name in holders]
    output = subprocess.run([objdump, "-d", "--no-show-raw-insn", str(path)], check=True, capture_output=True,
                            text=True).stdout
    base = image.pe.image_base
    found = {}
    for line in output.splitlines():
        match = _RIP_RELATIVE.search(line) or _ABSOLUTE.search(line)
        if not match:
            continue
        rva = int(match.group(1), 16) - base
        if any(start <= rva < end for start, end in ranges):
            at = _INSTRUCTION.match(line)
            found.setdefault(rva, int(at.group(1), 16) if at else 0)
    return found


def descriptor_of_thunk(image, thunk_rva, slot_rva):
    """The delay descriptor rva that the load thunk at `thunk_rva` hands the
    slot to, or a fault text."""
    base = image.pe.image_base
    code = image.data[image.pe.offset(thunk_rva):image.pe.offset(thunk_rva) + 12]
    if image.pe.pe32_plus:
        # lea rax, [slot]; jmp tail-merge
        if code[:3] != b"\x48\x8d\x05" or code[7:8] != b"\xe9":
            return None, "is not a load thunk (lea rax, slot; jmp)"
        loaded = thunk_rva + 7 + struct.unpack_from("<i", code, 3)[0]
        merge = thunk_rva + 12 + struct.unpack_from("<i", code, 8)[0]
    else:
        # mov eax, slot; jmp tail-merge
        if code[:1] != b"\xb8" or code[5:6] != b"\xe9":
            return None, "is not a load thunk (mov eax, slot; jmp)"
        loaded = struct.unpack_from("<I", code, 1)[0] - base
        merge = thunk_rva + 10 + struct.unpack_from("<i", code, 6)[0]
    if loaded != slot_rva:
        return None, "loads slot 0x%x instead of its own" % loaded
    if not image.executable(merge):
        return None, "jumps outside the code (0x%x)" % merge
    merge_code = image.data[image.pe.offset(merge):image.pe.offset(merge) + 64]
    if image.pe.pe32_plus:
        at = merge_code.find(b"\x48\x8d\x0d")  # lea rcx, [descriptor]
        if at < 0:
            return None, "reaches tail-merge code that names no descriptor"
        return merge + at + 7 + struct.unpack_from("<i", merge_code, at + 3)[0], None
    if merge_code[:4] != b"\x51\x52\x50\x68":  # push ecx; push edx; push eax; push descriptor
        return None, "reaches tail-merge code that names no descriptor"
    return struct.unpack_from("<I", merge_code, 4)[0] - base, None


def check_descriptor(image, descriptor):
    """(faults, {slot rva: "dll!function"}) of one delay descriptor."""
    faults = []
    try:
        attributes, name, handle, iat, names, bound, unload, _ = struct.unpack_from(
            "<8I", image.data, image.pe.offset(descriptor))
    except pe_image.PeError as error:
        return ["delay descriptor 0x%x: %s" % (descriptor, error)], {}
    label = "delay descriptor 0x%x" % descriptor
    if attributes != 1:
        faults.append("%s: attributes %d, not RVA based" % (label, attributes))
        return faults, {}
    try:
        dll = image.string_at(name)
        if not dll.lower().endswith(".dll"):
            faults.append("%s: names %r, not a DLL" % (label, dll))
        label = "delay descriptor of %s" % dll
    except (pe_image.PeError, UnicodeDecodeError):
        return ["%s: its DLL name rva 0x%x is not a string" % (label, name)], {}
    if not image.writable(handle) or image.pointer_at(handle) != 0:
        faults.append("%s: module handle slot 0x%x is not writable or not 0" % (label, handle))
    if not image.writable(iat):
        faults.append("%s: address table 0x%x is not writable" % (label, iat))
    for extra, what in ((bound, "bound"), (unload, "unload")):
        if extra:
            faults.append("%s: unexpected %s address table 0x%x" % (label, what, extra))
    slots = {}
    index = 0
    while True:
        try:
            entry = image.pointer_at(names + index * image.pointer)
            value = image.pointer_at(iat + index * image.pointer)
        except pe_image.PeError as error:
            faults.append("%s: tables end outside the file: %s" % (label, error))
            break
        if not entry:
            if value:
                faults.append("%s: address table longer than its name table" % label)
            break
        try:
            function = "%s!%s" % (dll, image.entry_name(entry))
        except (pe_image.PeError, UnicodeDecodeError):
            faults.append("%s: name entry %d does not point at a name" % (label, index))
            function = "%s!#?%d" % (dll, index)
        slots[iat + index * image.pointer] = function
        index += 1
    if not slots:
        faults.append("%s: imports nothing" % label)
    return faults, slots


def check(path, objdump=None):
    """The faults of the executable at `path` and a one-line summary."""
    image = ImportImage(Path(path).read_bytes())
    objdump = objdump or OBJDUMP[image.pe.pe32_plus]
    faults = []
    loader = image.loader_slots()
    for slot, function in sorted(loader.items()):
        if not image.pointer_at(slot):
            faults.append("loader slot %s (0x%x) holds 0" % (function, slot))

    referenced = referenced_slots(objdump, path, image)
    descriptors = {}
    delayed = {}
    pending = sorted(set(referenced) - set(loader))
    checked = set()
    empty = []
    while pending:
        slot = pending.pop(0)
        if slot in checked:
            continue
        checked.add(slot)
        name = delayed.get(slot, "slot 0x%x" % slot)
        where = " (used at 0x%x)" % referenced[slot] if slot in referenced else ""
        try:
            value = image.pointer_at(slot)
        except pe_image.PeError as error:
            faults.append("%s%s: %s" % (name, where, error))
            continue
        if not value:
            empty.append((slot, where))
            continue
        thunk = value - image.pe.image_base
        if not image.executable(thunk):
            faults.append("%s%s points outside the code (0x%x)" % (name, where, value))
            continue
        descriptor, fault = descriptor_of_thunk(image, thunk, slot)
        if fault:
            faults.append("%s%s: its thunk %s" % (name, where, fault))
            continue
        if descriptor not in descriptors:
            descriptor_faults, slots = check_descriptor(image, descriptor)
            faults.extend(descriptor_faults)
            descriptors[descriptor] = slots
            delayed.update(slots)
            pending.extend(s for s in slots if s not in checked)
        if slot not in descriptors[descriptor]:
            faults.append("%s%s leads to a descriptor whose table does not hold it" % (name, where))
    # Named once every descriptor that a sound slot leads to is known.
    for slot, where in empty:
        faults.append("%s%s holds 0: the first call jumps to address 0" % (
            delayed.get(slot, "slot 0x%x" % slot), where))
    summary = "%d loader slots, %d delay descriptors with %d slots, %d slots used by code" % (
        len(loader), len(descriptors), len(delayed), len(referenced))
    return faults, summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("executable", help="the PE file to check")
    parser.add_argument("--objdump", help="objdump for the file's architecture (default: the mingw-w64 one)")
    args = parser.parse_args()
    try:
        faults, summary = check(args.executable, args.objdump)
    except (OSError, pe_image.PeError, subprocess.CalledProcessError) as error:
        print("check_imports: %s" % error, file=sys.stderr)
        return 1
    for fault in faults:
        print(fault)
    print(("%d faults; " % len(faults) if faults else "import slots sound: ") + summary)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
