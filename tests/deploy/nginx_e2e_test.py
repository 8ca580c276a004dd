#!/usr/bin/env python3
"""The operator's whole road, for real: a connector folder made with the kit (cvlctl.exe
under Wine: the info answer, the [User] and [Pre] sections), served by Debian's nginx
from a temporary prefix, and the real CVLauncher.exe under Wine using it. The first
start installs the prerequisites from nginx and erases [Pre]; the second asks for the
info answer, fetches the patches and the language patch, runs the patch tool and writes
the new level. The Wine prefix, the launcher's folders and the window inspector are
those of the end-to-end harness (tests/support/e2e_harness.py).

Usage: nginx_e2e_test.py --run WINE-RUNNER --bin BIN --work DIR
"""
import argparse
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import e2e_harness as e2e  # noqa: E402
from cvltest import Failure, free_port, wait_for  # noqa: E402
from nginx_prefix import Nginx  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from sample_settings import SAMPLE_SETTINGS  # noqa: E402

SETTINGS = dict(SAMPLE_SETTINGS)
PRE = ["/connector/pre/", "webview2.zip", "runtime2012.zip", "runtime2022.zip"]


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class OperatorRoad(e2e.Harness):
    def kit(self, *args):
        return self.wine(os.path.join(self.bin, "cvlctl.exe"), *args)

    def build_connector_folder(self):
        www = self.server_dir
        settings = os.path.join(www, "..", "settings.json")
        json.dump(SETTINGS, open(settings, "w"))
        os.makedirs(os.path.join(www, "outgame"))
        self.kit("make-info", "-o", wine_path(os.path.join(www, "outgame", "info")), wine_path(settings))
        for level in (1, 2):
            self.serve(f"/connector/patches/patch_{level}.zip",
                       {"data/level.txt": f"level {level}", f"patch_{level}.txt": f"patch {level}"})
        self.serve("/connector/patch/patch_english_lang.zip", {"lang/english.txt": "english"})
        self.serve("/connector/patch/patch_korean_lang.zip", {"lang/korean.txt": "korean"})
        installer = e2e.installer_bytes(self)
        for archive in PRE[1:]:
            self.serve(PRE[0] + archive, {archive[:-4] + ".exe": installer})

    def write_operator_config(self):
        sections = ("; prepared by the operator\r\n[Options]\r\nPatchVersion=0\r\nUpdateClientLanguage=1\r\n"
                    "Language=1\r\n")
        sections += self.kit("make-user", "--address", "127.0.0.1", "--port", str(self.port))
        sections += self.kit("make-pre", *PRE)
        open(self.config_path(), "w", newline="").write(sections)
        report = self.kit("read-config", wine_path(self.config_path()))
        self.check(f"127.0.0.1:{self.port}" in report and "runtime2022.zip" in report, "read-config: " + report)

    def wait_client_closed(self, timeout=60):
        """A client launcher window still open would make the next start end at once."""
        def closed():
            if not self.inspector.windows(e2e.CLIENT_CLASS):
                return True
            self.inspector.close(e2e.CLIENT_CLASS)
            return False
        try:
            wait_for(closed, "the client launcher's window to close", deadline=timeout)
        except Failure:
            raise Failure("the client launcher's window did not close")

    def since(self, mark):
        return self.nginx.requested_paths()[mark:]


def operator_road(h):
    h.reg_add(e2e.WEBVIEW_KEY, "pv", "1.0")  # WebView2 present: the two runtime packages only
    h.build_connector_folder()
    h.port = free_port()
    prefix = os.path.abspath(os.path.join(h.server_dir, "..", "nginx"))
    shutil.rmtree(prefix, ignore_errors=True)  # a fresh access log for this run
    os.makedirs(prefix)
    h.nginx = Nginx(prefix, h.server_dir, h.port)
    h.nginx.start()
    h.write_operator_config()

    h.start_launcher()
    h.wait_end()
    h.equal(h.since(0), ["/connector/pre/runtime2012.zip", "/connector/pre/runtime2022.zip"], "first start fetched")
    h.equal(e2e.installs(h), ["runtime2012.exe /silent /install", "runtime2022.exe /silent /install"], "installed")
    h.check("[Pre]" not in h.config(), "[Pre] erased: %r" % h.config())
    h.equal(len(h.client_starts()), 1, "client launcher started after the prerequisites")
    h.wait_client_closed()

    mark = len(h.nginx.requested_paths())
    h.start_launcher()
    h.wait_end()
    h.equal(h.since(mark), ["/outgame/info", "/connector/patches/patch_1.zip", "/connector/patches/patch_2.zip",
                            "/connector/patch/patch_english_lang.zip"], "second start fetched")
    level_file = os.path.join(h.client, "data", "level.txt")
    h.equal(open(level_file).read() if os.path.exists(level_file) else None, "level 2", "patches unpacked in order")
    h.check(os.path.exists(os.path.join(h.client, "lang", "english.txt")), "language patch unpacked")
    config = h.config()
    h.check("PatchVersion=2" in config and "UpdateClientLanguage=0" in config, "levels written: %r" % config)
    h.equal(h.log_lines(), ["Apply patch (directory, cmdline): %s\\ patchtool.exe" % h.win_client], "log")
    h.equal(len(h.client_starts(count=2)), 2, "client launcher started again")
    access = open(os.path.join(h.nginx.prefix, "access.log"), encoding="latin-1").read()
    h.check('"qx launcher"' in access, "the launcher's user agent in nginx's log")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--run", nargs="+", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.run = [os.path.abspath(args.run[0])] + args.run[1:]
    args.bin, args.work = os.path.abspath(args.bin), os.path.abspath(args.work)
    args.scenario, args.server = "nginx_operator_road", ""
    os.makedirs(args.work, exist_ok=True)
    if not os.environ.get("DISPLAY"):
        print("this test needs a display (DISPLAY); scripts/test starts Xvfb")
        return 1
    h = OperatorRoad(args)
    h.nginx = None
    try:
        h.reg_add(e2e.INSTALL_KEY, "InstallPath", h.win_client)
        operator_road(h)
    except (Failure, RuntimeError) as failure:
        h.failures.append(str(failure))
    finally:
        h.cleanup()
        if h.nginx is not None:
            h.nginx.stop()
    print("texts shown: %r" % h.texts)
    if h.nginx is not None:
        print("nginx served: %r" % h.nginx.requested_paths())
    for failure in h.failures:
        print("FAILED: " + failure)
    return 1 if h.failures else 0


if __name__ == "__main__":
    sys.exit(main())
