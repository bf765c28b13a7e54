#!/usr/bin/env python3
"""Writes the trusted-certificate list of a setup archive (TRUSTED.JSON) and
its signature (SIGNATURE.DAT).

    make_trusted_list.py --entry SIGNER.crt ISSUER.crt [--entry ...]
                         [--entry-without-key SIGNER.crt ISSUER.crt]
                         --private-key KEY.pem --key-index N
                         [--public-keys KEYS.txt]
                         --json-out TRUSTED.JSON --signature-out SIGNATURE.DAT

Each entry lists one certificate pair: "id" is the Base64 of the issuer's
serial number followed by the signer's serial number (DER content octets,
big-endian) and "pub_key" the hex SHA-256 of the signer's public-key bits.
SIGNATURE.DAT is the key index (16-bit little-endian) followed by the RSA
PKCS #1 v1.5 SHA-1 signature over the exact bytes of TRUSTED.JSON. With
--public-keys the signature is checked against line N of that file, which
catches a private key that does not match its index."""

import argparse
import base64
import hashlib
import json
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cli  # noqa: E402
import openssl_cli  # noqa: E402
import trust_der  # noqa: E402

KEY_COUNT = 10


def certificate_entry(signer_path, issuer_path, with_key=True):
    signer = trust_der.Certificate(openssl_cli.certificate_der(signer_path))
    issuer = trust_der.Certificate(openssl_cli.certificate_der(issuer_path))
    entry = {"id": base64.b64encode(issuer.serial + signer.serial).decode("ascii")}
    if with_key:
        entry["pub_key"] = hashlib.sha256(signer.public_key_bits).hexdigest()
    return entry


def trusted_json(entries):
    document = {"trusted_info": {"certificates": entries}}
    return (json.dumps(document, indent=2) + "\n").encode("utf-8")


def signature_dat(json_bytes, private_key_path, key_index):
    if not 0 <= key_index < KEY_COUNT:
        raise ValueError("key index must be 0..%d" % (KEY_COUNT - 1))
    return struct.pack("<H", key_index) + openssl_cli.sign_sha1(private_key_path, json_bytes)


def verify_signature(json_bytes, dat, public_keys_path):
    """True when SIGNATURE.DAT verifies with the key its index names."""
    (index,) = struct.unpack("<H", dat[:2])
    with open(public_keys_path) as f:
        keys = [line.strip() for line in f if line.strip()]
    if index >= len(keys):
        return False
    with tempfile.TemporaryDirectory() as work:
        key_file = os.path.join(work, "key.der")
        signature_file = os.path.join(work, "signature")
        with open(key_file, "wb") as f:
            f.write(base64.b64decode(keys[index]))
        with open(signature_file, "wb") as f:
            f.write(dat[2:])
        try:
            openssl_cli.openssl("dgst", "-sha1", "-verify", key_file, "-keyform", "DER", "-signature",
                                signature_file, input_bytes=json_bytes)
        except openssl_cli.ToolError:
            return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--entry", nargs=2, action="append", default=[], metavar=("SIGNER", "ISSUER"),
                        help="a trusted signer's certificate and its issuer's (PEM or DER)")
    parser.add_argument("--entry-without-key", nargs=2, action="append", default=[], metavar=("SIGNER", "ISSUER"),
                        help="like --entry, without the public-key digest")
    parser.add_argument("--private-key", required=True, help="the list-signing private key (PEM)")
    parser.add_argument("--key-index", type=int, required=True, help="its index 0..9 among the built-in keys")
    parser.add_argument("--public-keys", help="the built-in public keys file, to check the private key against")
    parser.add_argument("--json-out", required=True, help="where TRUSTED.JSON goes")
    parser.add_argument("--signature-out", required=True, help="where SIGNATURE.DAT goes")
    args = parser.parse_args()
    cli.require_files(args.private_key, *[path for pair in args.entry + args.entry_without_key for path in pair],
                      *([args.public_keys] if args.public_keys else []))
    entries = [certificate_entry(s, i) for s, i in args.entry]
    entries += [certificate_entry(s, i, with_key=False) for s, i in args.entry_without_key]
    json_bytes = trusted_json(entries)
    dat = signature_dat(json_bytes, args.private_key, args.key_index)
    if args.public_keys and not verify_signature(json_bytes, dat, args.public_keys):
        raise cli.Failure("the private key does not match public key %d of %s" % (args.key_index, args.public_keys))
    for path, data in ((args.json_out, json_bytes), (args.signature_out, dat)):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("make_trusted_list", main))
