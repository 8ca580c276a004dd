#!/usr/bin/env python3
"""cvlctl release through the real program, on real folders: three releases from three
versions of a client folder, each archive unpacked by `unzip` and by Python's zipfile
and compared with exactly the files that changed; a run without change writes nothing;
the same input gives the same bytes; a release that fails or is killed half-way leaves
the published state as it was (or complete) and the next run puts it right; and what
the release refuses, it refuses before writing anything.

Usage: cvlctl_release_test.py [--big | --native] -- COMMAND... (cvlctl, possibly behind a runner)
  --big     instead: a release holding a sparse file over 4 GiB (when the file system keeps
            it sparse), whose entry needs ZIP64
  --native  adds the cases only a POSIX file system can hold (a name that is no UTF-8, a
            pipe, a name with ':' or a trailing dot)
"""
import hashlib
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import unprotect, write_tree  # noqa: E402
from sample_settings import SAMPLE_SETTINGS  # noqa: E402

BIG_SIZE = 4 * 1024 ** 3 + 1024 ** 2
CHUNK = 1 << 20


def pseudo_random(seed, size):
    """Bytes that deflate hardly shrinks, the same for the same seed."""
    out = bytearray()
    block = hashlib.sha256(seed.encode()).digest()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:size])


def text_lines(seed, count):
    return "".join(f"{seed} line {i}: the quick brown fox {i * 7919 % 1000}\n" for i in range(count)).encode()


# Three versions of a client folder.
V1 = {
    "Proc.exe": pseudo_random("proc", 70000),
    "data/map one.txt": text_lines("map", 2000),
    "data/unchanged.bin": pseudo_random("unchanged", 3 * CHUNK + 5),
    "data/empty.dat": b"",
    "d\u00e9j\u00e0 vu/\u00fcber Stra\u00dfe.txt": "caf\u00e9 \u00fcber".encode(),
    "deep/a/b/c/leaf.txt": b"leaf 1\n",
    "gone later.txt": b"removed in version 2\n",
}
V2 = dict(V1)
del V2["gone later.txt"]
V2.update({
    "Proc.exe": pseudo_random("proc v2", 71000),                 # changed, new size
    "data/map one.txt": text_lines("MAP", 2000),                 # changed, same size
    "\ud55c\uae00/\ud14c\uc2a4\ud2b8 \ud30c\uc77c.txt": "\ud55c\uae00".encode(),  # added, Korean
    "new folder/another empty": b"",                             # added, 0 bytes
})
V3 = dict(V2)
V3.update({
    "deep/a/b/c/leaf.txt": b"leaf 3\n",                          # changed, same size
    "zz last.txt": b"sorted after everything\n",                 # added
})
CHANGED = [
    set(V1),
    {"Proc.exe", "data/map one.txt", "\ud55c\uae00/\ud14c\uc2a4\ud2b8 \ud30c\uc77c.txt", "new folder/another empty"},
    {"deep/a/b/c/leaf.txt", "zz last.txt"},
]


class Failures(list):
    def check(self, condition, what):
        if not condition:
            self.append(what)
        return condition


class Kit:
    def __init__(self, cmd):
        self.cmd = cmd

    def run(self, *args, env=None):
        done = subprocess.run(self.cmd + list(args), capture_output=True, timeout=600, stdin=subprocess.DEVNULL,
                              env=dict(os.environ, **(env or {})))
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")

    def release(self, settings, root, client, *extra, env=None):
        return self.run("release", "--settings", settings, "--root", root, *extra, client, env=env)


