#!/usr/bin/env python3
"""The operator's release: `cvlctl release` against what an operator would script
instead, `sha256sum` over the client folder (compared with the sums of the last release)
plus `zip` of the files that changed. The client folder is 2 GB (12 pak files of 125 MiB
and 5,000 small files), and the new version changes 10% of its bytes: one pak file
rewritten, 700 small files changed and 50 added. Both sides start from the state of the
last release (our manifest, their sums file) and make the archive of the changes.
Usage: bench_release.py BUILD-DIR WORK-DIR [REPEATS]  (prints Markdown)"""
import importlib.util
import json
import os
import random
import shutil
import subprocess
import sys
import zipfile

from benchlib import ROOT, median, rounds, table, timed

sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
from sample_settings import SAMPLE_SETTINGS  # noqa: E402

MB = 1024 * 1024
PAKS, PAK_SIZE = 12, 125 * MB
SMALL, SMALL_CHANGED, SMALL_ADDED = 5000, 700, 50

make_data_source = importlib.util.spec_from_file_location("make_data", os.path.join(ROOT, "bench", "make-data.py"))
make_data = importlib.util.module_from_spec(make_data_source)
make_data_source.loader.exec_module(make_data)

SCRIPT = r"""set -euo pipefail
cd "$1"
find . -type f -print0 | sort -z | xargs -0 sha256sum > "$2/new.sums"
export LC_ALL=C
comm -13 "$2/old.sums" <(sort "$2/new.sums") | cut -c67- > "$2/changed.list"
rm -f "$2/patch.zip"
zip -q -X "$2/patch.zip" -@ < "$2/changed.list"
"""


def small_size(rng):
    return rng.randrange(16 * 1024, 180 * 1024)


def make_versions(work):
    """v1 and v2 of the client folder, made once and kept."""
    v1, v2 = os.path.join(work, "v1"), os.path.join(work, "v2")
    done = os.path.join(work, "versions.done")
    if os.path.exists(done):
        return v1, v2
    shutil.rmtree(v1, ignore_errors=True)
    shutil.rmtree(v2, ignore_errors=True)
    rng = random.Random("release bench")
    for i in range(PAKS):
        os.makedirs(os.path.join(v1, "data"), exist_ok=True)
        make_data.write_file(os.path.join(v1, "data", f"data{i:02}.pak"), PAK_SIZE, rng)
    for i in range(SMALL):
        folder = os.path.join(v1, "assets", f"set{i // 250:02}")
        os.makedirs(folder, exist_ok=True)
        make_data.write_file(os.path.join(folder, f"asset{i:04}.bin"), small_size(rng), rng)
    subprocess.run(["cp", "-a", v1, v2], check=True)
    make_data.write_file(os.path.join(v2, "data", "data05.pak"), PAK_SIZE, rng)  # same size, new bytes
    for i in rng.sample(range(SMALL), SMALL_CHANGED):
        path = os.path.join(v2, "assets", f"set{i // 250:02}", f"asset{i:04}.bin")
        make_data.write_file(path, small_size(rng), rng)
    os.makedirs(os.path.join(v2, "assets", "new"), exist_ok=True)
    for i in range(SMALL_ADDED):
        make_data.write_file(os.path.join(v2, "assets", "new", f"added{i:02}.bin"), small_size(rng), rng)
    open(done, "w").write("")
    return v1, v2


def folder_bytes(folder):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(folder) for f in files)


def main():
    build, work = sys.argv[1], os.path.join(sys.argv[2], "release")
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    cvlctl = os.path.join(build, "bin", "cvlctl")
    os.makedirs(work, exist_ok=True)
    v1, v2 = make_versions(work)

    # The state after the release of v1: our settings and manifest, their sums file.
    base = os.path.join(work, "base")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(os.path.join(base, "www"))
    settings = dict(SAMPLE_SETTINGS, patchVersion=0)
    json.dump(settings, open(os.path.join(base, "settings.json"), "w"), indent=2)
    subprocess.run([cvlctl, "release", "--settings", os.path.join(base, "settings.json"), "--root",
                    os.path.join(base, "www"), v1], check=True, stdout=subprocess.DEVNULL)
    script_dir = os.path.join(work, "script")
    shutil.rmtree(script_dir, ignore_errors=True)
    os.makedirs(script_dir)
    subprocess.run(["bash", "-c", 'cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum | LC_ALL=C sort > "$2"', "-",
                    v1, os.path.join(script_dir, "old.sums")], check=True)

    run = os.path.join(work, "run")

    def prepare(name):
        if name == "cvlctl release":
            shutil.rmtree(run, ignore_errors=True)
            shutil.copytree(base, run)

    contenders = {
        "cvlctl release": lambda: timed([cvlctl, "release", "--settings", os.path.join(run, "settings.json"),
                                         "--root", os.path.join(run, "www"), v2]),
        "sha256sum + zip": lambda: timed(["bash", "-c", SCRIPT, "-", v2, script_dir]),
    }
    results = rounds(contenders, repeats, prepare=prepare)

    ours_zip = os.path.join(run, "www", "connector", "patches", "patch_2.zip")
    theirs_zip = os.path.join(script_dir, "patch.zip")
    ours_names = sorted(zipfile.ZipFile(ours_zip).namelist())
    theirs_names = sorted(name[2:] if name.startswith("./") else name for name in zipfile.ZipFile(theirs_zip).namelist())
    if ours_names != theirs_names:
        raise RuntimeError("the two archives hold different files")
    changed = sum(zipfile.ZipFile(ours_zip).getinfo(n).file_size for n in ours_names)

    ours = median(results["cvlctl release"])
    rows = []
    for tool, samples in results.items():
        t = median(samples)
        size = os.path.getsize(ours_zip if tool == "cvlctl release" else theirs_zip)
        rows.append([tool, f"{t:.2f}", f"{t / ours:.2f}", f"{median(samples, 2):.1f}", f"{median(samples, 1):.1f}",
                     f"{size / MB:.0f}", " ".join(f"{s[0]:.2f}" for s in samples)])
    total = folder_bytes(v2)
    print(f"### Release: {total / MB:.0f} MB client folder, {len(ours_names)} files changed or added, "
          f"{changed / MB:.0f} MB ({100 * changed / total:.0f}% of its bytes)\n")
    print(table(["side", "median s", "time / cvlctl release", "CPU s (user + system)", "peak RSS MB", "archive MB",
                 "runs s"], rows))
    print(f"\ncvlctl release / (sha256sum + zip): **{ours / median(results['sha256sum + zip']):.2f}**\n")


if __name__ == "__main__":
    main()
