#!/usr/bin/env python3
"""Generates the TEST code-signing hierarchy the stand-in setup archives are
signed with: a root, an intermediate, and three signing leaves.

    make_test_codesign_hierarchy.py [--out-dir DIR] [--force]

  leaf_sha256    sha256WithRSAEncryption, listed in the stand-in's trusted list
  leaf_sha1      sha1WithRSAEncryption (a SHA-1-era signer), listed too
  leaf_unlisted  sha256WithRSAEncryption, deliberately not listed

Each leaf gets <name>.key, <name>.crt and <name>.chain.pem (leaf,
intermediate, root: the certificates placed in a signature). The root is
also written as root.cer (DER) for certificate stores. Serial numbers and
validity are fixed; the leaf_sha256 serial has its top bit set so its DER
encoding carries a 0x00 sign byte, which certificate identifiers keep."""

import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cli  # noqa: E402
import openssl_cli  # noqa: E402

# Before the fixed signing time of sign_module.py, and independent of the day
# the hierarchy was made.
START_DATE = "20240101000000Z"
END_DATE = "21231231235959Z"
ROOT_SERIAL = "01"
INTERMEDIATE_SERIAL = "7E11A9C3"
LEAVES = [
    # name, serial (hex), certificate signature digest, common name
    ("leaf_sha256", "B52F0C1D4E", "sha256", "Tarvik Test Code Signer SHA-256"),
    ("leaf_sha1", "5A17C0DE01", "sha1", "Tarvik Test Code Signer SHA-1"),
    ("leaf_unlisted", "3C0FFEE123", "sha256", "Tarvik Test Code Signer Unlisted"),
]

CONFIG = """[ca]
default_ca = test_ca
[test_ca]
database = {work}/index.txt
serial = {work}/serial
new_certs_dir = {work}
policy = policy_anything
unique_subject = no
[policy_anything]
countryName = optional
organizationName = optional
commonName = supplied
[req]
distinguished_name = req_dn
[req_dn]
[root]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[intermediate]
basicConstraints = critical,CA:TRUE,pathlen:0
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def subject(common_name):
    return "/C=XX/O=Tarvik Test (NOT FOR RELEASE)/CN=" + common_name


class Authority:
    def __init__(self, work):
        self.work = work
        self.config = os.path.join(work, "ca.cnf")
        with open(self.config, "w") as f:
            f.write(CONFIG.format(work=work))
        open(os.path.join(work, "index.txt"), "w").close()

    def issue(self, key, common_name, serial, digest, extensions, out, ca_cert=None, ca_key=None):
        csr = os.path.join(self.work, "request.csr")
        openssl_cli.openssl("req", "-new", "-config", self.config, "-key", key, "-subj", subject(common_name),
                            "-out", csr)
        with open(os.path.join(self.work, "serial"), "w") as f:
            f.write(serial + "\n")
        arguments = ["ca", "-batch", "-notext", "-config", self.config, "-in", csr, "-out", out, "-md", digest,
                     "-startdate", START_DATE, "-enddate", END_DATE, "-extensions", extensions]
        if ca_cert:
            arguments += ["-cert", ca_cert, "-keyfile", ca_key]
        else:
            arguments += ["-selfsign", "-keyfile", key]
        openssl_cli.openssl(*arguments)


def make_key(path, bits=2048):
    openssl_cli.openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:%d" % bits, "-out", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out-dir",
                        default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "test_codesign"),
                        help="where the keys and certificates go (default: test_codesign beside this tool)")
    parser.add_argument("--force", action="store_true", help="replace an existing hierarchy, keys included")
    parser.add_argument("--keep-keys", action="store_true", help="reissue the certificates for the existing keys")
    args = parser.parse_args()
    out = args.out_dir
    os.makedirs(out, exist_ok=True)
    if os.path.exists(os.path.join(out, "root.crt")) and not (args.force or args.keep_keys):
        raise cli.Failure("a hierarchy exists in %s; pass --force to replace it" % out)
    path = lambda name: os.path.join(out, name)  # noqa: E731
    for name in ["root", "intermediate"] + [leaf[0] for leaf in LEAVES]:
        if not (args.keep_keys and os.path.exists(path(name + ".key"))):
            make_key(path(name + ".key"))
    with tempfile.TemporaryDirectory() as work:
        ca = Authority(work)
        ca.issue(path("root.key"), "Tarvik Test Code Signing Root", ROOT_SERIAL, "sha256", "root", path("root.crt"))
        ca.issue(path("intermediate.key"), "Tarvik Test Code Signing CA", INTERMEDIATE_SERIAL, "sha256",
                 "intermediate", path("intermediate.crt"), path("root.crt"), path("root.key"))
        for name, serial, digest, common_name in LEAVES:
            ca.issue(path(name + ".key"), common_name, serial, digest, "leaf", path(name + ".crt"),
                     path("intermediate.crt"), path("intermediate.key"))
    with open(path("root.cer"), "wb") as f:
        f.write(openssl_cli.certificate_der(path("root.crt")))
    for name, _, _, _ in LEAVES:
        with open(path(name + ".chain.pem"), "w") as chain:
            for part in (name + ".crt", "intermediate.crt", "root.crt"):
                with open(path(part)) as f:
                    chain.write(f.read())


if __name__ == "__main__":
    sys.exit(cli.run_main("make_test_codesign_hierarchy", main))
