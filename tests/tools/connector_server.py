"""Starts the native connector server on a free 127.0.0.1 port for a test, and stops it.

    with ConnectorServer(binary, root=..., info=...) as server:
        server.url("/outgame/info")
"""
import json
import os
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request


class ConnectorServer:
    def __init__(self, binary, root=None, info=None, rules=()):
        self.binary = binary
        self.args = ["--port", "0"]
        if root:
            self.args += ["--root", str(root)]
        if info:
            self.args += ["--info", str(info)]
        for rule in rules:
            self.args += ["--rule", rule]
        self.process = None
        self.port = None

    def __enter__(self):
        self.folder = tempfile.TemporaryDirectory(prefix="cvl-server-")
        port_file = os.path.join(self.folder.name, "port")
        self.process = subprocess.Popen([self.binary] + self.args + ["--port-file", port_file],
                                        stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("connector-server did not start")
            time.sleep(0.05)
        with open(port_file) as f:
            self.port = int(f.read())
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.folder.cleanup()

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
        with urllib.request.urlopen(self.url("/__requests"), timeout=30) as answer:
            return json.load(answer)
