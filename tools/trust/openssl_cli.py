"""Thin wrappers over the openssl and osslsigncode command lines."""

import subprocess


class ToolError(RuntimeError):
    pass


def run(arguments, input_bytes=None):
    result = subprocess.run(arguments, input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        # The tool's first complaint is the useful one; the rest is its trace.
        lines = [line for line in result.stderr.decode(errors="replace").splitlines() if line.strip()]
        raise ToolError("%s failed (%d): %s" % (arguments[0], result.returncode,
                                                 lines[0].strip() if lines else "no message"))
    return result.stdout


def openssl(*arguments, input_bytes=None):
    return run(["openssl"] + list(arguments), input_bytes)


def certificate_der(path):
    """DER bytes of a PEM or DER certificate file."""
    with open(path, "rb") as f:
        data = f.read()
    if b"-----BEGIN" in data:
        return openssl("x509", "-in", path, "-outform", "DER")
    return data


def public_key_der(private_key_path):
    """DER SubjectPublicKeyInfo of a private key file."""
    return openssl("pkey", "-in", private_key_path, "-pubout", "-outform", "DER")


def sign_sha1(private_key_path, data):
    """RSA PKCS #1 v1.5 signature over SHA-1 of `data`, big-endian."""
    return openssl("dgst", "-sha1", "-sign", private_key_path, input_bytes=data)
