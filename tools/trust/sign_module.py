#!/usr/bin/env python3
"""Authenticode-signs a Windows executable with osslsigncode: one signature,
or a primary signature and nested ones in the order given.

    sign_module.py --in FILE --out FILE --sign CHAIN.pem KEY.pem HASH [--sign ...]
                   [--add-cert DUMMY.pem]

CHAIN.pem holds the signing certificate first, then the certificates that lead
to the root (all are placed in the signature). HASH is sha1 or sha256. The
signing time is fixed so that the same input gives the same output.
--add-cert places an extra certificate in the primary signature: the dummy
certificate (dummy_certificate.py) whose slot tag_tool.py stamps later."""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cli  # noqa: E402
import openssl_cli  # noqa: E402

SIGNING_TIME = "1735689600"  # 2025-01-01T00:00:00Z
DESCRIPTION = "Tarvik Browser Setup"


DIGESTS = ("sha1", "sha256")


def sign(input_path, output_path, signatures, extra_certificates=None):
    """`signatures`: list of (chain, key, hash); the first is the primary.
    `extra_certificates`: a PEM file of certificates added to the primary."""
    if not signatures:
        raise ValueError("at least one signature is needed")
    for chain, key, digest in signatures:
        if digest not in DIGESTS:
            raise ValueError("unknown hash %r: use sha1 or sha256" % digest)
        cli.require_files(chain, key)
    cli.require_files(input_path, *([extra_certificates] if extra_certificates else []))
    with tempfile.TemporaryDirectory() as work:
        current = input_path
        for number, (chain, key, digest) in enumerate(signatures):
            target = os.path.join(work, "signed%d.exe" % number)
            arguments = ["osslsigncode", "sign"]
            if number > 0:
                arguments.append("-nest")
            if number == 0 and extra_certificates:
                arguments += ["-ac", extra_certificates]
            arguments += ["-certs", chain, "-key", key, "-h", digest, "-n", DESCRIPTION,
                          "-time", SIGNING_TIME, "-in", current, "-out", target]
            openssl_cli.run(arguments)
            current = target
        shutil.copyfile(current, output_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--in", dest="input", required=True, help="the executable to sign")
    parser.add_argument("--out", required=True, help="the signed copy to write")
    parser.add_argument("--sign", nargs=3, action="append", required=True, metavar=("CHAIN", "KEY", "HASH"),
                        help="one signature: the certificate chain (PEM, signer first), its private key (PEM) "
                             "and the hash (sha1 or sha256); repeat for nested signatures, primary first")
    parser.add_argument("--add-cert", metavar="DUMMY.pem",
                        help="an extra certificate (PEM) for the primary signature: the tag's dummy certificate")
    args = parser.parse_args()
    sign(args.input, args.out, [tuple(s) for s in args.sign], args.add_cert)
    return 0


if __name__ == "__main__":
    sys.exit(cli.run_main("sign_module", main))
