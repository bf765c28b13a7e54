"""Tests of the trust tools: development keys, test code-signing hierarchy,
trusted-list writer and signer, Authenticode signing wrapper, archive
packaging. Run natively; they need openssl and osslsigncode."""

import base64
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.environ.get("TARVIK_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
TOOLS = os.path.join(SOURCE_DIR, "tools", "trust")
CODESIGN = os.path.join(TOOLS, "test_codesign")
DEV_KEYS = os.path.join(TOOLS, "dev_keys")
sys.path.insert(0, TOOLS)
sys.path.insert(0, os.path.join(SOURCE_DIR, "standins", "setup"))

import make_trusted_list  # noqa: E402
import openssl_cli  # noqa: E402
import package_standin_archives  # noqa: E402
import sign_module  # noqa: E402
import trust_der  # noqa: E402


def codesign(name):
    return os.path.join(CODESIGN, name)


def openssl(*arguments, input_bytes=None):
    return openssl_cli.openssl(*arguments, input_bytes=input_bytes)


def rsa_public_key_der(certificate):
    """PKCS #1 RSAPublicKey of a certificate: the bytes of its public-key BIT
    STRING, computed by openssl rather than by trust_der."""
    spki = openssl("x509", "-in", certificate, "-pubkey", "-noout")
    return openssl("rsa", "-pubin", "-RSAPublicKey_out", "-outform", "DER", input_bytes=spki)


class DevelopmentKeysTest(unittest.TestCase):
    def test_ten_rsa1024_keys_matching_their_private_keys(self):
        with open(os.path.join(DEV_KEYS, "builtin_public_keys.txt")) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 10)
        for index, line in enumerate(lines):
            self.assertEqual(len(line), 216)
            der = base64.b64decode(line, validate=True)
            self.assertEqual(len(der), 162)
            self.assertEqual(trust_der.spki_algorithm(der), trust_der.RSA_ENCRYPTION)
            self.assertEqual(trust_der.rsa_modulus_bits(der), 1024)
            private = os.path.join(DEV_KEYS, "trusted_list_key_%d.pem" % index)
            self.assertEqual(openssl_cli.public_key_der(private), der, index)
        self.assertEqual(len(set(lines)), 10)


class HierarchyTest(unittest.TestCase):
    def test_leaves_chain_to_the_root(self):
        openssl("verify", "-CAfile", codesign("root.crt"), "-untrusted", codesign("intermediate.crt"),
                codesign("leaf_sha256.crt"), codesign("leaf_sha1.crt"), codesign("leaf_unlisted.crt"))

    def test_signature_algorithms_and_serials(self):
        sha256 = trust_der.Certificate(openssl_cli.certificate_der(codesign("leaf_sha256.crt")))
        sha1 = trust_der.Certificate(openssl_cli.certificate_der(codesign("leaf_sha1.crt")))
        self.assertEqual(sha256.signature_algorithm, trust_der.SHA256_WITH_RSA)
        self.assertEqual(sha1.signature_algorithm, trust_der.SHA1_WITH_RSA)
        # The top bit of the serial is set, so DER carries a sign byte.
        self.assertEqual(sha256.serial, bytes.fromhex("00B52F0C1D4E"))

    def test_chain_files_and_der_root(self):
        with open(codesign("leaf_sha1.chain.pem")) as f:
            self.assertEqual(f.read().count("BEGIN CERTIFICATE"), 3)
        with open(codesign("root.cer"), "rb") as f:
            self.assertEqual(f.read(), openssl_cli.certificate_der(codesign("root.crt")))


class DerTest(unittest.TestCase):
    def test_long_length_forms(self):
        content = bytes(300)
        tag, value, end = trust_der.read_element(b"\x04\x82\x01\x2c" + content + b"\x05\x00")
        self.assertEqual((tag, len(value), end), (4, 300, 304))
        with self.assertRaises(trust_der.DerError):
            trust_der.read_element(b"\x04\x82\x01\x2c" + content[:-1])
        with self.assertRaises(trust_der.DerError):
            trust_der.read_element(b"\x04\x80")

    def test_public_key_bits_refuse_unused_bits(self):
        spki = b"\x30\x08\x30\x02\x05\x00\x03\x02\x01\xfe"
        with self.assertRaises(trust_der.DerError):
            trust_der.public_key_bits(spki)
        self.assertEqual(trust_der.public_key_bits(b"\x30\x08\x30\x02\x05\x00\x03\x02\x00\xfe"), b"\xfe")

    def test_object_identifiers(self):
        self.assertEqual(trust_der.decode_oid(bytes.fromhex("2a864886f70d01010b")), trust_der.SHA256_WITH_RSA)
        self.assertEqual(trust_der.decode_oid(bytes.fromhex("551d13")), "2.5.29.19")


