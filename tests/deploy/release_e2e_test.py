#!/usr/bin/env python3
"""The operator's release road, for real: three versions of a client folder published
with `cvlctl.exe release` under Wine into a folder that Debian's nginx serves, checked
with `cvlctl.exe check-server`; then the real CVLauncher.exe under Wine, once from level
0 with an empty client folder and once from level 1 with the first version, reaches
level 3 with every file of the third version in the client folder, byte for byte.
Last, a copy of the server folder broken by hand (a patch missing, one corrupt) is
caught by check-server.

With --signed (the windows-signed build, whose launcher carries the throw-away update
keys a and b of CVL_SIGNING_TEST_KEY_DIR), every release is signed with key a, the
launcher checks each signature it fetches, check-server checks them with both public
keys, and the broken copy also holds a signature by a key the launcher does not carry.

Usage: release_e2e_test.py [--signed] --run WINE-RUNNER --bin BIN --work DIR
"""
import argparse
import hashlib
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import e2e_harness as e2e  # noqa: E402
from cvltest import Failure, free_port, write_tree  # noqa: E402
from nginx_e2e_test import OperatorRoad, wine_path  # noqa: E402
from nginx_prefix import Nginx  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from sample_settings import SAMPLE_SETTINGS  # noqa: E402


def block(seed, size):
    """Bytes deflate hardly shrinks, the same for the same seed."""
    out, digest = bytearray(), hashlib.sha256(b"%d" % seed).digest()
    while len(out) < size:
        digest = hashlib.sha256(digest).digest()
        out += digest
    return bytes(out[:size])


V1 = {
    "game.bin": block(1, 300000),
    "data/maps/map one.dat": block(2, 50000),
    "data/unchanged.dat": block(3, 20000),
    "data/empty.cfg": b"",
    "textes fran\u00e7ais/\u00e9t\u00e9.txt": "\u00e9t\u00e9 \u00e0 Paris\n".encode(),
}
V2 = dict(V1, **{
    "game.bin": block(4, 310000),
    "data/maps/map two.dat": block(5, 40000),
    "\ud55c\uad6d\uc5b4/\uc548\ub155.txt": "\uc548\ub155\ud558\uc138\uc694\n".encode(),
})
V3 = dict(V2, **{
    "data/maps/map one.dat": block(6, 50000),
    "data/new folder/0 bytes": b"",
})


def test_key(name):
    return os.path.join(os.environ["CVL_SIGNING_TEST_KEY_DIR"], name)


class ReleaseRoad(OperatorRoad):
    signed = False

    def publish(self, work):
        """Three releases into the served folder, and the language patches beside them."""
        self.settings = os.path.join(work, "settings.json")
        json.dump(dict(SAMPLE_SETTINGS, patchVersion=0), open(self.settings, "w"), indent=2)
        for number, files in enumerate((V1, V2, V3), start=1):
            client = os.path.join(work, f"client v{number}")
            write_tree(client, files)
            key = ["--key", wine_path(test_key("update-key-a.pem"))] if self.signed else []
            out = self.kit("release", "--settings", wine_path(self.settings), "--root", wine_path(self.server_dir),
                           *key, wine_path(client))
            self.check(f"published patch {number}" in out, f"release {number}: {out}")
        self.serve("/connector/patch/patch_english_lang.zip", {"lang/english.txt": "english"})
        self.serve("/connector/patch/patch_korean_lang.zip", {"lang/korean.txt": "korean"})
        if self.signed:
            folder = os.path.join(self.server_dir, "connector", "patch")
            self.kit("sign", "--key", wine_path(test_key("update-key-b.pem")),
                     *[wine_path(os.path.join(folder, f"patch_{l}_lang.zip")) for l in ("english", "korean")])

    def check_server(self, root):
        keys = []
        if self.signed:
            keys = ["--key", wine_path(test_key("update-key-a.pub")), "--key", wine_path(test_key("update-key-b.pub"))]
        out = self.wine(os.path.join(self.bin, "cvlctl.exe"), "check-server", "--settings", wine_path(self.settings),
                        "--root", wine_path(root), *keys, check=False)
        return out

    def start_at(self, level, files):
        """A player at `level` whose client folder holds `files`."""
        write_tree(self.client, files)
        with open(self.config_path(), "w", newline="") as f:
            f.write(f"[Options]\r\nPatchVersion={level}\r\nUpdateClientLanguage=0\r\n")
            f.write(self.kit("make-user", "--address", "127.0.0.1", "--port", str(self.port)))
        mark = len(self.nginx.requested_paths())
        self.start_launcher()
        self.wait_end()
        self.wait_client_closed()
        return self.since(mark)

    def check_client(self, what):
        for name, data in V3.items():
            path = os.path.join(self.client, name)
            got = open(path, "rb").read() if os.path.exists(path) else None
            self.check(got == data, f"{what}: {name!r} is {'missing' if got is None else 'not the third version'}")
        self.check("PatchVersion=3" in self.config(), f"{what}: level not written: {self.config()!r}")


