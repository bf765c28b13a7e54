"""Minimal DER encoding and the bounded header reader the tag tools share."""

import struct


def length(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def element(tag, content):
    return bytes([tag]) + length(len(content)) + content


def sequence(*parts):
    return element(0x30, b"".join(parts))


def oid(dotted):
    numbers = [int(n) for n in dotted.split(".")]
    body = bytearray([40 * numbers[0] + numbers[1]])
    for n in numbers[2:]:
        chunk = [n & 0x7F]
        n >>= 7
        while n:
            chunk.insert(0, 0x80 | (n & 0x7F))
            n >>= 7
        body.extend(chunk)
    return element(0x06, bytes(body))


def integer(value):
    body = value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big")
    return element(0x02, body)


def octet_string(content):
    return element(0x04, content)


def bit_string(content):
    return element(0x03, b"\x00" + content)


NULL = b"\x05\x00"
TRUE = b"\x01\x01\xff"


class DerError(ValueError):
    pass


def read_header(data, pos, end):
    """(content offset, element end) of the element at pos; tags are not looked at.

    The header must lie within [pos, end); lengths use at most four bytes and
    the indefinite form is refused. The element end may lie beyond `end`:
    callers decide whether that is an error.
    """
    if pos >= end or end - pos < 2:
        raise DerError("no room for a header at %d" % pos)
    first = data[pos + 1]
    header = 2
    size = first
    if first >= 0x80:
        count = first - 0x80
        if count == 0 or count > 4 or end - pos - 2 < count:
            raise DerError("bad length form at %d" % pos)
        size = int.from_bytes(data[pos + 2:pos + 2 + count], "big")
        header += count
    return pos + header, pos + header + size


def enter(data, cursor):
    pos, end = cursor
    content, element_end = read_header(data, pos, end)
    if element_end > end:
        raise DerError("element at %d runs past its container" % pos)
    return content, element_end


def skip(data, cursor, count=1):
    pos, end = cursor
    for _ in range(count):
        _, element_end = read_header(data, pos, end)
        if element_end > end:
            raise DerError("element at %d runs past its container" % pos)
        pos = element_end
    return pos, end


def u16be(value):
    return struct.pack(">H", value)
