#!/usr/bin/env python3
"""Resumed downloads: one patch of about 200 MB, its connection cut once at 90% of its bytes
(the server's rule cut=BYTES,times=1), CVLauncher.exe under Wine from start to end. Three
sides in the same rounds:
  uncut          no cut: what the update takes when nothing goes wrong
  resumed        the launcher keeps the part and asks for the rest (Range, If-Range)
  whole again    the same cut, then the server answers every later request whole
                 (ranges=ignore, set once the first answer's bytes arrive): the road of a
                 client that does not resume, every attempt from byte 0
The bytes the server sent are the file bytes its request record counts for the patch's
requests; both they and the times are given as multiples (of the file's size, of the uncut
side's median).
Usage: bench_resume.py WINE-RUN WINDOWS-BIN NATIVE-BIN DATA-DIR WORK-DIR [REPEATS]"""
import os
import statistics
import sys

from benchlib import table
from launcherrun import LauncherBench, patch_path

PATH = patch_path(1)
CUT_SHARE = 0.9
SIDES = ["uncut", "resumed", "whole again"]


def resume_run(bench, side, size):
    bench.control("/__reset")
    if side != "uncut":
        bench.rule(PATH, cut=str(int(size * CUT_SHARE)), times="1")
    part = os.path.join(bench.client, "patch_1.zip.part")
    switched = []

    def answer_whole_from_now(names, _):
        # Once the cut answer's bytes arrive its rule has been taken: the next requests
        # get the whole file, whatever range they ask for.
        if not switched and "patch_1.zip.part" in names and os.path.exists(part) and os.path.getsize(part) > 0:
            bench.rule(PATH, ranges="ignore")
            switched.append(True)

    seconds, spent, _ = bench.launcher_run("Launcher", during=answer_whole_from_now if side == "whole again" else None)
    asked = bench.requests(PATH)
    return {"seconds": seconds, "download": spent["download"], "sent": sum(r["sent"] for r in asked),
            "requests": len(asked), "ranged": sum(1 for r in asked if "Range" in r["headers"])}


def main():
    wine_run, win_bin, native_bin, data, work = (os.path.abspath(a) for a in sys.argv[1:6])
    repeats = int(sys.argv[6]) if len(sys.argv) > 6 else 3
    bench = LauncherBench(wine_run, native_bin, work, {"Launcher": os.path.join(win_bin, "CVLauncher.exe")})
    root = os.path.join(data, "server-resume")
    size = os.path.getsize(os.path.join(root, "connector", "patches", "patch_1.zip"))
    bench.serve(root, 1)
    runs = {side: [] for side in SIDES}
    try:
        for r in range(repeats):
            for side in SIDES[r % 3:] + SIDES[:r % 3]:
                runs[side].append(resume_run(bench, side, size))
    finally:
        bench.close()

    def med(side, key):
        return statistics.median(run[key] for run in runs[side])

    rows = []
    for side in SIDES:
        rows.append([side, f"{med(side, 'seconds'):.2f}", f"{med(side, 'seconds') / med('uncut', 'seconds'):.2f}",
                     f"{med(side, 'download'):.2f}", f"{med(side, 'download') / med('uncut', 'download'):.2f}",
                     f"{med(side, 'sent') / 2**20:.0f}", f"{med(side, 'sent') / size:.2f}",
                     " ".join(f"{run['requests']}/{run['ranged']}" for run in runs[side]),
                     " ".join(f"{run['seconds']:.2f}" for run in runs[side])])
    print(f"### Resume: one {size / 2**20:.0f} MB patch, cut once at {CUT_SHARE:.0%} of its bytes\n")
    print("The first answer drops the connection after that many bytes; the launcher tries again at once. "
          "*Resumed*: the server answers the launcher's Range/If-Range with the rest. *Whole again*: from the "
          "cut on, the server answers every request whole whatever range it asks (its `ranges=ignore` rule), "
          "the road of a client that does not resume. MB sent: the file bytes the server counted for the "
          "patch's requests. Times from the launcher's start to its end; download: while the part file "
          "exists.\n")
    print(table(["side", "median s", "x uncut", "download s", "x uncut", "MB sent", "x file",
                 "requests/with Range", "runs s"], rows))
    print(f"\nresumed: **{med('resumed', 'sent') / size:.2f}x** the file's bytes sent, "
          f"**{med('resumed', 'seconds') / med('uncut', 'seconds'):.2f}x** the uncut time; "
          f"whole again: {med('whole again', 'sent') / size:.2f}x the bytes, "
          f"{med('whole again', 'seconds') / med('uncut', 'seconds'):.2f}x the time\n")


if __name__ == "__main__":
    main()
