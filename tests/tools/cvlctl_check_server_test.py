#!/usr/bin/env python3
"""cvlctl check-server through the real program: a server folder published with
`release` (plus language patches and prerequisites made with Python's zipfile) passes;
each copy broken the way servers break (an answer missing, unreadable or stale, a patch
missing, corrupt, truncated or hostile, what an archiver adds by mistake, a missing
language patch or prerequisite) is caught with one line naming it and exit status 1.

Usage: cvlctl_check_server_test.py -- COMMAND... (cvlctl, possibly behind a runner)
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import make_zip as make_plain_zip  # noqa: E402
from sample_settings import SAMPLE_SETTINGS  # noqa: E402

PRE = ["/connector/pre/", "webview2.zip", "runtime2012.zip", "runtime2022.zip"]


def data(seed, size=5000):
    out, digest = bytearray(), hashlib.sha256(seed.encode()).digest()
    while len(out) < size:
        digest = hashlib.sha256(digest).digest()
        out += digest
    return bytes(out[:size])


def make_zip(path, members):
    """A deflated ZIP file in a folder made when missing; a member's name may be a
    ZipInfo, for an entry with attributes of its own."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    make_plain_zip(path, members)


def unix_link(name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = 0o120777 << 16
    return {info: target}


def unflagged_name(path):
    """An archive whose one name holds "é" as raw UTF-8 bytes without the UTF-8 flag, as
    some archivers write it."""
    make_zip(path, {"caf_X.txt": b"x"})
    raw = open(path, "rb").read().replace(b"_X", "\u00e9".encode())
    open(path, "wb").write(raw)


def flip_byte(path, where=0.5):
    raw = bytearray(open(path, "rb").read())
    raw[int(len(raw) * where)] ^= 0xFF
    open(path, "wb").write(bytes(raw))


def openssl_key(name):
    subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
                    name + ".pem"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkey", "-in", name + ".pem", "-pubout", "-out", name + ".pub"], check=True,
                   capture_output=True)


def openssl_sign(path, key, as_name=None):
    """<path>.sig as openssl makes it, not the kit."""
    name = as_name or os.path.basename(path)
    message = b"CVL-SIGNATURE-1\n" + name.encode() + b"\n" + open(path, "rb").read()
    signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key + ".pem"], input=message,
                               capture_output=True, check=True).stdout
    open(path + ".sig", "wb").write(signature)


