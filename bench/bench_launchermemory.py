#!/usr/bin/env python3
"""The launcher's peak memory under Wine: the peak resident memory (VmHWM) of the process
that runs CVLauncher.exe, through the patch run (ten patches of about 50 MB) and through
updates by one patch of about 100 MB, 1 GB and 2 GB (the extraction benchmark's archives,
served as patch_1.zip: downloaded, then unpacked into the client folder).
Wine's own share is the peak of a bare window (bench/barewindow.cpp) under the same Wine
and display, read once its window shows. Needs DISPLAY.
Usage: bench_launchermemory.py WINE-RUN WINDOWS-BIN NATIVE-BIN DATA-DIR WORK-DIR BAREWINDOW-EXE [REPEATS]"""
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

from bench_startup import BARE_CAPTION, kill_windows, visible
from benchlib import resident_peak_mb, table
from launcherrun import LauncherBench

SINGLE = ["mem-100m", "large", "mem-2g"]


def bare_window_peak(wine_run, exe, cwd):
    """VmHWM of the bare window's process once its window shows."""
    windows_path = r"C:\cvl-bench\barewindow.exe"
    proc = subprocess.Popen([wine_run, windows_path], cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while not visible(BARE_CAPTION):
            if proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the bare window did not show")
            time.sleep(0.01)
        return resident_peak_mb(proc.pid, windows_path)
    finally:
        kill_windows(wine_run, os.path.basename(exe))
        proc.wait(timeout=30)


class PeakBeforeDownload:
    """The peak up to the first download's part: the launcher's window up, the server asked."""

    def __init__(self):
        self.peak = None

    def __call__(self, names, peak):
        if self.peak is None and any(n.endswith(".part") for n in names):
            self.peak = peak


def one_patch_root(work, archive):
    """A server root of this benchmark's own whose patch_1.zip is a link to ARCHIVE."""
    root = os.path.join(work, "www-" + os.path.basename(archive)[:-4])
    folder = os.path.join(root, "connector", "patches")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(folder)
    os.symlink(archive, os.path.join(folder, "patch_1.zip"))
    return root


def unpacked_mb(folder, count):
    total = 0
    for n in range(1, count + 1):
        with zipfile.ZipFile(os.path.join(folder, f"patch_{n}.zip")) as z:
            total += sum(i.file_size for i in z.infolist())
    return total / 2**20


def main():
    wine_run, win_bin, native_bin, data, work, bare = (os.path.abspath(a) for a in sys.argv[1:7])
    repeats = int(sys.argv[7]) if len(sys.argv) > 7 else 1
    bench = LauncherBench(wine_run, native_bin, work, {"Launcher": os.path.join(win_bin, "CVLauncher.exe")})
    shutil.copy(bare, os.path.join(bench.root, "barewindow.exe"))
    updates = [("the patch run, 10 patches", os.path.join(data, "server"), 10)]
    updates += [(f"one patch: {name}.zip", one_patch_root(work, os.path.join(data, name + ".zip")), 1) for name in SINGLE]
    bare_peaks = [bare_window_peak(wine_run, bare, work) for _ in range(max(3, repeats))]
    rows = []
    try:
        for what, root, count in updates:
            bench.serve(root, count)
            folder = os.path.join(root, "connector", "patches")
            size = sum(os.path.getsize(os.path.join(folder, f"patch_{n}.zip")) for n in range(1, count + 1)) / 2**20
            runs, before = [], []
            for _ in range(repeats):
                watch = PeakBeforeDownload()
                runs.append(bench.launcher_run("Launcher", during=watch))
                before.append(watch.peak)
            peak = statistics.median(p for _, _, p in runs)
            rows.append([what, f"{size:.0f}", f"{unpacked_mb(folder, count):.0f}",
                         f"{statistics.median(t for t, _, _ in runs):.1f}", f"{statistics.median(before):.1f}",
                         f"{peak:.1f}", f"{peak - statistics.median(bare_peaks):.1f}"])
    finally:
        bench.close()
    base = statistics.median(bare_peaks)
    print("### The launcher's peak memory under Wine\n")
    print("Peak RSS: VmHWM of the Wine process that runs CVLauncher.exe, read every 10 ms until it ends; "
          "before the download: up to the first part file (the window shown, the server asked). "
          "One-patch updates fetch the extraction benchmark's archive as patch_1.zip and unpack it.\n")
    print(table(["update", "archives MB", "unpacked MB", "seconds", "peak RSS MB before the download", "peak RSS MB",
                 "above the bare window MB"], rows))
    print(f"\nThe bare window's peak under the same Wine: **{base:.1f} MB** "
          f"(runs: {' '.join(f'{p:.1f}' for p in bare_peaks)}).\n")


if __name__ == "__main__":
    main()
