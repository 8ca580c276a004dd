#!/usr/bin/env python3
"""The demo behind scripts/demo: three starts of CVLauncher.exe against a sample server.

    demo.py [--shots FOLDER] [--picture PNG]

--shots keeps a screenshot of the screen for each text the window shows; --picture
saves the window alone, while it downloads a patch, as the README's picture.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import cvltest  # noqa: E402
import e2e_harness as e2e  # noqa: E402  (the launcher driven from outside: server, registry, inspector)

DEMO = os.path.join(ROOT, "build", "demo")
PREFIX = os.path.join(DEMO, "wineprefix")
BIN = os.path.join(ROOT, "build", "windows", "bin")
RUN = os.path.join(ROOT, "build", "windows", "wine-run.sh")
SERVER = os.path.join(ROOT, "build", "native", "bin", "connector-server")
PRE = e2e.PRE
PICTURED = "Downloading Patch"  # the window's picture shows the first text beginning so


class Demo(e2e.Harness):
    def __init__(self, shots, picture):
        os.environ["CVL_WINEPREFIX"] = PREFIX
        args = argparse.Namespace(scenario="demo", run=[RUN], bin=BIN, server=SERVER, work=os.path.join(DEMO, "work"))
        os.makedirs(args.work, exist_ok=True)
        super().__init__(args)
        self.shots = shots
        self.shot_count = 0
        self.picture = picture

    def screenshot(self, text):
        if self.shots:
            os.makedirs(self.shots, exist_ok=True)
            self.shot_count += 1
            name = "%02d-%s.png" % (self.shot_count, "".join(c if c.isalnum() else "-" for c in text)[:40].strip("-"))
            cvltest.screenshot(os.path.join(self.shots, name))
        rect = self.main_window_rect() if self.picture and text.startswith(PICTURED) else None
        if rect:
            with tempfile.TemporaryDirectory() as folder:
                screen = os.path.join(folder, "screen.png")
                cvltest.screenshot(screen)
                cvltest.crop(screen, rect, self.picture)
            print("   picture of the window: %s" % self.picture)
            self.picture = None

    def run_once(self, title):
        print("\n== %s" % title)
        before = self.level()
        self.texts = []
        self.start_launcher()
        while self.process.poll() is None:
            count = len(self.texts)
            text = self.note_text()
            if len(self.texts) > count:
                print("   window: %s" % text.replace("\r\n", " / "))
                self.screenshot(text)
            time.sleep(0.1)
        starts = self.client_starts()
        print("   patch level before %s, after %s" % (before, self.level()))
        print("   client folder: %s" % ", ".join(sorted(os.listdir(self.client))))
        print("   client launcher recorded: %s" % (starts[-1] if starts else "nothing"))
        self.inspector.close(e2e.CLIENT_CLASS)
        if starts:
            os.remove(os.path.join(self.client, "Proc.log"))

    def level(self):
        for line in self.config().splitlines():
            if line.lower().startswith("patchversion="):
                return line.split("=", 1)[1]
        return "0"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--shots", default="", help="a folder for a screenshot of each stage")
    parser.add_argument("--picture", default="", help="a PNG file for the window's picture")
    args = parser.parse_args()
    shutil.rmtree(os.path.join(DEMO, "work"), ignore_errors=True)
    picture = os.path.abspath(args.picture) if args.picture else ""
    demo = Demo(args.shots, picture)
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
        demo.start_server(patch_version=3, rules=slow, port=8080)
        print("demo: connector server on http://127.0.0.1:8080 serving %s" % demo.server_dir)

        # Default server address 127.0.0.1:8080: no [User] section needed.
        with open(demo.config_path(), "wb") as f:
            f.write(("[Options]\r\nPatchVersion=0\r\nUpdateClientLanguage=1\r\nLanguage=1\r\n[Pre]\r\n" +
                     "".join(cvltest.protect(p) + "\r\n" for p in PRE)).encode("ascii"))
        print("demo: launcher in %s, client folder %s" % (demo.win_launcher, demo.win_client))

        demo.run_once("first start: the prerequisites")
        installs = e2e.installs(demo)
        print("   installers run: %s" % (", ".join(installs) or "none"))
        demo.run_once("second start: the client update")
        log = demo.log_lines()
        print("   log: %s" % (log[-1] if log else "empty"))
        demo.run_once("third start: already up to date")
        print("\ndemo: requests the server saw: %s" % ", ".join(demo.requests()))
        if args.shots:
            print("demo: screenshots in %s" % args.shots)
    finally:
        demo.cleanup()
    if demo.picture:
        print("demo: the window showed no text beginning %r, so no picture was taken" % PICTURED)
        return 1
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:  # the server has stopped; the session ends Wine and the display
        print("\ndemo: interrupted")
        sys.exit(130)