def make_sparse(path):
    """A file over 4 GiB, mostly a hole, with data at its start, across the 4 GiB mark
    and at its end; None when the file system does not keep it sparse."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.truncate(BIG_SIZE)
        for offset in (0, 4 * 1024 ** 3 - 1000, BIG_SIZE - 5000):
            f.seek(offset)
            f.write(pseudo_random(f"big {offset}", 4096))
    if os.stat(path).st_blocks * 512 > 64 * CHUNK:
        os.remove(path)
        return None
    return sha256_file(path)


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(16 * CHUNK), b""):
            h.update(block)
    return h.hexdigest()


def settings_file(folder, level=0, download_path="/connector/patches/"):
    path = os.path.join(folder, "settings.json")
    values = dict(SAMPLE_SETTINGS, patchVersion=level, patch={"download_path": download_path})
    with open(path, "w") as f:
        json.dump(values, f, indent=2)
    return path


def snapshot(*paths):
    """Every file under the paths with its bytes' digest and its modification time."""
    found = {}
    for top in paths:
        if os.path.isfile(top):
            found[top] = (sha256_file(top), os.stat(top).st_mtime_ns)
            continue
        for folder, _, names in os.walk(top):
            for name in names:
                path = os.path.join(folder, name)
                if stat.S_ISREG(os.lstat(path).st_mode):
                    found[path] = (sha256_file(path), os.stat(path).st_mtime_ns)
    return found


def answer_level(root):
    with open(os.path.join(root, "outgame", "info")) as f:
        return int(unprotect(json.load(f)["patchVersion"]))


def settings_level(settings):
    with open(settings) as f:
        return json.load(f)["patchVersion"]


def archive_digests_by_unzip(archive, scratch):
    """name -> sha256 of what `unzip` makes of the archive (small files unpacked, the big
    one streamed)."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    listing = subprocess.run(["unzip", "-Z1", archive], capture_output=True, check=True,
                             env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8").splitlines()
    big = [name for name in listing if name.startswith("big/")]
    subprocess.run(["unzip", "-q", archive, "-x", *big, "-d", scratch] if big else ["unzip", "-q", archive, "-d", scratch],
                   check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    digests = {}
    for folder, _, names in os.walk(scratch):
        for name in names:
            path = os.path.join(folder, name)
            digests[os.path.relpath(path, scratch).replace(os.sep, "/")] = sha256_file(path)
    for name in big:
        h = hashlib.sha256()
        with subprocess.Popen(["unzip", "-p", archive, name], stdout=subprocess.PIPE) as pipe:
            for block in iter(lambda: pipe.stdout.read(16 * CHUNK), b""):
                h.update(block)
        digests[name] = h.hexdigest()
    return digests


def archive_digests_by_zipfile(archive):
    digests = {}
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            h = hashlib.sha256()
            with z.open(info) as member:
                for block in iter(lambda: member.read(16 * CHUNK), b""):
                    h.update(block)
            digests[info.filename] = h.hexdigest()
    return digests


def three_releases(kit, work, failures):
    """The operator's three releases, then a fourth run without change."""
    root, clients = os.path.join(work, "www"), os.path.join(work, "clients")
    os.makedirs(root)
    settings = settings_file(work)
    expected_removed = [[], ["gone later.txt"], []]
    for number, files in enumerate((V1, V2, V3), start=1):
        client = os.path.join(clients, f"v{number}")
        write_tree(client, files)
        wanted = {name: hashlib.sha256(files[name]).hexdigest() for name in CHANGED[number - 1]}
        status, out, err = kit.release(settings, root, client)
        if not failures.check(status == 0, f"release {number} failed ({status}): {out}{err}"):
            return
        archive = os.path.join(root, "connector", "patches", f"patch_{number}.zip")
        failures.check(archive_digests_by_unzip(archive, os.path.join(work, "unzipped")) == wanted,
                       f"unzip's patch_{number}.zip is not exactly the changed files")
        by_zipfile = archive_digests_by_zipfile(archive)
        failures.check(by_zipfile == wanted, f"zipfile's patch_{number}.zip: {sorted(by_zipfile)} != {sorted(wanted)}")
        failures.check(settings_level(settings) == number and answer_level(root) == number,
                       f"release {number}: settings level {settings_level(settings)}, answer {answer_level(root)}")
        for name in CHANGED[number - 1]:
            failures.check(name in out, f"release {number} does not name {name!r}: {out}")
        failures.check(f"patch_{number}.zip" in out and " s:" in out, f"release {number} reports: {out}")
        for name in expected_removed[number - 1]:
            failures.check("warning" in err and repr(name) in err, f"release {number} does not warn of {name!r}: {err}")

    # Every file of the last version, with its digest, in the manifest.
    manifest = open(settings + ".manifest", encoding="utf-8").read().splitlines()
    failures.check(manifest[:2] == ["cvlctl release manifest 1", "level 3"], f"manifest head: {manifest[:2]}")
    listed = {line.split(" ", 2)[2]: line.split(" ", 2)[0] for line in manifest[2:]}
    final = {name: hashlib.sha256(data).hexdigest() for name, data in V3.items()}
    failures.check(listed == final, "the manifest does not list the third version")

    # Nothing changed: nothing written, not even a time.
    before = snapshot(root, settings, settings + ".manifest")
    status, out, err = kit.release(settings, root, os.path.join(clients, "v3"))
    failures.check(status == 0 and "nothing changed" in out, f"second run of version 3: {status} {out}{err}")
    failures.check(snapshot(root, settings, settings + ".manifest") == before, "a run without change wrote something")


