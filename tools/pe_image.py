"""Read-only view of a PE file's sections and resources, for the build's
finishing step and the size report. Every read is checked against the file,
so a damaged image raises PeError instead of reading past its end."""

import struct

RESOURCE_TYPE_NAMES = {
    1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string table", 7: "font directory",
    8: "font", 9: "accelerator", 10: "raw data", 11: "message table", 12: "cursor group", 14: "icon group",
    16: "version", 17: "dialog include", 19: "plug and play", 20: "VxD", 21: "animated cursor",
    22: "animated icon", 23: "HTML", 24: "manifest",
}
RT_VERSION = 16
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


class PeError(Exception):
    pass


class Section:
    def __init__(self, name, rva, virtual_size, raw_pointer, raw_size, characteristics):
        self.name = name
        self.rva = rva
        self.virtual_size = virtual_size
        self.raw_pointer = raw_pointer
        self.raw_size = raw_size
        self.characteristics = characteristics


class Resource:
    """One resource: its type (number or name), name, language, file offset and size."""

    def __init__(self, type_id, name, language, offset, size):
        self.type_id = type_id
        self.name = name
        self.language = language
        self.offset = offset
        self.size = size

    @property
    def type_name(self):
        if isinstance(self.type_id, int):
            return RESOURCE_TYPE_NAMES.get(self.type_id, "type %d" % self.type_id)
        return self.type_id


class PeImage:
    def __init__(self, data):
        self.data = data
        self._check(0, 64)
        if data[:2] != b"MZ":
            raise PeError("not a PE file (no DOS header)")
        pe = self._u32(60)
        self._check(pe, 24)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("not a PE file (no PE signature)")
        section_count, symbol_table, symbol_count, optional_size = struct.unpack_from("<H4xIIH", data, pe + 6)
        strings = symbol_table + 18 * symbol_count
        optional = pe + 24
        self._check(optional, 2)
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header magic 0x%x" % magic)
        self.pe32_plus = magic == 0x20B
        self._check(optional, 32)
        self.image_base = (struct.unpack_from("<Q", data, optional + 24)[0] if self.pe32_plus
                           else struct.unpack_from("<I", data, optional + 28)[0])
        directories = optional + (112 if self.pe32_plus else 96)
        self._check(directories, 8 * 16)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        self._check(table, 40 * section_count)
        for i in range(section_count):
            offset = table + 40 * i
            name = data[offset:offset + 8].rstrip(b"\0").decode("ascii", "replace")
            if name.startswith("/") and name[1:].isdigit() and symbol_table:
                # A long name lives in the COFF string table after the symbols.
                at = strings + int(name[1:])
                end = data.find(b"\0", at)
                if 0 <= at < len(data) and end > at:
                    name = data[at:end].decode("ascii", "replace")
            virtual_size, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", data, offset + 8)
            characteristics = struct.unpack_from("<I", data, offset + 36)[0]
            self.sections.append(Section(name, rva, virtual_size, raw_pointer, raw_size, characteristics))

    def _check(self, offset, size):
        if offset < 0 or offset + size > len(self.data):
            raise PeError("the image is truncated (%d bytes needed at %d)" % (size, offset))

    def _u32(self, offset):
        self._check(offset, 4)
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for section in self.sections:
            if section.rva <= rva < section.rva + max(section.virtual_size, section.raw_size):
                if rva - section.rva >= section.raw_size:
                    raise PeError("rva 0x%x has no bytes in the file" % rva)
                return section.raw_pointer + rva - section.rva
        raise PeError("rva 0x%x lies outside every section" % rva)

    def resources(self):
        """Every resource leaf, walking type, name and language levels."""
        if not self.resource_rva:
            return []
        root = self.offset(self.resource_rva)
        found = []

        def entries(directory):
            self._check(directory, 16)
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                entry = directory + 16 + 8 * i
                self._check(entry, 8)
                yield struct.unpack_from("<II", self.data, entry)

        def label(name_field):
            if not name_field & 0x80000000:
                return name_field
            at = root + (name_field & 0x7FFFFFFF)
            self._check(at, 2)
            length = struct.unpack_from("<H", self.data, at)[0]
            self._check(at + 2, 2 * length)
            return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le", "replace")

        def subdirectory(field):
            if not field & 0x80000000:
                raise PeError("a resource directory entry points at data too early")
            return root + (field & 0x7FFFFFFF)

        for type_field, type_target in entries(root):
            for name_field, name_target in entries(subdirectory(type_target)):
                for language, data_target in entries(subdirectory(name_target)):
                    if data_target & 0x80000000:
                        raise PeError("a resource nests deeper than three levels")
                    leaf = root + data_target
                    self._check(leaf, 16)
                    data_rva, size = struct.unpack_from("<II", self.data, leaf)
                    offset = self.offset(data_rva)
                    self._check(offset, size)
                    found.append(Resource(label(type_field), label(name_field), language, offset, size))
        return found

    def fixed_file_info_offset(self):
        """File offset of VS_FIXEDFILEINFO in the version resource."""
        versions = [r for r in self.resources() if r.type_id == RT_VERSION]
        if len(versions) != 1:
            raise PeError("expected one version resource, found %d" % len(versions))
        block = self.data[versions[0].offset:versions[0].offset + versions[0].size]
        # The VS_VERSION_INFO key is followed by padding to a 32-bit boundary.
        at = block.find(struct.pack("<I", FIXED_FILE_INFO_SIGNATURE))
        if at < 0 or at % 4 or at + 52 > len(block):
            raise PeError("the version resource has no fixed file information")
        return versions[0].offset + at
