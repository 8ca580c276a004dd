#!/usr/bin/env python3
"""The cost of signature checks: the patch run (ten numbered patches) by CVLauncher.exe built
without an update key against the same program built with one, under the same Wine, in
the same rounds, rotated. The signed build fetches patch_N.zip.sig beside each patch and
checks it (the SHA-256 of the signed message taken while the patch downloads) before
unpacking; the unsigned build asks for no signature.
Both fetch from a server root of this benchmark's own: links to the shared patches, with
their signatures made beside the links by `cvlctl sign` with the throw-away key, so the
shared data stays as it is.
Usage: bench_signing.py WINE-RUN UNSIGNED-BIN SIGNED-BIN NATIVE-BIN DATA-DIR WORK-DIR KEY.pem [REPEATS]"""
import os
import shutil
import subprocess
import sys

from launcherrun import LauncherBench, median_total, phase_table

COUNT = 10
UNSIGNED = "CVLauncher.exe without update key"
SIGNED = "CVLauncher.exe with update key"


def signed_root(native_bin, data, work, key):
    root = os.path.join(work, "www")
    folder = os.path.join(root, "connector", "patches")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(folder)
    links = []
    for n in range(1, COUNT + 1):
        link = os.path.join(folder, f"patch_{n}.zip")
        os.symlink(os.path.join(data, "server", "connector", "patches", f"patch_{n}.zip"), link)
        links.append(link)
    subprocess.run([os.path.join(native_bin, "cvlctl"), "sign", "--key", key] + links, check=True,
                   stdout=subprocess.DEVNULL)
    return root


def main():
    wine_run, unsigned_bin, signed_bin, native_bin, data, work, key = (os.path.abspath(a) for a in sys.argv[1:8])
    repeats = int(sys.argv[8]) if len(sys.argv) > 8 else 3
    bench = LauncherBench(wine_run, native_bin, work, {"Unsigned": os.path.join(unsigned_bin, "CVLauncher.exe"),
                                                       "Signed": os.path.join(signed_bin, "CVLauncher.exe")})
    bench.serve(signed_root(native_bin, data, work, key), COUNT)
    sides = {UNSIGNED: "Unsigned", SIGNED: "Signed"}
    runs = {name: [] for name in sides}
    try:
        for r in range(repeats):
            names = list(sides)
            for name in names[r % 2:] + names[:r % 2]:
                runs[name].append(bench.launcher_run(sides[name]))
        signatures = [q for q in bench.requests() if q["path"].endswith(".sig")]
    finally:
        bench.close()
    if len(signatures) != COUNT * repeats:
        raise RuntimeError(f"the signed build fetched {len(signatures)} signatures, not {COUNT * repeats}")
    size = sum(os.path.getsize(os.path.join(bench.patches, f"patch_{n}.zip")) for n in range(1, COUNT + 1))
    print(f"### Signature checks: the patch run ({COUNT} patches, {size / 2**20:.0f} MB) with and without "
          f"an update key\n")
    print("The build with the key hashes each patch as it arrives (in its download time), then fetches "
          "patch_N.zip.sig and checks it (check s) before the unpack.\n")
    print(phase_table(runs))
    unsigned, signed = median_total(runs[UNSIGNED]), median_total(runs[SIGNED])
    print(f"\nwith key / without: **{signed / unsigned:.3f}**, the checks' cost **{(signed - unsigned) * 1000:.0f} ms**, "
          f"{(signed - unsigned) / unsigned:.1%} of the patch run\n")


if __name__ == "__main__":
    main()
