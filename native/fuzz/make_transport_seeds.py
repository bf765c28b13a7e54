#!/usr/bin/env python3
"""Writes the seeds of http_transport_fuzzer and multipart_form_fuzzer into
native/fuzz/corpus/http_transport/ and native/fuzz/corpus/multipart_form/.

    native/fuzz/make_transport_seeds.py          (re)write the seeds
    native/fuzz/make_transport_seeds.py --check  fail when a seed on disk differs

Both fuzzers split their input with FuzzedDataProvider: strings and the
remaining bytes come from the front (a string ends at a backslash followed by
anything but a backslash; "\\\\" is one backslash), integers from the back,
the first read being the last byte and each integer's first byte its most
significant. Every seed is read back with a model of that split before it is
written, so a seed reaches the case it is named after, and every upload body
is checked with the stand-in collector's own parser.

Output is deterministic but for the one gzip-compressed body, which follows
the local zlib. Other files in the folders (inputs kept from fuzzing) are
left alone.
"""

import argparse
import gzip
import hashlib
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORPUS = ROOT / "native" / "fuzz" / "corpus"
sys.path.insert(0, str(ROOT / "standins"))
import crash_collector  # noqa: E402

# The fuzzers' own constants.
PIECE = 32768
FORM_BOUNDARY = b"---MultipartBoundary-0123456789abcdefghijklmnopqrstuv---"
FORM_DELIMITER = b"--" + FORM_BOUNDARY  # the fuzzer drops inputs holding it
FORM_CONTENT_TYPES = [b"", b"application/octet-stream", b"text/plain", b"application/x-dmp+gz"]
NAME_MAX, VALUE_MAX, FILE_NAME_MAX, STEPS_MAX, LENGTH_MAX = 64, 4096, 64, 16, 12
MAX_FILES = 16

# A real upload, as the end-to-end test sees the collector take it apart.
UID = "3F2504E0-4F89-41D3-9A0C-0305E82C3301"
REPORT_ID = "9B2E6F41-7C3A-4D85-A1E0-52F7C8D90B16"
ANNOTATIONS = {
    "brand": "ua_uk", "partner": "tarvik-test", "brand_id": "tarvik", "brand_name": "Tarvik Browser",
    "default_language": "ru", "ptype": "installer", "uid": UID, "ver": "1.0.0.1", "plat": "Win32",
    "prod": "Tarvik", "gzip_enabled": "true", "report_id": REPORT_ID,
}
MINIDUMP_FIELD = crash_collector.MINIDUMP_FIELD
ALPHANUMERICS = b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def check(condition, *what):
    """An assert that python -O keeps: a seed that misses its case is worse
    than none."""
    if not condition:
        raise SystemExit("make_transport_seeds.py: check failed: %r" % (what,))


def pseudo_random(label, size):
    """Fixed bytes per label, the same on every Python."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(b"%s/%d" % (label.encode(), counter)).digest()
        counter += 1
    return bytes(out[:size])


def boundary(label):
    return b"---MultipartBoundary-" + bytes(ALPHANUMERICS[b % 62] for b in pseudo_random(label, 32)) + b"---"


def guid_bytes(text):
    """A GUID's in-memory byte order, as the crash information stream holds it."""
    hex_digits = text.replace("-", "")
    raw = bytes.fromhex(hex_digits)
    return raw[3::-1] + raw[5:3:-1] + raw[7:5:-1] + raw[8:]


