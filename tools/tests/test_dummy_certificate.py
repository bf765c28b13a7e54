import subprocess
import unittest

import tag_test_support  # noqa: F401  (sets the import path)
import der
import dummy_certificate

# The recognisable start of the TBSCertificate, written out independently of
# the tool's own construction.
EXPECTED_PREFIX = (
    bytes.fromhex("a003020102020101300d06092a864886f70d0101050500" "3019311730150603550403130e")
    + b"Unknown issuer"
    + bytes.fromhex("301e170d") + b"130101100000Z" + bytes.fromhex("170d") + b"130401100000Z"
    + bytes.fromhex("301c311a301806035504031311") + b"Dummy certificate")


class DummyCertificateTest(unittest.TestCase):
    def test_tbs_certificate_starts_with_the_template(self):
        self.assertEqual(len(EXPECTED_PREFIX), 112)
        certificate = dummy_certificate.make_certificate()
        tbs = der.enter(certificate, der.enter(certificate, (0, len(certificate))))
        self.assertEqual(certificate[tbs[0]:tbs[0] + 112], EXPECTED_PREFIX)

    def test_fourth_extension_is_an_empty_slot(self):
        certificate = dummy_certificate.make_certificate()
        c = der.enter(certificate, der.enter(certificate, (0, len(certificate))))
        c = der.skip(certificate, c, 7)
        c = der.enter(certificate, der.enter(certificate, c))
        extensions = []
        pos, end = c
        while pos < end:
            content, element_end = der.enter(certificate, (pos, end))
            extensions.append(certificate[content:element_end])
            pos = element_end
        self.assertEqual(len(extensions), 4)
        slot_extension = extensions[3]
        self.assertTrue(slot_extension.startswith(der.oid(dummy_certificate.SLOT_EXTENSION_OID)))
        value = der.enter(slot_extension, der.skip(slot_extension, (0, len(slot_extension))))
        self.assertEqual(value[1] - value[0], 10242)
        self.assertEqual(slot_extension[value[0]:value[1]], b"\0" * 10242)

    def test_openssl_reads_it(self):
        text = subprocess.run(["openssl", "x509", "-noout", "-text"], input=dummy_certificate.to_pem(
            dummy_certificate.make_certificate()), stdout=subprocess.PIPE, check=True).stdout.decode()
        self.assertIn("Issuer: CN = Unknown issuer", text)
        self.assertIn("Subject: CN = Dummy certificate", text)
        self.assertIn("Code Signing", text)
        self.assertIn("1.3.6.1.4.1.11129.2.1.9999", text)

    def test_slot_size_limits_the_tag(self):
        self.assertEqual(len(dummy_certificate.slot(b"x" * 10240)), 10242)
        with self.assertRaises(ValueError):
            dummy_certificate.slot(b"x" * 10241)


if __name__ == "__main__":
    unittest.main()
