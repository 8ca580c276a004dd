#!/usr/bin/env python3
"""Signed updates end to end: the real CVLauncher.exe built with two throw-away update keys
(the windows-signed build) against the connector server, with signatures made by openssl
alone. Good signatures by either key give the usual result plus one signature request per
archive; a missing, tampered, misnamed or foreign signature makes every attempt a failed
one: nothing unpacked, no installer started, the prompt after five.

The keys' folder comes in CVL_SIGNING_TEST_KEY_DIR (update-key-a, update-key-b built in,
other-key not).

usage: e2e_signed_test.py SCENARIO --run WINE-RUNNER --bin BIN --server CONNECTOR-SERVER --work DIR
"""
import os
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import cvltest  # noqa: E402
import e2e_harness  # noqa: E402
import e2e_test  # noqa: E402
from e2e_harness import PRE, WEBVIEW_KEY  # noqa: E402
from e2e_test import PREREQ_FAILED, UPDATE_FAILED  # noqa: E402


def key(name):
    return os.path.join(os.environ["CVL_SIGNING_TEST_KEY_DIR"], name + ".pem")


def sign(h, relative, key_name, as_name=None):
    """Writes <relative>.sig: openssl's signature of the served file under its name."""
    path = os.path.join(h.server_dir, relative.lstrip("/"))
    name = as_name or os.path.basename(path)
    with open(path, "rb") as f:
        message = b"CVL-SIGNATURE-1\n" + name.encode("utf-8") + b"\n" + f.read()
    signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key(key_name)], input=message,
                               capture_output=True, check=True).stdout
    with open(path + ".sig", "wb") as f:
        f.write(signature)


def scenario_signed_patches(h):
    """Patches signed by either built-in key: applied as ever, one signature request each."""
    e2e_test.patch_server(h, [1, 2], language=False)
    sign(h, "/connector/patches/patch_1.zip", "update-key-a")
    sign(h, "/connector/patches/patch_2.zip", "update-key-b")
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.wait_end()
    fetched = [p for p in h.requests() if p.startswith("/connector/")]
    h.equal(fetched, ["/connector/patches/patch_1.zip", "/connector/patches/patch_1.zip.sig",
                      "/connector/patches/patch_2.zip", "/connector/patches/patch_2.zip.sig"], "requests")
    h.equal(open(os.path.join(h.client, "data", "level.txt")).read(), "level 2", "patches applied")
    h.check("PatchVersion=2" in h.config(), "level 2 written: %r" % h.config())
    h.check(not any(f.endswith((".sig", ".zip")) for f in os.listdir(h.client)), "no archive or signature left")
    h.equal(len(h.client_starts()), 1, "client launcher started")


def refused(h, what, prepare):
    h.start_server(patch_version=1)
    h.serve("/connector/patches/patch_1.zip", {"data/level.txt": "level 1", "patch_1.txt": "patch 1"})
    prepare(h)
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    h.watch(lambda t: t == UPDATE_FAILED)
    h.equal(h.requests().count("/connector/patches/patch_1.zip"), 5, what + ": five attempts")
    h.equal(h.log_lines(), ["Signature is not correct: patch_1.zip"] * 5, what + ": log")
    h.check(not os.path.exists(os.path.join(h.client, "data")), what + ": nothing unpacked")
    h.check(not any(f.endswith((".sig", ".zip")) for f in os.listdir(h.client)), what + ": no archive left")
    h.inspector.close(e2e_harness.MAIN_CLASS)
    h.wait_end(timeout=30)


def tampered(h):
    sign(h, "/connector/patches/patch_1.zip", "update-key-a")
    path = os.path.join(h.server_dir, "connector", "patches", "patch_1.zip")
    data = bytearray(open(path, "rb").read())
    data[-30] ^= 0x01  # a bit of the central directory's comment area: still a valid archive
    open(path, "wb").write(bytes(data))


def scenario_signed_missing(h):
    """No signature beside the patch: five failed attempts, nothing unpacked, the prompt."""
    refused(h, "missing", lambda h: None)


def scenario_signed_tampered(h):
    """One bit of the archive changed after signing: refused."""
    refused(h, "tampered", tampered)


def scenario_signed_other_name(h):
    """A good signature of another file's name: refused."""
    refused(h, "other name", lambda h: sign(h, "/connector/patches/patch_1.zip", "update-key-a", "patch_2.zip"))


