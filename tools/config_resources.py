#!/usr/bin/env python3
"""Build steps for the configuration resources the installer carries.

  package  --key KEY --hosts HOSTS.json --host-set SET --name brand_config SOURCE.json OUT.cab
      A brand or partner package: a cabinet (MSZIP) holding one file `name`
      whose first line is "//" + base64 of the RSA signature of the document
      that follows (CRLF line ends). "{kind}" placeholders in the source are
      replaced by the maker's hosts of the chosen set, so the documents never
      repeat a host name.
  recode   --encoding windows-1251 SOURCE OUT
      Re-encodes a UTF-8 text file.
  copy-json SOURCE OUT
      Checks that SOURCE is a JSON object and copies it unchanged.

The signature is made with `openssl dgst -sha256 -sign KEY`. Development
builds use the fixed development key in resources/brand; release signing
passes the real key (TARVIK_BRAND_SIGNING_KEY) instead.
"""

import argparse
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import cli

PLACEHOLDER = re.compile(r"\{([a-z_]+)\}")
# Cabinet entries carry a time stamp; a fixed one keeps builds reproducible.
FIXED_TIME = 1356998400  # 2013-01-01


def fail(message):
    sys.stderr.write("config_resources: %s\n" % message)
    sys.exit(1)


def load_hosts(path, host_set):
    with open(path, encoding="utf-8") as f:
        sets = json.load(f)
    if host_set not in sets:
        fail("no host set %r in %s" % (host_set, path))
    return sets[host_set]


def substitute_hosts(text, hosts, source):
    def replace(match):
        kind = match.group(1)
        if kind not in hosts or "{" in hosts[kind]:
            fail("%s: unknown host placeholder {%s}" % (source, kind))
        return hosts[kind]
    return PLACEHOLDER.sub(replace, text)


def sign(key, data):
    with tempfile.TemporaryDirectory() as work:
        document = os.path.join(work, "document")
        with open(document, "wb") as f:
            f.write(data)
        signature = subprocess.run(
            ["openssl", "dgst", "-sha256", "-sign", key, document],
            check=True, stdout=subprocess.PIPE).stdout
    if len(signature) != 128:
        fail("the signing key must be RSA-1024 (got a %d-byte signature)" % len(signature))
    return signature


def make_cabinet(name, content, out):
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(content)
        os.utime(path, (FIXED_TIME, FIXED_TIME))
        temporary = os.path.join(work, "package.cab")
        subprocess.run(["gcab", "-c", "-z", "-n", temporary, path], check=True)
        shutil.copyfile(temporary, out)


def package(args):
    with open(args.source, encoding="utf-8") as f:
        text = substitute_hosts(f.read(), load_hosts(args.hosts, args.host_set), args.source)
    try:
        if not isinstance(json.loads(text), dict):
            fail("%s: the document must be a JSON object" % args.source)
    except ValueError as error:
        fail("%s: %s" % (args.source, error))
    lines = text.replace("\r\n", "\n").rstrip("\n").split("\n")
    document = "".join(line + "\r\n" for line in lines).encode("utf-8")
    signature = base64.b64encode(sign(args.key, document))
    make_cabinet(args.name, b"//" + signature + b"\r\n" + document, args.out)


def recode(args):
    with open(args.source, encoding="utf-8") as f:
        text = f.read()
    with open(args.out, "wb") as f:
        f.write(text.encode(args.encoding))


def copy_json(args):
    with open(args.source, "rb") as f:
        data = f.read()
    try:
        if not isinstance(json.loads(data), dict):
            fail("%s: must be a JSON object" % args.source)
    except ValueError as error:
        fail("%s: %s" % (args.source, error))
    with open(args.out, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("package", help="sign a configuration document and pack it as a cabinet")
    p.add_argument("--key", required=True, help="RSA-1024 private key (PEM) that signs the document")
    p.add_argument("--hosts", required=True, help="the maker's hosts file (config/maker_hosts.json)")
    p.add_argument("--host-set", required=True, help="which set of that file fills the {kind} placeholders")
    p.add_argument("--name", required=True, choices=["brand_config", "partner_config"],
                   help="the document's file name inside the cabinet")
    p.add_argument("source", help="the configuration document (JSON object, UTF-8)")
    p.add_argument("out", help="the package (cabinet) to write")
    p.set_defaults(run=package)
    r = commands.add_parser("recode", help="re-encode a UTF-8 text file")
    r.add_argument("--encoding", required=True, help="the encoding to write, e.g. windows-1251")
    r.add_argument("source", help="the UTF-8 text file")
    r.add_argument("out", help="the re-encoded file to write")
    r.set_defaults(run=recode)
    c = commands.add_parser("copy-json", help="check a JSON object and copy it unchanged")
    c.add_argument("source", help="the JSON file, which must hold an object")
    c.add_argument("out", help="the copy to write")
    c.set_defaults(run=copy_json)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    sys.exit(cli.run_main("config_resources", main))
