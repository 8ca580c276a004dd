#!/usr/bin/env python3
"""The patch run (3): ten numbered patches served by the connector server on 127.0.0.1.
CVLauncher.exe under Wine, from its start to its end (the client launcher started), against
curl downloading the same archives plus `unzip` natively, alternating.

Where the launcher's time goes is read from the disk, polled every 10 ms: downloading
(the URL moniker's cache file of a patch growing in the prefix's INetCache), handing the
download over (patch_N.zip present in the client folder, no staging folder: the moniker
copies its cache file there), unpacking (the extractor's staging folder ".cvl-unpack-*"
present), the patch tool (patchtool.exe present), and the rest (start-up, the server
query, writing and starting the client launcher, closing).
The third side, URLDownloadToFileW alone (bench/urldownload.cpp), shows what the
downloads cost under Wine without the launcher around them.
Usage: bench_patchrun.py WINE-RUN WINDOWS-BIN NATIVE-BIN DATA-DIR WORK-DIR [REPEATS [URLDOWNLOAD-EXE]]"""
import getpass
import glob
import os
import shutil
import statistics
import subprocess
import sys
import time

from benchlib import table, timed

COUNT = 10
INFO_VALUES = {
    "result_code": "SUCCESS", "serverIp": "127.0.0.1", "serverPort": "7000", "browserUrl": "http://b/",
    "vdnbin": "/bin/vdn.zip", "vdnbinSize": "100", "vdnbinVersion": "1.0",
    "libcocos": "/bin/cocos.zip", "libcocosSize": "200", "libcocosVersion": "2.0",
    "msdll": "/bin/ms.zip", "msdllSize": "300", "msdllVersion": "3.0",
    "patch": '{"download_path": "/connector/patches/"}', "patchVersion": str(COUNT),
    "boxdll": "/bin/box.zip", "craft": "/bin/craft.zip", "engines": "e", "clientCount": "2",
    "log": "false", "createUri": "/c", "loginUri": "/l", "clientSideKey": "1", "dllPassword": "2",
    "C_CHANNEL": "3", "C_LOGIN": "4", "C_LOGOUT": "5", "S_CUSTOM_MESSAGE_BOX": "6", "S_KEY": "7",
    "S_EXTENDED_PROTO_BUF": "8", "C_EXTENDED_PROTO_BUF": "9",
}
INSTALL_KEY = r"HKLM\SOFTWARE\WOW6432Node\Corvanthe"


