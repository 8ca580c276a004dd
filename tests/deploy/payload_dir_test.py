#!/usr/bin/env python3
"""The configure-time check of CVL_PAYLOAD_DIR, by real configures of the Windows build:
a misnamed file stops the configure naming it and the expected names; a folder with one
real file configures, carries that file and names the stand-ins used for the others.

Usage: payload_dir_test.py CMAKE SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile


def configure(cmake, source, build, payload_dir):
    return subprocess.run(
        [cmake, "-S", source, "-B", build, "-G", "Ninja",
         f"-DCMAKE_TOOLCHAIN_FILE={source}/cmake/mingw-w64-i686.cmake", "-DCMAKE_BUILD_TYPE=Release",
         f"-DCVL_PAYLOAD_DIR={payload_dir}"],
        capture_output=True, text=True, timeout=600)


def flat(text):
    return " ".join(text.split())


def main():
    cmake, source = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as temp:
        misnamed = os.path.join(temp, "misnamed")
        os.makedirs(misnamed)
        for name in ("Proc.exe", "PatchTool.exe"):
            open(os.path.join(misnamed, name), "wb").write(b"MZ")
        done = configure(cmake, source, os.path.join(temp, "b1"), misnamed)
        err = flat(done.stderr)
        if done.returncode == 0:
            failures.append("a misnamed payload file did not stop the configure")
        for expected in ("'PatchTool.exe'", "did you mean 'patchtool.exe'",
                         "The expected names are: PackingLibraryWrapper-Win32-Release.dll, patchtool.exe,"):
            if expected not in err:
                failures.append(f"the error lacks {expected!r}:\n{done.stderr}")

        one = os.path.join(temp, "one")
        os.makedirs(one)
        shutil.copy(sys.executable, os.path.join(one, "Proc.exe"))  # any file stands for a real one
        build = os.path.join(temp, "b2")
        done = configure(cmake, source, build, one)
        if done.returncode != 0:
            failures.append(f"a folder with one right file did not configure:\n{done.stderr}")
        else:
            out, err = flat(done.stdout), flat(done.stderr)
            if f"payload CVLauncherEXE: {one}/Proc.exe (operator's file)" not in out:
                failures.append(f"the operator's file is not named:\n{done.stdout}")
            if "patchtool.exe (stand-in payload_patchtool)" not in err or " Proc.exe (stand-in" in err:
                failures.append(f"the stand-ins are not named right:\n{done.stderr}")
            rc = open(os.path.join(build, "payloads", "payloads.rc")).read()
            if f'CVLauncherEXE RCDATA "{one}/Proc.exe"' not in rc:
                failures.append(f"the launcher does not carry the operator's file:\n{rc}")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
