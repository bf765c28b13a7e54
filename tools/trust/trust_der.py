"""Just enough DER reading for the trust tools: certificate serial numbers,
signature algorithms and public keys, on the header reader of tools/der.py.
Standard library only, so the tools run wherever Python and the openssl
command line do."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import der  # noqa: E402

SEQUENCE = 0x30
INTEGER = 0x02
BIT_STRING = 0x03
OBJECT_IDENTIFIER = 0x06
CONTEXT_0 = 0xA0

SHA256_WITH_RSA = "1.2.840.113549.1.1.11"
SHA1_WITH_RSA = "1.2.840.113549.1.1.5"
RSA_ENCRYPTION = "1.2.840.113549.1.1.1"


DerError = der.DerError


def read_element(data, offset=0):
    """Returns (tag, content bytes, offset after the element)."""
    content, end = der.enter(data, (offset, len(data)))
    return data[offset], data[content:end], end


def children(content):
    """The elements directly inside a constructed element's content."""
    items = []
    offset = 0
    while offset < len(content):
        tag, value, offset = read_element(content, offset)
        items.append((tag, value))
    return items


def decode_oid(content):
    if not content:
        raise DerError("empty object identifier")
    first = content[0]
    arcs = [min(first // 40, 2), first - 40 * min(first // 40, 2)]
    value = 0
    for byte in content[1:]:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    return ".".join(str(arc) for arc in arcs)


class Certificate:
    """The fields of an X.509 certificate the trusted list is built from."""

    def __init__(self, certificate_der):
        tag, cert, _ = read_element(certificate_der)
        if tag != SEQUENCE:
            raise DerError("certificate is not a SEQUENCE")
        parts = children(cert)
        if len(parts) != 3 or parts[0][0] != SEQUENCE:
            raise DerError("certificate has no tbsCertificate")
        tbs = children(parts[0][1])
        index = 1 if tbs[0][0] == CONTEXT_0 else 0
        if tbs[index][0] != INTEGER:
            raise DerError("no serial number")
        # The content octets exactly as encoded (a leading 0x00 sign byte
        # included): Windows hands out these same bytes, reversed.
        self.serial = tbs[index][1]
        self.spki_der = der.element(*tbs[index + 5])
        algorithm = children(parts[1][1])
        self.signature_algorithm = decode_oid(algorithm[0][1])
        self.public_key_bits = public_key_bits(self.spki_der)


def public_key_bits(spki_der):
    """The BIT STRING contents of a SubjectPublicKeyInfo without the
    unused-bits byte; DerError when bits are unused."""
    tag, spki, _ = read_element(spki_der)
    if tag != SEQUENCE:
        raise DerError("SubjectPublicKeyInfo is not a SEQUENCE")
    parts = children(spki)
    if len(parts) != 2 or parts[1][0] != BIT_STRING or not parts[1][1]:
        raise DerError("SubjectPublicKeyInfo has no public key BIT STRING")
    if parts[1][1][0] != 0:
        raise DerError("public key BIT STRING has unused bits")
    return parts[1][1][1:]


def spki_algorithm(spki_der):
    _, spki, _ = read_element(spki_der)
    algorithm = children(children(spki)[0][1])
    return decode_oid(algorithm[0][1])


def rsa_modulus_bits(spki_der):
    _, key, _ = read_element(public_key_bits(spki_der))
    modulus = children(key)[0][1]
    return int.from_bytes(modulus, "big").bit_length()