class Setup:
    def __init__(self, wine_run, win_bin, native_bin, data, work):
        self.wine_run, self.native_bin, self.work = wine_run, native_bin, work
        self.patches = os.path.join(data, "server", "connector", "patches")
        prefix = os.path.join(os.path.dirname(wine_run), "wineprefix")
        self.root = os.path.join(prefix, "drive_c", "cvl-bench")
        self.cache = os.path.join(prefix, "drive_c", "users", getpass.getuser(),
                                  "AppData", "Local", "Microsoft", "Windows", "INetCache", "Content.IE5")
        self.client = os.path.join(self.root, "Client")
        self.launcher_dir = os.path.join(self.root, "Launcher")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.launcher_dir)
        shutil.copy(os.path.join(win_bin, "CVLauncher.exe"), self.launcher_dir)
        self.win_launcher = r"C:\cvl-bench\Launcher\CVLauncher.exe"
        subprocess.run([wine_run, "reg", "add", INSTALL_KEY, "/v", "InstallPath", "/t", "REG_SZ",
                        "/d", r"C:\cvl-bench\Client", "/f"], check=True, capture_output=True)
        self.start_server(data)

    def start_server(self, data):
        os.makedirs(self.work, exist_ok=True)
        port_file = os.path.join(self.work, "port")
        info_file = os.path.join(self.work, "info.txt")
        if os.path.exists(port_file):
            os.remove(port_file)
        with open(info_file, "w") as f:
            f.writelines(f"{k}={v}\n" for k, v in INFO_VALUES.items())
        self.server = subprocess.Popen(
            [os.path.join(self.native_bin, "connector-server"), "--port", "0", "--port-file", port_file,
             "--root", os.path.join(data, "server"), "--info", info_file],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not (os.path.exists(port_file) and open(port_file).read().strip()):
            if time.time() > deadline:
                raise RuntimeError("connector server did not start")
            time.sleep(0.05)
        self.port = open(port_file).read().strip()

    def protect_user(self, text):
        return subprocess.run([os.path.join(self.native_bin, "cvlctl"), "encrypt", "--key", "user", text],
                              capture_output=True, text=True, check=True).stdout.strip()

    def fresh_client(self):
        shutil.rmtree(self.client, ignore_errors=True)
        os.makedirs(self.client)
        lines = ["[Options]", "PatchVersion=0", "UpdateClientLanguage=0", "[User]",
                 "recovery=" + self.protect_user("127.0.0.1"), "email=" + self.protect_user(self.port)]
        with open(os.path.join(self.launcher_dir, "CVLauncher.cfg"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
        log = os.path.join(self.launcher_dir, "CVLauncher.log")
        if os.path.exists(log):
            os.remove(log)

    def stop_client_launcher(self):
        for image in ("Proc.exe", "LEProc.exe"):
            subprocess.run([self.wine_run, "taskkill", "/f", "/im", image], capture_output=True)

    def close(self):
        self.server.terminate()
        self.server.wait(timeout=10)


def cache_bytes(cache):
    """Bytes of the patch downloads in the URL moniker's cache."""
    total = 0
    for folder in glob.glob(os.path.join(cache, "*")):
        for name in glob.glob(os.path.join(folder, "patch_*")):
            try:
                total += os.path.getsize(name)
            except OSError:
                pass
    return total


def phase_of(names, cache_grew):
    if any(n.startswith(".cvl-unpack-") for n in names):
        return "unpacking"
    if "patchtool.exe" in names:
        return "patch tool"
    if any(n.startswith("patch_") and n.endswith(".zip") for n in names):
        return "hand-over"
    if cache_grew:
        return "download"
    return "other"


def launcher_run(s):
    s.fresh_client()
    for old in glob.glob(os.path.join(s.cache, "*", "patch_*")):
        os.remove(old)
    spent = {"download": 0.0, "hand-over": 0.0, "unpacking": 0.0, "patch tool": 0.0, "other": 0.0}
    start = time.monotonic()
    proc = subprocess.Popen([s.wine_run, s.win_launcher], cwd=s.work, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    last = start
    cached = cache_bytes(s.cache)
    while proc.poll() is None:
        if time.monotonic() - start > 900:
            proc.kill()
            raise RuntimeError("the launcher did not end within 900 s")
        try:
            names = os.listdir(s.client)
        except FileNotFoundError:
            names = []
        now_cached = cache_bytes(s.cache)
        now = time.monotonic()
        spent[phase_of(names, now_cached != cached)] += now - last
        cached = now_cached
        last = now
        time.sleep(0.01)
    total = time.monotonic() - start
    spent["other"] += total - (last - start)
    s.stop_client_launcher()
    done = [f for f in os.listdir(s.client) if f.startswith("patch") and f.endswith(".pak")]
    if len(done) != COUNT:
        raise RuntimeError(f"the launcher unpacked {len(done)} of {COUNT} patches: {sorted(os.listdir(s.client))}")
    return total, spent


def curl_unzip_run(s):
    out = os.path.join(s.work, "client")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    spent = {"download": 0.0, "unpacking": 0.0}
    for n in range(1, COUNT + 1):
        archive = os.path.join(out, f"patch_{n}.zip")
        url = f"http://127.0.0.1:{s.port}/connector/patches/patch_{n}.zip"
        spent["download"] += timed(["curl", "-s", "-f", "-o", archive, url])[0]
        spent["unpacking"] += timed(["unzip", "-o", "-q", archive, "-d", out])[0]
        os.remove(archive)
    return sum(spent.values()), spent


def moniker_run(s, exe):
    """The same downloads by URLDownloadToFileW alone, under the same Wine."""
    folder = os.path.join(s.root, "Moniker")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for old in glob.glob(os.path.join(s.cache, "*", "patch_*")):
        os.remove(old)
    args = []
    for n in range(1, COUNT + 1):
        args += [f"http://127.0.0.1:{s.port}/connector/patches/patch_{n}.zip", f"C:\\cvl-bench\\Moniker\\patch_{n}.zip"]
    seconds = timed([s.wine_run, exe] + args, cwd=s.work)[0]
    shutil.rmtree(folder, ignore_errors=True)
    return seconds, {"download": seconds}


def main():
    wine_run, win_bin, native_bin, data, work = (os.path.abspath(a) for a in sys.argv[1:6])
    repeats = int(sys.argv[6]) if len(sys.argv) > 6 else 3
    moniker = os.path.abspath(sys.argv[7]) if len(sys.argv) > 7 else None
    s = Setup(wine_run, win_bin, native_bin, data, work)
    runs = {"CVLauncher.exe (Wine)": [], "curl + unzip (native)": []}
    if moniker:
        runs["URLDownloadToFileW alone (Wine)"] = []
    try:
        for r in range(repeats):
            order = list(runs)[r % len(runs):] + list(runs)[:r % len(runs)]
            for name in order:
                if name.startswith("CVL"):
                    runs[name].append(launcher_run(s))
                elif name.startswith("curl"):
                    runs[name].append(curl_unzip_run(s))
                else:
                    runs[name].append(moniker_run(s, moniker))
    finally:
        s.close()
    size = sum(os.path.getsize(os.path.join(s.patches, f"patch_{n}.zip")) for n in range(1, COUNT + 1))
    print(f"### The patch run: {COUNT} patches, {size / 2**20:.0f} MB in all\n")
    rows = []
    phases = ["download", "hand-over", "unpacking", "patch tool", "other"]
    for name, samples in runs.items():
        totals = [t for t, _ in samples]
        cells = [f"{statistics.median(sp.get(p, 0.0) for _, sp in samples):.2f}" if p in samples[0][1] else "-"
                 for p in phases]
        rows.append([name, f"{statistics.median(totals):.2f}"] + cells + [" ".join(f"{t:.2f}" for t in totals)])
    print(table(["side", "median s", "download s", "hand-over s", "unpacking s", "patch tool s", "other s", "runs s"], rows))
    ours = statistics.median(t for t, _ in runs["CVLauncher.exe (Wine)"])
    theirs = statistics.median(t for t, _ in runs["curl + unzip (native)"])
    print(f"\nCVLauncher.exe / curl + unzip: **{ours / theirs:.2f}**\n")


if __name__ == "__main__":
    main()
