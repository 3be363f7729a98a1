#!/usr/bin/env bash
# By-hand check of cab32.so beyond 2 GiB of input (not part of the test
# suite: it needs about 7 GB of free disk and several minutes).
#   1. 2.5 GiB of input in files of 500 MB: more than one CAB folder's worth,
#      so several folders; the cabinet must pass cabextract -t.
#   2. One file of 2.5 GiB: larger than one folder can hold (a file never
#      spans folders): left out and named; being the only file, nothing is
#      archived (8009) and no cabinet is left.
# Usage: scripts/cab-bigtest.sh [work folder]
set -eu  # no pipefail: the generators end their producers with SIGPIPE
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
lib="$top/build/bin/cab32.so"
arcrun="$top/build/tools/arcrun"
run() { "$arcrun" "$1" Cab "$2"; }
[[ -x "$arcrun" && -f "$lib" ]] || { echo "build first: cmake --build build -j2" >&2; exit 1; }
work=${1:-$(mktemp -d)}
mkdir -p "$work/many" "$work/one" "$work/out"
trap 'rm -rf "$work/many" "$work/one" "$work/out"' EXIT

gen() { openssl enc -aes-128-ctr -pass "pass:$1" -nosalt -pbkdf2 </dev/zero 2>/dev/null | head -c "$2"; }
mb=$((1024 * 1024))
echo "writing 5 x 500 MB of mixed data ..."
for i in 1 2 3 4 5; do
  { gen "r$i" $((250 * mb)); yes "line $i of compressible text for the cabinet check" | head -c $((250 * mb)); } > "$work/many/part$i.bin"
done
run "$lib" "-a -ri \"$work/out/many.cab\" \"$work/many/*.*\" " && echo "written: $(stat -c %s "$work/out/many.cab") bytes"
cabextract -t "$work/out/many.cab" | tail -1
cabextract -l "$work/out/many.cab" | head -12

echo "writing one file of 2.5 GiB ..."
cat "$work"/many/part*.bin > "$work/one/huge.bin"
rm -rf "$work/many"
status=0
run "$lib" "-a -ri \"$work/out/one.cab\" \"$work/one/huge.bin\" " || status=$?
echo
[[ $status -ne 0 ]] || { echo "FAIL: a file larger than a folder was accepted"; exit 1; }
[[ ! -e "$work/out/one.cab" ]] && echo "ok: refused, no cabinet left" || { echo "FAIL: a cabinet was left"; exit 1; }
ls -A "$work/out"
