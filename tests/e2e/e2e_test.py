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
import glob
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request
import zipfile

SERVER_KEY = b"Rk2VtqPwZ8nHs4LxYc0uJbGe6MdN1aTfW3oQiS7hKlE="
USER_KEY = b"Gp7XcLm2Qw9ZtRb4YhNv0KdS6FjUa3eWo8iTn1Hy5Bs="
MAIN_CLASS = "DuzudoZavizude0.9.DNC"
CLIENT_CLASS = "VezezuRovedazez0.9.DNC"
INSTALL_KEY = r"HKLM\SOFTWARE\WOW6432Node\Corvanthe"
# The per-user client key: the registry tool's view of the machine-wide keys differs from
# a 32-bit program's under Wine, the user's key is the same for both.
WEBVIEW_KEY = r"HKCU\Software\Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
LBL_MESSAGE_ID = "111"
PREREQ_FAILED = "The installation of the redistributables has failed.\r\nDo you want to launch Vardune?"
UPDATE_FAILED = "The update of the client has failed.\r\nDo you want to launch Vardune?"
SERVER_DOWN = "Server not available! Closing the launcher..."


def protect(text, key=SERVER_KEY):
    hexkey = key[:16].hex()
    out = subprocess.run(["openssl", "enc", "-aes-128-cbc", "-K", hexkey, "-iv", hexkey, "-base64", "-A"],
                         input=text.encode("latin-1"), capture_output=True, check=True).stdout
    return out.decode().strip()


def info_values(patch_version, download_path="/connector/patches/"):
    values = {
        "result_code": "SUCCESS", "serverIp": "127.0.0.1", "serverPort": "7000", "browserUrl": "http://b/",
        "vdnbin": "/bin/vdn.zip", "vdnbinSize": "100", "vdnbinVersion": "1.0",
        "libcocos": "/bin/cocos.zip", "libcocosSize": "200", "libcocosVersion": "2.0",
        "msdll": "/bin/ms.zip", "msdllSize": "300", "msdllVersion": "3.0",
        "patch": json.dumps({"download_path": download_path}) if download_path else json.dumps({"other": 1}),
        "patchVersion": str(patch_version), "boxdll": "/bin/box.zip", "craft": "/bin/craft.zip",
        "engines": "e", "clientCount": "2", "log": "false", "createUri": "/c", "loginUri": "/l",
        "clientSideKey": "1", "dllPassword": "2", "C_CHANNEL": "3", "C_LOGIN": "4", "C_LOGOUT": "5",
        "S_CUSTOM_MESSAGE_BOX": "6", "S_KEY": "7", "S_EXTENDED_PROTO_BUF": "8", "C_EXTENDED_PROTO_BUF": "9",
    }
    return values


def make_zip(path, members):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in members.items():
            archive.writestr(name, data)


class Failure(Exception):
    pass


