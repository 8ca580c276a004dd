#!/usr/bin/env python3
"""The demo behind scripts/demo: three starts of CVLauncher.exe against a sample server."""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import e2e_test as e2e  # noqa: E402  (the end-to-end harness: server, registry, inspector)

DEMO = os.path.join(ROOT, "build", "demo")
PREFIX = os.path.join(DEMO, "wineprefix")
BIN = os.path.join(ROOT, "build", "windows", "bin")
RUN = os.path.join(ROOT, "build", "windows", "wine-run.sh")
SERVER = os.path.join(ROOT, "build", "native", "bin", "connector-server")
PRE = ["/connector/pre/", "webview2.zip", "vc2012.zip", "vc2022.zip"]


class Demo(e2e.Harness):
    def __init__(self, shots):
        os.environ["CVL_WINEPREFIX"] = PREFIX
        args = argparse.Namespace(scenario="demo", run=[RUN], bin=BIN, server=SERVER, work=os.path.join(DEMO, "work"))
        os.makedirs(args.work, exist_ok=True)
        super().__init__(args)
        self.shots = shots
        self.shot_count = 0

    def screenshot(self, text):
        if not self.shots:
            return
        os.makedirs(self.shots, exist_ok=True)
        self.shot_count += 1
        name = "%02d-%s.png" % (self.shot_count, "".join(c if c.isalnum() else "-" for c in text)[:40].strip("-"))
        subprocess.run(["import", "-window", "root", os.path.join(self.shots, name)], check=False)

    def run_once(self, title):
        print("\n== %s" % title)
        before = self.level()
        self.texts = []
        self.start_launcher()
        while self.process.poll() is None:
            text = self.status_text()
            if text is not None and (not self.texts or self.texts[-1] != text):
                self.texts.append(text)
                self.screenshot(text)
                print("   window: %s" % text.replace("\r\n", " / "))
            time.sleep(0.1)
        starts = self.client_starts()
        print("   patch level before %s, after %s" % (before, self.level()))
        print("   client folder: %s" % ", ".join(sorted(os.listdir(self.client))))
        print("   client launcher recorded: %s" % (starts[-1] if starts else "nothing"))
        self.inspector("close", e2e.CLIENT_CLASS)
        os.remove(os.path.join(self.client, "Proc.log")) if starts else None

    def level(self):
        for line in self.config().splitlines():
            if line.lower().startswith("patchversion="):
                return line.split("=", 1)[1]
        return "0"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--shots", default="")
    shots = parser.parse_args().shots
    shutil.rmtree(os.path.join(DEMO, "work"), ignore_errors=True)
    demo = Demo(shots)
    try:
        print("demo: preparing the Wine prefix %s" % PREFIX)
        subprocess.run([RUN, "--init"], check=True)
        demo.reg_add(e2e.INSTALL_KEY, "InstallPath", demo.win_client)
        demo.reg_delete_key(e2e.WEBVIEW_KEY)

        installer = e2e.installer_bytes(demo)
        e2e.serve_prerequisites(demo, installer)
        for n in (1, 2, 3):
            demo.serve("/connector/patches/patch_%d.zip" % n,
                       {"data/level.txt": "level %d" % n, "data/patch_%d.dat" % n: os.urandom(200000)})
        demo.serve("/connector/patch/patch_english_lang.zip", {"lang/english.txt": "English texts"})
        demo.serve("/connector/patch/patch_korean_lang.zip", {"lang/korean.txt": "Korean texts"})
        # A short pause before each archive, so the stages can be watched.
        slow = ["/connector/pre/%s:stall=700" % p for p in PRE[1:]] + \
               ["/connector/patches/patch_%d.zip:stall=700" % n for n in (1, 2, 3)] + \
               ["/connector/patch/patch_english_lang.zip:stall=700"]
        demo.start_server_on(8080, patch_version=3, rules=slow)
        print("demo: connector server on http://127.0.0.1:8080 serving %s" % demo.server_dir)

        # Default server address 127.0.0.1:8080: no [User] section needed.
        with open(demo.config_path(), "wb") as f:
            f.write(("[Options]\r\nPatchVersion=0\r\nUpdateClientLanguage=1\r\nLanguage=1\r\n[Pre]\r\n" +
                     "".join(e2e.protect(p) + "\r\n" for p in PRE)).encode("ascii"))
        print("demo: launcher in %s, client folder %s" % (demo.win_launcher, demo.win_client))

        demo.run_once("first start: the prerequisites")
        installs = e2e.installs(demo)
        print("   installers run: %s" % (", ".join(installs) or "none"))
        demo.run_once("second start: the client update")
        log = demo.log_lines()
        print("   log: %s" % (log[-1] if log else "empty"))
        demo.run_once("third start: already up to date")
        print("\ndemo: requests the server saw: %s" % ", ".join(demo.requests()))
        if shots:
            print("demo: screenshots in %s" % shots)
    finally:
        demo.cleanup()
    return 0


if __name__ == "__main__":
    sys.exit(main())