def over_4_gib(kit, work, failures):
    """An entry over 4 GiB, between small ones: ZIP64 sizes, unpacked by both readers."""
    client, root = os.path.join(work, "client"), os.path.join(work, "www")
    files = {"a first.txt": b"first\n", "zz last.txt": b"last\n"}
    write_tree(client, files)
    os.makedirs(root)
    big_digest = make_sparse(os.path.join(client, "big", "huge.bin"))
    if big_digest is None:
        print("the file system keeps no sparse file: the case over 4 GiB is left out")
        return
    wanted = {name: hashlib.sha256(data).hexdigest() for name, data in files.items()}
    wanted["big/huge.bin"] = big_digest
    status, out, err = kit.release(settings_file(work), root, client)
    if not failures.check(status == 0, f"release failed ({status}): {out}{err}"):
        return
    archive = os.path.join(root, "connector", "patches", "patch_1.zip")
    failures.check(archive_digests_by_unzip(archive, os.path.join(work, "unzipped")) == wanted,
                   "unzip does not unpack the files")
    failures.check(archive_digests_by_zipfile(archive) == wanted, "zipfile does not unpack the files")


def same_input_same_bytes(kit, work, failures):
    client = os.path.join(work, "client")
    write_tree(client, V2)
    archives = []
    for side in ("a", "b"):
        folder = os.path.join(work, side)
        os.makedirs(os.path.join(folder, "www"))
        status, out, err = kit.release(settings_file(folder), os.path.join(folder, "www"), client)
        failures.check(status == 0, f"release {side}: {out}{err}")
        archives.append(open(os.path.join(folder, "www", "connector", "patches", "patch_1.zip"), "rb").read())
    failures.check(archives[0] == archives[1], "the same client gave two different archives")


def published_state(root, settings):
    """What players and the next release see: the answer, the settings, the manifest,
    and the archives (no temporary files)."""
    state = snapshot(root, settings)
    manifest = settings + ".manifest"
    state["manifest"] = open(manifest, "rb").read() if os.path.exists(manifest) else None
    return state


