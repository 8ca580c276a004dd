#!/usr/bin/env python3
"""cvl-unzip killed at several instants of an apply, chosen from what is on disk (during
the staging and during the move into place): right after the kill no file of the client
folder is half-written; the recovery leaves exactly the older files (then applying again
follows, as at the launcher's next start) or exactly the older files with the patch, and
no staging folder. Natively, or with --run under Wine through the Windows file layer.

usage: unpack_kill_test.py --unzip CVL-UNZIP [--run WINE-RUNNER]
"""
import argparse
import os
import subprocess
import sys
import tempfile

import kill_points as kp


class Unzip:
    def __init__(self, unzip, run):
        self.command = ([run] if run else []) + [unzip]
        self.wine = run is not None

    def path(self, path):
        # Wine's drive Z: is the root of the Linux file system.
        return "Z:" + os.path.abspath(path).replace("/", "\\") if self.wine else path

    def start(self, *args):
        # Output to nothing, never a pipe: a Wine call that starts Wine's services again
        # would hand them the pipe, and it would never close.
        return subprocess.Popen(self.command + list(args), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def apply(self, archive, folder):
        return self.start(self.path(archive), self.path(folder))

    def run(self, *args):
        return self.start(*args).wait(timeout=300)


def kill_case(unzip, archive, client, older, patch, name, instant):
    """Problems of one kill instant; [] when all is well. None when the unpack ended
    before the instant could be seen."""
    kp.lay_out(client, older)
    seen = kp.kill_when(unzip.apply(archive, client), client, instant)
    if seen is None:
        return None
    problems = ["half-written after the kill: " + p for p in kp.half_written(client, older, patch)]
    # What the next start does first: put right what the killed one left.
    if unzip.run("--recover", unzip.path(client)) != 0:
        problems.append("the recovery failed")
    if kp.staging_folders(client):
        problems.append("a staging folder stayed after the recovery")
    whole = dict(older, **patch)
    found = kp.files_below(client)
    if found == older:
        # Undone: the launcher applies the patch again, its level not having been written.
        if unzip.run(unzip.path(archive), unzip.path(client)) != 0:
            problems.append("applying again failed")
        found = kp.files_below(client)
    if found != whole or kp.staging_folders(client):
        problems.append("not the older files with the patch: " + (kp.difference(found, whole) or "a staging folder stayed"))
    print("%s: killed at %r, %s" % (name, seen, "; ".join(problems) or "put right"))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--unzip", required=True)
    parser.add_argument("--run")
    args = parser.parse_args()
    unzip = Unzip(os.path.abspath(args.unzip), args.run and os.path.abspath(args.run))
    if args.run:
        subprocess.run([args.run, "--init"], check=True)
    patch = kp.patch_files()
    older = kp.older_files(patch)
    failures = []
    with tempfile.TemporaryDirectory(prefix="cvl-unpack-kill-") as work:
        archive = os.path.join(work, "patch.zip")
        kp.make_patch(archive, patch)
        client = os.path.join(work, "client")
        for name, instant in kp.instants(len(patch)):
            # The instant is read from the disk while the unpack runs; on a loaded machine
            # it may slip past between two looks, so it gets a few tries.
            for _ in range(3):
                problems = kill_case(unzip, archive, client, older, patch, name, instant)
                if problems is not None:
                    failures += ["%s: %s" % (name, p) for p in problems]
                    break
            else:
                failures.append("%s: the unpack always ended before it could be killed there" % name)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
