#!/usr/bin/env python3
"""The patch run: ten numbered patches served by the connector server on 127.0.0.1.
CVLauncher.exe under Wine, from its start to its end (the client launcher started), against
curl downloading the same archives plus `unzip` natively, alternating. Where the launcher's
time goes and its peak memory are read as launcherrun.py says.
The third side, URLDownloadToFileW alone (bench/urldownload.cpp), shows what the system's
URL moniker costs under Wine for the same downloads, with nothing around it.
With --rate, both sides fetch over a line of that many bytes a second (the server's rate
rule on every patch) and the moniker's side is left out.
Usage: bench_patchrun.py WINE-RUN WINDOWS-BIN NATIVE-BIN DATA-DIR WORK-DIR [REPEATS [URLDOWNLOAD-EXE]]
       [--rate BYTES]"""
import argparse
import getpass
import glob
import os
import shutil

from benchlib import timed
from launcherrun import LauncherBench, median_total, patch_path, phase_table

COUNT = 10
LAUNCHER = "CVLauncher.exe (Wine)"
CURL = "curl + unzip (native)"
MONIKER = "URLDownloadToFileW alone (Wine)"


def moniker_run(bench, exe):
    """The same downloads by URLDownloadToFileW alone, under the same Wine. It goes through
    the URL cache, emptied of the patches before each run."""
    cache = os.path.join(os.path.dirname(bench.root), "users", getpass.getuser(), "AppData", "Local",
                         "Microsoft", "Windows", "INetCache", "Content.IE5")
    folder = os.path.join(bench.root, "Moniker")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for old in glob.glob(os.path.join(cache, "*", "patch_*")):
        os.remove(old)
    args = []
    for n in range(1, COUNT + 1):
        args += [f"http://127.0.0.1:{bench.port}{patch_path(n)}", f"C:\\cvl-bench\\Moniker\\patch_{n}.zip"]
    seconds = timed([bench.wine_run, exe] + args, cwd=bench.work)[0]
    shutil.rmtree(folder, ignore_errors=True)
    return seconds, {"download": seconds}, None


def main():
    parser = argparse.ArgumentParser()
    for name in ("wine_run", "win_bin", "native_bin", "data", "work"):
        parser.add_argument(name)
    parser.add_argument("repeats", nargs="?", type=int, default=3)
    parser.add_argument("moniker", nargs="?")
    parser.add_argument("--rate", type=int, help="bytes a second of the line")
    args = parser.parse_args()
    wine_run, win_bin, native_bin, data, work = (os.path.abspath(a) for a in
                                                 (args.wine_run, args.win_bin, args.native_bin, args.data, args.work))
    bench = LauncherBench(wine_run, native_bin, work, {"Launcher": os.path.join(win_bin, "CVLauncher.exe")})
    rules = [f"{patch_path(n)}:rate={args.rate}" for n in range(1, COUNT + 1)] if args.rate else []
    bench.serve(os.path.join(data, "server"), COUNT, rules)
    sides = {LAUNCHER: lambda: bench.launcher_run("Launcher"), CURL: bench.curl_unzip_run}
    if args.moniker and not args.rate:
        sides[MONIKER] = lambda: moniker_run(bench, os.path.abspath(args.moniker))
    runs = {name: [] for name in sides}
    try:
        for r in range(args.repeats):
            names = list(sides)
            for name in names[r % len(names):] + names[:r % len(names)]:
                runs[name].append(sides[name]())
    finally:
        bench.close()
    size = sum(os.path.getsize(os.path.join(bench.patches, f"patch_{n}.zip")) for n in range(1, COUNT + 1))
    mb = 2**20
    if args.rate:
        print(f"### The patch run on a line of {args.rate / mb:.0f} MB/s: {COUNT} patches, {size / mb:.0f} MB in all\n")
        print(f"Every patch is sent at most at that rate (the server's `rate` rule), to both sides. "
              f"The line alone takes {size / args.rate:.1f} s for these bytes.\n")
    else:
        print(f"### The patch run: {COUNT} patches, {size / mb:.0f} MB in all\n")
    print(phase_table(runs))
    print("\nThe launcher's phases: a part file present (download), the archive whole before its unpack "
          "(check), the staging folder present (unpacking), patchtool.exe present, the rest; peak RSS of "
          "its Wine process.")
    print(f"\nCVLauncher.exe / curl + unzip: **{median_total(runs[LAUNCHER]) / median_total(runs[CURL]):.2f}**\n")


if __name__ == "__main__":
    main()
