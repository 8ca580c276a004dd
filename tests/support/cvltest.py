#!/usr/bin/env python3
"""What the tests, the demo and the test command share: waiting for a condition, free
ports, ZIP files, programs run with their output read through a file, a virtual display,
screenshots, the window inspector, the connector server, values protected the way the
kit protects them, and a session that runs a command and leaves no process of it behind.

Import it with its folder on the path:

    sys.path.insert(0, os.path.join(<this repository>, "tests", "support"))
    import cvltest

Run as a program it is that session, for the test command and the demo:

    cvltest.py session [--xvfb] [--displays N-M] [--wineprefix DIR]... -- COMMAND...
"""
import argparse
import collections
import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import socket
import urllib.parse
import urllib.request
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The keys as the operator's documents give them, written out here rather than read from
# the program, so that the tests check the program's keys too.
SERVER_KEY = b"Rk2VtqPwZ8nHs4LxYc0uJbGe6MdN1aTfW3oQiS7hKlE="
USER_KEY = b"Gp7XcLm2Qw9ZtRb4YhNv0KdS6FjUa3eWo8iTn1Hy5Bs="


class Failure(Exception):
    pass


def wait_for(condition, what, deadline=30.0, interval=0.2):
    """condition()'s first true value, asked every interval seconds; Failure after deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def free_port():
    """A 127.0.0.1 port nothing listens on (at the moment of asking)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_tree(folder, files):
    """Makes `folder` anew holding exactly `files` ({relative path: bytes})."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def make_zip(path, members):
    """A deflated ZIP file of members: {name: text or bytes}."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in members.items():
            archive.writestr(name, data)


