#!/usr/bin/env python3
"""The moments between the launcher's roads, with the real CVLauncher.exe under Wine.

A player closes the window in the middle of a step, a server goes silent: each time the
launcher ends promptly and cleanly (exit code 0, nothing more asked of the server, the
configuration byte for byte as it was, nothing half applied, no client started), or, for
a silent server, gives up after its time-out and goes on as after any failure. The
time-outs are shortened through CVL_TEST_TIMEOUT_MS so that no case waits half a minute.

usage: e2e_interrupt_test.py SCENARIO --run WINE-RUNNER --bin BIN --server CONNECTOR-SERVER --work DIR
"""
import os
import random
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "unpack"))
import cvltest  # noqa: E402
import e2e_harness  # noqa: E402
import e2e_test  # noqa: E402
import kill_points  # noqa: E402
from cvltest import Failure  # noqa: E402
from e2e_harness import MAIN_CLASS, PRE, WEBVIEW_KEY  # noqa: E402
from e2e_test import SERVER_DOWN  # noqa: E402

TEST_TIMEOUT_MS = "3000"


def noise(size, seed):
    """Bytes that do not compress, so an archive stays as large as its content."""
    return random.Random(seed).randbytes(size)


def wait_for(condition, what, timeout=60):
    cvltest.wait_for(condition, what, deadline=timeout, interval=0.1)


def config_bytes(h):
    with open(h.config_path(), "rb") as f:
        return f.read()


def close_from_outside(h):
    """Sends the window a close message; checks the launcher is gone promptly and cleanly.

    The configuration is compared with what it held just before the close: the start
    itself may tidy it, the close must not touch it."""
    requests_before = h.requests()
    config_before = config_bytes(h)
    h.inspector.close(MAIN_CLASS)
    closed = time.time()
    deadline = closed + 20
    while h.process.poll() is None and time.time() < deadline:
        time.sleep(0.05)
    if h.process.poll() is None:
        raise Failure("the launcher still runs 20 s after the close; texts seen: %r" % h.texts)
    took = time.time() - closed
    # Wine adds its own start and end to the process; two seconds of ours stay well inside.
    h.check(took < 8.0, "the launcher ended %.1f s after the close" % took)
    h.equal(h.process.returncode, 0, "exit code")
    time.sleep(1.0)
    h.equal(h.requests(), requests_before, "requests after the close")
    h.equal(config_bytes(h), config_before, "configuration bytes")
    h.equal(h.client_starts(timeout=1), [], "no client launcher started")


def client_files(h):
    found = []
    for folder, _, files in os.walk(h.client):
        found += [os.path.relpath(os.path.join(folder, f), h.client) for f in files]
    return sorted(found)


def scenario_close_during_query(h):
    """Closed while the server holds the info query: gone at once, nothing else asked."""
    h.start_server(patch_version=2, rules=["/outgame/info:stall=60000"])
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    wait_for(lambda: "/outgame/info" in h.requests() and h.main_window_rect() is not None, "the query")
    time.sleep(0.5)
    close_from_outside(h)
    h.equal(client_files(h), [], "client folder")


def scenario_query_timeout(h):
    """A server that holds the info query past the time-out: the fatal message, then the end."""
    os.environ["CVL_TEST_TIMEOUT_MS"] = TEST_TIMEOUT_MS
    h.start_server(patch_version=2, rules=["/outgame/info:stall=60000"])
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.watch(lambda t: t == SERVER_DOWN, timeout=40)
    before = config_bytes(h)
    h.wait_end(timeout=30)
    h.equal(h.process.returncode, 0, "exit code")
    h.equal(config_bytes(h), before, "configuration bytes")
    h.equal(h.client_starts(timeout=1), [], "nothing launched")


def scenario_close_during_download(h):
    """Closed during a slow patch download: cancelled, no partial file, nothing applied."""
    e2e_test.patch_server(h, [], rules=["/connector/patches/patch_1.zip:rate=8000"], server_level=1)
    h.serve("/connector/patches/patch_1.zip", {"data/big.bin": noise(400 * 1024, 1)})
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.watch(lambda t: t.startswith("Downloading Patch 1...") and t.endswith("%"))
    close_from_outside(h)
    h.equal(client_files(h), [], "client folder")


