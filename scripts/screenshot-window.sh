#!/usr/bin/env bash
# Renders the settings window ZUBETOB on a virtual X screen (Xvfb), with the
# example LZH job restored into it, and saves a PNG picture of it.
#   bash scripts/screenshot-window.sh [OUT.png]      (default: build/zbtb-window.png)
# Needs a build (scripts/setup.sh); builds the two targets it uses if missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
build="$top/build"
out=${1:-$build/zbtb-window.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

if [ ! -x "$build/bin/ZUBETOB" ] || [ ! -x "$build/testbin/zubeto_screengrab" ]; then
  cmake --build "$build" -j2 --target ZUBETOB zubeto_screengrab
fi
command -v Xvfb >/dev/null || { echo "screenshot: Xvfb is missing (scripts/setup.sh installs it)" >&2; exit 1; }

work=$(mktemp -d /tmp/zubeto-shot-XXXXXX)
xvfb_pid=""
win_pid=""
cleanup() {
  [ -n "$win_pid" ] && kill "$win_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The saved job: LZH, destination /backup/, the sources /data and
# /memo.txt, no shutdown; lines end in CR LF as the window writes them.
printf '%s\r\n' '[mode]=0' '[archive]="/backup/' '[base_dir]' \
  '[dir_file]="/data"' '[dir_file]="/memo.txt"' '[shut_flg]=0' > "$work/jobconf.ini"
# A runtime folder of its own, so that a window the user has open elsewhere
# does not count as a running copy.
mkdir -m 700 "$work/run"

# A free display number.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$n" ] || { echo "screenshot: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

export DISPLAY=":$n" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
(cd "$work" && exec "$build/bin/ZUBETOB") >"$work/window.log" 2>&1 &
win_pid=$!
sleep 2
kill -0 "$win_pid" 2>/dev/null || { echo "screenshot: ZUBETOB ended early" >&2; cat "$work/window.log" >&2; exit 1; }

# The window's client area opens at 752,272 (11280, 4080 twips) and measures
# 273 x 432 pixels; the picture keeps a margin of 8 pixels around it.
"$build/testbin/zubeto_screengrab" "$out" 744 264 289 448
echo "screenshot: $out"
