#!/usr/bin/env python3
"""Extraction (1) and memory scaling (2): our extractor (cvl-unzip, over the core's
ExtractZipArchive) against `unzip -o -q` and `bsdtar -xf` into an empty folder, with two
floors of zlib's raw inflate plus CRC-32 (bench/zlib-floor.c): on one core with nothing
written, and the same work as an extractor's on both cores (two entries at a time, every
entry written to its file, nothing else).
Usage: bench_extract.py BUILD-DIR DATA-DIR [REPEATS]  (prints Markdown)
CVL_BENCH_ONLY="large small memory" picks parts; CVL_BENCH_BEFORE=PROGRAM adds an older
build of cvl-unzip as a further contender."""
import os
import sys

from benchlib import fresh_dir, median, rounds, table, timed

TWO_CORE_FLOOR = "zlib floor, two cores, writing"


def zip_sizes(archive):
    import zipfile
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
        return len(infos), sum(i.file_size for i in infos)


def compare(bindir, archive, out, repeats):
    contenders = {
        "cvl-unzip": lambda: timed([f"{bindir}/cvl-unzip", archive, out]),
        "unzip": lambda: timed(["unzip", "-o", "-q", archive, "-d", out]),
        "bsdtar": lambda: timed(["bsdtar", "-xf", archive, "-C", out]),
        "zlib floor": lambda: timed([f"{bindir}/zlib-floor", archive]),
        TWO_CORE_FLOOR: lambda: timed([f"{bindir}/zlib-floor", "--write", out, archive]),
    }
    before = os.environ.get("CVL_BENCH_BEFORE")  # an older cvl-unzip, to show a change
    if before:
        contenders["cvl-unzip before"] = lambda: timed([before, archive, out])
    results = rounds(contenders, repeats, prepare=lambda name: fresh_dir(out))
    fresh_dir(out)
    return results


def report(name, archive, results):
    entries, size = zip_sizes(archive)
    mb = 1024 * 1024
    ours = median(results["cvl-unzip"])
    rows = []
    for tool, samples in results.items():
        t = median(samples)
        rows.append([tool, f"{t:.2f}", f"{size / mb / t:.0f}", f"{t / ours:.2f}",
                     f"{median(samples, 1):.1f}", " ".join(f"{s[0]:.2f}" for s in samples)])
    print(f"### {name}: {os.path.getsize(archive) / mb:.0f} MB archive, {entries} entries, "
          f"{size / mb:.0f} MB unpacked\n")
    print(table(["tool", "median s", "MB/s (unpacked)", "time / cvl-unzip", "peak RSS MB", "runs s"], rows))
    best = min(median(results["unzip"]), median(results["bsdtar"]))
    print(f"\ncvl-unzip / faster of unzip and bsdtar: **{ours / best:.2f}**; "
          f"cvl-unzip / zlib floor: **{ours / median(results['zlib floor']):.2f}**; "
          f"cvl-unzip / zlib floor on two cores, writing: **{ours / median(results[TWO_CORE_FLOOR]):.2f}**\n")


def memory(bindir, data, out):
    rows = []
    for name in ("mem-100m", "large", "mem-2g"):
        archive = os.path.join(data, name + ".zip")
        fresh_dir(out)
        seconds, rss = timed([f"{bindir}/cvl-unzip", archive, out])[:2]
        rows.append([name, f"{os.path.getsize(archive) / 1024 / 1024:.0f}", f"{rss:.1f}", f"{seconds:.1f}"])
    fresh_dir(out)
    print("### Peak memory of cvl-unzip by archive size\n")
    print(table(["archive", "size MB", "peak RSS MB", "seconds"], rows))
    print()


def main():
    bindir = os.path.join(sys.argv[1], "bin")
    data = sys.argv[2]
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    out = os.path.join(os.path.dirname(data.rstrip("/")), "out")
    only = os.environ.get("CVL_BENCH_ONLY", "large small memory").split()
    for name in ("large", "small"):
        if name in only:
            archive = os.path.join(data, name + ".zip")
            report(name, archive, compare(bindir, archive, out, repeats))
    if "memory" in only:
        memory(bindir, data, out)


if __name__ == "__main__":
    main()
