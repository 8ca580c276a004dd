#!/usr/bin/env bash
# Runs every benchmark and writes the figures as Markdown to $CVL_BENCH_DIR/report.md
# (default /tmp/cvl-bench; the archives, ~4 GB, are made there once and kept).
#   bench/run.sh [extract] [startup] [patchrun] [line] [signing] [resume] [launcher-memory]
#                [size] [release]                                    (default: all)
# Builds its own folders build/bench-native (Release), build/bench-windows and, for the
# signature checks, build/bench-windows-signed (with a throw-away update key made under
# $CVL_BENCH_DIR/signing; it runs in build/bench-windows' Wine prefix).
# Environment: CVL_BENCH_REPEATS (default 5), CVL_BENCH_START_REPEATS (9),
# CVL_BENCH_PATCH_REPEATS (rounds of every launcher comparison, 3), CVL_BENCH_MEMORY_REPEATS (1),
# CVL_BENCH_LINE_RATE (bytes a second of the line, default 20 MiB), CVL_BENCH_DISPLAY
# (Xvfb display, default :56).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
WORK="${CVL_BENCH_DIR:-/tmp/cvl-bench}"
DATA="$WORK/data"
REPEATS="${CVL_BENCH_REPEATS:-5}"
NATIVE="$ROOT/build/bench-native"
WINDOWS="$ROOT/build/bench-windows"
SIGNED="$ROOT/build/bench-windows-signed"
KEYS="$WORK/signing/key"
PATCH_REPEATS="${CVL_BENCH_PATCH_REPEATS:-3}"
WINE_RUN="$WINDOWS/wine-run.sh"
REPORT="$WORK/report.md"
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(extract startup patchrun line signing resume launcher-memory size release)
want() { [[ " ${parts[*]} " == *" $1 "* ]]; }
wine_parts() { want startup || want patchrun || want line || want signing || want resume || want launcher-memory; }

mkdir -p "$WORK/bin"
"$ROOT/scripts/setup"
cmake --preset native -B "$NATIVE" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$NATIVE" -j2 --target cvl-unzip zlib-floor connector-server cvlctl
if wine_parts || want size; then
  cmake --preset windows -B "$WINDOWS" >/dev/null
  cmake --build "$WINDOWS" -j2 --target CVLauncher
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -municode -mwindows -static \
    -o "$WORK/bin/barewindow.exe" "$ROOT/bench/barewindow.cpp"
  i686-w64-mingw32-windres -I "$ROOT/resources" "$ROOT/resources/CVLauncher.rc" -O coff \
    -o "$WORK/bin/cvl-resources.o"
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -municode -mwindows -static \
    -I "$ROOT/src" -o "$WORK/bin/artworkwindow.exe" "$ROOT/bench/artworkwindow.cpp" "$WORK/bin/cvl-resources.o" \
    -lgdiplus -lcomctl32 -lshlwapi -lole32
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -municode -static \
    -o "$WORK/bin/urldownload.exe" "$ROOT/bench/urldownload.cpp" -lurlmon
fi
if want signing; then
  [ -f "$KEYS/update-key.pem" ] || "$NATIVE/bin/cvlctl" keygen "$KEYS" >/dev/null
  cmake --preset windows -B "$SIGNED" -DCVL_UPDATE_KEY="$KEYS/update-key.pub" \
    -DCVL_WINEPREFIX="$WINDOWS/wineprefix" >/dev/null
  cmake --build "$SIGNED" -j2 --target CVLauncher
fi
if want extract || wine_parts; then
  python3 "$ROOT/bench/make-data.py" "$DATA"
fi

{
  echo "## Run of $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "- CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
  echo "- memory: $(free -h | awk '/^Mem:/ {print $2 " total, " $7 " available"}')"
  echo "- load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "- $(wine --version), $(unzip -v | head -1 | cut -d' ' -f1-2), $(bsdtar --version | cut -d' ' -f1-2), zlib $(dpkg-query -W -f='${Version}\n' zlib1g | head -1)"
  echo
} > "$REPORT"

cd "$ROOT/bench"
if want extract; then
  python3 bench_extract.py "$NATIVE" "$DATA" "$REPEATS" | tee -a "$REPORT"
fi

if wine_parts; then
  export DISPLAY="${CVL_BENCH_DISPLAY:-:56}"
  if ! xdpyinfo >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  "$WINE_RUN" --init
fi
if want startup; then
  # A launcher folder whose configuration names a port nobody listens on: the window
  # opens, and is measured, before the server query fails.
  mkdir -p "$WORK/startup"
  cp "$WINDOWS/bin/CVLauncher.exe" "$WORK/startup/"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  printf '[Options]\r\nPatchVersion=0\r\n[User]\r\nrecovery=%s\r\nemail=%s\r\n' \
    "$("$NATIVE/bin/cvlctl" encrypt --key user 127.0.0.1)" "$("$NATIVE/bin/cvlctl" encrypt --key user "$port")" \
    > "$WORK/startup/CVLauncher.cfg"
  python3 bench_startup.py "$WINE_RUN" "$WORK/startup" "$WORK/bin/barewindow.exe" "${CVL_BENCH_START_REPEATS:-9}" \
    "$WORK/bin/artworkwindow.exe" | tee -a "$REPORT"
fi
if want patchrun; then
  python3 bench_patchrun.py "$WINE_RUN" "$WINDOWS/bin" "$NATIVE/bin" "$DATA" "$WORK/patchrun" \
    "$PATCH_REPEATS" "$WORK/bin/urldownload.exe" | tee -a "$REPORT"
fi
if want line; then
  python3 bench_patchrun.py "$WINE_RUN" "$WINDOWS/bin" "$NATIVE/bin" "$DATA" "$WORK/line" \
    "$PATCH_REPEATS" --rate "${CVL_BENCH_LINE_RATE:-20971520}" | tee -a "$REPORT"
fi
if want signing; then
  python3 bench_signing.py "$WINE_RUN" "$WINDOWS/bin" "$SIGNED/bin" "$NATIVE/bin" "$DATA" "$WORK/signing" \
    "$KEYS/update-key.pem" "$PATCH_REPEATS" | tee -a "$REPORT"
fi
if want resume; then
  python3 bench_resume.py "$WINE_RUN" "$WINDOWS/bin" "$NATIVE/bin" "$DATA" "$WORK/resume" \
    "$PATCH_REPEATS" | tee -a "$REPORT"
fi
if want launcher-memory; then
  python3 bench_launchermemory.py "$WINE_RUN" "$WINDOWS/bin" "$NATIVE/bin" "$DATA" "$WORK/launcher-memory" \
    "$WORK/bin/barewindow.exe" "${CVL_BENCH_MEMORY_REPEATS:-1}" | tee -a "$REPORT"
fi
if want size; then
  python3 bench_size.py "$WINDOWS/bin/CVLauncher.exe" | tee -a "$REPORT"
fi
if want release; then
  # Its own client folders (2 GB, two versions) beside the archives, made once.
  python3 bench_release.py "$NATIVE" "$WORK" "$REPEATS" | tee -a "$REPORT"
fi
echo "report: $REPORT"
