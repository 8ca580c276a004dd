"""The launcher under Wine against the connector server on 127.0.0.1: the harness the patch
run, the line, the resume, the signature and the memory benchmarks share.

Each launcher build is copied into a folder of its own in the prefix (C:\\cvl-bench\\NAME),
all of them update the same client folder (C:\\cvl-bench\\Client, the prefix's install
path). A run starts from an empty client folder at level 0 and ends when the launcher ends
(the client launcher started); the patches must then all be unpacked.

Where the launcher's time goes is read from the client folder, polled every 10 ms:
  download    "patch_N.zip.part" present: the launcher writes the download there and
              renames it to patch_N.zip once whole (a cut attempt leaves it for the next)
  check       patch_N.zip whole and not yet unpacking: in a build with an update key the
              signature's download ("patch_N.zip.sig.part", "patch_N.zip.sig") and check,
              in one without only the step from the download to the unpack
  unpacking   the extractor's staging folder ".cvl-unpack-*" present
  patch tool  "patchtool.exe" present
  other       start-up, the server query, writing and starting the client launcher, closing
The peak resident memory is the VmHWM of the process that runs CVLauncher.exe (the process
wine-run.sh becomes: its cmdline is the program's Windows path), read at every poll."""
import json
import os
import shutil
import statistics
import subprocess
import time
import urllib.parse
import urllib.request
import zipfile

from benchlib import resident_peak_mb, table, timed

INSTALL_KEY = r"HKLM\SOFTWARE\WOW6432Node\Corvanthe"
PHASES = ["download", "check", "unpacking", "patch tool", "other"]


def info_values(count):
    return {
        "result_code": "SUCCESS", "serverIp": "127.0.0.1", "serverPort": "7000", "browserUrl": "http://b/",
        "vdnbin": "/bin/vdn.zip", "vdnbinSize": "100", "vdnbinVersion": "1.0",
        "libcocos": "/bin/cocos.zip", "libcocosSize": "200", "libcocosVersion": "2.0",
        "msdll": "/bin/ms.zip", "msdllSize": "300", "msdllVersion": "3.0",
        "patch": '{"download_path": "/connector/patches/"}', "patchVersion": str(count),
        "boxdll": "/bin/box.zip", "craft": "/bin/craft.zip", "engines": "e", "clientCount": "2",
        "log": "false", "createUri": "/c", "loginUri": "/l", "clientSideKey": "1", "dllPassword": "2",
        "C_CHANNEL": "3", "C_LOGIN": "4", "C_LOGOUT": "5", "S_CUSTOM_MESSAGE_BOX": "6", "S_KEY": "7",
        "S_EXTENDED_PROTO_BUF": "8", "C_EXTENDED_PROTO_BUF": "9",
    }


def patch_path(n):
    return f"/connector/patches/patch_{n}.zip"


