#!/usr/bin/env python3
"""Keys and signatures made by openssl alone, for the tests of the signature check.

Usage: make_signature_fixtures.py OUT_DIR [--keys KEY_DIR]

Writes into OUT_DIR:
  key-a.pem (PKCS#8, openssl genpkey) and key-b.pem (SEC 1, openssl ecparam -genkey),
  other-key.pem, each with its .pub (openssl pkey -pubout); with --keys, the build's
  update-key-a, update-key-b and other-key from KEY_DIR take their places
  wrong keys for the parsers: P-384, RSA and Ed25519 public keys, a compressed P-256
  public key, a passphrase-protected private key
  patch_5.zip (200,000 bytes, more than one piece of the check's reads), empty.zip
  signatures by `openssl dgst -sha256 -sign` of "CVL-SIGNATURE-1\\n<name>\\n<bytes>":
  patch_5.zip.a.sig, .b.sig, .other-key.sig (each key, name patch_5.zip),
  patch_5.zip.other-name.sig (key a, name patch_6.zip), empty.zip.a.sig
  the keys a and b in DER as well: key-a.pub.der, key-a.der (PKCS#8), key-b.der (SEC 1)
"""
import os
import random
import shutil
import subprocess
import sys


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def sign(key, name, data):
    return openssl("dgst", "-sha256", "-sign", key, data=b"CVL-SIGNATURE-1\n" + name.encode() + b"\n" + data)


def main():
    out = sys.argv[1]
    key_dir = sys.argv[sys.argv.index("--keys") + 1] if "--keys" in sys.argv else None
    os.makedirs(out, exist_ok=True)
    path = lambda name: os.path.join(out, name)

    if key_dir:
        for ours, theirs in (("key-a", "update-key-a"), ("key-b", "update-key-b"), ("other-key", "other-key")):
            for ext in (".pem", ".pub"):
                shutil.copyfile(os.path.join(key_dir, theirs + ext), path(ours + ext))
    else:
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", path("key-a.pem"))
        openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", path("key-b.pem"))
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", path("other-key.pem"))
        for name in ("key-a", "key-b", "other-key"):
            openssl("pkey", "-in", path(name + ".pem"), "-pubout", "-out", path(name + ".pub"))

        for name, args in (("p384", ["-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384"]),
                           ("rsa", ["-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024"]),
                           ("ed25519", ["-algorithm", "ED25519"])):
            private = openssl("genpkey", *args)
            open(path(f"key-{name}.pub"), "wb").write(openssl("pkey", "-pubout", data=private))
        open(path("key-a-compressed.pub"), "wb").write(
            openssl("ec", "-in", path("key-a.pem"), "-pubout", "-conv_form", "compressed"))
        open(path("key-a-encrypted.pem"), "wb").write(
            openssl("pkey", "-in", path("key-a.pem"), "-aes256", "-passout", "pass:secret"))

    open(path("key-a.pub.der"), "wb").write(openssl("pkey", "-pubin", "-in", path("key-a.pub"), "-outform", "DER"))
    open(path("key-a.der"), "wb").write(openssl("pkey", "-in", path("key-a.pem"), "-outform", "DER"))
    open(path("key-b.der"), "wb").write(openssl("ec", "-in", path("key-b.pem"), "-outform", "DER"))

    archive = random.Random(5).randbytes(200_000)
    open(path("patch_5.zip"), "wb").write(archive)
    open(path("empty.zip"), "wb").write(b"")
    for key in ("a", "b"):
        open(path(f"patch_5.zip.{key}.sig"), "wb").write(sign(path(f"key-{key}.pem"), "patch_5.zip", archive))
    open(path("patch_5.zip.other-key.sig"), "wb").write(sign(path("other-key.pem"), "patch_5.zip", archive))
    open(path("patch_5.zip.other-name.sig"), "wb").write(sign(path("key-a.pem"), "patch_6.zip", archive))
    open(path("empty.zip.a.sig"), "wb").write(sign(path("key-a.pem"), "empty.zip", b""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