def minidump(label, size):
    """A minidump whose crash information stream (positions already made
    absolute) holds ANNOTATIONS, filled to `size` with memory-like bytes."""
    # System information: x86, two processors, Windows 10.0.19045.
    streams = [(7, struct.pack("<HHHBBIIIIIHH", 0, 6, 0x3A09, 2, 1, 10, 0, 19045, 2, 0, 0x100, 0) + bytes(24))]
    info = struct.pack("<I", 1) + guid_bytes(REPORT_ID) + guid_bytes(UID)
    streams.append((0x43500001, info))
    directory_end = 32 + 12 * (len(streams) + 1)
    stream_at = directory_end + len(streams[0][1])
    # Annotations: count, (key, value) positions, then length-prefixed, zero-ended strings.
    table_at = stream_at + 52
    strings_at = table_at + 4 + 8 * len(ANNOTATIONS)
    table, strings = struct.pack("<I", len(ANNOTATIONS)), b""
    for key, value in sorted(ANNOTATIONS.items()):
        for text in (key.encode(), value.encode()):
            table += struct.pack("<I", strings_at + len(strings))
            strings += struct.pack("<I", len(text)) + text + b"\0"
    info += struct.pack("<IIII", len(table) + len(strings), table_at, 0, 0) + table + strings
    streams[1] = (streams[1][0], info)
    memory_at = stream_at + len(info)
    memory_size = max(0, size - memory_at)
    # Stack-like memory: runs of zeros between pointers and code bytes.
    noise = pseudo_random("memory/" + label, memory_size)
    memory = bytes(b if (i // 64) % 3 else 0 for i, b in enumerate(noise))
    streams.append((5, memory))
    header = b"MDMP" + struct.pack("<IIIIIQ", 0xA793, len(streams), 32, 0, 0x65F1C2A0, 0)
    body, directory, position = b"", b"", directory_end
    for kind, data in streams:
        directory += struct.pack("<III", kind, len(data), position)
        body += data
        position += len(data)
    dump = header + directory + body
    check(len(dump) == max(size, memory_at), label)
    return dump


def encode_mime_field(field):
    for raw, escape in ((b"%", b"%25"), (b"\n", b"%0a"), (b"\r", b"%0d"), (b'"', b"%22")):
        field = field.replace(raw, escape)
    return field


def multipart_body(fields, files, boundary_text):
    """The body MultipartForm writes: fields, then files, each in name order.
    `files` maps a name to (file name, content type, content)."""
    text = b""
    for name in sorted(fields):
        text += b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n" % (
            boundary_text, encode_mime_field(name), fields[name])
    for name in sorted(files):
        file_name, content_type, content = files[name]
        text += (b"--%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\n"
                 b"Content-Type: %s\r\n\r\n%s\r\n") % (
            boundary_text, encode_mime_field(name), encode_mime_field(file_name),
            content_type or b"application/octet-stream", content)
    return text + b"--%s--\r\n" % boundary_text


def crash_upload(label, dump_size, compress=False):
    """(body, headers) of an upload as the installer sends it."""
    boundary_text = boundary(label)
    fields = {k.encode(): v.encode() for k, v in ANNOTATIONS.items()}
    files = {MINIDUMP_FIELD.encode(): (UID.encode() + b".dmp", b"application/octet-stream",
                                       minidump(label, dump_size))}
    body = multipart_body(fields, files, boundary_text)
    headers = {"Content-Type": "multipart/form-data; boundary=" + boundary_text.decode()}
    if compress:
        body = gzip.compress(body, compresslevel=6, mtime=0)  # the client's Z_DEFAULT_COMPRESSION
        headers["Content-Encoding"] = "gzip"
    return body, headers


def check_upload(body, headers):
    status, record = crash_collector.handle_submit(headers, body)
    check(status == 200, record.get("error"))
    check(record["fields"] == ANNOTATIONS and record["dump_annotations"] == ANNOTATIONS, record["fields"])


class SeedWriter:
    """Lays values out as FuzzedDataProvider will hand them back."""

    def __init__(self):
        self.front = bytearray()
        self.back = []  # integer bytes in the order they are read

    def string(self, text, max_length):
        check(len(text) <= max_length, text, max_length)
        self.front += text.replace(b"\\", b"\\\\")
        if len(text) < max_length:
            self.front += b"\\;"
        return self

    def integer(self, value, low, high, size):
        span, width = high - low, 0
        while width < size and span >> (8 * width):
            width += 1
        check(low <= value <= high, value, low, high)
        offset = value - low
        self.back += [(offset >> (8 * (width - 1 - i))) & 0xFF for i in range(width)]
        return self

    def boolean(self, value):
        return self.integer(int(value), 0, 255, 1)

    def remaining(self, data):
        self.front += data
        return self

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


class Provider:
    """FuzzedDataProvider's reading rules, to read seeds back."""

    def __init__(self, data):
        self.data, self.start, self.end = data, 0, len(data)

    def remaining(self):
        return self.end - self.start

    def string(self, max_length):
        out = bytearray()
        while len(out) < max_length and self.remaining():
            byte = self.data[self.start]
            self.start += 1
            if byte == 0x5C and self.remaining():
                byte = self.data[self.start]
                self.start += 1
                if byte != 0x5C:
                    break
            out.append(byte)
        return bytes(out)

    def integer(self, low, high, size):
        span, result, offset = high - low, 0, 0
        while offset < 8 * size and span >> offset and self.remaining():
            self.end -= 1
            result = (result << 8) | self.data[self.end]
            offset += 8
        return low + result % (span + 1)

    def boolean(self):
        return bool(self.integer(0, 255, 1) & 1)

    def rest(self):
        out = self.data[self.start:self.end]
        self.start = self.end
        return out


# http_transport_fuzzer: mode (0, 1 chunked; 2 Content-Length; 3 read error),
# the length text in mode 2, read sizes (byte b reads b * 257 + 1), how many
# times the piece repeats, the piece.

def transport_seed(mode, steps=b"", piece=b"", times=1, length_text=None):
    writer = SeedWriter().integer(mode, 0, 3, 4)
    if mode == 2:
        writer.string(length_text, LENGTH_MAX)
    writer.string(steps, STEPS_MAX).integer(times, 1, 64, 8).remaining(piece)
    data = writer.data()
    read = Provider(data)
    got_mode = read.integer(0, 3, 4)
    got_length = read.string(LENGTH_MAX) if got_mode == 2 else None
    got = (got_mode, got_length, read.string(STEPS_MAX), read.integer(1, 64, 8), read.rest())
    check(got == (mode, length_text, steps, times, piece), got[:4])
    return data


def transport_seeds():
    small, _ = crash_upload("small", 2048)
    two_chunks, _ = crash_upload("two-chunks", 44000)
    overhead = len(crash_upload("exact", 0)[0]) - len(minidump("exact", 0))
    exact, _ = crash_upload("exact", PIECE - overhead)
    check(len(exact) == PIECE, len(exact))
    repeated, _ = crash_upload("repeated", 0)
    error_body, _ = crash_upload("read-error", 40000)
    compressed, headers = crash_upload("gzip", 60000, compress=True)
    check_upload(compressed, headers)
    for label, body in (("small", small), ("two-chunks", two_chunks), ("exact", exact), ("repeated", repeated),
                        ("read-error", error_body)):
        check_upload(body, {"Content-Type": "multipart/form-data; boundary=" + boundary(label).decode()})
    return {
        # Chunked: a whole upload in one chunk, read as the stream offers it.
        "chunked_upload": transport_seed(0, piece=small),
        # The wire shape of a real upload: gzip, 0x8000-byte chunks, then the rest.
        "chunked_gzip_upload": transport_seed(1, steps=b"\x0f", piece=compressed),
        # Reads of 32640, 1 and 8226 bytes fill one full chunk and a short last one.
        "chunked_two_chunks": transport_seed(0, steps=b"\x7f\x00\x20", piece=two_chunks),
        # Exactly one full chunk: no short chunk before the terminator.
        "chunked_exactly_one_chunk": transport_seed(0, steps=b"\x3f\xff", piece=exact),
        # Many small uploads back to back, several chunks of them.
        "chunked_repeated_upload": transport_seed(1, steps=b"\x05\\", piece=repeated, times=60),
        "chunked_empty_body": transport_seed(0),
        "length_upload": transport_seed(2, piece=small, length_text=str(len(small)).encode()),
        # Unframed, in several writes.
        "length_large_upload": transport_seed(2, steps=b"\x01\xff", piece=two_chunks,
                                              length_text=str(len(two_chunks)).encode()),
        "length_zero_empty_body": transport_seed(2, length_text=b"0"),
        "length_trailing_space": transport_seed(2, piece=small, length_text=str(len(small)).encode() + b" "),
        "length_overflow": transport_seed(2, piece=small, length_text=b"4294967296"),
        "length_empty": transport_seed(2, piece=small, length_text=b""),
        # The read fails half way into the body: in the first chunk, or after one was sent.
        "read_error_first_chunk": transport_seed(3, steps=b"\x02", piece=small),
        "read_error_after_a_chunk": transport_seed(3, piece=error_body, times=2),
    }


# multipart_form_fuzzer: gzip, the file read size (1 to 70000), then entries
# until the input ends or 16 files: is it a file, name, value, and for a file
# the value's repeat count, the file name and the content type's index.

def form_seed(gzip_enabled, step, entries, unread=b""):
    """`entries`: ("field", name, value) or ("file", name, value, times,
    file name, content type index). `unread` follows the sixteenth file."""
    writer = SeedWriter().boolean(gzip_enabled).integer(step, 1, 70000, 8)
    for entry in entries:
        writer.boolean(entry[0] == "file").string(entry[1], NAME_MAX).string(entry[2], VALUE_MAX)
        if entry[0] == "file":
            _, _, value, times, file_name, type_index = entry
            writer.integer(times, 1, 24, 8).string(file_name, FILE_NAME_MAX).integer(type_index, 0, 3, 8)
            check(FORM_DELIMITER not in value * times, entry[1])
        check(FORM_DELIMITER not in entry[1] and FORM_DELIMITER not in entry[2], entry[1])
    writer.remaining(unread)
    data = writer.data()

    read = Provider(data)
    got_gzip, got_step, got = read.boolean(), read.integer(1, 70000, 8), []
    files = 0
    while read.remaining() and files < MAX_FILES:
        is_file, name, value = read.boolean(), read.string(NAME_MAX), read.string(VALUE_MAX)
        if is_file:
            files += 1
            times = read.integer(1, 24, 8)
            got.append(("file", name, value, times, read.string(FILE_NAME_MAX), read.integer(0, 3, 8)))
        else:
            got.append(("field", name, value))
    check((got_gzip, got_step, got) == (gzip_enabled, step, list(entries)), got_gzip, got_step, got)
    check(read.remaining() == len(unread), read.remaining())
    return data


def form_body_size(entries):
    fields, files = {}, {}
    for entry in entries:
        if entry[0] == "file":
            fields.pop(entry[1], None)
            files[entry[1]] = (entry[4], FORM_CONTENT_TYPES[entry[5]], entry[2] * entry[3])
        else:
            files.pop(entry[1], None)
            fields[entry[1]] = entry[2]
    return len(multipart_body(fields, files, FORM_BOUNDARY))


def upload_entries(dump_piece, times, type_index=1):
    entries = [("field", k.encode(), v.encode()) for k, v in ANNOTATIONS.items()]
    return entries + [("file", MINIDUMP_FIELD.encode(), dump_piece, times, UID.encode() + b".dmp", type_index)]


def form_seeds():
    dump_piece = minidump("form", VALUE_MAX)
    # A body of exactly two chunks: sixteen repeats of the dump's start, the
    # file name's length taking up what is left.
    field = ("field", b"ver", b"1.0.0.1")
    rest = 2 * PIECE - form_body_size([field, ("file", MINIDUMP_FIELD.encode(), b"", 1, b"", 0)])
    piece_size = (rest - len(".dmp")) // 16
    name_size = rest - 16 * piece_size
    exact = [field, ("file", MINIDUMP_FIELD.encode(), dump_piece[:piece_size], 16,
                     b"d" * (name_size - 4) + b".dmp", 0)]
    check(form_body_size(exact) == 2 * PIECE and name_size <= FILE_NAME_MAX, name_size)

    many_files = [("file", b"log%02d" % i, b"line %d\r\n" % i, 1 + i % 3, b"log%02d.txt" % i, i % 4)
                  for i in range(MAX_FILES)]
    unique = [("file", b"memory%d" % i, pseudo_random("unique%d" % i, VALUE_MAX), 1, b"region%d.bin" % i, 1)
              for i in range(9)]
    return {
        # The installer's upload: every annotation a field, the minidump a file.
        "crash_upload_gzip": form_seed(True, 32768, upload_entries(dump_piece, 12)),
        # The same plain, the dump read in 4 KiB pieces and crossing a chunk.
        "crash_upload_plain": form_seed(False, 4096, upload_entries(dump_piece, 12)),
        # Names and file names with every escaped byte, and text that looks escaped.
        "escaped_names": form_seed(False, 7, [
            ("field", b'brand "name"', b"Tarvik \"Browser\""),
            ("field", b"line\r\nbreak", b"value\r\nwith\r\n\r\nblank lines"),
            ("field", b"100% %22literal%0a", b"%25"),
            ("field", b"", b""),
            ("file", b"dump\n", b"MDMP\0\0\\\r\n", 3, b'C:\\Users\\"x"\\crash%1\r\n.dmp', 0),
            ("file", b"n" * NAME_MAX, b"MDMP", 1, b"f" * FILE_NAME_MAX, 2),
        ]),
        # A name set as a field then a file, and as a file then a field.
        "replaced_names": form_seed(True, 100, [
            ("field", MINIDUMP_FIELD.encode(), b"not a file"),
            ("file", b"uid", b"MDMP", 2, b"uid.dmp", 1),
            ("file", MINIDUMP_FIELD.encode(), dump_piece[:512], 5, UID.encode() + b".dmp", 1),
            ("field", b"uid", UID.encode()),
            ("field", b"ver", b"1.0.0.0"),
            ("field", b"ver", b"1.0.0.1"),
        ]),
        # Text that nearly ends a part: another upload's delimiter, this one's
        # one byte short, a name one dash short of it, the closing "--\r\n",
        # and dashes and line ends that meet across a file's repeats.
        "boundary_lookalikes": form_seed(False, 1, [
            ("field", b"other", b"\r\n--" + boundary("other") + b"\r\n"),
            ("field", b"cut", b"\r\n--" + FORM_BOUNDARY[:-1]),
            ("field", b"--" + FORM_BOUNDARY[1:], b"--\r\n"),
            ("file", b"tail", b"-" + FORM_BOUNDARY[:30], 3, b"--.dmp", 3),
            ("file", b"lines", b"\r\n--\r\n", 24, b"x", 2),
        ]),
        "empty_form": form_seed(False, 1, []),
        # Sixteen files, the most the fuzzer takes; what follows goes unread.
        "sixteen_files": form_seed(False, 3, many_files, unread=b"\x00ignored\\;text\\;"),
        "exactly_two_chunks": form_seed(False, 65535, exact),
        # Little to compress: the gzip body itself crosses a chunk.
        "gzip_incompressible": form_seed(True, 1000, unique),
        # Non-ASCII and NUL bytes in names, reads larger than a chunk.
        "binary_names": form_seed(True, 70000, [
            ("field", "язык".encode(), "русский".encode()),
            ("field", b"nul\0name", b"\0\xff\xfe"),
            ("file", b"\xff", pseudo_random("binary", 3000), 20, b"\0.dmp", 3),
        ]),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="compare with the seeds on disk, write nothing")
    args = parser.parse_args()
    stale = []
    for folder, seeds in (("http_transport", transport_seeds()), ("multipart_form", form_seeds())):
        directory = CORPUS / folder
        if not args.check:
            directory.mkdir(parents=True, exist_ok=True)
        for name, data in sorted(seeds.items()):
            check(len(data) < 100 * 1024, name, len(data))
            path = directory / name
            if args.check:
                if not path.is_file() or path.read_bytes() != data:
                    stale.append(str(path.relative_to(ROOT)))
            else:
                path.write_bytes(data)
    if stale:
        print("seeds differ from make_transport_seeds.py:\n  " + "\n  ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