class Harness:
    def __init__(self, args):
        self.args = args
        self.run_cmd = args.run
        self.bin = args.bin
        self.prefix = os.environ.get("CVL_WINEPREFIX") or os.path.join(os.path.dirname(args.run[0]), "wineprefix")
        self.name = args.scenario
        self.root = os.path.join(self.prefix, "drive_c", "e2e", self.name)
        shutil.rmtree(self.root, ignore_errors=True)
        self.client = os.path.join(self.root, "Vardune Client")
        self.launcher_dir = os.path.join(self.root, "Launcher")
        self.server_dir = os.path.join(args.work, self.name, "server")
        shutil.rmtree(self.server_dir, ignore_errors=True)
        for d in (self.client, self.launcher_dir, self.server_dir):
            os.makedirs(d)
        shutil.copy(os.path.join(self.bin, "CVLauncher.exe"), self.launcher_dir)
        self.win_client = "C:\\e2e\\%s\\Vardune Client" % self.name
        self.win_launcher = "C:\\e2e\\%s\\Launcher\\CVLauncher.exe" % self.name
        self.server = None
        self.port = None
        self.texts = []
        self.failures = []

    # --- Wine and the registry -------------------------------------------------------
    def wine(self, *args, check=True):
        # Output goes through a file, never a pipe: should this call be the one that starts
        # Wine's services again, they inherit its output and a pipe would never close.
        with tempfile.TemporaryFile() as output:
            done = subprocess.run(self.run_cmd + list(args), stdout=output, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL, timeout=120)
            output.seek(0)
            text = output.read().decode("utf-8", errors="replace")
        if check and done.returncode != 0:
            raise Failure("wine %s failed: %s" % (args, text))
        return text

    def reg_add(self, key, name, value):
        self.wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def reg_delete_key(self, key):
        self.wine("reg", "delete", key, "/f", check=False)

    def inspector(self, *args):
        return self.wine(os.path.join(self.bin, "WindowInspector.exe"), *args, check=False)

    # --- the connector server --------------------------------------------------------
    def start_server(self, patch_version=0, download_path="/connector/patches/", info=True, rules=()):
        return self.start_server_on(0, patch_version, download_path, info, rules)

    def start_server_on(self, port, patch_version=0, download_path="/connector/patches/", info=True, rules=()):
        port_file = os.path.join(self.server_dir, "..", "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        cmd = [self.args.server, "--port", str(port), "--port-file", port_file, "--root", self.server_dir]
        if info:
            info_file = os.path.join(self.server_dir, "..", "info.txt")
            with open(info_file, "w") as f:
                for key, value in info_values(patch_version, download_path).items():
                    f.write("%s=%s\n" % (key, value))
            cmd += ["--info", info_file]
        for rule in rules:
            cmd += ["--rule", rule]
        self.server = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            if os.path.exists(port_file) and open(port_file).read().strip():
                self.port = int(open(port_file).read().strip())
                return self.port
            time.sleep(0.05)
        raise Failure("connector server did not start")

    def requests(self):
        with urllib.request.urlopen("http://127.0.0.1:%d/__requests" % self.port, timeout=10) as answer:
            return [r["path"] for r in json.load(answer)]

    def serve(self, relative, data):
        path = os.path.join(self.server_dir, relative.lstrip("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(data, dict):
            make_zip(path, data)
        else:
            with open(path, "wb") as f:
                f.write(data)

    def unused_port(self):
        import socket
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            return s.getsockname()[1]

    # --- the launcher ----------------------------------------------------------------
    def write_config(self, options=None, pre=None, port=None):
        lines = ["; written by the end-to-end test", "[Options]"]
        for key, value in (options or {}).items():
            lines.append("%s = %s" % (key, value))
        lines.append("[User]")
        lines.append("recovery=" + protect("127.0.0.1", USER_KEY))
        lines.append("email=" + protect(str(port if port is not None else self.port), USER_KEY))
        if pre:
            lines.append("[Pre]")
            lines += [protect(entry) for entry in pre]
        data = ("\r\n".join(lines) + "\r\n").encode("ascii")
        with open(self.config_path(), "wb") as f:
            f.write(data)
        return data

    def config_path(self):
        return os.path.join(self.launcher_dir, "CVLauncher.cfg")

    def config(self):
        with open(self.config_path(), "rb") as f:
            return f.read().decode("ascii")

    def log_lines(self):
        path = os.path.join(self.launcher_dir, "CVLauncher.log")
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return f.read().decode("latin-1").split("\r\n")[:-1]

    def status_text(self):
        # The label's window text, read without a message to the launcher: while it waits
        # on the network it answers no messages, and a query through accessibility would
        # wait with it and come back with a text long gone.
        for line in self.inspector("texts", MAIN_CLASS).splitlines():
            parts = line.split("\t")
            if len(parts) >= 4 and parts[0] == LBL_MESSAGE_ID:
                return parts[3].replace("\\r", "\r").replace("\\n", "\n")
        return None

    def main_window_rect(self):
        for line in self.inspector("list").splitlines():
            parts = line.split("\t")
            if len(parts) >= 4 and parts[0] == MAIN_CLASS and parts[2] == "1":
                return [int(v) for v in parts[3].split(",")]
        return None

    def start_launcher(self):
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=False)
        self.process = subprocess.Popen(self.run_cmd + [self.win_launcher], cwd=self.args.work,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.started = time.time()

    def watch(self, until, timeout=90):
        """Polls the window's status text until until(text) holds or the launcher ends."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = self.status_text()
            if text is not None and (not self.texts or self.texts[-1] != text):
                self.texts.append(text)
            if text is not None and until(text):
                return text
            if self.process.poll() is not None:
                return None
            time.sleep(0.1)
        raise Failure("timed out; texts seen: %r" % self.texts)

    def wait_end(self, timeout=90):
        deadline = time.time() + timeout
        while self.process.poll() is None:
            text = self.status_text()
            if text is not None and (not self.texts or self.texts[-1] != text):
                self.texts.append(text)
            if time.time() > deadline:
                raise Failure("the launcher did not end; texts seen: %r" % self.texts)
            time.sleep(0.1)
        return time.time() - self.started

    def click(self, which):
        rect = self.main_window_rect()
        if rect is None:
            raise Failure("no launcher window to click")
        x, y = (65 + 57, 108 + 17) if which == "Yes" else (202 + 57, 108 + 17)
        subprocess.run(["xdotool", "mousemove", str(rect[0] + x), str(rect[1] + y)], check=True)
        time.sleep(0.2)
        subprocess.run(["xdotool", "click", "1"], check=True)

    def dialogs(self):
        return self.inspector("dialogs")

    def wait_dialog(self, fragment, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            text = self.dialogs()
            if fragment in text:
                return text
            time.sleep(0.3)
        raise Failure("no dialog with %r" % fragment)

    def client_starts(self, timeout=30):
        """The stand-in client launcher's recorded starts (it logs beside itself)."""
        path = os.path.join(self.client, "Proc.log")
        deadline = time.time() + timeout
        while time.time() < deadline and not os.path.exists(path):
            time.sleep(0.1)
        time.sleep(0.3)
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return f.read().decode("utf-8").splitlines()

    def temp_folders(self):
        found = []
        users = os.path.join(self.prefix, "drive_c", "users", "*")
        for temp in glob.glob(os.path.join(users, "Temp")) + glob.glob(os.path.join(users, "AppData", "Local", "Temp")):
            found += [os.path.join(temp, d) for d in os.listdir(temp) if d.startswith("{") and d.endswith("}")]
        return set(found)

    # --- checks and cleanup ----------------------------------------------------------
    def check(self, condition, what):
        if not condition:
            self.failures.append(what)

    def equal(self, got, expected, what):
        if got != expected:
            self.failures.append("%s: got %r, expected %r" % (what, got, expected))

    def cleanup(self):
        try:
            self.inspector("close", CLIENT_CLASS)
            if getattr(self, "process", None) is not None and self.process.poll() is None:
                self.inspector("close", MAIN_CLASS)
                try:
                    self.process.wait(timeout=15)
                except subprocess.TimeoutExpired:
                    self.process.kill()
        finally:
            if self.server is not None:
                self.server.terminate()
                self.server.wait(timeout=10)


# --- scenarios -------------------------------------------------------------------------

PRE = ["/connector/pre/", "webview2.zip", "vc2012.zip", "vc2022.zip"]


def serve_prerequisites(h, installer, webview=True):
    if webview:
        h.serve("/connector/pre/webview2.zip", {"webview2.exe": installer})
    h.serve("/connector/pre/vc2012.zip", {"vc2012.exe": installer})
    h.serve("/connector/pre/vc2022.zip", {"vc2022.exe": installer})


def installer_bytes(h):
    with open(os.path.join(h.bin, "E2EInstaller.exe"), "rb") as f:
        return f.read()


def installs(h):
    path = os.path.join(h.client, "installers.log")
    return open(path, "rb").read().decode("utf-8").splitlines() if os.path.exists(path) else []


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
    port = h.unused_port()
    before = h.write_config({"PatchVersion": "3"}, port=port)
    h.start_launcher()
    h.watch(lambda t: t == SERVER_DOWN)
    shown = time.time()
    h.wait_end(timeout=30)
    closed_after = time.time() - shown
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
        h.client_starts()
        h.inspector("close", CLIENT_CLASS)
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