def scenario_silent_download_once(h):
    """A patch download that goes silent once: given up after the time-out, fetched again, applied."""
    os.environ["CVL_TEST_TIMEOUT_MS"] = TEST_TIMEOUT_MS
    e2e_test.patch_server(h, [], rules=["/connector/patches/patch_1.zip:cut=1000,hold=60000,times=1"],
                          server_level=1)
    h.serve("/connector/patches/patch_1.zip", {"data/big.bin": noise(64 * 1024, 2), "data/level.txt": "level 1"})
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.wait_end(timeout=90)
    h.equal(h.requests().count("/connector/patches/patch_1.zip"), 2, "patch 1 asked twice")
    log = h.log_lines()
    h.check(len(log) == 2 and re.fullmatch(r"DownloadStatus is not correct: [45]", log[0]) is not None,
            "one failed attempt logged: %r" % log)
    h.equal(open(os.path.join(h.client, "data", "level.txt")).read(), "level 1", "patch applied")
    h.check("PatchVersion=1" in h.config(), "level 1 written: %r" % h.config())
    h.check(not any(f.endswith(".part") for f in client_files(h)), "no partial file left")
    h.equal(len(h.client_starts()), 1, "client launcher started")


def scenario_resume_cut_once(h):
    """A patch download cut at about 90% once: the next attempt asks for the rest only, applied."""
    e2e_test.patch_server(h, [], rules=["/connector/patches/patch_1.zip:cut=60000,times=1"], server_level=1)
    h.serve("/connector/patches/patch_1.zip", {"data/big.bin": noise(64 * 1024, 3), "data/level.txt": "level 1"})
    size = os.path.getsize(os.path.join(h.server_dir, "connector", "patches", "patch_1.zip"))
    h.check(60000 < size < 70000, "the cut falls near the end: %d" % size)
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.wait_end(timeout=90)
    asked = [r for r in h.server.requests() if r["path"] == "/connector/patches/patch_1.zip"]
    h.equal(len(asked), 2, "patch 1 asked twice")
    h.equal(asked[0]["headers"].get("Range"), None, "first attempt asks for the whole file")
    h.equal(asked[1]["headers"].get("Range"), "bytes=60000-", "second attempt asks for the rest")
    h.check(asked[1]["headers"].get("If-Range", "") != "", "with the validator")
    failed = [line for line in h.log_lines() if line.startswith("DownloadStatus is not correct")]
    h.equal(len(failed), 1, "one failed attempt logged")
    h.equal(open(os.path.join(h.client, "data", "level.txt")).read(), "level 1", "patch applied")
    h.check(not any(f.endswith(".part") for f in client_files(h)), "no partial file left")
    h.equal(len(h.client_starts()), 1, "client launcher started")


def scenario_close_during_unpack(h):
    """Closed while a large patch unpacks: stopped before anything of it is in place."""
    e2e_test.patch_server(h, [], server_level=1)
    members = {"data/file%04d.bin" % n: noise(12 * 1024, n) for n in range(3000)}
    h.serve("/connector/patches/patch_1.zip", members)
    h.write_config({"PatchVersion": "0"})
    with open(os.path.join(h.client, "old.txt"), "w") as f:
        f.write("old")
    h.start_launcher()
    h.watch(lambda t: t == "Decompressing Patch 1...")
    # Closed while the entries are inflated into the staging folder: the long part of an
    # unpack. (A move into place already begun is finished; it is the short part.)
    wait_for(lambda: kill_points.Staging(h.client).phase == "staging", "the staging of the patch")
    close_from_outside(h)
    h.equal(client_files(h), ["old.txt"], "client folder: nothing of the patch, no staging folder")


def scenario_close_during_installer(h):
    """Closed while a prerequisite installer runs: the launcher ends, the installer finishes by itself."""
    h.reg_add(WEBVIEW_KEY, "pv", "1.0")
    h.start_server(patch_version=0)
    installer = e2e_harness.installer_bytes(h)
    h.serve("/connector/pre/vc2012.zip", {"vc2012.exe": installer, "vc2012.hold": "wait"})
    h.serve("/connector/pre/vc2022.zip", {"vc2022.exe": installer})
    h.write_config(pre=PRE)
    h.start_launcher()
    wait_for(lambda: any(line.startswith("vc2012.exe") for line in e2e_harness.installs(h)), "the installer")
    close_from_outside(h)
    h.check("/connector/pre/vc2022.zip" not in h.requests(), "the next package is not fetched")
    # Not killed: once let go, the installer completes.
    os.remove(os.path.join(h.client, "vc2012.hold"))
    wait_for(lambda: os.path.exists(os.path.join(h.client, "vc2012.finished")), "the installer to finish", 30)
    h.reg_delete_key(WEBVIEW_KEY)


def scenario_close_during_patch_tool(h):
    """Closed while the patch tool runs: no level written, no client started."""
    e2e_test.patch_server(h, [], server_level=1)
    h.serve("/connector/patches/patch_1.zip", {"data/level.txt": "level 1", "patchtool.hold": "wait"})
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.watch(lambda t: t == "Applying patches. Please wait...")
    wait_for(lambda: os.path.exists(os.path.join(h.client, "patchtool.exe")), "the patch tool")
    close_from_outside(h)


if __name__ == "__main__":
    e2e_test.SCENARIO_MODULE = sys.modules[__name__]
    sys.exit(e2e_test.main())
