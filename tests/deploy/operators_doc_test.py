#!/usr/bin/env python3
"""docs/operators.md, step by step: every ```sh block of the guide runs in order in one
bash, in an empty folder with the built cvlctl on the PATH, so a guide that drifts from
the program fails. A ```text output block shows what the sh block before it prints: each
of its lines must come out (a line ending in "..." as a beginning). What the guide asks
the operator to bring (the three prerequisite installers, the own payload files) is laid
out first; nginx listens on a free port.

Usage: operators_doc_test.py --doc GUIDE --cvlctl CVLCTL --source SOURCE_DIR
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from cvltest import free_port  # noqa: E402


def guide_blocks(guide):
    """The sh blocks in order, each with the output lines that the guide shows for it."""
    blocks = []
    for info, body in re.findall(r"^```([^\n]*)\n(.*?)^```$", guide, flags=re.S | re.M):
        if info.strip() == "sh":
            blocks.append((body, []))
        elif info.split()[1:] == ["output"] and blocks:
            blocks[-1][1].extend(line.strip() for line in body.splitlines() if line.strip())
    return blocks


def missing_output(expected, printed):
    lines = [line.strip() for line in printed.splitlines()]
    missing = []
    for want in expected:
        if want.endswith("..."):
            found = any(line.startswith(want[:-3]) for line in lines)
        else:
            found = want in lines
        if not found:
            missing.append(want)
    return missing


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


def stop_leftover_nginx(folder):
    """Stops an nginx the guide started and did not stop; True when one was left."""
    pid_file = os.path.join(folder, "nginx", "nginx.pid")
    if not os.path.exists(pid_file):
        return False
    pid = int(open(pid_file).read().strip())
    deadline = time.monotonic() + 30
    while alive(pid) and time.monotonic() < deadline:  # a quit lets the workers finish first
        time.sleep(0.1)
    if alive(pid):
        os.kill(pid, signal.SIGTERM)
        return True
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--doc", required=True)
    parser.add_argument("--cvlctl", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()

    blocks = guide_blocks(open(args.doc, encoding="utf-8").read())
    if len(blocks) < 5 or not any(expected for _, expected in blocks):
        print(f"FAIL: only {len(blocks)} sh blocks found in {args.doc}, or no output shown")
        return 1
    # One shell for the whole guide; a marker line between blocks tells whose output is whose.
    script = "set -euo pipefail\nexec 2>&1\n" + "".join(
        f"echo '@@block {i}@@'\n{body}" for i, (body, _) in enumerate(blocks))

    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)  # nginx's workers read www/ as another user
        for name in ("webview2", "runtime2012", "runtime2022"):
            os.makedirs(os.path.join(folder, "installers"), exist_ok=True)
            open(os.path.join(folder, "installers", name + ".exe"), "wb").write(b"MZ installer " + name.encode())
        os.makedirs(os.path.join(folder, "my-payloads"))
        for name in ("Proc.exe", "patchtool.exe"):
            open(os.path.join(folder, "my-payloads", name), "wb").write(b"MZ operator's " + name.encode())

        env = dict(os.environ)
        env["PATH"] = os.path.dirname(os.path.abspath(args.cvlctl)) + os.pathsep + env["PATH"]
        env["PORT"] = str(free_port())
        env["SRC"] = os.path.abspath(args.source)
        env["HOME"] = folder
        try:
            done = subprocess.run(["bash", "-c", script], cwd=folder, env=env, capture_output=True, text=True,
                                  timeout=900)
        finally:
            leftover = stop_leftover_nginx(folder)
        if done.returncode != 0:
            print(done.stdout[-6000:])
            print(f"FAIL: the guide's commands stopped with status {done.returncode}")
            return 1
        if leftover:
            print("FAIL: the guide left nginx running")
            return 1
        printed = re.split(r"^@@block \d+@@$", done.stdout, flags=re.M)[1:]
        failed = False
        for (body, expected), output in zip(blocks, printed):
            missing = missing_output(expected, output)
            if missing:
                failed = True
                print(f"FAIL: the block\n{body}printed\n{output}\nwithout the lines the guide shows: {missing}")
        if failed:
            return 1
        print(f"ran {len(blocks)} blocks of {args.doc}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
