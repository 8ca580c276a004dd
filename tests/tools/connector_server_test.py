#!/usr/bin/env python3
"""The connector server: information answer protected with the server key (checked
with openssl), files under their paths, and the test misbehaviours.

Usage: connector_server_test.py SERVER
"""
import json
import http.client
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import ConnectorServer, unprotect as decrypt  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def get(server, path, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=30)
    connection.request("GET", path, headers=headers or {})
    answer = connection.getresponse()
    try:
        body = answer.read()
    except http.client.IncompleteRead as cut:
        body = cut.partial
    connection.close()
    return answer, body


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "root")
        os.makedirs(os.path.join(root, "connector", "patch"))
        payload = os.urandom(100000)
        with open(os.path.join(root, "connector", "patch", "patch_1.zip"), "wb") as f:
            f.write(payload)
        with open(os.path.join(work, "secret"), "w") as f:
            f.write("outside")
        info = os.path.join(work, "info.txt")
        with open(info, "w") as f:
            f.write("# sample\nresult_code=SUCCESS\nserverIp=10.1.2.3\npatch={\"download_path\":\"/connector/patch/\"}\n")

        with ConnectorServer(binary, root=root, info=info, rules=["/slow:stall=10,status=201"]) as server:
            answer, body = get(server, "/outgame/info", {"User-Agent": "qx launcher"})
            check(answer.status == 200 and answer.getheader("Content-Type") == "application/json", "info headers")
            values = json.loads(body)
            check(list(values) == ["result_code", "serverIp", "patch"], "info keys in file order")
            check(values["result_code"] == "SUCCESS", "result_code plain")
            check(decrypt(values["serverIp"]) == "10.1.2.3", "serverIp protected with the server key")
            check(decrypt(values["patch"]) == '{"download_path":"/connector/patch/"}', "patch protected")

            answer, body = get(server, "/connector/patch/patch_1.zip")
            check(answer.status == 200 and body == payload, "file served whole")
            answer, body = get(server, "/../secret")
            check(answer.status == 404 and b"outside" not in body, "no file outside the root")
            answer, _ = get(server, "/missing.zip")
            check(answer.status == 404, "missing file is 404")

            server.rule("/connector/patch/patch_1.zip", cut="1000")
            answer, body = get(server, "/connector/patch/patch_1.zip")
            check(answer.getheader("Content-Length") == str(len(payload)) and body == payload[:1000],
                  "cut announces the whole file and sends part")
            server.rule("/connector/patch/patch_1.zip")
            answer, body = get(server, "/connector/patch/patch_1.zip")
            check(body == payload, "rule removed")
            answer, body = get(server, "/connector/patch/patch_1.zip", {"Range": "bytes=99000-"})
            check(answer.status == 206 and body == payload[99000:], "a range of a file")

            server.rule("/outgame/info", status="503", type="application/octet-stream")
            answer, body = get(server, "/outgame/info")
            check(answer.status == 503 and answer.getheader("Content-Type") == "application/octet-stream"
                  and json.loads(body)["result_code"] == "SUCCESS", "status and type with the normal body")
            server.rule("/outgame/info", status="404", body="nothing here")
            answer, body = get(server, "/outgame/info")
            check(answer.status == 404 and body == b"nothing here", "status and body")

            server.rule("/old", redirect="/connector/patch/patch_1.zip")
            answer, _ = get(server, "/old")
            check(answer.status == 302 and answer.getheader("Location") == "/connector/patch/patch_1.zip", "redirect")
            answer, _ = get(server, "/slow")
            check(answer.status == 201, "rule from the command line")

            seen = server.requests()
            check(any(r["path"] == "/outgame/info" and r["headers"].get("User-Agent") == "qx launcher" for r in seen),
                  "requests recorded with their headers")
            sent = [r["sent"] for r in seen if r["path"] == "/connector/patch/patch_1.zip"]
            check(sent == [len(payload), 1000, len(payload), 1000], f"file bytes sent for each request: {sent}")

        done = subprocess.run([binary, "--help"], capture_output=True, text=True)
        check(done.returncode == 0 and "--root" in done.stdout, "--help")
        done = subprocess.run([binary, "--bogus", "1"], capture_output=True, text=True)
        check(done.returncode == 2 and "unknown option" in done.stderr, "bad option refused")
    if failures:
        sys.exit(1)
    print("connector server: all checks passed")


if __name__ == "__main__":
    main()
