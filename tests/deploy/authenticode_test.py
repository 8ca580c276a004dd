#!/usr/bin/env python3
"""scripts/sign-windows signs a built CVLauncher.exe as an operator would, with a
throw-away code-signing certificate made by openssl, and osslsigncode verifies the
signature against that certificate; a copy changed after signing, and the unsigned
program, do not verify. A failed signing leaves the program as it was.

Usage: authenticode_test.py --script SIGN_WINDOWS --exe CVLauncher.exe
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=300)


def verify(exe, cert):
    return run("osslsigncode", "verify", "-CAfile", cert, "-in", exe)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--exe", required=True)
    args = parser.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as temp:
        cert, key = os.path.join(temp, "signer.crt"), os.path.join(temp, "signer.key")
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                   "-subj", "/CN=CVLauncher throw-away signer", "-addext", "extendedKeyUsage=codeSigning",
                   "-keyout", key, "-out", cert)
        if made.returncode != 0:
            print(made.stderr)
            return 1
        exe = os.path.join(temp, "CVLauncher.exe")
        shutil.copyfile(args.exe, exe)
        original = open(exe, "rb").read()

        if verify(exe, cert).returncode == 0:
            failures.append("the unsigned program verified")

        # A key that does not fit the certificate: refused, the program untouched.
        other_key = os.path.join(temp, "other.key")
        run("openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", other_key)
        done = run(args.script, "--cert", cert, "--key", other_key, exe)
        if done.returncode == 0:
            failures.append("signing with a key that is not the certificate's succeeded")
        if done.stderr.count("\n") != 1 or not done.stderr.startswith("sign-windows: "):
            failures.append(f"a failed signing did not say so in one line: {done.stderr!r}")
        if open(exe, "rb").read() != original or os.listdir(temp).count("CVLauncher.exe.signing"):
            failures.append("a failed signing changed the program or left a file behind")

        done = run(args.script, "--cert", cert, "--key", key, exe)
        if done.returncode != 0:
            failures.append(f"signing failed: {done.stderr}")
        checked = verify(exe, cert)
        if checked.returncode != 0 or "Signature verification: ok" not in checked.stdout:
            failures.append(f"the signed program does not verify:\n{checked.stdout}{checked.stderr}")
        if "CN=CVLauncher throw-away signer" not in checked.stdout:
            failures.append("the signature does not name the certificate")

        # One byte of the code changed after signing breaks the signature.
        signed = bytearray(open(exe, "rb").read())
        signed[len(original) // 2] ^= 0x01
        tampered = os.path.join(temp, "tampered.exe")
        open(tampered, "wb").write(signed)
        if verify(tampered, cert).returncode == 0:
            failures.append("a program changed after signing still verified")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("signed with a throw-away certificate; osslsigncode verified it and refused the changed copy")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
