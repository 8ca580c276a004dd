#!/usr/bin/env python3
"""cvlctl make-info and read-config through the real program: files read and written
by the process itself (natively, or cvlctl.exe under Wine), checked with openssl.

Usage: cvlctl_files_test.py -- COMMAND... (the cvlctl program, possibly behind a runner)
"""
import json
import os
import subprocess
import sys
import tempfile

from sample_settings import SAMPLE_SETTINGS  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import unprotect as openssl_decrypt  # noqa: E402

SETTINGS = dict(SAMPLE_SETTINGS)


def main():
    cmd = sys.argv[sys.argv.index("--") + 1:]
    failures = []

    def run(*args):
        done = subprocess.run(cmd + list(args), capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")

    def check(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)  # relative names: the same under Wine and natively
        with open("settings.json", "w") as f:
            json.dump(SETTINGS, f)
        for attempt in ("new", "replaced"):
            status, _, err = run("make-info", "-o", "info", "settings.json")
            check(status == 0, f"make-info ({attempt} file) failed: {err}")
        answer = json.load(open("info"))
        check(answer["result_code"] == "SUCCESS", "result_code is not plain")
        check(openssl_decrypt(answer["serverPort"]) == "7000", "serverPort does not decrypt to 7000")
        check(json.loads(openssl_decrypt(answer["patch"])) == SETTINGS["patch"], "patch list differs")

        good = open("info", "rb").read()
        with open("bad.json", "w") as f:
            json.dump(dict(SETTINGS, clientCount=2 ** 31), f)
        status, out, err = run("make-info", "-o", "info", "bad.json")
        check(status == 1 and "'clientCount'" in err and out == "", f"bad value not refused: {status} {err!r}")
        check(open("info", "rb").read() == good, "a refused answer touched the old file")
        check(sorted(os.listdir(".")) == ["bad.json", "info", "settings.json"], f"left behind: {os.listdir('.')}")

        config = b"; notes\r\n[Options]\r\nPatchVersion = 0x10\r\n"
        with open("CVLauncher.cfg", "wb") as f:
            f.write(config)
        status, out, err = run("read-config", "CVLauncher.cfg")
        check(status == 0, f"read-config failed: {err}")
        check("PatchVersion          16" in out and "line 1: ; notes" in out, f"read-config report:\n{out}")
        check(open("CVLauncher.cfg", "rb").read() == config, "read-config changed the file")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