def release_road(h, work):
    h.publish(work)
    out = h.check_server(h.server_dir)
    h.check("check-server: 0 fault(s)" in out and "patches 1 to 3" in out, "check-server: " + out)
    h.check(("and their signatures" in out) == h.signed, "check-server's signatures: " + out)

    h.port = free_port()
    prefix = os.path.join(work, "nginx")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    h.nginx = Nginx(prefix, h.server_dir, h.port)
    h.nginx.start()
    def patches(*levels):
        paths = []
        for n in levels:
            paths.append("/connector/patches/patch_%d.zip" % n)
            if h.signed:
                paths.append("/connector/patches/patch_%d.zip.sig" % n)
        return paths

    fetched = h.start_at(0, {})
    h.equal(fetched, ["/outgame/info"] + patches(1, 2, 3), "from level 0 fetched")
    h.check_client("from level 0")
    fetched = h.start_at(1, V1)
    h.equal(fetched, ["/outgame/info"] + patches(2, 3), "from level 1 fetched")
    h.check_client("from level 1")

    broken = os.path.join(work, "broken")
    shutil.rmtree(broken, ignore_errors=True)
    shutil.copytree(h.server_dir, broken)
    os.remove(os.path.join(broken, "connector", "patches", "patch_2.zip"))
    corrupt = os.path.join(broken, "connector", "patches", "patch_3.zip")
    data = bytearray(open(corrupt, "rb").read())
    data[len(data) // 3] ^= 0xFF  # inside the deflated data of an entry
    open(corrupt, "wb").write(bytes(data))
    expected = ["patch_2.zip: missing", "patch_3.zip: "]
    if h.signed:
        # The corrupt archive's signature fails too; patch 1 signed by a key the launcher lacks.
        expected = ["patch_1.zip: the signature does not verify"] + expected + ["patch_3.zip: the signature"]
        h.wine(os.path.join(h.bin, "cvlctl.exe"), "sign", "--key", wine_path(test_key("other-key.pem")),
               wine_path(os.path.join(broken, "connector", "patches", "patch_1.zip")))
    out = h.check_server(broken)
    faults = [line for line in out.splitlines() if line.startswith("fault: ")]
    h.check(len(faults) == len(expected) and all(e in f for e, f in zip(expected, faults)),
            "check-server of the broken folder: " + out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--run", nargs="+", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--signed", action="store_true")
    args = parser.parse_args()
    args.run = [os.path.abspath(args.run[0])] + args.run[1:]
    args.bin, args.work = os.path.abspath(args.bin), os.path.abspath(args.work)
    args.scenario, args.server = "release_road_signed" if args.signed else "release_road", ""
    shutil.rmtree(os.path.join(args.work, args.scenario), ignore_errors=True)  # a fresh start for the kit too
    os.makedirs(args.work, exist_ok=True)
    if not os.environ.get("DISPLAY"):
        print("this test needs a display (DISPLAY); scripts/test starts Xvfb")
        return 1
    h = ReleaseRoad(args)
    h.signed = args.signed
    h.nginx = None
    work = os.path.join(args.work, args.scenario)
    try:
        h.reg_add(e2e.INSTALL_KEY, "InstallPath", h.win_client)
        release_road(h, work)
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
