#!/usr/bin/env bash
# Compares unlha32.so with jlha on one corpus: wall time, archive size and
# peak memory. Prints figures only; it judges nothing.
#   bash tests/archivers/lzh/bench_lzh.sh [build dir] [corpus folder]
# Without a corpus folder it builds one: source text, program binaries,
# random bytes, and one large repetitive text.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
build=${1:-$top/build}
lib=$build/bin/unlha32.so
call=$build/testbin/lzh_bench_call
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=${2:-}
if [ -z "$corpus" ]; then
  corpus=$work/corpus
  mkdir -p "$corpus/text" "$corpus/bin"
  cp -r /usr/include/c++ "$corpus/text/" 2>/dev/null || true
  cp /usr/bin/cmake /usr/bin/bash "$corpus/bin/" 2>/dev/null || true
  head -c 8000000 /dev/urandom > "$corpus/random.bin"
  (yes "a line that repeats, with a counter at the end: 12345" || true) | head -c 30000000 > "$corpus/repeat.txt"
fi
echo "corpus: $corpus ($(du -sh "$corpus" | cut -f1))"
mkdir -p "$work/out"
measure() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null
  read -r secs kb < "$work/time"
  echo "$label $secs $kb"
}
read -r _ ours_s ours_kb < <(measure ours "$call" "$lib" "a \"$work/out/ours.lzh\" -x1r2a2 -n1 \"$corpus\" ")
read -r _ jlha_s jlha_kb < <(cd "$work" && measure jlha jlha a "$work/out/jlha.lzh" "$corpus")
ours_b=$(stat -c %s "$work/out/ours.lzh")
jlha_b=$(stat -c %s "$work/out/jlha.lzh")
printf "%-6s %10s %14s %12s\n" "" "seconds" "bytes" "peak KiB"
printf "%-6s %10s %14s %12s\n" ours "$ours_s" "$ours_b" "$ours_kb"
printf "%-6s %10s %14s %12s\n" jlha "$jlha_s" "$jlha_b" "$jlha_kb"
awk -v a="$ours_s" -v b="$jlha_s" -v c="$ours_b" -v d="$jlha_b" \
  'BEGIN { printf "time ratio %.2f (goal <= 0.50), size ratio %.4f (goal <= 1)\n", a / b, c / d }'
