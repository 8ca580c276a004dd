#!/usr/bin/env python3
"""Makes the benchmark archives under a data folder (default /tmp/cvl-bench/data).

Each archive is made once and kept; delete the folder to make them afresh. Contents mix
incompressible blocks, text and structured records, like a game's patch files, so that
deflate has real work on both sides. Archives are deflated by Info-ZIP's zip (level 6,
level 1 for the biggest to save time)."""
import os
import random
import subprocess
import sys

BLOCK = 64 * 1024
WORDS = [b"texture", b"model", b"sound", b"map", b"npc", b"quest", b"item", b"skill", b"=",
         b"0", b"1", b"255", b"true", b"false", b"\n", b"\t", b"level", b"drop", b"rate"]


def block(rng, kind):
    if kind == 0:
        return os.urandom(BLOCK)
    if kind == 1:
        out = bytearray()
        while len(out) < BLOCK:
            out += rng.choice(WORDS) + b" "
        return bytes(out[:BLOCK])
    # structured records: small integers and a few random bytes each
    rec = bytearray()
    while len(rec) < BLOCK:
        rec += rng.randrange(0, 300).to_bytes(2, "little") + os.urandom(2) + bytes(4)
    return bytes(rec[:BLOCK])


_POOL = {}


def pooled_block(rng, kind):
    # Text and record blocks come from a pool: a block is longer than deflate's 32 KiB
    # window, so reuse does not change how well the data compresses, only how fast it is made.
    if kind == 0:
        return os.urandom(BLOCK)
    if kind not in _POOL:
        _POOL[kind] = [block(rng, kind) for _ in range(32)]
    return rng.choice(_POOL[kind])


def write_file(path, size, rng):
    with open(path, "wb") as f:
        written = 0
        while written < size:
            data = pooled_block(rng, rng.randrange(3))[: size - written]
            f.write(data)
            written += len(data)


def zip_folder(folder, archive, level):
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-r", "-q", f"-{level}", archive, "."], cwd=folder, check=True)


def big_archive(data, name, files, file_size, level=6):
    archive = os.path.join(data, name + ".zip")
    if os.path.exists(archive):
        return
    folder = os.path.join(data, name)
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(name)
    for i in range(files):
        write_file(os.path.join(folder, f"data{i:02}.pak"), file_size, rng)
    zip_folder(folder, archive + ".part", level)
    os.rename(archive + ".part", archive)
    subprocess.run(["rm", "-rf", folder], check=True)


def small_archive(data, name, count):
    archive = os.path.join(data, name + ".zip")
    if os.path.exists(archive):
        return
    folder = os.path.join(data, name)
    rng = random.Random(name)
    for i in range(count):
        sub = os.path.join(folder, f"dir{i // 100:03}")
        os.makedirs(sub, exist_ok=True)
        size = rng.randrange(256, 16 * 1024)
        with open(os.path.join(sub, f"file{i:05}.txt"), "wb") as f:
            f.write(pooled_block(rng, rng.choice((1, 1, 2)))[:size])
    zip_folder(folder, archive + ".part", 6)
    os.rename(archive + ".part", archive)
    subprocess.run(["rm", "-rf", folder], check=True)


def patches(data, count, size, server="server"):
    """Numbered patch archives under DATA/SERVER (the root the connector server serves),
    each one deflated file of `size` bytes."""
    folder = os.path.join(data, server, "connector", "patches")  # served under this path
    os.makedirs(folder, exist_ok=True)
    for n in range(1, count + 1):
        archive = os.path.join(folder, f"patch_{n}.zip")
        if os.path.exists(archive):
            continue
        work = os.path.join(data, f"{server}-patch{n}")
        os.makedirs(work, exist_ok=True)
        rng = random.Random(f"patch{n}" if server == "server" else f"{server}-patch{n}")
        write_file(os.path.join(work, f"patch{n:02}.pak"), size, rng)
        zip_folder(work, archive + ".part", 6)
        os.rename(archive + ".part", archive)
        subprocess.run(["rm", "-rf", work], check=True)


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else "/tmp/cvl-bench/data"
    scale = float(os.environ.get("CVL_BENCH_SCALE", "1"))
    os.makedirs(data, exist_ok=True)
    mb = 1024 * 1024
    big_archive(data, "large", 4, int(384 * mb * scale))           # ~1 GB archive
    small_archive(data, "small", int(50000 * min(scale, 1)))        # 50,000 small files
    big_archive(data, "mem-100m", 1, int(150 * mb * scale))          # ~100 MB archive
    big_archive(data, "mem-2g", 6, int(512 * mb * scale), level=1)   # ~2 GB archive
    patches(data, 10, int(80 * mb * scale))                          # ~50 MB each
    patches(data, 1, int(336 * mb * scale), "server-resume")         # one of ~200 MB
    patches_of = lambda server: os.path.join(data, server, "connector", "patches")
    for folder in (data, patches_of("server"), patches_of("server-resume")):
        for name in sorted(os.listdir(folder)):
            if name.endswith(".zip"):
                print(f"{os.path.relpath(os.path.join(folder, name), data)}: "
                      f"{os.path.getsize(os.path.join(folder, name)) / mb:.0f} MB")


if __name__ == "__main__":
    main()
