"""Shared helpers of the benchmark scripts: timed runs under /usr/bin/time -v, the peak
memory of a running process, rounds that alternate the contenders, medians and a Markdown
table."""
import os
import shutil
import statistics
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def timed(cmd, env=None, cwd=None):
    """Runs cmd; returns (wall seconds, peak resident memory in MB, CPU seconds: user and
    system, all threads)."""
    start = time.monotonic()
    proc = subprocess.run(["/usr/bin/time", "-v"] + cmd, env=env, cwd=cwd,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.monotonic() - start
    if proc.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed ({proc.returncode}): {proc.stderr[-2000:]}")
    rss = cpu = 0
    for line in proc.stderr.splitlines():
        if "Maximum resident set size" in line:
            rss = int(line.split(":")[1]) / 1024
        elif "User time (seconds)" in line or "System time (seconds)" in line:
            cpu += float(line.split(":")[1])
    return wall, rss, cpu


def resident_peak_mb(pid, program):
    """The peak resident memory (VmHWM) in MB of process PID while it runs PROGRAM (its
    cmdline starts with that: a Wine process shows the Windows path of its program there),
    else None. The kernel keeps the peak, so polling misses nothing before the last poll."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            if not f.read().startswith(program.encode() + b"\0"):
                return None
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024
    except OSError:
        pass
    return None


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def rounds(contenders, repeats, prepare=None):
    """contenders: {name: function returning (seconds, rss)}. Each round runs every
    contender once, the order rotated round by round so none always goes first.
    Returns {name: [(seconds, rss), ...]}."""
    names = list(contenders)
    results = {name: [] for name in names}
    for r in range(repeats):
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            if prepare:
                prepare(name)
            results[name].append(contenders[name]())
    return results


def median(samples, index=0):
    return statistics.median(s[index] for s in samples)


def table(headers, rows):
    out = ["| " + " | ".join(headers) + " |", "|" + "---|" * len(headers)]
    out += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(out)
