#!/usr/bin/env python3
"""Start-up (4): time from process start to the window being shown (mapped on the X
display), CVLauncher.exe against a bare Win32 window program, both under the same Wine,
prefix and display, in rotated order. The window is found by its caption with xdotool,
polled every few milliseconds; the polling costs every side the same.
A third side, when given, is the bare window plus the system work the launcher's window
needs (bench/artworkwindow.cpp: GDI+, the same pictures decoded, the common controls):
what the platform costs before such a window can show.
Usage: bench_startup.py WINE-RUN LAUNCHER-DIR BAREWINDOW-EXE [REPEATS [ARTWORKWINDOW-EXE]]
LAUNCHER-DIR holds CVLauncher.exe and its CVLauncher.cfg; the prefix's install path key
is set by the caller. Needs DISPLAY."""
import os
import signal
import subprocess
import sys
import time

from benchlib import table

LAUNCHER_CAPTION = "Duzudo Zavizude"
BARE_CAPTION = "CVL bare window"
ARTWORK_CAPTION = "CVL artwork window"


def visible(caption):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{caption}$"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return found.stdout.split()


def kill_windows(wine_run, image):
    subprocess.run([wine_run, "taskkill", "/f", "/im", image], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


class FailedStart(Exception):
    """Wine did not bring the program up: its desktop process, started again for each
    program, now and then fails to open the display when a program starts just as the
    previous one's desktop goes away. The run is repeated, for either side alike."""


def time_to_window(wine_run, exe, args, caption, cwd):
    deadline = 20.0
    start = time.monotonic()
    proc = subprocess.Popen([wine_run, exe] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        while not visible(caption):
            if proc.poll() is not None:
                raise FailedStart(f"{os.path.basename(exe)} ended (status {proc.returncode}) without a window")
            if time.monotonic() - start > deadline:
                shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                       capture_output=True, text=True).stdout.split()
                names = [subprocess.run(["xdotool", "getwindowname", w], capture_output=True,
                                        text=True).stdout.strip() for w in shown]
                raise FailedStart(f"no window \"{caption}\" within {deadline} s; shown: {names}")
            time.sleep(0.003)
        return time.monotonic() - start
    finally:
        kill_windows(wine_run, os.path.basename(exe))
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()
        end = time.monotonic() + 20
        while visible(caption) and time.monotonic() < end:
            time.sleep(0.05)


FAILED_STARTS = []


def timed_start(*args):
    """time_to_window, repeated (at most five times) when Wine fails to start the program."""
    for attempt in range(5):
        try:
            return time_to_window(*args)
        except FailedStart as failure:
            FAILED_STARTS.append(str(failure))
            time.sleep(1)
    raise RuntimeError("five failed starts in a row: " + "; ".join(FAILED_STARTS[-5:]))


def main():
    wine_run, launcher_dir, bare = (os.path.abspath(a) for a in sys.argv[1:4])
    repeats = int(sys.argv[4]) if len(sys.argv) > 4 else 7
    launcher = os.path.join(launcher_dir, "CVLauncher.exe")
    sides = {"CVLauncher.exe": (launcher, ["/AUTOLAUNCH"], LAUNCHER_CAPTION),
             "barewindow.exe": (bare, [], BARE_CAPTION)}
    if len(sys.argv) > 5:
        sides["artworkwindow.exe"] = (os.path.abspath(sys.argv[5]), [], ARTWORK_CAPTION)
    runs = {name: [] for name in sides}
    # One unmeasured start of each warms Wine's server and the file cache.
    for exe, args, caption in sides.values():
        timed_start(wine_run, exe, args, caption, launcher_dir)
    names = list(sides)
    for r in range(repeats):
        shift = r % len(names)
        for name in names[shift:] + names[:shift]:
            exe, args, caption = sides[name]
            runs[name].append(timed_start(wine_run, exe, args, caption, launcher_dir))
    import statistics
    ours = statistics.median(runs["CVLauncher.exe"])
    bare_median = statistics.median(runs["barewindow.exe"])
    rows = [[name, f"{statistics.median(s) * 1000:.0f}", " ".join(f"{x * 1000:.0f}" for x in s)]
            for name, s in runs.items()]
    print("### Start-up under Wine: process start to window shown\n")
    print(table(["program", "median ms", "runs ms"], rows))
    print(f"\nCVLauncher.exe / bare window: **{ours / bare_median:.2f}** "
          f"(difference {(ours - bare_median) * 1000:.0f} ms)\n")
    if "artworkwindow.exe" in runs:
        floor = statistics.median(runs["artworkwindow.exe"])
        print(f"artworkwindow.exe / bare window: {floor / bare_median:.2f}; "
              f"CVLauncher.exe / artworkwindow.exe: **{ours / floor:.2f}** "
              f"(difference {(ours - floor) * 1000:.0f} ms)\n")
    if FAILED_STARTS:
        print(f"Starts Wine failed and that were repeated: {len(FAILED_STARTS)} "
              f"({'; '.join(FAILED_STARTS)})\n")


if __name__ == "__main__":
    main()