def interrupted_release(kit, work, failures):
    """Faults at points across one release (of version 2 after version 1): a write that
    fails (a full disk) and a process that dies. The reference run says how many bytes
    each step writes: the archive, the next manifest, the settings, the answer."""
    client1, client2 = os.path.join(work, "v1"), os.path.join(work, "v2")
    small1 = {k: v for k, v in V1.items() if len(v) < 100000}
    small2 = {k: v for k, v in V2.items() if len(v) < 100000}
    write_tree(client1, small1)
    write_tree(client2, small2)

    def fresh(name):
        folder = os.path.join(work, name)
        root = os.path.join(folder, "www")
        os.makedirs(root)
        settings = settings_file(folder)
        status, out, err = kit.release(settings, root, client1)
        failures.check(status == 0, f"{name}: first release: {out}{err}")
        return root, settings

    ref_root, ref_settings = fresh("reference")
    status, out, err = kit.release(ref_settings, ref_root, client2)
    failures.check(status == 0, f"reference release 2: {out}{err}")
    archive = os.path.join(ref_root, "connector", "patches", "patch_2.zip")
    sizes = [os.path.getsize(archive), os.path.getsize(ref_settings + ".manifest"), os.path.getsize(ref_settings),
             os.path.getsize(os.path.join(ref_root, "outgame", "info"))]
    ends = [sum(sizes[:i + 1]) for i in range(4)]
    reference = open(archive, "rb").read()
    points = {"in the archive": ends[0] // 2, "in the next manifest": ends[0] + sizes[1] // 2,
              "in the settings": ends[1] + sizes[2] // 2, "after the settings": ends[2],
              "in the answer": ends[2] + sizes[3] // 2}
    for mode in ("fail", "kill"):
        for where, budget in points.items():
            name = f"{mode} {where}"
            root, settings = fresh(name.replace(" ", "-"))
            before = published_state(root, settings)
            status, out, err = kit.release(settings, root, client2, env={"CVLCTL_TEST_WRITE_FAULT": f"{mode}:{budget}"})
            failures.check(status != 0, f"{name}: the release did not stop ({status})")
            failures.check(answer_level(root) == 1, f"{name}: players see level {answer_level(root)}")
            raised = budget >= ends[2]
            if mode == "fail":
                leftovers = [p for p in snapshot(root, os.path.dirname(settings)) if p.endswith(".cvlctl-tmp")]
                failures.check(not leftovers, f"{name}: temporary files left: {leftovers}")
                errors = [line for line in err.splitlines() if "warning" not in line]
                failures.check(("run the same release again" in err) == raised and len(errors) == 1,
                               f"{name}: message {err!r}")
                if not raised:
                    failures.check(published_state(root, settings) == before, f"{name}: the published state changed")
            # The next run puts it right, with the archive the reference made.
            status, out, err = kit.release(settings, root, client2)
            failures.check(status == 0, f"{name}: the next run failed: {out}{err}")
            if raised:
                failures.check("finished the interrupted release of patch 2" in out and "nothing changed" in out,
                               f"{name}: the next run: {out}")
            failures.check(answer_level(root) == 2 and settings_level(settings) == 2, f"{name}: not at level 2")
            got = open(os.path.join(root, "connector", "patches", "patch_2.zip"), "rb").read()
            failures.check(got == reference, f"{name}: patch_2.zip differs from the uninterrupted release")
            failures.check(open(settings + ".manifest", "rb").read() == open(ref_settings + ".manifest", "rb").read(),
                           f"{name}: the manifest differs")
            failures.check(not os.path.exists(settings + ".manifest-next"), f"{name}: the next manifest stayed")
            leftovers = [p for p in snapshot(root, os.path.dirname(settings)) if p.endswith(".cvlctl-tmp")]
            failures.check(not leftovers, f"{name}: the next run left temporary files: {leftovers}")


def refusals(kit, work, failures, native):
    """Each case: a client folder or settings the release refuses, naming the problem,
    with nothing written."""
    long_name = "/".join(["folder%02d" % i for i in range(22)]) + "/file.txt"  # 206 characters
    cases = [
        ("a symbolic link to a folder", {"real/x.txt": b"x"}, [("link", "linked", "real")], "link"),
        ("a device name", {"data/aux.txt": b"x"}, [], "device"),
        ("a path too long for Windows", {long_name: b"x"}, [], "characters long"),
        ("names differing in letter case", {"Data/Readme.txt": b"a", "data/README.TXT": b"b"}, [], "letter case"),
    ]
    if native:
        # Wine shows a host's link to a file as the file itself (Windows as a reparse point).
        cases += [
            ("a symbolic link to a file", {"real.txt": b"x"}, [("link", "link.txt", "real.txt")], "link"),
            ("a character Windows cannot store", {"what?.txt": b"x"}, [], "cannot store"),
            ("a stream name", {"file:stream": b"x"}, [], "stream"),
            ("a trailing dot", {"name.": b"x"}, [], "dot or blank"),
            ("a name that is no UTF-8", {}, [("bytes", b"bad\xff.txt")], "no valid Unicode"),
            ("a pipe", {"ok.txt": b"x"}, [("fifo", "pipe")], "neither a file nor a folder"),
        ]
    for number, (what, files, extra, named) in enumerate(cases):
        folder = os.path.join(work, f"refused{number}")
        client, root = os.path.join(folder, "client"), os.path.join(folder, "www")
        write_tree(client, files)
        for kind, *args in extra:
            if kind == "link":
                os.symlink(args[1], os.path.join(client, args[0]))
            elif kind == "bytes":
                open(os.path.join(os.fsencode(client), args[0]), "wb").write(b"x")
            elif kind == "fifo":
                os.mkfifo(os.path.join(client, args[0]))
        os.makedirs(root)
        settings = settings_file(folder)
        before = snapshot(folder)
        status, out, err = kit.release(settings, root, client)
        failures.check(status == 1 and named in err and "nothing was written" in err,
                       f"{what}: not refused ({status}): {out}{err}")
        after = snapshot(folder)
        failures.check(after == before, f"{what}: something was written: {set(after) ^ set(before)}")

    # The settings: a folder that is not under SERVER_ROOT, and levels without a manifest.
    folder = os.path.join(work, "settings-cases")
    client, root = os.path.join(folder, "client"), os.path.join(folder, "www")
    write_tree(client, {"a.txt": b"a"})
    os.makedirs(root)
    for download_path in ("/../outside/", "/connector/%2e%2e/", "/c:/patches/", "/connector//patches/"):
        settings = settings_file(folder, download_path=download_path)
        before = snapshot(folder)
        status, out, err = kit.release(settings, root, client)
        failures.check(status == 1 and "names no folder under SERVER_ROOT" in err,
                       f"download_path {download_path}: {status} {out}{err}")
        failures.check(snapshot(folder) == before, f"download_path {download_path}: something was written")
    # The release's own files inside the client folder would be published with it.
    for inside in ("client/settings.json", "client/www"):
        os.makedirs(os.path.join(folder, "client", "www"), exist_ok=True)
        settings = settings_file(os.path.join(folder, "client")) if inside.endswith(".json") else settings_file(folder)
        status, out, err = kit.release(settings, os.path.join(folder, "client", "www") if inside.endswith("www") else root,
                                       client)
        failures.check(status == 1 and "lies inside CLIENT_FOLDER" in err, f"{inside}: {status} {out}{err}")
    shutil.rmtree(os.path.join(folder, "client"))
    write_tree(client, {"a.txt": b"a"})
    settings = settings_file(folder, level=2)
    status, out, err = kit.release(settings, root, client)
    failures.check(status == 1 and "--from" in err, f"level 2 without a manifest: {status} {err}")
    # With --from, the client as of level 2, the first release of this kit is patch 3.
    old = os.path.join(folder, "old")
    write_tree(old, {"a.txt": b"old a", "b.txt": b"b"})
    write_tree(client, {"a.txt": b"new a", "b.txt": b"b", "c.txt": b"c"})
    status, out, err = kit.release(settings, root, client, "--from", old)
    failures.check(status == 0, f"--from: {out}{err}")
    archive = os.path.join(root, "connector", "patches", "patch_3.zip")
    if failures.check(os.path.exists(archive), "--from made no patch_3.zip"):
        failures.check(sorted(zipfile.ZipFile(archive).namelist()) == ["a.txt", "c.txt"], "--from: wrong files")
    failures.check(not os.path.exists(os.path.join(root, "connector", "patches", "patch_1.zip")), "--from: patch 1?")


def openssl_keys(folder, name):
    """A P-256 key pair made by openssl, not by the kit."""
    private, public = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".pub")
    subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", private],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "pkey", "-in", private, "-pubout", "-out", public], check=True, capture_output=True)
    return private, public


