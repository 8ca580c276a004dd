#!/usr/bin/env python3
"""The real CVLauncher.exe killed while it applies a patch (task manager, power loss), at
instants chosen from what is on disk: during the staging and during the move into place.
Right after the kill no file of the client folder is half-written and the patch level is
not written; the next start puts right what the killed one left, fetches and applies the
patch again, and the client folder then holds exactly its older files with the patch's
files and what the launcher writes at every start, nothing else.

usage: e2e_recovery_test.py SCENARIO --run WINE-RUNNER --bin BIN --server CONNECTOR-SERVER --work DIR
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "unpack"))

import e2e_test as e2e  # noqa: E402
import kill_points as kp  # noqa: E402

PATCH = "/connector/patches/patch_4.zip"
# What every start writes into the client folder besides the patch: the stand-in client
# launcher, its profile, and the log the stand-in keeps of its starts.
LAUNCHER_FILES = {"Proc.exe", "Proc.exe.le.config", "Proc.log"}


def kill_and_restart(h, instant_name, instant):
    patch = kp.patch_files()
    older = kp.older_files(patch)
    h.start_server(patch_version=4)
    served = os.path.join(h.server_dir, PATCH.lstrip("/"))
    os.makedirs(os.path.dirname(served), exist_ok=True)
    kp.make_patch(served, patch)
    for attempt in range(3):
        kp.lay_out(h.client, older)
        h.write_config({"PatchVersion": "3"})
        h.start_launcher()
        seen = kp.kill_when(h.process, h.client, instant)
        if seen is not None:
            break
        h.inspector.close(e2e.CLIENT_CLASS)
    else:
        raise e2e.Failure("the launcher always finished the apply before it could be killed at " + instant_name)
    print("killed at %r" % seen)
    h.equal(kp.half_written(h.client, older, patch, skip={"patch_4.zip"}), [], "half-written files after the kill")
    h.check("PatchVersion=3" in h.config(), "the level is not written by a killed apply: %r" % h.config())
    # What a download killed half-way keeps for its next attempt goes with the next start too.
    with open(os.path.join(h.client, "patch_5.zip.part"), "wb") as f:
        f.write(b"PK\x03\x04 cut short")

    h.start_launcher()
    h.wait_end()
    h.client_starts()
    h.equal(kp.staging_folders(h.client), [], "staging folders after the next start")
    found = kp.files_below(h.client, skip=LAUNCHER_FILES)
    expected = dict(older, **patch)
    h.check(found == expected, "the client folder after the next start: " + kp.difference(found, expected))
    h.check("PatchVersion=4" in h.config(), "level 4 written: %r" % h.config())
    h.equal(h.requests().count(PATCH), 2 + attempt, "the patch fetched again by the next start")


def kill_at(h, index):
    name, instant = kp.instants(len(kp.patch_files()))[index]
    kill_and_restart(h, name, instant)
    print("killed while %s" % name)


def scenario_recovery_staging(h):
    """Killed while half the patch is staged: put right, fetched and applied by the next start."""
    kill_at(h, 0)


def scenario_recovery_moving(h):
    """Killed while most of the patch is moved into place: put right by the next start."""
    kill_at(h, 2)


if __name__ == "__main__":
    e2e.SCENARIO_MODULE = sys.modules[__name__]
    sys.exit(e2e.main())
