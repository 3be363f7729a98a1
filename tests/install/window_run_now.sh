#!/usr/bin/env bash
# Inside a virtual X screen: starts the window by the given command, presses
# its run-now button ("すぐに圧縮する(更新+実行）") with the mouse and waits
# for the worker's end line in the job folder.
#   window_run_now.sh COMMAND JOB_FOLDER
set -euo pipefail
launcher=$1
job=$2
"$launcher" >"$job/../window-$(basename "$launcher").log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
win=""
for _ in $(seq 100); do
  win=$(xdotool search --pid "$pid" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "no window" >&2; exit 1; }
sleep 1
# The button's middle: 120 + 3855/2 by 5520 + 375/2 twips, at 15 twips a pixel.
xdotool mousemove --window "$win" 136 380 click 1
for _ in $(seq 300); do
  grep -q '圧縮処理終了=' "$job/logdata.txt" 2>/dev/null && exit 0
  sleep 0.1
done
echo "no end line in $job/logdata.txt" >&2
exit 1
