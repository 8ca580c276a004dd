#!/usr/bin/env python3
"""Runs cvl-unzip over every archive of two other ZIP readers' test suites and checks
each outcome against peer_zips_table.py: natively, or with --run under Wine, through
the Windows file layer.

The archives are decoded at test time from the text they are kept as (uuencoded,
base64, or Go byte literals) into a temporary folder; they are never copied into the
project.

usage: peer_zips_test.py --corpus PEER-ZIPS-DIR --unzip CVL-UNZIP [--run WINE-RUNNER]
"""
import argparse
import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

from peer_zips_table import ARCHIVES, FOLDER, NESTED

KEPT = "kept-by-the-test.txt"  # a file already in each target folder, which must stay


# --- the corpus as files -------------------------------------------------------------

GO_ESCAPES = {"a": 7, "b": 8, "f": 12, "n": 10, "r": 13, "t": 9, "v": 11, "\\": 92, '"': 34, "'": 39}


def go_string(literal):
    out = bytearray()
    i = 0
    while i < len(literal):
        if literal[i] != "\\":
            out += literal[i].encode()
            i += 1
        elif literal[i + 1] == "x":
            out.append(int(literal[i + 2:i + 4], 16))
            i += 4
        elif literal[i + 1] in "01234567":
            out.append(int(literal[i + 1:i + 4], 8))
            i += 4
        else:
            out.append(GO_ESCAPES[literal[i + 1]])
            i += 2
    return bytes(out)


def go_bytes(text):
    """The bytes a Go test writes inline: a hex dump, a []byte{...} list or string literals."""
    if "`" in text:
        dump = re.sub(r"[0-9a-f]{7}", "", text.split("`")[1])
        return bytes.fromhex(re.sub(r"\s+", "", dump))
    if "[]byte{" in text:
        return bytes(int(b, 16) for b in re.findall(r"0x([0-9a-fA-F]{2})", text))
    return b"".join(go_string(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', text))


def decode_corpus(source, out):
    """Every archive of the corpus, decoded into `out`: {table name: path}."""
    found = {}
    for folder, _, names in os.walk(source):
        for name in names:
            path = os.path.join(folder, name)
            if name.endswith(".uu"):
                key = "libarchive/" + name[:-3]
                target = os.path.join(out, key)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                subprocess.run(["uudecode", "-o", target, path], check=True)
            else:
                with open(path) as f:
                    text = f.read()
                if name.endswith(".base64"):
                    key, data = "go/" + name[:-7], base64.b64decode(text)
                else:
                    key, data = "go/" + os.path.splitext(name)[0], go_bytes(text)
                target = os.path.join(out, key)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(data)
            found[key] = target
    return found


# --- the extractor -------------------------------------------------------------------

class Extractor:
    def __init__(self, unzip, run):
        self.unzip = unzip
        self.run = run  # the Wine runner, or None natively

    def path(self, path):
        # Wine's drive Z: is the root of the Linux file system.
        return "Z:" + os.path.abspath(path).replace("/", "\\") if self.run else path

    def call(self, *args):
        command = ([self.run] if self.run else []) + [self.unzip] + list(args)
        # Output through files, never pipes: a Wine call that starts Wine's services
        # again would hand them its pipes, and they would never close.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL, timeout=120)
            out.seek(0)
            err.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")

    def unpack(self, archive, target):
        return self.call(self.path(archive), self.path(target))

    def listing(self, archive):
        return self.call("--list", self.path(archive))


def tree(folder):
    """{relative path: bytes, or FOLDER with a trailing "/"} of everything below `folder`."""
    found = {}
    for root, folders, files in os.walk(folder):
        for name in folders:
            found[os.path.relpath(os.path.join(root, name), folder) + "/"] = FOLDER
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                found[os.path.relpath(os.path.join(root, name), folder)] = f.read()
    return found


def matches(expected, data):
    if expected is FOLDER or data is FOLDER:
        return expected is data
    if isinstance(expected, tuple):
        return len(data) == expected[0] and hashlib.sha256(data).hexdigest().startswith(expected[1])
    return data == expected


def compare(expected, found, fold_case):
    """What differs between the expected files and those found; [] when they agree."""
    if fold_case:
        # Windows' names ignore case: entries that differ only in case are one file, the
        # later one's (the corpus has such pairs only with equal bytes).
        expected = {k.lower(): v for k, v in expected.items()}
        found = {k.lower(): v for k, v in found.items()}
    problems = ["missing " + name for name in sorted(set(expected) - set(found))]
    problems += ["unexpected " + name for name in sorted(set(found) - set(expected))]
    problems += ["different bytes in " + name for name in sorted(set(expected) & set(found))
                 if not matches(expected[name], found[name])]
    return problems


def check(extractor, archive, row, work):
    """Problems with one archive's outcome; [] when it is the expected one."""
    target = os.path.join(work, "target")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    with open(os.path.join(target, KEPT), "w") as f:
        f.write("kept")
    if "listed" in row:
        code, out, err = extractor.listing(archive)
        entries = [(int(size), entry) for size, entry in (line.split("\t", 1) for line in out.splitlines())]
        return [] if code == 0 and entries == row["listed"] else ["listed %r (%s), expected %r" % (entries, err.strip(), row["listed"])]
    code, _, err = extractor.unpack(archive, target)
    found = tree(target)
    if found.pop(KEPT, None) != b"kept":
        return ["the file already in the target folder was changed"]
    if not row["applied"]:
        problems = [] if code == 1 else ["exit code %d, expected a refusal" % code]
        return problems + ["left in the target: " + n for n in sorted(found)]
    if code != 0:
        return ["refused: " + err.strip()]
    return compare(row["files"], found, extractor.run is not None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--unzip", required=True)
    parser.add_argument("--run")
    args = parser.parse_args()
    source = os.path.join(args.corpus, "src")
    if not os.path.isdir(source):
        print("FAILED: the peer corpus is missing at %s; it lies beside the clone as shared/peer-zips" % args.corpus)
        return 1
    failures = []
    with tempfile.TemporaryDirectory(prefix="cvl-peer-zips-") as work:
        archives = decode_corpus(source, os.path.join(work, "corpus"))
        for name in sorted(set(ARCHIVES) - set(archives)):
            failures.append("%s: in the table but not in the corpus" % name)
        for name in sorted(set(archives) - set(ARCHIVES)):
            failures.append("%s: in the corpus but not in the table" % name)
        extractor = Extractor(os.path.abspath(args.unzip), args.run and os.path.abspath(args.run))
        for name in sorted(set(archives) & set(ARCHIVES)):
            row = ARCHIVES[name]
            failures += ["%s: %s" % (name, p) for p in check(extractor, archives[name], row, work)]
            for inner, inner_row in NESTED.get(name, []):
                # The next archive comes from what the step before unpacked.
                kept = os.path.join(work, "nested-" + inner)
                shutil.copy(os.path.join(work, "target", inner), kept)
                failures += ["%s > %s: %s" % (name, inner, p) for p in check(extractor, kept, inner_row, work)]
        applied = sorted(n for n, r in ARCHIVES.items() if r["applied"])
        differing = sorted(n for n, r in ARCHIVES.items() if r["peer"])
        print("%d archives: %d applied, %d refused; %d where our outcome differs from the peer's:"
              % (len(ARCHIVES), len(applied), len(ARCHIVES) - len(applied), len(differing)))
        for name in differing:
            print("  %s: %s (%s)" % (name, ARCHIVES[name]["why"], ARCHIVES[name]["peer"]))
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
