#!/usr/bin/env python3
"""The configure-time check of CVL_UPDATE_KEY: every file that is no P-256 public key
stops it, naming the file and what is wrong (the key check alone, in CMake's script
mode); a real configure with two keys embeds both points, in order.

Usage: update_key_option_test.py CMAKE SOURCE_DIR
"""
import base64
import os
import subprocess
import sys
import tempfile


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


def pem(der):
    body = base64.b64encode(der).decode()
    lines = [body[i:i + 64] for i in range(0, len(body), 64)]
    return ("-----BEGIN PUBLIC KEY-----\n" + "\n".join(lines) + "\n-----END PUBLIC KEY-----\n").encode()


def flat(text):
    return " ".join(text.split())


def main():
    cmake, source = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as temp:
        path = lambda name: os.path.join(temp, name)

        def write(name, data):
            open(path(name), "wb").write(data)
            return path(name)

        def make_key(name):
            private = write(name + ".pem", openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"))
            return private, write(name + ".pub", openssl("pkey", "-in", private, "-pubout"))

        private_a, public_a = make_key("a")
        _, public_b = make_key("b")
        der_a = openssl("pkey", "-pubin", "-in", public_a, "-outform", "DER")
        off_curve = bytearray(der_a)
        off_curve[-1] ^= 0x01
        sec1 = write("sec1.pem", openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout"))
        os.makedirs(path("folder"))
        bad = {
            "private.pem": (private_a, "is a private key, which must never go into the launcher"),
            "sec1.pem": (sec1, "is a private key"),
            "p384.pub": (write("p384.pub", openssl("pkey", "-pubout", data=openssl(
                "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384"))), "another curve than P-256"),
            "ed25519.pub": (write("ed25519.pub", openssl("pkey", "-pubout", data=openssl(
                "genpkey", "-algorithm", "ED25519"))), "is no ECDSA P-256 public key"),
            "compressed.pub": (write("compressed.pub", openssl("ec", "-in", private_a, "-pubout", "-conv_form",
                                                               "compressed")), "compressed"),
            "off-curve.pub": (write("off-curve.pub", pem(bytes(off_curve))), "does not lie on the curve"),
            "garbage.pub": (write("garbage.pub", b"hello\n"), "holds no PEM public key"),
            "bad-base64.pub": (write("bad-base64.pub", pem(der_a).replace(b"MFkw", b"M*kw")), "no valid Base64"),
            "truncated.pub": (write("truncated.pub", pem(der_a[:60])), "is no ECDSA P-256 public key"),
            "missing.pub": (path("missing.pub"), "is no file"),
            "folder": (path("folder"), "is no file"),
        }
        script = write("check.cmake", (
            f'include("{source}/cmake/UpdateKeyFiles.cmake")\n'
            'cvl_read_update_key("${KEY}" point)\n'
            'message("point ${point}")\n').encode())
        for name, (key, reason) in bad.items():
            done = subprocess.run([cmake, f"-DKEY={key}", "-P", script], capture_output=True, text=True, timeout=60)
            err = flat(done.stderr)
            if done.returncode == 0:
                failures.append(f"{name} was accepted")
            elif f"CVL_UPDATE_KEY: '{key}'" not in err or reason not in err:
                failures.append(f"{name}: the error lacks the file or {reason!r}: {err}")
        done = subprocess.run([cmake, f"-DKEY={public_a}", "-P", script], capture_output=True, text=True, timeout=60)
        if f"point {der_a[-64:].hex()}" not in done.stderr:
            failures.append(f"the good key's point is not read: {done.stderr}")

        # A real configure: both keys embedded, in the order given.
        build = path("build")
        done = subprocess.run([cmake, "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                               f"-DCVL_UPDATE_KEY={public_b};{public_a}"],
                              capture_output=True, text=True, timeout=600)
        if done.returncode != 0 or "update keys: 2 embedded" not in done.stdout:
            failures.append(f"a configure with two keys failed:\n{done.stdout[-2000:]}{done.stderr[-2000:]}")
        else:
            generated = open(os.path.join(build, "generated", "UpdateKeys.cpp")).read().replace(" ", "")
            points = [openssl("pkey", "-pubin", "-in", k, "-outform", "DER")[-64:] for k in (public_b, public_a)]
            listed = [", ".join(f"0x{b:02x}" for b in p).replace(" ", "") for p in points]
            where = [generated.find(text) for text in listed]
            if -1 in where or where != sorted(where):
                failures.append("the generated source does not hold both points in order")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{len(bad)} bad key files refused by name; two good ones embedded in order")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
