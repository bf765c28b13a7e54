"""The crash collector's "/submit" endpoint, without the HTTP server around it.

The installer uploads a crash as one POST: a multipart/form-data body (every
annotation a form field, the minidump the file "upload_file_minidump"),
gzip-compressed ("Content-Encoding: gzip"), sent with
"Transfer-Encoding: chunked". The server de-chunks the body and calls
handle_submit() with the request headers and the raw (still compressed) body.

Wine's WinHTTP cannot send a chunked body of unknown length as Windows does:
it adds "Content-Length: 0" to the chunked request and then waits for the
response before it writes the body. A server that answers such a request at
once, before reading the body, and only then reads the chunks, receives the
whole body (see early_response_needed()). Windows clients never send that
header pair, so for them the server reads first and answers after. A server
that instead waits for the body and, when none comes, still answers 200 makes
the Wine client believe the upload succeeded (it then deletes the dump).
"""

import base64
import gzip
import hashlib
import re
import struct
import urllib.parse
import zlib

MINIDUMP_FIELD = "upload_file_minidump"

_DISPOSITION = re.compile(r'^form-data; name="([^"]*)"(?:; filename="([^"]*)")?$')
_MIME_ESCAPES = {"%0a": "\n", "%0d": "\r", "%22": '"', "%25": "%"}


def _header(headers, name):
    """Case-insensitive header lookup; None when absent."""
    for key, value in headers.items():
        if key.lower() == name.lower():
            return value
    return None


def early_response_needed(headers):
    """True for the request shape Wine's WinHTTP sends (chunked with a
    Content-Length beside it): answer before reading the body."""
    encoding = (_header(headers, "Transfer-Encoding") or "").strip().lower()
    return encoding == "chunked" and _header(headers, "Content-Length") is not None


def decode_mime_field(text):
    """Undoes the client's escaping of line ends, quotes and percent signs
    in field and file names."""
    return re.sub(r"%(0a|0d|22|25)", lambda m: _MIME_ESCAPES[m.group(0)], text)


def _boundary(content_type):
    if not content_type:
        return None
    kind, _, parameters = content_type.partition(";")
    if kind.strip().lower() != "multipart/form-data":
        return None
    for parameter in parameters.split(";"):
        name, _, value = parameter.strip().partition("=")
        if name.lower() == "boundary" and value:
            return value.strip('"')
    return None


def parse_multipart(body, boundary):
    """Parts of a multipart/form-data body as a list of
    (name, file name or None, content type or None, bytes).
    Raises ValueError unless the body is exactly parts closed by the final
    boundary."""
    delimiter = b"--" + boundary.encode("ascii")
    if not body.startswith(delimiter):
        raise ValueError("body does not start with the boundary")
    parts = []
    position = len(delimiter)
    while True:
        if body[position:] == b"--\r\n":
            return parts
        if body[position:position + 2] != b"\r\n":
            raise ValueError("malformed boundary line at %d" % position)
        position += 2
        headers_end = body.find(b"\r\n\r\n", position)
        if headers_end < 0:
            raise ValueError("part headers do not end")
        name = file_name = content_type = None
        for line in body[position:headers_end].split(b"\r\n"):
            key, _, value = line.decode("utf-8", "replace").partition(": ")
            if key.lower() == "content-disposition":
                match = _DISPOSITION.match(value)
                if not match:
                    raise ValueError("bad Content-Disposition: %r" % value)
                name = decode_mime_field(match.group(1))
                if match.group(2) is not None:
                    file_name = decode_mime_field(match.group(2))
            elif key.lower() == "content-type":
                content_type = value
        if name is None:
            raise ValueError("part without a name")
        content_start = headers_end + 4
        next_delimiter = body.find(b"\r\n" + delimiter, content_start)
        if next_delimiter < 0:
            raise ValueError("part does not end")
        parts.append((name, file_name, content_type, body[content_start:next_delimiter]))
        position = next_delimiter + 2 + len(delimiter)


def _describe(data):
    return {"size": len(data), "sha256": hashlib.sha256(data).hexdigest(),
            "base64": base64.b64encode(data).decode("ascii")}


def handle_submit(headers, body, query=""):
    """Takes one upload apart. Returns (status, record); the record is
    JSON-serialisable (the server stores it in its request log):

        {"fields": {name: text}, "query": {name: text},
         "files": {name: {"filename", "content_type", "size", "sha256", "base64"}},
         "dump": the "upload_file_minidump" file as in "files",
         "dump_annotations": {key: value} from the minidump's crash
             information stream, or null with "dump_annotations_error"}

    Status 200 for a well-formed upload with a minidump, else 400 with
    "error" in the record."""
    record = {
        "fields": {},
        "files": {},
        "dump": None,
        "query": dict(urllib.parse.parse_qsl(query, keep_blank_values=True)),
    }
    encoding = (_header(headers, "Content-Encoding") or "").strip().lower()
    try:
        if encoding == "gzip":
            body = gzip.decompress(body)
        elif encoding not in ("", "identity"):
            raise ValueError("unsupported Content-Encoding %r" % encoding)
        boundary = _boundary(_header(headers, "Content-Type"))
        if boundary is None:
            raise ValueError("not multipart/form-data with a boundary")
        for name, file_name, content_type, data in parse_multipart(body, boundary):
            if file_name is None:
                record["fields"][name] = data.decode("utf-8", "replace")
            else:
                record["files"][name] = dict(_describe(data), filename=file_name, content_type=content_type)
                if name == MINIDUMP_FIELD:
                    dump = data
    except (OSError, EOFError, zlib.error, ValueError) as error:
        record["error"] = str(error)
        return 400, record
    if MINIDUMP_FIELD not in record["files"]:
        record["error"] = "no %s attachment" % MINIDUMP_FIELD
        return 400, record
    record["dump"] = record["files"][MINIDUMP_FIELD]
    try:
        record["dump_annotations"] = read_crash_annotations(dump)
    except (ValueError, UnicodeDecodeError) as error:
        record["dump_annotations"] = None
        record["dump_annotations_error"] = str(error)
    return 200, record


def dump_bytes(record):
    """The minidump bytes of a record from handle_submit()."""
    return base64.b64decode(record["dump"]["base64"])


CRASH_INFO_STREAM_TYPE = 0x43500001


def read_crash_annotations(dump):
    """The annotations of the crash information stream of a minidump, read
    through the stream directory and the stream's absolute positions; each
    key and value must end with a zero byte. Raises ValueError otherwise."""
    def u32(offset):
        if offset + 4 > len(dump):
            raise ValueError("read past the end at %d" % offset)
        return struct.unpack_from("<I", dump, offset)[0]

    def string_at(position):
        length = u32(position)
        end = position + 4 + length
        if end >= len(dump) or dump[end] != 0:
            raise ValueError("string at %d is not zero-terminated" % position)
        return dump[position + 4:end].decode("utf-8")

    if dump[:4] != b"MDMP":
        raise ValueError("not a minidump")
    stream_count, directory = u32(8), u32(12)
    for index in range(stream_count):
        entry = directory + 12 * index
        if u32(entry) != CRASH_INFO_STREAM_TYPE:
            continue
        annotations_position = u32(u32(entry + 8) + 40)
        count = u32(annotations_position)
        annotations = {}
        for k in range(count):
            key_position = u32(annotations_position + 4 + 8 * k)
            value_position = u32(annotations_position + 8 + 8 * k)
            annotations[string_at(key_position)] = string_at(value_position)
        return annotations
    raise ValueError("no crash information stream")
