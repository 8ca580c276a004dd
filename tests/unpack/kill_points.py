"""Killing an unpack at chosen instants, chosen from what is on disk: a patch of a few
thousand files, a client folder holding older copies of some of them, the staging
folder's state as the unpack leaves it, and the checks after the kill and after the
next start. Shared by the extractor's kill test and the launcher's end-to-end one.
"""
import os
import random
import signal
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import cvltest  # noqa: E402

STAGING_PREFIX = ".cvl-unpack-"


def patch_files(count=1200, seed=14):
    """{relative path: bytes} of a patch: many small files in a few dozen folders."""
    rng = random.Random(seed)
    files = {}
    for i in range(count):
        # Partly compressible, like game data: runs of one byte among random ones.
        data = rng.randbytes(rng.randrange(1000, 4000)) + bytes([i % 251]) * rng.randrange(2000, 12000)
        files["data/d%02d/f%04d.bin" % (i % 40, i)] = data
    return files


def older_files(patch, seed=15):
    """{relative path: bytes} already in the client folder: older copies of every
    seventh patch file, and files the patch does not touch."""
    older = {path: b"older " + path.encode() for i, path in enumerate(sorted(patch)) if i % 7 == 0}
    for i in range(30):
        older["keep/k%02d.txt" % i] = b"kept %d" % i
    older["client.exe"] = b"the client"
    return older


def make_patch(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in sorted(files.items()):
            archive.writestr(name, data)


# A folder made anew with exactly these files.
lay_out = cvltest.write_tree


def files_below(folder, skip=()):
    """{relative path with "/": bytes} of every file below `folder`, except names in `skip`."""
    found = {}
    for root, folders, files in os.walk(folder):
        folders[:] = [d for d in folders if not d.startswith(STAGING_PREFIX)]
        for name in files:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, folder).replace(os.sep, "/")
            if relative in skip:
                continue
            try:
                with open(path, "rb") as f:
                    found[relative] = f.read()
            except OSError:
                found[relative] = None  # gone while read
    return found


def staging_folders(folder):
    return [os.path.join(folder, d) for d in os.listdir(folder) if d.startswith(STAGING_PREFIX)]


class Staging:
    """What an unpack's staging folder shows: the journal's phase, how many staged files
    wait to be moved and how many older copies are set aside."""

    def __init__(self, folder):
        self.phase = None
        self.staged = 0
        self.set_aside = 0
        for staging in staging_folders(folder):
            try:
                with open(os.path.join(staging, "journal"), "rb") as f:
                    for line in f.read().decode("utf-8", "replace").splitlines():
                        if line.startswith("phase "):
                            self.phase = line[6:]
            except OSError:
                pass
            for _, _, names in os.walk(staging):
                self.staged += sum(1 for n in names if n.isdigit())
                self.set_aside += sum(1 for n in names if n.startswith("b") and n[1:].isdigit())

    def __repr__(self):
        return "phase %s, %d staged, %d set aside" % (self.phase, self.staged, self.set_aside)


def instants(count):
    """The kill points: a name and what the staging folder must show."""
    return [
        ("staging, half the files staged", lambda s: s.phase == "staging" and s.staged >= count // 2),
        ("moving, first older copies set aside", lambda s: s.phase == "moving" and s.set_aside >= 1),
        ("moving, most files placed", lambda s: s.phase == "moving" and 0 < s.staged <= count * 3 // 10),
    ]


def kill_when(process, folder, instant, timeout=300):
    """Kills `process` once the staging folder in `folder` shows `instant`; the state seen
    then, or None when the process ended first."""
    deadline = time.time() + timeout
    while time.time() < deadline and process.poll() is None:
        seen = Staging(folder)
        if instant(seen):
            os.kill(process.pid, signal.SIGKILL)
            process.wait(timeout=30)
            return seen
        time.sleep(0.01)
    if process.poll() is None:
        os.kill(process.pid, signal.SIGKILL)
        process.wait(timeout=30)
    return None


def half_written(folder, older, patch, skip=()):
    """Files of the client folder that hold neither their older nor their new bytes."""
    problems = []
    for path, data in files_below(folder, skip).items():
        if data not in (older.get(path), patch.get(path)):
            problems.append(path)
    return problems


def difference(found, expected):
    missing = sorted(set(expected) - set(found))
    extra = sorted(set(found) - set(expected))
    changed = sorted(p for p in set(found) & set(expected) if found[p] != expected[p])
    parts = []
    for what, paths in (("missing", missing), ("unexpected", extra), ("different", changed)):
        if paths:
            parts.append("%s %d (%s)" % (what, len(paths), ", ".join(paths[:3])))
    return "; ".join(parts)
