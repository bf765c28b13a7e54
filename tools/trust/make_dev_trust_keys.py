#!/usr/bin/env python3
"""Generates the ten DEVELOPMENT trusted-list signing keys (RSA-1024) and the
file of their public keys that a development build compiles in.

    make_dev_trust_keys.py [--out-dir DIR] [--force]

The private keys written here are for development and tests only; a release
build takes its public-key file from the maker (see tools/trust/README.md)."""

import argparse
import base64
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cli  # noqa: E402
import openssl_cli  # noqa: E402

KEY_COUNT = 10


def key_path(directory, index):
    return os.path.join(directory, "trusted_list_key_%d.pem" % index)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out-dir", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "dev_keys"),
                        help="where the keys and builtin_public_keys.txt go (default: dev_keys beside this tool)")
    parser.add_argument("--force", action="store_true", help="replace existing keys")
    args = parser.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)
    if os.path.exists(key_path(args.out_dir, 0)) and not args.force:
        raise cli.Failure("keys exist in %s; pass --force to replace them" % args.out_dir)
    lines = []
    for index in range(KEY_COUNT):
        path = key_path(args.out_dir, index)
        openssl_cli.openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024",
                            "-pkeyopt", "rsa_keygen_pubexp:65537", "-out", path)
        lines.append(base64.b64encode(openssl_cli.public_key_der(path)).decode("ascii"))
    with open(os.path.join(args.out_dir, "builtin_public_keys.txt"), "w", newline="\n") as f:
        f.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    sys.exit(cli.run_main("make_dev_trust_keys", main))
