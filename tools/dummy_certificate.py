#!/usr/bin/env python3
"""Makes the dummy certificate that carries the installer tag.

The certificate is added to a release's Authenticode signature as an extra
certificate (`osslsigncode sign ... -ac dummy.pem`); the installer recognises
it by the first 112 bytes of its TBSCertificate and reads the tag from the
value of its fourth extension: a 16-bit big-endian length, the tag, and zero
padding. The slot is 10242 bytes, room for a tag of 10240 bytes; the
certificate itself is left untagged (length 0) and stamped per download by
tag_tool.py without re-signing.

  dummy_certificate.py [--der] OUT
"""

import argparse
import base64
import sys

import cli
import der

SLOT_EXTENSION_OID = "1.3.6.1.4.1.11129.2.1.9999"
SLOT_SIZE = 10242
MAX_TAG_SIZE = SLOT_SIZE - 2

SHA1_WITH_RSA = der.sequence(der.oid("1.2.840.113549.1.1.5"), der.NULL)

# version 3, serial 1, sha1WithRSAEncryption, issuer "Unknown issuer",
# validity 2013-01-01..2013-04-01, subject "Dummy certificate".
TBS_PREFIX = (
    der.element(0xA0, der.integer(2))
    + der.integer(1)
    + SHA1_WITH_RSA
    + der.sequence(der.element(0x31, der.sequence(der.oid("2.5.4.3"), der.element(0x13, b"Unknown issuer"))))
    + der.sequence(der.element(0x17, b"130101100000Z"), der.element(0x17, b"130401100000Z"))
    + der.sequence(der.element(0x31, der.sequence(der.oid("2.5.4.3"), der.element(0x13, b"Dummy certificate"))))
)
assert len(TBS_PREFIX) == 112

# Any RSA key will do: nothing is ever verified with it.
_MODULUS = int(
    "C96FDBC3B88D69366034CE86C047780CF62E8814E844529BC86A0D00DAC86DFB"
    "DE6419DE62F24C505A0C52B009C21431EF858736DC8D1941846EF7D4028BFA23"
    "0AC162FCBD18BB0D54354236D83C1F7F09100A4480A868290A0733BAD7F76F26"
    "22816651A750FD82A55D76A42CEA942B354179B813CBD2B51E0A75613898CA1B", 16)


def subject_public_key_info():
    key = der.sequence(der.integer(_MODULUS), der.integer(65537))
    return der.sequence(der.sequence(der.oid("1.2.840.113549.1.1.1"), der.NULL), der.bit_string(key))


def extension(oid, value, critical=False):
    return der.sequence(der.oid(oid), der.TRUE if critical else b"", der.octet_string(value))


def slot(tag=b""):
    if len(tag) > MAX_TAG_SIZE:
        raise ValueError("a tag of %d bytes does not fit the %d-byte slot" % (len(tag), MAX_TAG_SIZE))
    return der.u16be(len(tag)) + tag + b"\x00" * (MAX_TAG_SIZE - len(tag))


def make_certificate(tag=b""):
    extensions = der.sequence(
        extension("2.5.29.15", der.bit_string(b"\x80"), critical=True),          # keyUsage: digitalSignature
        extension("2.5.29.37", der.sequence(der.oid("1.3.6.1.5.5.7.3.3"))),     # extKeyUsage: codeSigning
        extension("2.5.29.19", der.sequence(), critical=True),                   # basicConstraints: not a CA
        extension(SLOT_EXTENSION_OID, slot(tag)),
    )
    tbs = der.sequence(TBS_PREFIX, subject_public_key_info(), der.element(0xA3, extensions))
    return der.sequence(tbs, SHA1_WITH_RSA, der.bit_string(b"\x00" * 128))


def to_pem(certificate):
    text = base64.b64encode(certificate).decode("ascii")
    lines = [text[i:i + 64] for i in range(0, len(text), 64)]
    return ("-----BEGIN CERTIFICATE-----\n" + "\n".join(lines) + "\n-----END CERTIFICATE-----\n").encode("ascii")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--der", action="store_true", help="write DER instead of PEM")
    parser.add_argument("out", help="the certificate file to write (PEM unless --der)")
    args = parser.parse_args()
    certificate = make_certificate()
    with open(args.out, "wb") as f:
        f.write(certificate if args.der else to_pem(certificate))
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("dummy_certificate", main))
