"""The real CVLauncher.exe under Wine against the connector server, driven and read from
outside: what the end-to-end tests, the operator's road under nginx and the demo share.

A Harness lays out a client folder with a blank in its name and the launcher in another
folder, as players have them, in the Wine prefix's C: drive; it writes CVLauncher.cfg,
serves files from the connector server on 127.0.0.1, starts the launcher, and reads the
texts the window shows, the message boxes, the configuration, the log and what the
stand-in client launcher recorded.
"""
import glob
import json
import os
import shutil
import subprocess
import time

import cvltest
from cvltest import Failure, USER_KEY, protect, wait_for

MAIN_CLASS = "DuzudoZavizude0.9.DNC"
CLIENT_CLASS = "VezezuRovedazez0.9.DNC"
INSTALL_KEY = r"HKLM\SOFTWARE\WOW6432Node\Corvanthe"
# The per-user client key: the registry tool's view of the machine-wide keys differs from
# a 32-bit program's under Wine, the user's key is the same for both.
WEBVIEW_KEY = r"HKCU\Software\Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
LBL_MESSAGE_ID = 111
PRE = ["/connector/pre/", "webview2.zip", "vc2012.zip", "vc2022.zip"]


def info_values(patch_version, download_path="/connector/patches/"):
    """The plain values of an information answer; download_path None leaves it out."""
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


class Harness:
    """args: scenario (the folder's name), run (the Wine runner as a list), bin, server
    (the connector server's binary) and work (a folder for the server's files)."""

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
        self.inspector = cvltest.Inspector(self.run_cmd, os.path.join(self.bin, "WindowInspector.exe"))
        self.server = None
        self.port = None
        self.process = None
        self.texts = []
        self.first_seen = {}  # text -> when the look that first found it began
        self.failures = []

    # --- Wine and the registry -------------------------------------------------------
    def wine(self, *args, check=True):
        status, text = cvltest.run_captured(self.run_cmd + list(args))
        if check and status != 0:
            raise Failure("wine %s failed: %s" % (args, text))
        return text

    def reg_add(self, key, name, value):
        self.wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f")

    def reg_delete_key(self, key):
        self.wine("reg", "delete", key, "/f", check=False)

    # --- the connector server --------------------------------------------------------
    def start_server(self, patch_version=0, download_path="/connector/patches/", info=True, rules=(), port=0):
        info_file = None
        if info:
            info_file = os.path.join(self.server_dir, "..", "info.txt")
            with open(info_file, "w") as f:
                for key, value in info_values(patch_version, download_path).items():
                    f.write("%s=%s\n" % (key, value))
        self.server = cvltest.ConnectorServer(self.args.server, root=self.server_dir, info=info_file, rules=rules,
                                              port=port).start()
        self.port = self.server.port
        return self.port

    def requests(self):
        return [r["path"] for r in self.server.requests()]

    def serve(self, relative, data):
        """A file of the server: bytes, or {name: data} for a ZIP file."""
        path = os.path.join(self.server_dir, relative.lstrip("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if isinstance(data, dict):
            cvltest.make_zip(path, data)
        else:
            with open(path, "wb") as f:
                f.write(data)

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
        label = self.inspector.children(MAIN_CLASS, "texts").get(LBL_MESSAGE_ID)
        return label[1] if label else None

    def main_window_rect(self):
        visible = [w for w in self.inspector.windows(MAIN_CLASS) if w["visible"]]
        return list(visible[0]["rect"]) if visible else None

    def start_launcher(self):
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=False)
        self.process = subprocess.Popen(self.run_cmd + [self.win_launcher], cwd=self.args.work,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.started = time.monotonic()

    def note_text(self):
        """The status text now, kept in self.texts when it is new. A look takes a Wine
        start; the text was there by its end, and had not come much before its beginning
        (else the look before would have found it), so its beginning is when it was seen."""
        asked = time.monotonic()
        text = self.status_text()
        if text is not None and (not self.texts or self.texts[-1] != text):
            self.texts.append(text)
            self.first_seen.setdefault(text, asked)
        return text

    def watch(self, until, timeout=90):
        """The status text once until(text) holds, or None when the launcher ends first."""
        def reached():
            text = self.note_text()
            if text is not None and until(text):
                return [text]
            return [None] if self.process.poll() is not None else None
        try:
            return wait_for(reached, "the status text", deadline=timeout, interval=0.1)[0]
        except Failure:
            raise Failure("timed out; texts seen: %r" % self.texts)

    def wait_end(self, timeout=90):
        """Seconds from the start to the launcher's end, noting the texts on the way."""
        def ended():
            self.note_text()
            return self.process.poll() is not None
        try:
            wait_for(ended, "the launcher's end", deadline=timeout, interval=0.1)
        except Failure:
            raise Failure("the launcher did not end; texts seen: %r" % self.texts)
        return time.monotonic() - self.started

    def click(self, which):
        rect = self.main_window_rect()
        if rect is None:
            raise Failure("no launcher window to click")
        x, y = (65 + 57, 108 + 17) if which == "Yes" else (202 + 57, 108 + 17)
        # --sync returns once the pointer is there, so the click lands on the button.
        subprocess.run(["xdotool", "mousemove", "--sync", str(rect[0] + x), str(rect[1] + y)], check=True)
        subprocess.run(["xdotool", "click", "1"], check=True)

    def dialogs(self):
        return "\n".join(self.inspector.call("dialogs")[1])

    def wait_dialog(self, fragment, timeout=60):
        def shown():
            text = self.dialogs()
            return text if fragment in text else None
        return wait_for(shown, "a dialog with %r" % fragment, deadline=timeout)

    def client_starts(self, timeout=30, count=1):
        """The stand-in client launcher's recorded starts (it logs beside itself, a whole
        line a start), once there are count of them or timeout seconds have passed."""
        path = os.path.join(self.client, "Proc.log")
        found = []

        def enough():
            if os.path.exists(path):
                with open(path, "rb") as f:
                    data = f.read()
                end = data.rfind(b"\r\n")
                found[:] = data[:end].decode("utf-8").splitlines() if end >= 0 else []
            return len(found) >= count
        try:
            wait_for(enough, "%d starts of the client launcher" % count, deadline=timeout, interval=0.1)
        except Failure:
            pass
        return found

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
            self.inspector.close(CLIENT_CLASS)
            if self.process is not None and self.process.poll() is None:
                self.inspector.close(MAIN_CLASS)
                try:
                    self.process.wait(timeout=15)
                except subprocess.TimeoutExpired:
                    self.process.kill()
        finally:
            if self.server is not None:
                self.server.stop()


# --- what several roads serve ----------------------------------------------------------

def serve_prerequisites(h, installer, webview=True):
    if webview:
        h.serve("/connector/pre/webview2.zip", {"webview2.exe": installer})
    h.serve("/connector/pre/vc2012.zip", {"vc2012.exe": installer})
    h.serve("/connector/pre/vc2022.zip", {"vc2022.exe": installer})


def installer_bytes(h):
    with open(os.path.join(h.bin, "E2EInstaller.exe"), "rb") as f:
        return f.read()


def installs(h):
    """The stand-in installers' record of their runs in the client folder."""
    path = os.path.join(h.client, "installers.log")
    return open(path, "rb").read().decode("utf-8").splitlines() if os.path.exists(path) else []
