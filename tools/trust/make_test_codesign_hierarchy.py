#!/usr/bin/env python3
"""Generates the TEST code-signing hierarchy the stand-in setup archive is
signed with: a root, an intermediate, and three signing leaves.

    make_test_codesign_hierarchy.py [--out-dir DIR] [--force]

  leaf_sha256    sha256WithRSAEncryption, listed in the stand-in's trusted list
  leaf_sha1      sha1WithRSAEncryption (a SHA-1-era signer), listed too
  leaf_unlisted  sha256WithRSAEncryption, deliberately not listed

Each leaf gets <name>.key, <name>.crt and <name>.chain.pem (leaf,
intermediate, root: the certificates placed in a signature). The serial
numbers are fixed; the leaf_sha256 serial has its top bit set so its DER
encoding carries a 0x00 sign byte, which certificate identifiers keep."""

import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import openssl_cli  # noqa: E402

DAYS = 36500
ROOT_SERIAL = "0x01"
INTERMEDIATE_SERIAL = "0x7E11A9C3"
LEAVES = [
    # name, serial, certificate signature digest, common name
    ("leaf_sha256", "0xB52F0C1D4E", "sha256", "Tarvik Test Code Signer SHA-256"),
    ("leaf_sha1", "0x5A17C0DE01", "sha1", "Tarvik Test Code Signer SHA-1"),
    ("leaf_unlisted", "0x3C0FFEE123", "sha256", "Tarvik Test Code Signer Unlisted"),
]

CA_EXTENSIONS = """[ca]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[intermediate]
basicConstraints=critical,CA:TRUE,pathlen:0
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[leaf]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
"""


def subject(common_name):
    return "/C=XX/O=Tarvik Test (NOT FOR RELEASE)/CN=" + common_name


def make_key(path, bits):
    openssl_cli.openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:%d" % bits, "-out", path)


def sign_request(csr, ca_cert, ca_key, serial, digest, section, extfile, out):
    openssl_cli.openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-set_serial", serial,
                        "-days", str(DAYS), "-" + digest, "-extfile", extfile, "-extensions", section, "-out", out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out-dir",
                        default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "test_codesign"))
    parser.add_argument("--force", action="store_true")
    args = parser.parse_args()
    out = args.out_dir
    os.makedirs(out, exist_ok=True)
    if os.path.exists(os.path.join(out, "root.crt")) and not args.force:
        sys.exit("a hierarchy exists in %s; pass --force to replace it" % out)
    path = lambda name: os.path.join(out, name)  # noqa: E731
    with tempfile.TemporaryDirectory() as work:
        extfile = os.path.join(work, "extensions.cnf")
        with open(extfile, "w") as f:
            f.write(CA_EXTENSIONS)
        make_key(path("root.key"), 2048)
        openssl_cli.openssl("req", "-x509", "-new", "-key", path("root.key"), "-subj",
                            subject("Tarvik Test Code Signing Root"), "-days", str(DAYS), "-sha256",
                            "-set_serial", ROOT_SERIAL, "-config", extfile, "-extensions", "ca",
                            "-out", path("root.crt"))
        make_key(path("intermediate.key"), 2048)
        csr = os.path.join(work, "request.csr")
        openssl_cli.openssl("req", "-new", "-key", path("intermediate.key"), "-subj",
                            subject("Tarvik Test Code Signing CA"), "-out", csr)
        sign_request(csr, path("root.crt"), path("root.key"), INTERMEDIATE_SERIAL, "sha256", "intermediate",
                     extfile, path("intermediate.crt"))
        for name, serial, digest, common_name in LEAVES:
            make_key(path(name + ".key"), 2048)
            openssl_cli.openssl("req", "-new", "-key", path(name + ".key"), "-subj", subject(common_name),
                                "-out", csr)
            sign_request(csr, path("intermediate.crt"), path("intermediate.key"), serial, digest, "leaf",
                         extfile, path(name + ".crt"))
            with open(path(name + ".chain.pem"), "w") as chain:
                for part in (name + ".crt", "intermediate.crt", "root.crt"):
                    with open(path(part)) as f:
                        chain.write(f.read())


if __name__ == "__main__":
    main()
