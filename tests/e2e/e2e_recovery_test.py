#!/usr/bin/env python3
"""The real CVLauncher.exe killed while it applies a patch (task manager, power loss), at
instants chosen from what is on disk: during the staging and during the move into place.
Right after the kill no file of the client folder is half-written and the patch level is
not written; the next start puts right what the killed one left, fetches and applies the
patch again, and the client folder then holds exactly its older files with the patch's
files and what the launcher writes at every start, nothing else.

usage: e2e_recovery_test.py --run WINE-RUNNER --bin BIN --server CONNECTOR-SERVER --work DIR
"""
import argparse
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

    h.start_launcher()
    h.wait_end()
    h.client_starts()
    h.equal(kp.staging_folders(h.client), [], "staging folders after the next start")
    found = kp.files_below(h.client, skip=LAUNCHER_FILES)
    expected = dict(older, **patch)
    h.check(found == expected, "the client folder after the next start: " + kp.difference(found, expected))
    h.check("PatchVersion=4" in h.config(), "level 4 written: %r" % h.config())
    h.equal(h.requests().count(PATCH), 2 + attempt, "the patch fetched again by the next start")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--run", nargs="+", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.run = [os.path.abspath(args.run[0])] + args.run[1:]
    args.bin, args.server, args.work = map(os.path.abspath, (args.bin, args.server, args.work))
    os.makedirs(args.work, exist_ok=True)
    if not os.environ.get("DISPLAY"):
        print("e2e tests need a display (DISPLAY); scripts/test starts Xvfb")
        return 1
    failed = False
    # One instant during the staging, one during the move.
    for name, instant in kp.instants(len(kp.patch_files()))[::2]:
        args.scenario = "recovery_" + name.split(",")[0]
        h = e2e.Harness(args)
        try:
            h.reg_add(e2e.INSTALL_KEY, "InstallPath", h.win_client)
            kill_and_restart(h, name, instant)
        except e2e.Failure as failure:
            h.failures.append(str(failure))
        finally:
            h.cleanup()
        print("killed while %s: %s" % (name, "; ".join(h.failures) or "put right at the next start"))
        for failure in h.failures:
            print("FAILED: " + failure)
        failed = failed or bool(h.failures)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
