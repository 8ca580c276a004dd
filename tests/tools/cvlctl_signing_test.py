#!/usr/bin/env python3
"""cvlctl keygen, sign and verify agree with openssl both ways: openssl reads the keys
keygen writes and checks the signatures sign makes; cvlctl checks what openssl signed
with keys openssl made; bad signatures are each named, keys of the wrong kind refused.

Usage: cvlctl_signing_test.py -- COMMAND... (the cvlctl program, possibly behind a runner)
"""
import hashlib
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile


def openssl(*args, data=None, check=True):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=check)


def message(name, data):
    return b"CVL-SIGNATURE-1\n" + name.encode() + b"\n" + data


def main():
    cmd = sys.argv[sys.argv.index("--") + 1:]
    under_wine = len(cmd) > 1
    failures = []

    def check(label, ok, detail=""):
        if not ok:
            failures.append(f"{label} {detail}".rstrip())

    def run(*args):
        done = subprocess.run(cmd + list(args), capture_output=True, timeout=300)
        return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")

    def digest(path):
        return hashlib.sha256(open(path, "rb").read()).hexdigest()

    def openssl_verifies(pub, name, data, signature):
        with tempfile.NamedTemporaryFile() as sig:
            sig.write(signature)
            sig.flush()
            return openssl("dgst", "-sha256", "-verify", pub, "-signature", sig.name,
                           data=message(name, data), check=False).returncode == 0

    work = tempfile.mkdtemp()
    try:
        os.chdir(work)  # relative paths: the same for the native and the Windows program
        rng = random.Random(15)
        files = {"patch_5.zip": rng.randbytes(300_000), "empty.zip": b"",
                 "lang/patch_english_lang.zip": rng.randbytes(1000)}
        os.makedirs("lang")
        for path, data in files.items():
            open(path, "wb").write(data)

        # keygen: a pair openssl reads, the public key openssl derives from the private one.
        code, out, err = run("keygen", "keys")
        check("keygen", code == 0, err)
        check("keygen names both files", "update-key.pem" in out and "update-key.pub" in out, out)
        pub = open("keys/update-key.pub", "rb").read()
        derived = openssl("pkey", "-in", "keys/update-key.pem", "-pubout").stdout
        check("openssl derives keygen's public key from its private key", derived == pub)
        check("the private key is a valid P-256 key",
              b"P-256" in openssl("pkey", "-in", "keys/update-key.pem", "-noout", "-text").stdout)
        if not under_wine:
            mode = stat.S_IMODE(os.stat("keys/update-key.pem").st_mode)
            check("the private key is readable by its owner only", mode & 0o077 == 0, oct(mode))
        before = digest("keys/update-key.pem"), digest("keys/update-key.pub")
        code, out, err = run("keygen", "keys")
        check("keygen refuses to replace a key", code == 1 and err.count("\n") == 1 and "exists" in err, err)
        check("a refused keygen changes nothing", (digest("keys/update-key.pem"), digest("keys/update-key.pub")) == before)

        # sign: openssl checks every signature, over the file's base name.
        code, out, err = run("sign", "--key", "keys/update-key.pem", *files)
        check("sign", code == 0, err)
        for path, data in files.items():
            signature = open(path + ".sig", "rb").read()
            check(f"openssl verifies the kit's signature of {path}",
                  openssl_verifies("keys/update-key.pub", os.path.basename(path), data, signature))
        code, out, err = run("verify", "--key", "keys/update-key.pub", *files)
        check("the kit verifies its own signatures", code == 0 and out.count("good: ") == 3, out + err)

        # openssl's own keys, PKCS#8 and SEC 1, signing for the kit, and signed by it.
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", "pkcs8.pem")
        openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "sec1.pem")
        for key in ("pkcs8", "sec1"):
            openssl("pkey", "-in", f"{key}.pem", "-pubout", "-out", f"{key}.pub")
        os.makedirs("theirs")
        for key in ("pkcs8", "sec1"):
            name = f"by-{key}.zip"
            data = rng.randbytes(70_000)
            open(f"theirs/{name}", "wb").write(data)
            open(f"theirs/{name}.sig", "wb").write(
                openssl("dgst", "-sha256", "-sign", f"{key}.pem", data=message(name, data)).stdout)
        code, out, err = run("verify", "--key", "pkcs8.pub", "--key", "sec1.pub",
                             "theirs/by-pkcs8.zip", "theirs/by-sec1.zip")
        check("the kit verifies openssl's signatures under either of two keys", code == 0, out + err)
        code, out, err = run("sign", "--key", "sec1.pem", "patch_5.zip")
        check("sign with openssl's SEC 1 key", code == 0, err)
        check("openssl verifies a signature by its own key",
              openssl_verifies("sec1.pub", "patch_5.zip", files["patch_5.zip"], open("patch_5.zip.sig", "rb").read()))

        # Bad signatures: each named, the good ones still reported, exit 1.
        good = open("theirs/by-pkcs8.zip.sig", "rb").read()
        os.makedirs("bad")
        data = open("theirs/by-pkcs8.zip", "rb").read()
        flipped = bytearray(data)
        flipped[5000] ^= 0x20
        cases = {
            "tampered.zip": (bytes(flipped), good),
            "renamed.zip": (data, good),  # signed as by-pkcs8.zip
            "other-key.zip": (data, openssl("dgst", "-sha256", "-sign", "sec1.pem",
                                            data=message("other-key.zip", data)).stdout),
            "truncated.zip": (data, good[:-3]),
            "trailing.zip": (data, good + b"\0"),
            "garbage.zip": (data, b"not a signature"),
            "unsigned.zip": (data, None),
        }
        for name, (content, signature) in cases.items():
            open(f"bad/{name}", "wb").write(content)
            if signature is not None:
                open(f"bad/{name}.sig", "wb").write(signature)
        shutil.copyfile("theirs/by-pkcs8.zip", "bad/by-pkcs8.zip")
        shutil.copyfile("theirs/by-pkcs8.zip.sig", "bad/by-pkcs8.zip.sig")
        code, out, err = run("verify", "--key", "pkcs8.pub", "bad/by-pkcs8.zip",
                             *(f"bad/{name}" for name in cases))
        check("verify exits 1 when any is bad", code == 1, str(code))
        check("verify reports the good one", "good: bad/by-pkcs8.zip" in out, out)
        for name in cases:
            check(f"verify names {name}", f"bad: bad/{name}:" in err, err)
        check("one line per bad file", err.count("\n") == len(cases), err)

        # Keys of the wrong kind: one line, exit 1, nothing signed.
        openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384", "-out", "p384.pem")
        os.remove("empty.zip.sig")
        for args, expected in ((["sign", "--key", "p384.pem", "empty.zip"], "P-384"),
                               (["sign", "--key", "keys/update-key.pub", "empty.zip"], "public key"),
                               (["verify", "--key", "keys/update-key.pem", "empty.zip"], "private key"),
                               (["sign", "--key", "missing.pem", "empty.zip"], "cannot read"),
                               (["sign", "empty.zip"], "--key is missing")):
            code, out, err = run(*args)
            check(f"{' '.join(args)} is refused", code == 1 and expected in err and err.startswith("cvlctl: "), err)
        check("no signature from a refused key", not os.path.exists("empty.zip.sig"))
        code, out, err = run("sign", "--help")
        check("sign --help shows the openssl way", code == 0 and "openssl dgst -sha256 -sign" in out, out)
    finally:
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("cvlctl keygen/sign/verify agree with openssl")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
