import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import tag_test_support as support

TOOL = os.path.join(support.SOURCE_DIR, "tools", "config_resources.py")


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="configres")
        cls.key = os.path.join(cls.work, "key.pem")
        support.run("openssl", "genrsa", "-out", cls.key, "1024")
        cls.hosts = os.path.join(cls.work, "hosts.json")
        with open(cls.hosts, "w") as f:
            json.dump({"dev": {"download_cdn": "https://localhost:1", "browser_web_site": "https://{domain}.x"}}, f)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def package(self, text, name="brand_config"):
        source = os.path.join(self.work, "source.json")
        with open(source, "w") as f:
            f.write(text)
        out = os.path.join(self.work, "out.cab")
        if os.path.exists(out):
            os.remove(out)
        result = subprocess.run([sys.executable, TOOL, "package", "--key", self.key, "--hosts", self.hosts,
                                 "--host-set", "dev", "--name", name, source, out],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return result, out

    def extract(self, cabinet, name):
        directory = tempfile.mkdtemp(dir=self.work)
        support.run("gcab", "-x", "-C", directory, cabinet)
        self.assertEqual(os.listdir(directory), [name])
        with open(os.path.join(directory, name), "rb") as f:
            return f.read()

    def test_signed_document_with_hosts(self):
        result, out = self.package('{\n  "install": {"setup_url": "{download_cdn}/browser/x/browser-setup.arc"}\n}\n',
                                   name="partner_config")
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(out, "rb") as f:
            self.assertEqual(f.read(4), b"MSCF")
        content = self.extract(out, "partner_config")
        first, document = content.split(b"\r\n", 1)
        self.assertTrue(first.startswith(b"//"))
        self.assertEqual(len(first), 2 + 172)
        self.assertNotIn(b"\n", document.replace(b"\r\n", b""))
        self.assertTrue(document.endswith(b"}\r\n"))
        self.assertEqual(json.loads(document), {"install": {"setup_url": "https://localhost:1/browser/x/browser-setup.arc"}})

        signature = os.path.join(self.work, "signature")
        with open(signature, "wb") as f:
            f.write(base64.b64decode(first[2:], validate=True))
        data = os.path.join(self.work, "document")
        with open(data, "wb") as f:
            f.write(document)
        public = os.path.join(self.work, "public.pem")
        support.run("openssl", "rsa", "-in", self.key, "-pubout", "-out", public)
        support.run("openssl", "dgst", "-sha256", "-verify", public, "-signature", signature, data)

    def test_bad_sources_fail_the_build(self):
        for text in ('{"a": "{unknown_host}"}', '{"a": "{browser_web_site}"}', '["not an object"]', '{"a": 1,}'):
            result, out = self.package(text)
            self.assertEqual(result.returncode, 1, text)
            self.assertFalse(os.path.exists(out), text)


if __name__ == "__main__":
    unittest.main()
