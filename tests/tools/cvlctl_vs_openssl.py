#!/usr/bin/env python3
"""cvlctl encrypt/decrypt agree with `openssl enc -aes-128-cbc` both ways.

Usage: cvlctl_vs_openssl.py -- COMMAND... (the cvlctl program, possibly behind a runner)
"""
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import SERVER_KEY, USER_KEY, openssl_decrypt, openssl_encrypt  # noqa: E402

KEYS = {"server": SERVER_KEY, "user": USER_KEY}


def run(cmd, args, stdin=b""):
    done = subprocess.run(cmd + args, input=stdin, capture_output=True, timeout=120)
    return done.returncode, done.stdout.rstrip(b"\r\n"), done.stderr


def main():
    cmd = sys.argv[sys.argv.index("--") + 1:]
    rng = random.Random(2026)
    # Any ISO 8859-1 byte but the line ends, which end the line read from standard input.
    alphabet = [b for b in range(1, 256) if b not in (10, 13)]
    failures = []

    def check(label, got, expected):
        if got != expected:
            failures.append(f"{label}: got {got!r}, expected {expected!r}")

    for key_name, key in KEYS.items():
        for length in range(0, 41):
            text = bytes(rng.choice(alphabet) for _ in range(length))
            sealed = openssl_encrypt(text, key)
            code, out, err = run(cmd, ["encrypt", "--key", key_name, "-"], text + b"\n")
            check(f"encrypt {key_name} len {length} exit", code, 0)
            check(f"encrypt {key_name} len {length}", out, sealed)
            code, out, err = run(cmd, ["decrypt", "--key", key_name, "-"], sealed + b"\n")
            check(f"decrypt {key_name} len {length} exit", code, 0)
            check(f"decrypt {key_name} len {length}", out, text)

        # Arguments as well as standard input; the default key is the server key.
        ascii_text = b"http://127.0.0.1:8080/connector/patch/"
        sealed = openssl_encrypt(ascii_text, key)
        args = ["encrypt"] + (["--key", key_name] if key_name == "user" else []) + [ascii_text.decode()]
        check(f"encrypt argument {key_name}", run(cmd, args)[1], sealed)
        check(f"decrypt argument {key_name}", run(cmd, ["decrypt", "--key", key_name, sealed.decode()])[1],
              openssl_decrypt(sealed, key))

    # What does not decrypt: exit 1, one line on standard error, nothing on standard output.
    last_byte_255 = openssl_encrypt(b"\xff" * 16, SERVER_KEY, pad=False)
    for bad in [b"", b"QUJ", last_byte_255]:
        code, out, err = run(cmd, ["decrypt", "-"], bad + b"\n")
        check(f"decrypt {bad!r} exit", code, 1)
        check(f"decrypt {bad!r} stdout", out, b"")
        check(f"decrypt {bad!r} one error line", err.count(b"\n"), 1)
    code, _, err = run(cmd, ["encrypt", "--key", "admin", "x"])
    check("unknown key exit", code, 1)

    if failures:
        print("\n".join(failures))
        print(f"0 passed, {len(failures)} failed")
        return 1
    print("cvlctl agrees with openssl enc for 2 keys x 41 lengths, both ways")
    return 0


if __name__ == "__main__":
    sys.exit(main())