def openssl_verifies(public, archive):
    message = b"CVL-SIGNATURE-1\n" + os.path.basename(archive).encode() + b"\n" + open(archive, "rb").read()
    with tempfile.NamedTemporaryFile() as message_file:
        message_file.write(message)
        message_file.flush()
        done = subprocess.run(["openssl", "dgst", "-sha256", "-verify", public, "-signature", archive + ".sig",
                               message_file.name], capture_output=True)
    return done.returncode == 0


def signed_releases(kit, work, failures):
    """Releases with the update key: each archive's signature as openssl checks it, also
    after a run killed while it wrote the signature; once signed, never unsigned."""
    private, public = openssl_keys(work, "update-key")
    root, client = os.path.join(work, "www"), os.path.join(work, "client")
    os.makedirs(root)
    settings = settings_file(work)
    patches = os.path.join(root, "connector", "patches")
    for number, files in enumerate((V1, V2), start=1):
        write_tree(client, {k: v for k, v in files.items() if len(v) < 100000})
        status, out, err = kit.release(settings, root, client, "--key", private)
        failures.check(status == 0 and "signed" in out, f"signed release {number}: {out}{err}")
        failures.check(openssl_verifies(public, os.path.join(patches, f"patch_{number}.zip")),
                       f"openssl does not verify patch_{number}.zip.sig")
    write_tree(client, {k: v for k, v in V3.items() if len(v) < 100000})
    before = snapshot(work)
    status, out, err = kit.release(settings, root, client)
    failures.check(status == 1 and "is signed, but no --key" in err, f"unsigned after signed: {status} {out}{err}")
    failures.check(snapshot(work) == before, "an unsigned release after signed ones wrote something")
    # Killed in the signature's write (after the archive's bytes, which a run on a copy
    # counts): the next run publishes patch 3 signed.
    copy = work.rstrip("/") + "-copy"
    shutil.copytree(work, copy)
    kit.release(os.path.join(copy, "settings.json"), os.path.join(copy, "www"), os.path.join(copy, "client"),
                "--key", private)
    budget = os.path.getsize(os.path.join(copy, "www", "connector", "patches", "patch_3.zip")) + 30
    status, out, err = kit.release(settings, root, client, "--key", private, env={"CVLCTL_TEST_WRITE_FAULT": f"kill:{budget}"})
    failures.check(status != 0 and answer_level(root) == 2, f"killed signed release: {status} level {answer_level(root)}")
    status, out, err = kit.release(settings, root, client, "--key", private)
    failures.check(status == 0 and answer_level(root) == 3, f"signed release after the kill: {out}{err}")
    failures.check(openssl_verifies(public, os.path.join(patches, "patch_3.zip")), "patch_3.zip.sig does not verify")


def main():
    cmd = sys.argv[sys.argv.index("--") + 1:]
    options = sys.argv[1:sys.argv.index("--")]
    kit = Kit(cmd)
    failures = Failures()
    cases = (("three", lambda w: three_releases(kit, w, failures)),
             ("same", lambda w: same_input_same_bytes(kit, w, failures)),
             ("interrupted", lambda w: interrupted_release(kit, w, failures)),
             ("refused", lambda w: refusals(kit, w, failures, "--native" in options)),
             ("signed", lambda w: signed_releases(kit, w, failures)))
    if "--big" in options:
        cases = (("big", lambda w: over_4_gib(kit, w, failures)),)
    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)  # relative names: the same under Wine and natively
        for name, case in cases:
            os.makedirs(name)
            case(name)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