def scenario_signed_other_key(h):
    """A signature by a key the launcher does not carry: refused."""
    refused(h, "other key", lambda h: sign(h, "/connector/patches/patch_1.zip", "other-key"))


def scenario_signed_prerequisite_refused(h):
    """A prerequisite package whose signature is wrong: its installer never starts."""
    h.reg_add(WEBVIEW_KEY, "pv", "1.0")
    h.start_server(patch_version=0)
    installer = e2e_harness.installer_bytes(h)
    h.serve("/connector/pre/vc2012.zip", {"vc2012.exe": installer})
    h.serve("/connector/pre/vc2022.zip", {"vc2022.exe": installer})
    sign(h, "/connector/pre/vc2012.zip", "other-key")
    sign(h, "/connector/pre/vc2022.zip", "update-key-b")
    h.write_config(pre=PRE)
    h.start_launcher()
    h.watch(lambda t: t == PREREQ_FAILED)
    started = e2e_harness.installs(h)
    h.check(not any(line.startswith("vc2012.exe") for line in started), "no unsigned installer ran: %r" % started)
    h.check(any(line.startswith("vc2022.exe") for line in started), "the signed one ran: %r" % started)
    h.equal(h.log_lines(), ["Signature is not correct: vc2012.zip"] * 5, "log")
    h.inspector.close(e2e_harness.MAIN_CLASS)
    h.wait_end(timeout=30)
    h.reg_delete_key(WEBVIEW_KEY)


def stored_zip(path, members):
    """A ZIP file of members kept uncompressed: the same names and lengths give the same size."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
        for name, data in members.items():
            archive.writestr(zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0)), data)


def scenario_signed_resumed_wrong_join(h):
    """A download cut at 90%, then the server's file replaced under the same validator: the
    rest joined to the kept part makes an archive of the right length but wrong bytes, which
    the signature refuses; the next attempt fetches the new file whole and applies it."""
    path = "/connector/patches/patch_1.zip"
    served = os.path.join(h.server_dir, "connector", "patches", "patch_1.zip")
    os.makedirs(os.path.dirname(served))
    stored_zip(served, {"data/noise.bin": os.urandom(64 * 1024), "data/level.txt": "level 1"})
    size = os.path.getsize(served)
    sign(h, path, "update-key-a")
    # The first answer stops at 90% and then stays silent for a moment: time enough to
    # replace the file (a new one, same length) before the launcher asks for the rest.
    h.start_server(patch_version=1, rules=["%s:cut=%d,hold=1500,etag=\"same\",times=1" % (path, size * 9 // 10)])
    h.write_config({"PatchVersion": "0"})
    h.start_launcher()
    cvltest.wait_for(lambda: path in h.requests(), "the first request of the patch", deadline=60)
    replacement = served + ".new"
    stored_zip(replacement, {"data/noise.bin": os.urandom(64 * 1024), "data/level.txt": "level 2"})
    h.equal(os.path.getsize(replacement), size, "the replacement has the same length")
    os.replace(replacement, served)
    sign(h, path, "update-key-a")
    h.server.rule(path, etag='"same"')
    h.wait_end()
    asked = [r for r in h.server.requests() if r["path"] == path]
    h.equal(len(asked), 3, "patch 1 asked three times")
    h.equal(asked[1]["headers"].get("Range"), "bytes=%d-" % (size * 9 // 10), "the second attempt asks for the rest")
    h.equal(asked[2]["headers"].get("Range"), None, "the third asks for the whole file")
    lines = h.log_lines()
    h.equal(len([line for line in lines if line.startswith("DownloadStatus is not correct")]), 1, "the cut logged")
    h.equal([line for line in lines if line.startswith("Signature")], ["Signature is not correct: patch_1.zip"],
            "the wrong join refused once")
    h.equal(open(os.path.join(h.client, "data", "level.txt")).read(), "level 2", "the new file applied")
    h.check(not any(f.endswith((".sig", ".zip", ".part")) for f in os.listdir(h.client)), "nothing left beside")
    h.equal(len(h.client_starts()), 1, "client launcher started")


if __name__ == "__main__":
    e2e_test.SCENARIO_MODULE = sys.modules[__name__]
    sys.exit(e2e_test.main())