class LauncherBench:
    """launchers: {folder name: CVLauncher.exe of a build}."""

    def __init__(self, wine_run, native_bin, work, launchers):
        self.wine_run, self.native_bin, self.work = wine_run, native_bin, work
        self.server = None
        prefix = os.path.join(os.path.dirname(wine_run), "wineprefix")
        self.root = os.path.join(prefix, "drive_c", "cvl-bench")
        self.client = os.path.join(self.root, "Client")
        shutil.rmtree(self.root, ignore_errors=True)
        for name, exe in launchers.items():
            os.makedirs(os.path.join(self.root, name))
            shutil.copy(exe, os.path.join(self.root, name))
        subprocess.run([wine_run, "reg", "add", INSTALL_KEY, "/v", "InstallPath", "/t", "REG_SZ",
                        "/d", r"C:\cvl-bench\Client", "/f"], check=True, capture_output=True)
        os.makedirs(work, exist_ok=True)

    # --- the connector server -----------------------------------------------------------

    def serve(self, root, count, rules=()):
        """(Re)starts the server on ROOT announcing COUNT patches; rules as --rule takes them."""
        self.close()
        self.count = count
        port_file = os.path.join(self.work, "port")
        info_file = os.path.join(self.work, "info.txt")
        if os.path.exists(port_file):
            os.remove(port_file)
        with open(info_file, "w") as f:
            f.writelines(f"{k}={v}\n" for k, v in info_values(count).items())
        command = [os.path.join(self.native_bin, "connector-server"), "--port", "0", "--port-file", port_file,
                   "--root", root, "--info", info_file]
        for rule in rules:
            command += ["--rule", rule]
        self.server = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not (os.path.exists(port_file) and open(port_file).read().strip()):
            if time.time() > deadline or self.server.poll() is not None:
                raise RuntimeError("connector server did not start")
            time.sleep(0.05)
        self.port = open(port_file).read().strip()
        self.patches = os.path.join(root, "connector", "patches")
        self.entries = set()  # what a finished run has unpacked
        for n in range(1, count + 1):
            with zipfile.ZipFile(os.path.join(self.patches, f"patch_{n}.zip")) as archive:
                self.entries.update(name.rstrip("/") for name in archive.namelist())

    def control(self, request, **query):
        url = f"http://127.0.0.1:{self.port}{request}"
        if query:
            url += "?" + urllib.parse.urlencode(query)
        with urllib.request.urlopen(url, timeout=30) as answer:
            return answer.read()

    def rule(self, path, **settings):
        self.control("/__rule", path=path, **settings)

    def requests(self, path=None):
        return [r for r in json.loads(self.control("/__requests")) if path is None or r["path"] == path]

    def close(self):
        if self.server:
            self.server.terminate()
            self.server.wait(timeout=10)
            self.server = None

    # --- runs ---------------------------------------------------------------------------

    def protect_user(self, text):
        return subprocess.run([os.path.join(self.native_bin, "cvlctl"), "encrypt", "--key", "user", text],
                              capture_output=True, text=True, check=True).stdout.strip()

    def fresh_client(self, launcher):
        shutil.rmtree(self.client, ignore_errors=True)
        os.makedirs(self.client)
        lines = ["[Options]", "PatchVersion=0", "UpdateClientLanguage=0", "[User]",
                 "recovery=" + self.protect_user("127.0.0.1"), "email=" + self.protect_user(self.port)]
        folder = os.path.join(self.root, launcher)
        with open(os.path.join(folder, "CVLauncher.cfg"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
        log = os.path.join(folder, "CVLauncher.log")
        if os.path.exists(log):
            os.remove(log)

    def stop_client_launcher(self):
        for image in ("Proc.exe", "LEProc.exe"):
            subprocess.run([self.wine_run, "taskkill", "/f", "/im", image], capture_output=True)

    def launcher_run(self, launcher, limit=900, during=None):
        """One update by C:\\cvl-bench\\LAUNCHER\\CVLauncher.exe from level 0 to the last patch.
        during(names, peak), when given, is called at every poll with the client folder's
        names and the peak memory so far.
        Returns (seconds, {phase: seconds}, peak resident MB)."""
        self.fresh_client(launcher)
        windows_path = f"C:\\cvl-bench\\{launcher}\\CVLauncher.exe"
        spent = dict.fromkeys(PHASES, 0.0)
        peak = 0.0
        start = last = time.monotonic()
        proc = subprocess.Popen([self.wine_run, windows_path], cwd=self.work, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while proc.poll() is None:
            if time.monotonic() - start > limit:
                proc.kill()
                raise RuntimeError(f"the launcher did not end within {limit} s")
            try:
                names = os.listdir(self.client)
            except FileNotFoundError:
                names = []
            peak = max(peak, resident_peak_mb(proc.pid, windows_path) or 0.0)
            if during:
                during(names, peak)
            now = time.monotonic()
            spent[phase_of(names)] += now - last
            last = now
            time.sleep(0.01)
        total = time.monotonic() - start
        spent["other"] += total - (last - start)
        self.stop_client_launcher()
        missing = [name for name in self.entries if not os.path.exists(os.path.join(self.client, name))]
        if missing:
            raise RuntimeError(f"{launcher} did not unpack {sorted(missing)[:5]} ({len(missing)} missing); "
                               f"the client folder: {sorted(os.listdir(self.client))[:20]}")
        shutil.rmtree(self.client, ignore_errors=True)
        return total, spent, peak

    def curl_unzip_run(self):
        """The same patches by curl and `unzip`, natively, one after the other."""
        out = os.path.join(self.work, "client")
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        spent = {"download": 0.0, "unpacking": 0.0}
        for n in range(1, self.count + 1):
            archive = os.path.join(out, f"patch_{n}.zip")
            url = f"http://127.0.0.1:{self.port}{patch_path(n)}"
            spent["download"] += timed(["curl", "-s", "-f", "-o", archive, url])[0]
            spent["unpacking"] += timed(["unzip", "-o", "-q", archive, "-d", out])[0]
            os.remove(archive)
        shutil.rmtree(out, ignore_errors=True)
        return sum(spent.values()), spent, None


def phase_of(names):
    if any(n.startswith(".cvl-unpack-") for n in names):
        return "unpacking"
    if "patchtool.exe" in names:
        return "patch tool"
    patches = [n for n in names if n.startswith("patch_")]
    if any(".zip.sig" in n for n in patches):
        return "check"
    if any(n.endswith(".zip.part") for n in patches):
        return "download"
    if any(n.endswith(".zip") for n in patches):
        return "check"
    return "other"


def phase_table(runs):
    """Markdown of {side: [(seconds, {phase: seconds}, peak MB or None), ...]}: medians of
    the total, of each phase a side has, and of the peak memory, then every run's total."""
    rows = []
    for name, samples in runs.items():
        cells = [f"{statistics.median(sp[p] for _, sp, _ in samples):.2f}" if p in samples[0][1] else "-"
                 for p in PHASES]
        peaks = [m for _, _, m in samples if m]
        rows.append([name, f"{median_total(samples):.2f}"] + cells +
                    [f"{statistics.median(peaks):.1f}" if peaks else "-", " ".join(f"{t:.2f}" for t, _, _ in samples)])
    return table(["side", "median s"] + [f"{p} s" for p in PHASES] + ["peak RSS MB", "runs s"], rows)


def median_total(samples):
    return statistics.median(t for t, _, _ in samples)
