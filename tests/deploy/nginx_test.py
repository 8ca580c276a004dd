#!/usr/bin/env python3
"""A connector folder made with the kit, served by Debian's nginx on 127.0.0.1, fetched
the way the launcher fetches it: the info answer with the launcher's headers (a JSON
content type, every value decrypting to what the operator wrote), each numbered patch in
the folder the answer names, the language patches, and the prerequisite archives in the
folder that the [Pre] lines name. The caching headers are those a CDN in front needs:
the answer never cached, numbered patches and their signatures cached for good, the
language patches and prerequisites (replaced under the same names) revalidated. nginx runs from a temporary prefix (its own pid, logs
and temporary folders) and is stopped at the end.

Usage: nginx_test.py --cvlctl CVLCTL
"""
import argparse
import io
import json
import os
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import free_port, make_zip  # noqa: E402
from nginx_prefix import Nginx  # noqa: E402

LAUNCHER_HEADERS = {"User-Agent": "qx launcher", "Accept": "application/json, text/plain; q=0.9, text/html;q=0.8,",
                    "Accept-Charset": "UTF-8, *;q=0.8"}

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from sample_settings import SAMPLE_SETTINGS  # noqa: E402

SETTINGS = dict(SAMPLE_SETTINGS, engines="d\u00e9faut", log=True)
PRE = ["/connector/pre/", "webview2.zip", "runtime2012.zip", "runtime2022.zip"]

CACHED_FOR_GOOD = "public, max-age=31536000, immutable"
REVALIDATED = "no-cache"


def fetch(url, headers=None, asking=None):
    request = urllib.request.Request(url, headers={**LAUNCHER_HEADERS, **(asking or {})})
    try:
        with urllib.request.urlopen(request, timeout=30) as answer:
            if headers is not None:
                headers.update(answer.headers)
            return answer.status, answer.headers.get("Content-Type", ""), answer.read()
    except urllib.error.HTTPError as error:
        if headers is not None:
            headers.update(error.headers)
        return error.code, error.headers.get("Content-Type", ""), error.read()


def cache_control(url):
    headers = {}
    fetch(url, headers)
    return headers.get("Cache-Control")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cvlctl", required=True)
    args = parser.parse_args()
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    def cvlctl(*arguments):
        return subprocess.run([args.cvlctl] + list(arguments), capture_output=True, check=True,
                              timeout=60).stdout.decode("latin-1")

    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)  # nginx's workers read the root as another user
        www = os.path.join(folder, "www")
        for sub in ("outgame", "connector/patches", "connector/patch", "connector/pre"):
            os.makedirs(os.path.join(www, sub))
        settings = os.path.join(folder, "settings.json")
        json.dump(SETTINGS, open(settings, "w"))
        cvlctl("make-info", "-o", os.path.join(www, "outgame", "info"), settings)
        patches = {}
        for level in (1, 2):
            patches[level] = os.path.join(www, "connector/patches", f"patch_{level}.zip")
            make_zip(patches[level], {f"data/level{level}.txt": f"level {level}\n"})
            open(patches[level] + ".sig", "wb").write(b"0E\x02 signature of level %d" % level)
        for language in ("english", "korean"):
            make_zip(os.path.join(www, "connector/patch", f"patch_{language}_lang.zip"), {"texts.txt": language})
        for archive in PRE[1:]:
            make_zip(os.path.join(www, "connector/pre", archive), {archive[:-4] + ".exe": b"MZ"})
        port = free_port()
        pre_lines = cvlctl("make-pre", *PRE).splitlines()[1:]

        os.makedirs(os.path.join(folder, "nginx"))
        nginx = Nginx(os.path.join(folder, "nginx"), www, port)
        base = f"http://127.0.0.1:{port}"
        try:
            nginx.start()
            status, content_type, body = fetch(base + "/outgame/info")
            check(status == 200 and content_type.startswith("application/json"), f"info: {status} {content_type}")
            check(body == open(os.path.join(www, "outgame", "info"), "rb").read(), "info body differs from the file")
            answer = json.loads(body)
            check(answer.get("result_code") == "SUCCESS", "result_code is not plain SUCCESS")
            for key, value in SETTINGS.items():
                if key == "result_code":
                    continue
                plain = cvlctl("decrypt", answer[key]).rstrip("\n")
                expected = json.dumps(value, separators=(",", ":")) if key == "patch" else (
                    str(value).lower() if isinstance(value, bool) else str(value))
                check(plain == expected,
                      f"{key} decrypts to {plain!r}, not {expected!r}")

            folder_path = json.loads(cvlctl("decrypt", answer["patch"]))["download_path"]
            for level, path in patches.items():
                status, content_type, body = fetch(base + folder_path + f"patch_{level}.zip")
                check(status == 200 and content_type == "application/zip", f"patch {level}: {status} {content_type}")
                check(body == open(path, "rb").read(), f"patch {level} differs")
                check(zipfile.ZipFile(io.BytesIO(body)).namelist() == [f"data/level{level}.txt"], f"patch {level} lost")
            # A download that broke off asks for the rest, named by the file's validator; a
            # file changed since (another validator) comes whole.
            whole = open(patches[1], "rb").read()
            headers = {}
            fetch(base + folder_path + "patch_1.zip", headers)
            etag = headers.get("ETag", "")
            check(etag != "", "patch 1 has no ETag to continue a download by")
            rest = {"Range": "bytes=10-", "If-Range": etag}
            status, _, body = fetch(base + folder_path + "patch_1.zip", asking=rest)
            check(status == 206 and body == whole[10:], f"the rest of patch 1: {status}, {len(body)} bytes")
            status, _, body = fetch(base + folder_path + "patch_1.zip", asking={**rest, "If-Range": '"changed"'})
            check(status == 200 and body == whole, f"patch 1 under another validator: {status}, {len(body)} bytes")
            status, _, _ = fetch(base + folder_path + "patch_3.zip")
            check(status == 404, f"a patch not yet published answers {status}")

            expected_caching = {
                "/outgame/info": REVALIDATED,
                folder_path + "patch_1.zip": CACHED_FOR_GOOD,
                folder_path + "patch_2.zip.sig": CACHED_FOR_GOOD,
                folder_path + "patch_3.zip": None,  # not published: nothing for a cache to keep
                "/connector/patch/patch_english_lang.zip": REVALIDATED,
                PRE[0] + PRE[1]: REVALIDATED,
            }
            for path, expected in expected_caching.items():
                got = cache_control(base + path)
                check(got == expected, f"{path}: Cache-Control {got!r}, not {expected!r}")
            for language in ("english", "korean"):
                status, _, body = fetch(base + f"/connector/patch/patch_{language}_lang.zip")
                check(status == 200 and zipfile.ZipFile(io.BytesIO(body)).read("texts.txt") == language.encode(),
                      f"{language} language patch: {status}")

            plain_pre = [cvlctl("decrypt", line).rstrip("\n") for line in pre_lines]
            check(plain_pre == PRE, f"[Pre] lines decrypt to {plain_pre}")
            for archive in plain_pre[1:]:
                status, _, body = fetch(base + plain_pre[0] + archive)
                check(status == 200 and zipfile.ZipFile(io.BytesIO(body)).namelist() == [archive[:-4] + ".exe"],
                      f"prerequisite {archive}: {status}")
        finally:
            nginx.stop()
        log = open(os.path.join(folder, "nginx", "access.log")).read()
        check('"qx launcher"' in log, "the access log lacks the launcher's user agent")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
