#!/usr/bin/env python3
"""Runs the Windows network tests under Wine against the native connector server.

Makes the server's files (a patch archive made by `zip`, the plain information values),
starts the server on a free 127.0.0.1 port, and runs the test program with
CVL_TEST_SERVER (address:port), CVL_CLOSED_PORT (a port nothing listens on) and
CVL_TEST_ROOT (the served folder, as a Windows path) and CVL_LINK_CASE (a client folder
with a link in it, and an archive writing through the link) in its environment.

Usage: run_net_tests.py --server SERVER -- RUNNER... TEST_PROGRAM
"""
import os
import subprocess
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from cvltest import ConnectorServer, free_port, make_zip  # noqa: E402

INFO = """result_code=SUCCESS
serverIp=10.0.0.7
serverPort=7000
browserUrl=http://example.invalid/b
vdnbin=/files/client.bin
vdnbinSize=1234
vdnbinVersion=1.2.3
libcocos=/files/cocos.dll
libcocosSize=55
libcocosVersion=3.1
msdll=/files/ms.dll
msdllSize=66
msdllVersion=9
patch={"download_path":"/connector/patch/"}
patchVersion=42
boxdll=/files/box.dll
craft=/files/craft.dat
engines=a,b
clientCount=3
log=TRUE
createUri=/create
loginUri=/login
clientSideKey=11
dllPassword=12
C_CHANNEL=13
C_LOGIN=14
C_LOGOUT=15
S_CUSTOM_MESSAGE_BOX=16
S_KEY=17
S_EXTENDED_PROTO_BUF=18
C_EXTENDED_PROTO_BUF=19
"""


def make_files(work):
    root = os.path.join(work, "root")
    patch = os.path.join(root, "connector", "patch")
    source = os.path.join(work, "source")
    os.makedirs(patch)
    os.makedirs(os.path.join(source, "sub"))
    with open(os.path.join(source, "sub", "file.txt"), "w") as f:
        f.write("new")
    with open(os.path.join(source, "noise.bin"), "wb") as f:
        f.write(os.urandom(300 * 1024))
    subprocess.run(["zip", "-qr0", os.path.join(patch, "patch_1.zip"), "."], cwd=source, check=True)
    info = os.path.join(work, "info.txt")
    with open(info, "w") as f:
        f.write(INFO)
    # A client folder holding a link to a folder outside it (Wine shows a host link as a
    # reparse point), and an archive that would write through it.
    links = os.path.join(work, "links")
    os.makedirs(os.path.join(links, "target"))
    os.makedirs(os.path.join(links, "outside"))
    os.symlink(os.path.join(links, "outside"), os.path.join(links, "target", "lnk"))
    make_zip(os.path.join(links, "links.zip"), {"good.txt": "good", "lnk/evil.txt": "evil"})
    return root, info


def main():
    args = sys.argv[1:]
    server_binary = args[args.index("--server") + 1]
    command = args[args.index("--") + 1:]
    if not os.path.exists(server_binary):
        print("run_net_tests: %s is missing; build the native preset first" % server_binary)
        return 1
    with tempfile.TemporaryDirectory(prefix="cvl-net-") as work:
        root, info = make_files(work)
        with ConnectorServer(server_binary, root=root, info=info) as server:
            # The same answer under another path, for the redirect of the query.
            os.makedirs(os.path.join(root, "alt"))
            with urllib.request.urlopen(server.url("/outgame/info"), timeout=30) as answer:
                with open(os.path.join(root, "alt", "info.json"), "wb") as f:
                    f.write(answer.read())
            env = dict(os.environ, CVL_TEST_SERVER=server.address, CVL_CLOSED_PORT=str(free_port()),
                       CVL_TEST_ROOT="Z:" + root.replace("/", "\\"),
                       CVL_LINK_CASE="Z:" + os.path.join(work, "links").replace("/", "\\"))
            return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, timeout=800).returncode


if __name__ == "__main__":
    sys.exit(main())
