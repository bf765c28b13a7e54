#!/usr/bin/env python3
"""Authenticode-signs a Windows executable with osslsigncode: one signature,
or a primary signature and nested ones in the order given.

    sign_module.py --in FILE --out FILE --sign CHAIN.pem KEY.pem HASH [--sign ...]

CHAIN.pem holds the signing certificate first, then the certificates that lead
to the root (all are placed in the signature). HASH is sha1 or sha256. The
signing time is fixed so that the same input gives the same output."""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import openssl_cli  # noqa: E402

SIGNING_TIME = "1735689600"  # 2025-01-01T00:00:00Z
DESCRIPTION = "Tarvik Browser Setup"


def sign(input_path, output_path, signatures):
    """`signatures`: list of (chain, key, hash); the first is the primary."""
    if not signatures:
        raise ValueError("at least one signature is needed")
    with tempfile.TemporaryDirectory() as work:
        current = input_path
        for number, (chain, key, digest) in enumerate(signatures):
            target = os.path.join(work, "signed%d.exe" % number)
            arguments = ["osslsigncode", "sign"]
            if number > 0:
                arguments.append("-nest")
            arguments += ["-certs", chain, "-key", key, "-h", digest, "-n", DESCRIPTION,
                          "-time", SIGNING_TIME, "-in", current, "-out", target]
            openssl_cli.run(arguments)
            current = target
        shutil.copyfile(current, output_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--in", dest="input", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--sign", nargs=3, action="append", required=True, metavar=("CHAIN", "KEY", "HASH"))
    args = parser.parse_args()
    sign(args.input, args.out, [tuple(s) for s in args.sign])


if __name__ == "__main__":
    main()