class TrustedListTest(unittest.TestCase):
    def make(self, extra=(), key_index=3):
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        json_path = os.path.join(work, "TRUSTED.JSON")
        dat_path = os.path.join(work, "SIGNATURE.DAT")
        result = subprocess.run(
            [sys.executable, os.path.join(TOOLS, "make_trusted_list.py"),
             "--entry", codesign("leaf_sha256.crt"), codesign("intermediate.crt"),
             "--entry-without-key", codesign("leaf_sha1.crt"), codesign("intermediate.crt"),
             "--private-key", os.path.join(DEV_KEYS, "trusted_list_key_3.pem"), "--key-index", str(key_index),
             "--public-keys", os.path.join(DEV_KEYS, "builtin_public_keys.txt"),
             "--json-out", json_path, "--signature-out", dat_path] + list(extra),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if result.returncode != 0:
            return result, None, None
        with open(json_path, "rb") as f:
            json_bytes = f.read()
        with open(dat_path, "rb") as f:
            dat = f.read()
        return result, json_bytes, dat

    def test_ids_are_issuer_then_signer_serial_and_keys_the_sha256_of_the_key_bits(self):
        _, json_bytes, _ = self.make()
        entries = json.loads(json_bytes)["trusted_info"]["certificates"]
        issuer_serial = openssl("x509", "-in", codesign("intermediate.crt"), "-noout", "-serial")
        self.assertEqual(issuer_serial.strip(), b"serial=7E11A9C3")
        self.assertEqual(base64.b64decode(entries[0]["id"]), bytes.fromhex("7E11A9C3" "00B52F0C1D4E"))
        self.assertEqual(entries[0]["pub_key"],
                         hashlib.sha256(rsa_public_key_der(codesign("leaf_sha256.crt"))).hexdigest())
        self.assertEqual(entries[1], {"id": base64.b64encode(bytes.fromhex("7E11A9C3" "5A17C0DE01")).decode()})

    def test_signature_is_the_index_then_an_rsa_sha1_signature_over_the_exact_bytes(self):
        _, json_bytes, dat = self.make()
        self.assertEqual(struct.unpack("<H", dat[:2])[0], 3)
        self.assertEqual(len(dat), 2 + 128)
        with tempfile.TemporaryDirectory() as work:
            key = os.path.join(work, "key.pem")
            signature = os.path.join(work, "signature")
            with open(key, "wb") as f:
                f.write(openssl("pkey", "-in", os.path.join(DEV_KEYS, "trusted_list_key_3.pem"), "-pubout"))
            with open(signature, "wb") as f:
                f.write(dat[2:])
            openssl("dgst", "-sha1", "-verify", key, "-signature", signature, input_bytes=json_bytes)
            with self.assertRaises(openssl_cli.ToolError):
                openssl("dgst", "-sha1", "-verify", key, "-signature", signature, input_bytes=json_bytes + b" ")
        self.assertTrue(make_trusted_list.verify_signature(
            json_bytes, dat, os.path.join(DEV_KEYS, "builtin_public_keys.txt")))

    def test_private_key_that_does_not_match_its_index_is_refused(self):
        result, json_bytes, _ = self.make(key_index=4)
        self.assertNotEqual(result.returncode, 0)
        self.assertIsNone(json_bytes)
        self.assertIn(b"does not match public key 4", result.stderr)

    def test_index_outside_the_table_is_refused(self):
        with self.assertRaises(ValueError):
            make_trusted_list.signature_dat(b"{}", os.path.join(DEV_KEYS, "trusted_list_key_0.pem"), 10)


class SignModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        build_dir = os.environ.get("TARVIK_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "windows-x64"))
        cls.unsigned = os.path.join(build_dir, "standins", "browser-setup-unsigned.arc")
        if not os.path.exists(cls.unsigned):
            raise unittest.SkipTest("build the stand-in archives first")

    def signer(self, name, digest):
        return (codesign(name + ".chain.pem"), codesign(name + ".key"), digest)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", codesign("root.crt"), "-in", path],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout.decode(errors="replace")

    def test_single_and_nested_signatures(self):
        with tempfile.TemporaryDirectory() as work:
            single = os.path.join(work, "single.exe")
            dual = os.path.join(work, "dual.exe")
            sign_module.sign(self.unsigned, single, [self.signer("leaf_sha256", "sha256")])
            sign_module.sign(self.unsigned, dual, [self.signer("leaf_sha1", "sha1"),
                                                   self.signer("leaf_sha256", "sha256")])
            single_report = self.verify(single)
            self.assertIn("Number of verified signatures: 1", single_report)
            self.assertIn("Succeeded", single_report)
            dual_report = self.verify(dual)
            self.assertIn("Number of verified signatures: 2", dual_report)
            # Primary SHA-1 first, then the nested SHA-256 signature.
            self.assertLess(dual_report.index("Message digest algorithm  : SHA1"),
                            dual_report.index("Message digest algorithm  : SHA256"))

    def test_same_input_gives_the_same_signed_file(self):
        with tempfile.TemporaryDirectory() as work:
            outputs = [os.path.join(work, "a.exe"), os.path.join(work, "b.exe")]
            for output in outputs:
                sign_module.sign(self.unsigned, output, [self.signer("leaf_sha256", "sha256")])
            with open(outputs[0], "rb") as a, open(outputs[1], "rb") as b:
                self.assertEqual(a.read(), b.read())


class PackagingTest(unittest.TestCase):
    def test_tampering_changes_one_byte_and_keeps_the_same_list(self):
        json_bytes = (b'{\n  "trusted_info": {\n    "certificates": [\n      {\n        "id": "AQ==",\n'
                      b'        "pub_key": "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"\n'
                      b'      }\n    ]\n  }\n}\n')
        image = b"MZ" + bytes(100) + json_bytes + bytes(50)
        changed = package_standin_archives.tamper_trusted_json(image, json_bytes)
        differences = [i for i in range(len(image)) if image[i] != changed[i]]
        self.assertEqual(len(differences), 1)
        changed_json = changed[102:102 + len(json_bytes)]
        self.assertEqual(json.loads(changed_json)["trusted_info"]["certificates"][0]["pub_key"].lower(),
                         json.loads(json_bytes)["trusted_info"]["certificates"][0]["pub_key"])
        with self.assertRaises(ValueError):
            package_standin_archives.tamper_trusted_json(image + json_bytes, json_bytes)


if __name__ == "__main__":
    unittest.main()
