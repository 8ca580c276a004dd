#!/usr/bin/env python3
"""End-to-end roads of CVLauncher.exe under Wine against the connector server.

Each scenario lays out a client folder with a blank in its name and the launcher in
another folder, as players have them, sets the install path in the test prefix's
registry, writes CVLauncher.cfg, serves patches from the connector server on 127.0.0.1,
runs the real launcher, and then checks the files, the configuration bytes, the log
lines, what the stand-in client launcher recorded and the texts the window showed (read
from outside through the inspector).

usage: e2e_test.py SCENARIO --run WINE-RUNNER --bin BIN --server CONNECTOR-SERVER --work DIR
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import cvltest  # noqa: E402
from cvltest import Failure  # noqa: E402
from e2e_harness import (CLIENT_CLASS, INSTALL_KEY, PRE, WEBVIEW_KEY, Harness, installer_bytes,  # noqa: E402
                         installs, serve_prerequisites)

PREREQ_FAILED = "The installation of the redistributables has failed.\r\nDo you want to launch Vardune?"
UPDATE_FAILED = "The update of the client has failed.\r\nDo you want to launch Vardune?"
SERVER_DOWN = "Server not available! Closing the launcher..."


# --- scenarios -------------------------------------------------------------------------

def scenario_prerequisites_installed(h):
    """Four good [Pre] entries, WebView2 present: two packages, [Pre] erased, no query."""
    h.reg_add(WEBVIEW_KEY, "pv", "1.0")
    h.start_server(patch_version=0)
    serve_prerequisites(h, installer_bytes(h), webview=False)
    h.write_config({"PatchVersion": "0"}, pre=PRE)
    h.start_launcher()
    h.wait_end()
    h.equal(installs(h), ["vc2012.exe /silent /install", "vc2022.exe /silent /install"], "installers run")
    h.check("[Pre]" not in h.config(), "[Pre] erased: %r" % h.config())
    h.check("; written by the end-to-end test" in h.config(), "the erase keeps the rest of the file")
    h.check("/outgame/info" not in h.requests(), "no server query in this start")
    h.check("/connector/pre/webview2.zip" not in h.requests(), "no WebView2 download")
    h.check(not os.path.exists(os.path.join(h.client, "vc2012.zip")), "archives deleted")
    starts = h.client_starts()
    h.check(len(starts) == 1 and "/emul" in starts[0], "client launcher started through the locale emulator: %r" % starts)


def prerequisites_failed(h):
    h.reg_delete_key(WEBVIEW_KEY)
    h.start_server(patch_version=0)
    serve_prerequisites(h, installer_bytes(h), webview=False)  # the WebView2 package is missing: 404
    h.write_config({"PatchVersion": "0"}, pre=PRE)
    h.start_launcher()
    h.watch(lambda t: t == PREREQ_FAILED)
    h.equal(h.log_lines(), ["DownloadStatus is not correct: 4"] * 5, "five failed attempts logged")
    h.equal(h.requests().count("/connector/pre/webview2.zip"), 5, "five attempts")
    h.equal(installs(h), ["vc2012.exe /silent /install", "vc2022.exe /silent /install"], "the others installed")


def scenario_prerequisites_failed_yes(h):
    """WebView2 missing and its package failing: the prompt; Yes runs the update."""
    prerequisites_failed(h)
    h.click("Yes")
    h.wait_end()
    h.check("/outgame/info" in h.requests(), "Yes runs the server query")
    h.check("[Pre]" in h.config(), "[Pre] stays for the next start")
    h.equal(len(h.client_starts()), 1, "client launcher started")


def scenario_prerequisites_failed_no(h):
    """No closes the window: nothing launched, no query."""
    prerequisites_failed(h)
    h.click("No")
    h.wait_end(timeout=20)
    h.check("/outgame/info" not in h.requests(), "no query after No")
    h.equal(h.client_starts(timeout=2), [], "nothing launched")


def scenario_prerequisites_one_entry(h):
    """A [Pre] section with one entry: the step stops with an error box; the window stays."""
    h.reg_delete_key(WEBVIEW_KEY)
    h.start_server()
    h.write_config({}, pre=["/connector/pre/"])
    h.start_launcher()
    text = h.wait_dialog("List index out of bounds")
    h.check(h.process.poll() is None, "the window stays open")
    h.equal(h.requests(), [], "nothing fetched")


def scenario_install_client(h):
    """InstallClient set: the client launcher starts directly, no network contact at all."""
    h.start_server()
    h.write_config({"InstallClient": "1"})
    h.start_launcher()
    seconds = h.wait_end(timeout=30)
    h.equal(h.requests(), [], "no network contact")
    starts = h.client_starts()
    h.equal(len(starts), 1, "one start")
    if starts:
        h.check('cmdline="%s\\Proc.exe" /EMUL' % h.win_client in starts[0], "quoted direct start: %r" % starts[0])
    h.check(os.path.getsize(os.path.join(h.client, "Proc.exe.le.config")) == 527, "profile written")


def patch_server(h, levels, language=True, rules=(), server_level=None):
    if server_level is None:
        server_level = max(levels) if levels else 5
    h.start_server(patch_version=server_level, rules=rules)
    for n in levels:
        h.serve("/connector/patches/patch_%d.zip" % n,
                {"data/level.txt": "level %d" % n, "patch_%d.txt" % n: "patch %d" % n})
    if language:
        h.serve("/connector/patch/patch_english_lang.zip", {"lang/english.txt": "english"})
        h.serve("/connector/patch/patch_korean_lang.zip", {"lang/korean.txt": "korean"})


def scenario_patches_with_language(h):
    """Installed 3, server 5, English language patch: fetched in order, tool run, level 5."""
    patch_server(h, [4, 5], rules=["/connector/patches/patch_4.zip:stall=1500"])
    with open(os.path.join(h.client, "data_level_before.txt"), "w") as f:
        f.write("3")
    h.write_config({"PatchVersion": "3", "UpdateClientLanguage": "1", "Language": "1"})
    h.start_launcher()
    h.wait_end()
    fetched = [p for p in h.requests() if p.endswith(".zip")]
    h.equal(fetched, ["/connector/patches/patch_4.zip", "/connector/patches/patch_5.zip",
                      "/connector/patch/patch_english_lang.zip"], "archives in order")
    h.equal(open(os.path.join(h.client, "data", "level.txt")).read(), "level 5", "patch 5 replaced patch 4's file")
    h.check(os.path.exists(os.path.join(h.client, "lang", "english.txt")), "language patch unpacked")
    h.check(not os.path.exists(os.path.join(h.client, "patch_5.zip")), "archive deleted")
    h.check(not os.path.exists(os.path.join(h.client, "patchtool.exe")), "patch tool removed after its run")
    h.check(not os.path.exists(os.path.join(h.client, "PackingLibraryWrapper-Win32-Release.dll")), "library removed")
    config = h.config()
    h.check("PatchVersion=5" in config, "PatchVersion 5 written: %r" % config)
    h.check("UpdateClientLanguage=0" in config, "language flag cleared: %r" % config)
    h.equal(h.log_lines(), ["Apply patch (directory, cmdline): %s\\ patchtool.exe" % h.win_client], "log")
    h.check("Downloading Patch 4..." in " ".join(h.texts), "stage text seen: %r" % h.texts)
    starts = h.client_starts()
    h.check(len(starts) == 1 and "cwd=%s" % h.win_client in starts[0],
            "client launcher started in the client folder: %r" % starts)


def scenario_patches_keep_files(h):
    """KeepUpdateFiles: the tool and its library stay; Korean patch for Language=0."""
    patch_server(h, [1])
    h.write_config({"PatchVersion": "0", "KeepUpdateFiles": "1", "UpdateClientLanguage": "1", "Language": "0"})
    h.start_launcher()
    h.wait_end()
    h.check(os.path.exists(os.path.join(h.client, "patchtool.exe")), "patch tool kept")
    h.check(os.path.exists(os.path.join(h.client, "lang", "korean.txt")), "Korean patch unpacked")
    h.check("PatchVersion=1" in h.config(), "PatchVersion 1 written")


def scenario_levels_equal(h):
    """Levels equal, no language patch: nothing fetched, no tool, launched, config untouched."""
    patch_server(h, [], language=False)
    h.write_config({"PatchVersion": "5"})
    h.start_launcher()
    h.wait_end()
    rewritten = h.config()
    h.equal([p for p in h.requests() if p.endswith(".zip")], [], "nothing fetched")
    h.equal(h.log_lines(), [], "no tool run")
    h.check(rewritten.startswith("[Options]\r\nPatchVersion=5\r\n\r\n[User]\r\n"), "start rewrite: %r" % rewritten)
    h.equal(len(h.client_starts()), 1, "client launcher started")


def patch_failing(h):
    patch_server(h, [4], language=False, server_level=5)  # patch_5.zip is not served
    h.write_config({"PatchVersion": "3"})
    h.start_launcher()
    h.watch(lambda t: t == UPDATE_FAILED)
    h.equal(h.requests().count("/connector/patches/patch_5.zip"), 5, "five attempts for patch 5")


def scenario_patch_failed_yes(h):
    """Patch 5 failing: the Update prompt; Yes launches with the level unchanged."""
    patch_failing(h)
    h.click("Yes")
    h.wait_end()
    h.check("PatchVersion=3" in h.config(), "level unchanged")
    h.check(os.path.exists(os.path.join(h.client, "patch_4.txt")), "patch 4 stays unpacked")
    h.equal(len(h.client_starts()), 1, "client launcher started")


def scenario_patch_failed_no(h):
    """Patch 5 failing: No closes; nothing launched."""
    patch_failing(h)
    h.click("No")
    h.wait_end(timeout=20)
    h.equal(h.client_starts(timeout=2), [], "nothing launched")


def scenario_server_down(h):
    """The server unreachable: red message, the window closes ~5 s later, config unchanged."""
    port = cvltest.free_port()
    before = h.write_config({"PatchVersion": "3"}, port=port)
    h.start_launcher()
    h.watch(lambda t: t == SERVER_DOWN)
    shown = h.first_seen[SERVER_DOWN]
    h.wait_end(timeout=30)
    closed_after = time.monotonic() - shown
    h.check(4.0 <= closed_after <= 12.0, "closed %.1f s after the message" % closed_after)
    h.check("PatchVersion=3" in h.config(), "config unchanged")
    h.equal(h.client_starts(timeout=1), [], "nothing launched")


def scenario_missing_download_path(h):
    """A patch list without "download_path": the error box; the window stays."""
    h.start_server(patch_version=5, download_path=None)
    h.write_config({"PatchVersion": "3"})
    h.start_launcher()
    print(h.wait_dialog("download_path"))
    h.check(h.process.poll() is None, "the window stays")
    h.equal(h.client_starts(timeout=1), [], "nothing launched")


def scenario_readonly_profile(h):
    """A profile the launcher cannot replace at launch: the error box, no start."""
    h.start_server()
    h.write_config({"InstallClient": "1"})
    profile = os.path.join(h.client, "Proc.exe.le.config")
    with open(profile, "w") as f:
        f.write("old")
    os.chmod(profile, 0o444)
    h.start_launcher()
    h.wait_dialog("Cannot create file")
    h.check(h.process.poll() is None, "the window stays")
    h.equal(open(profile).read(), "old", "old profile intact")
    h.equal(h.client_starts(timeout=1), [], "nothing launched")
    os.chmod(profile, 0o644)


def scenario_two_launches(h):
    """Two launches: two temporary folders with the five files; Proc.exe written once."""
    h.start_server()
    h.write_config({"InstallClient": "1"})
    before = h.temp_folders()
    for run in range(2):
        h.start_launcher()
        h.wait_end(timeout=30)
        h.client_starts(count=run + 1)
        h.inspector.close(CLIENT_CLASS)
        if run == 0:
            with open(os.path.join(h.client, "Proc.exe"), "ab") as f:
                f.write(b"marker")  # a changed Proc.exe must stay as it is
    new = h.temp_folders() - before
    h.equal(len(new), 2, "two new temporary folders")
    for folder in new:
        h.equal(sorted(os.listdir(folder)), ["LECommonLibrary.dll", "LEProc.exe", "LoaderDll.dll",
                                             "LocaleEmulator.dll", "WebView2Loader.dll"], "files in " + folder)
    with open(os.path.join(h.client, "Proc.exe"), "rb") as f:
        h.check(f.read().endswith(b"marker"), "Proc.exe not replaced")


# The module whose scenario_* functions main() runs; another test file sets its own.
SCENARIO_MODULE = None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario")
    parser.add_argument("--run", nargs="+", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.run = [os.path.abspath(args.run[0])] + args.run[1:]
    args.bin, args.server, args.work = map(os.path.abspath, (args.bin, args.server, args.work))
    os.makedirs(args.work, exist_ok=True)
    scenario = getattr(SCENARIO_MODULE or sys.modules[__name__], "scenario_" + args.scenario, None)
    if scenario is None:
        print("unknown scenario " + args.scenario)
        return 2
    if not os.environ.get("DISPLAY"):
        print("e2e tests need a display (DISPLAY); scripts/test starts Xvfb")
        return 1
    if not os.path.exists(args.server):
        print("connector server not built: " + args.server)
        return 1
    h = Harness(args)
    try:
        h.reg_add(INSTALL_KEY, "InstallPath", h.win_client)
        scenario(h)
    except Failure as failure:
        h.failures.append(str(failure))
    finally:
        h.cleanup()
    print("%s: %s" % (args.scenario, scenario.__doc__.strip()))
    print("texts shown: %r" % h.texts)
    if h.failures:
        for failure in h.failures:
            print("FAILED: " + failure)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