def main():
    cmd = sys.argv[sys.argv.index("--") + 1:]
    failures = []

    def run(*args):
        done = subprocess.run(cmd + list(args), capture_output=True, timeout=300, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)  # relative names: the same under Wine and natively
        json.dump(dict(SAMPLE_SETTINGS, patchVersion=0), open("settings.json", "w"), indent=2)
        os.makedirs("good")
        for level in (1, 2, 3):
            os.makedirs(f"client/data", exist_ok=True)
            open(f"client/data/level{level}.bin", "wb").write(data(f"level {level}"))
            status, out, err = run("release", "--settings", "settings.json", "--root", "good", "client")
            assert status == 0, out + err
        for language in ("english", "korean"):
            make_zip(f"good/connector/patch/patch_{language}_lang.zip", {f"lang/{language}.txt": language})
        for archive in PRE[1:]:
            make_zip(f"good/connector/pre/{archive}", {archive[:-4] + ".exe": b"MZ" + data(archive)})
        pre_lines = run("make-pre", *PRE)[1]
        open("launcher.cfg", "w").write("[Options]\r\nPatchVersion=0\r\n" + pre_lines)
        open("one-entry.cfg", "w").write("[Pre]\r\n" + pre_lines.splitlines()[1] + "\r\n")
        json.dump(dict(SAMPLE_SETTINGS, patchVersion=2), open("older.json", "w"))
        run("make-info", "-o", "older-info", "older.json")

        patches = "connector/patches/"
        cases = [
            # what, how the copy is broken, [Pre] file, what the fault lines must name (one each)
            ("a good server", lambda r: None, "launcher.cfg", []),
            ("the answer missing", lambda r: os.remove(f"{r}/outgame/info"), None, ["outgame/info: missing"]),
            ("the answer unreadable", lambda r: open(f"{r}/outgame/info", "w").write('{"result_code": "SUCCESS"}'),
             None, ["cannot read it (it lacks 'serverIp')"]),
            ("the answer of an older level", lambda r: shutil.copy("older-info", f"{r}/outgame/info"), None,
             ["names patch level 2"]),
            ("a patch missing", lambda r: os.remove(f"{r}/{patches}patch_2.zip"), None, ["patch_2.zip: missing"]),
            ("a patch corrupt", lambda r: flip_byte(f"{r}/{patches}patch_3.zip", 0.3), None,
             ["patch_3.zip: 'data/level3.bin' does not unpack"]),
            ("a patch truncated", lambda r: open(f"{r}/{patches}patch_1.zip", "r+b").truncate(3000), None,
             ["patch_1.zip: the launcher cannot unpack it"]),
            ("a hostile entry", lambda r: make_zip(f"{r}/{patches}patch_2.zip", {"../../evil.txt": "x"}), None,
             ["patch_2.zip: the launcher refuses it"]),
            ("a link entry", lambda r: make_zip(f"{r}/{patches}patch_2.zip", unix_link("data/lnk", "/etc/passwd")),
             None, ["patch_2.zip: holds a link 'data/lnk'"]),
            ("a file and a folder at once", lambda r: make_zip(f"{r}/{patches}patch_2.zip", {"a": "1", "A/b": "2"}),
             None, ["is a file and a folder at once"]),
            ("a __MACOSX folder", lambda r: make_zip(f"{r}/{patches}patch_3.zip",
                                                     {"data/x.txt": "x", "__MACOSX/data/._x.txt": "fork"}),
             None, ["patch_3.zip: holds the folder __MACOSX/"]),
            ("a name without the UTF-8 flag", lambda r: unflagged_name(f"{r}/{patches}patch_1.zip"), None,
             ["patch_1.zip: 1 name(s) outside ASCII without the UTF-8 flag"]),
            ("a language patch missing", lambda r: os.remove(f"{r}/connector/patch/patch_korean_lang.zip"), None,
             ["patch_korean_lang.zip: missing"]),
            ("a prerequisite missing", lambda r: os.remove(f"{r}/connector/pre/runtime2012.zip"), "launcher.cfg",
             ["runtime2012.zip: missing"]),
            ("a prerequisite without its installer",
             lambda r: make_zip(f"{r}/connector/pre/runtime2022.zip", {"setup/runtime2022.exe": "MZ"}),
             "launcher.cfg", ["runtime2022.zip: holds no 'runtime2022.exe' at its top"]),
            ("a [Pre] of one entry", lambda r: None, "one-entry.cfg", ["[Pre] holds 1 of the 4 entries"]),
        ]
        for number, (what, breaking, pre, named) in enumerate(cases):
            root = f"server{number}"
            shutil.copytree("good", root)
            breaking(root)
            status, out, err = run("check-server", "--settings", "settings.json", "--root", root,
                                   *(["--pre", pre] if pre else []))
            faults = [line for line in out.splitlines() if line.startswith("fault: ")]
            if not named:
                if status != 0 or faults or err or "0 fault(s)" not in out:
                    failures.append(f"{what}: {status}\n{out}{err}")
                continue
            if status != 1 or len(faults) != len(named) or not all(n in f for n, f in zip(named, faults)):
                failures.append(f"{what}: expected faults naming {named}, got {status}:\n{out}{err}")

        # Signed: every file the launcher fetches signed by openssl with the operator's key.
        for name in ("operator", "rolled", "stranger"):  # the launcher carries the first two
            openssl_key(name)
        shutil.copytree("good", "signed")
        for folder, _, names in os.walk("signed"):
            for name in names:
                if name.endswith(".zip"):
                    openssl_sign(os.path.join(folder, name), "operator")
        signed_cases = [
            ("all signed", lambda r: None, []),
            ("one signed by the second key", lambda r: openssl_sign(f"{r}/{patches}patch_2.zip", "rolled"), []),
            ("a signature missing", lambda r: os.remove(f"{r}/{patches}patch_2.zip.sig"), ["patch_2.zip: no signature"]),
            ("a signature by another key", lambda r: openssl_sign(f"{r}/connector/pre/webview2.zip", "stranger"),
             ["webview2.zip: the signature does not verify"]),
            ("a signature of another name",
             lambda r: openssl_sign(f"{r}/{patches}patch_3.zip", "operator", as_name="patch_4.zip"),
             ["patch_3.zip: the signature does not verify"]),
            ("a signature that is no signature", lambda r: flip_byte(f"{r}/{patches}patch_1.zip.sig", 0.05),
             ["patch_1.zip: "]),
            ("an archive changed after signing",
             lambda r: make_zip(f"{r}/connector/patch/patch_english_lang.zip", {"lang/english.txt": "changed"}),
             ["patch_english_lang.zip: the signature does not verify"]),
        ]
        for number, (what, breaking, named) in enumerate(signed_cases):
            root = f"signed{number}"
            shutil.copytree("signed", root)
            breaking(root)
            status, out, err = run("check-server", "--settings", "settings.json", "--root", root, "--pre",
                                   "launcher.cfg", "--key", "operator.pub", "--key", "rolled.pub")
            faults = [line for line in out.splitlines() if line.startswith("fault: ")]
            if status != (1 if named else 0) or len(faults) != len(named) or not all(
                    n in f for n, f in zip(named, faults)) or (not named and "and their signatures" not in out):
                failures.append(f"signed, {what}: expected faults naming {named}, got {status}:\n{out}{err}")
        status, out, err = run("check-server", "--settings", "settings.json", "--root", "signed", "--key", "stranger.pub")
        if status != 1 or out.count("the signature does not verify") != 5:
            failures.append(f"signed by a key not given: {status}\n{out}{err}")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