def stop(process, timeout=30):
    """Ends a started program: terminated, or killed when it does not end in time."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_captured(cmd, timeout=120, merge_stderr=True, **kwargs):
    """Runs cmd to its end: (exit status, its output as text). The output goes through a
    file, never a pipe: a Wine call that happens to start Wine's services again hands its
    output on to them, and a pipe would stay open long after the call has ended."""
    with tempfile.TemporaryFile() as output:
        done = subprocess.run(cmd, stdout=output, stderr=subprocess.STDOUT if merge_stderr else subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL, timeout=timeout, **kwargs)
        output.seek(0)
        return done.returncode, output.read().decode("utf-8", errors="replace")


# --- values protected like the kit protects them --------------------------------------

def openssl_encrypt(data, key=SERVER_KEY, pad=True):
    """AES-128-CBC with key and IV from the key text, Base64: by openssl, not the program.
    Without pad, data is a whole number of blocks, encrypted as it is."""
    hexkey = key[:16].hex()
    return subprocess.run(["openssl", "enc", "-aes-128-cbc", "-K", hexkey, "-iv", hexkey, "-base64", "-A"] +
                          ([] if pad else ["-nopad"]), input=data, capture_output=True, check=True).stdout.strip()


def openssl_decrypt(text, key=SERVER_KEY):
    hexkey = key[:16].hex()
    return subprocess.run(["openssl", "enc", "-aes-128-cbc", "-d", "-K", hexkey, "-iv", hexkey, "-base64", "-A"],
                          input=text + b"\n", capture_output=True, check=True).stdout


def protect(text, key=SERVER_KEY):
    """The protected form of an ISO 8859-1 text."""
    return openssl_encrypt(text.encode("latin-1"), key).decode()


def unprotect(text, key=SERVER_KEY):
    return openssl_decrypt(text.encode(), key).decode("latin-1")


# --- the display ------------------------------------------------------------------------

class Xvfb:
    """A virtual display on the first free number of first..last; CVL_XVFB_DISPLAYS
    ("N-M") narrows the range, for machines where others use displays too."""

    def __init__(self, first=90, last=130):
        chosen = os.environ.get("CVL_XVFB_DISPLAYS")
        if chosen:
            first, last = (int(n) for n in chosen.split("-"))
        self.numbers = range(first, last + 1)
        self.process = None
        self.name = None

    def start(self):
        for n in self.numbers:
            socket_path = "/tmp/.X11-unix/X%d" % n
            if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists(socket_path):
                continue
            process = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            # Another program may take the same number at the same moment: then this
            # Xvfb ends at once and the next number is tried.
            wait_for(lambda: os.path.exists(socket_path) or process.poll() is not None, "Xvfb :%d" % n)
            if process.poll() is None:
                self.process, self.name = process, ":%d" % n
                return self
        raise Failure("no free display among :%d to :%d" % (self.numbers[0], self.numbers[-1]))

    def stop(self):
        if self.process is not None:
            stop(self.process, timeout=10)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def screenshot(path):
    """The whole screen of DISPLAY as a PNG file."""
    subprocess.run(["import", "-window", "root", path], check=True, timeout=60)


def crop(source, rect, target):
    """target: the rectangle (left, top, right, bottom) of the picture source."""
    left, top, right, bottom = rect
    subprocess.run(["convert", source, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                    "+repage", target], check=True, timeout=60)


class Inspector:
    """WindowInspector.exe under Wine: windows, their children's texts and message boxes,
    read from outside."""

    def __init__(self, run, exe):
        self.command = list(run) + [exe]

    def call(self, *args):
        """(exit status, non-empty output lines)."""
        status, text = run_captured(self.command + list(args), timeout=60, merge_stderr=False)
        return status, [line for line in text.splitlines() if line]

    def windows(self, window_class=None):
        """Top-level windows: class, title, visible and rect (left, top, right, bottom)."""
        found = []
        for line in self.call("list")[1]:
            parts = line.split("\t")
            if len(parts) == 4 and window_class in (None, parts[0]):
                found.append({"class": parts[0], "title": parts[1], "visible": parts[2] == "1",
                              "rect": tuple(int(v) for v in parts[3].split(","))})
        return found

    def children(self, window_class, kind="names"):
        """{control id: (visible, text)} of the window's children: their accessible names,
        or (kind "texts") their window texts, read without a message to the window."""
        found = {}
        for line in self.call(kind, window_class)[1]:
            parts = line.split("\t")
            if len(parts) == 4:
                found[int(parts[0])] = (parts[2] == "1", parts[3].replace("\\r", "\r").replace("\\n", "\n"))
        return found

    def dialogs(self):
        """Visible message boxes: {title: [(child class, text), ...]}."""
        boxes = collections.defaultdict(list)
        for line in self.call("dialogs")[1]:
            parts = line.split("\t")
            if len(parts) == 3:
                boxes[parts[0]].append((parts[1].lower(), parts[2]))
        return boxes

    def close(self, window_class):
        return self.call("close", window_class)[0]

    def press(self, title, button):
        return self.call("press", title, button)[0]


# --- the connector server ---------------------------------------------------------------

class ConnectorServer:
    """The native connector server on 127.0.0.1 (a free port unless one is given).

        with ConnectorServer(binary, root=..., info=...) as server:
            server.url("/outgame/info")
    """

    def __init__(self, binary, root=None, info=None, rules=(), port=0):
        self.binary = binary
        self.args = ["--port", str(port)]
        if root:
            self.args += ["--root", str(root)]
        if info:
            self.args += ["--info", str(info)]
        for rule in rules:
            self.args += ["--rule", rule]
        self.process = None
        self.port = None

    def start(self):
        self.folder = tempfile.TemporaryDirectory(prefix="cvl-server-")
        port_file = os.path.join(self.folder.name, "port")
        self.process = subprocess.Popen([self.binary] + self.args + ["--port-file", port_file],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL)

        def port_written():
            if self.process.poll() is not None:
                raise Failure("connector-server ended at its start (status %d)" % self.process.returncode)
            if os.path.exists(port_file):
                with open(port_file) as f:
                    return f.read().strip()
            return None
        self.port = int(wait_for(port_written, "the connector server to start", interval=0.05))
        return self

    def stop(self):
        if self.process is not None:
            stop(self.process)
            self.process = None
            self.folder.cleanup()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def url(self, path):
        return "http://%s%s" % (self.address, path)

    def rule(self, path, **settings):
        query = urllib.parse.urlencode(dict(path=path, **settings))
        with urllib.request.urlopen(self.url("/__rule?" + query), timeout=30) as answer:
            answer.read()

    def requests(self):
        """The requests served so far, oldest first: {"path": ..., ...} each."""
        with urllib.request.urlopen(self.url("/__requests"), timeout=30) as answer:
            return json.load(answer)


# --- the session ------------------------------------------------------------------------

def stop_wineserver(prefix):
    """Ends the Wine processes and the wineserver of a prefix, when it has any."""
    if os.path.isdir(prefix):
        env = dict(os.environ, WINEPREFIX=prefix)
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def _adopt_orphans():
    # A child subreaper: what the command leaves running (a daemon such as the
    # wineserver or nginx, a server whose test was killed) becomes this process's child.
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def _children():
    mine = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    # The parent's id follows the name in brackets and the state.
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == os.getpid():
                        mine.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return mine


def _reap():
    """Collects every child that has ended; {pid: exit status}."""
    ended = {}
    while True:
        try:
            pid, status = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return ended
        if pid == 0:
            return ended
        ended[pid] = os.waitstatus_to_exitcode(status)


def _end_children(deadline=20.0):
    """Ends whatever is still running below this process: a terminate, then a kill."""
    end = time.monotonic() + deadline
    while True:
        _reap()
        left = _children()
        if not left:
            return
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL if time.monotonic() > end else signal.SIGTERM)
            except ProcessLookupError:
                pass
        time.sleep(0.1)


def _signal_group(pid, signum):
    try:
        os.killpg(pid, signum)
    except ProcessLookupError:
        pass


def run_session(command, xvfb=None, wineprefixes=()):
    """Runs command in a session of its own, on the display xvfb (an Xvfb, started
    here) or DISPLAY, and returns its exit status once it, the Wine of each prefix and
    every process it started have ended. SIGINT, SIGTERM and SIGHUP go on to the command
    as SIGINT, so its tests clean up after themselves; what is left 30 s later is killed.
    After such a signal this process ends by it too."""
    _adopt_orphans()
    signals = []
    # Set before the command starts, which so gets these signals' default handling even
    # where this process was started with them ignored (in the background of a script).
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, lambda signum, _frame: signals.append(signum))
    env = dict(os.environ)
    status = 1
    try:
        if xvfb is not None:
            xvfb.start()
            env["DISPLAY"] = xvfb.name
            print("session: Xvfb on %s" % xvfb.name, flush=True)
        if not signals:
            child = subprocess.Popen(command, env=env, start_new_session=True)
            status, given_up = None, None
            while status is None:
                status = _reap().get(child.pid)
                if signals and given_up is None:
                    given_up = time.monotonic() + 30
                    _signal_group(child.pid, signal.SIGINT)
                elif given_up is not None and time.monotonic() > given_up:
                    _signal_group(child.pid, signal.SIGKILL)
                if status is None:
                    time.sleep(0.1)
    finally:
        for prefix in wineprefixes:
            stop_wineserver(prefix)
        _end_children()
        if xvfb is not None:
            xvfb.stop()
    if signals:
        signal.signal(signals[0], signal.SIG_DFL)
        os.kill(os.getpid(), signals[0])
    return status


def main():
    parser = argparse.ArgumentParser(description="Runs COMMAND and leaves no process of it behind.")
    sub = parser.add_subparsers(dest="what", required=True)
    session = sub.add_parser("session")
    session.add_argument("--xvfb", action="store_true", help="run COMMAND on a virtual display of its own")
    session.add_argument("--displays", default="90-130", help="the display numbers Xvfb may take, N-M")
    session.add_argument("--wineprefix", action="append", default=[], help="a Wine prefix to stop at the end")
    session.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("session needs a COMMAND after --")
    xvfb = Xvfb(*(int(n) for n in args.displays.split("-"))) if args.xvfb else None
    try:
        return run_session(command, xvfb, args.wineprefix)
    except Failure as failure:
        print("session: %s" % failure)
        return 1


if __name__ == "__main__":
    sys.exit(main())
