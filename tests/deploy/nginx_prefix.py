"""Debian's nginx serving a folder on 127.0.0.1, with everything it writes (pid, logs,
temporary files) under one prefix folder: the deployment recipe of docs/operators.md."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import Failure, wait_for  # noqa: E402

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"

NGINX_CONF = """worker_processes 1;
pid {prefix}/nginx.pid;
error_log {prefix}/error.log;
events {{}}
http {{
  access_log {prefix}/access.log;
  client_body_temp_path {prefix}/body;
  proxy_temp_path {prefix}/proxy;
  fastcgi_temp_path {prefix}/fastcgi;
  uwsgi_temp_path {prefix}/uwsgi;
  scgi_temp_path {prefix}/scgi;
  types {{ application/zip zip; }}
  default_type application/octet-stream;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    location = /outgame/info {{
      default_type application/json;
      charset utf-8;
      add_header Cache-Control no-cache;
    }}
    location ~ /patch_[0-9]+\.zip(\.sig)?$ {{
      add_header Cache-Control "public, max-age=31536000, immutable";
    }}
    location / {{
      add_header Cache-Control no-cache;
    }}
  }}
}}
"""


class Nginx:
    """nginx with everything it writes under one prefix folder."""

    def __init__(self, prefix, root, port):
        self.prefix, self.port = prefix, port
        self.conf = os.path.join(prefix, "nginx.conf")
        open(self.conf, "w").write(NGINX_CONF.format(prefix=prefix, root=root, port=port))

    def command(self, *extra):
        return [NGINX, "-p", self.prefix, "-e", os.path.join(self.prefix, "error.log"), "-c", self.conf] + list(extra)

    def start(self):
        subprocess.run(self.command(), check=True, capture_output=True, timeout=60)

        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_for(listening, "nginx to listen", interval=0.05)

    def stop(self):
        pid_file = os.path.join(self.prefix, "nginx.pid")
        if not os.path.exists(pid_file):
            return
        pid = int(open(pid_file).read())
        subprocess.run(self.command("-s", "quit"), capture_output=True, timeout=60)

        def ended():
            try:
                os.kill(pid, 0)
                return False
            except ProcessLookupError:
                return True
        try:
            wait_for(ended, "nginx to quit", interval=0.05)
        except Failure:
            os.kill(pid, signal.SIGTERM)

    def requested_paths(self):
        """The paths asked for so far, in order, from the access log."""
        log = open(os.path.join(self.prefix, "access.log"), encoding="latin-1").read()
        return re.findall(r'"GET (\S+) HTTP/[\d.]+"', log)

