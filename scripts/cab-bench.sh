#!/usr/bin/env bash
# Times cab32.so against `gcab -c -z` on the same generated tree and prints
# wall and CPU seconds, peak memory and cabinet size, and the ratios.
# Usage: scripts/cab-bench.sh [work folder]   (default: a new temporary folder)
set -eu  # no pipefail: the generators end their producers with SIGPIPE
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
lib="$top/build/bin/cab32.so"
run="$top/build/testbin/cab_run"
[[ -x "$run" && -f "$lib" ]] || { echo "build first: cmake --build build -j2" >&2; exit 1; }
work=${1:-$(mktemp -d)}
tree="$work/tree"

if [[ ! -d "$tree" ]]; then
  echo "generating the tree in $tree ..."
  mkdir -p "$tree"
  # Deterministic content: text from a fixed word stream, binaries from a
  # seeded generator, already-compressed data from gzip of the binaries.
  seed() { openssl enc -aes-128-ctr -pass "pass:$1" -nosalt -pbkdf2 </dev/zero 2>/dev/null | head -c "$2"; }
  words() { yes "backup archive folder cabinet data memo $1 2024 report final draft" | head -c "$2" | tr ' ' '\n' | paste -d' ' - - - - - - - - - -; }
  for d in $(seq 1 30); do
    mkdir -p "$tree/text$d"
    for f in $(seq 1 150); do words "$d.$f" $(( (f * 7919 + d * 104729) % 60000 + 200 )) > "$tree/text$d/f$f.txt"; done
  done
  mkdir -p "$tree/bin" "$tree/packed" "$tree/large"
  for i in $(seq 1 10); do seed "b$i" $((2 * 1024 * 1024)) > "$tree/bin/b$i.dat"; done
  for i in $(seq 1 5); do seed "p$i" $((1024 * 1024)) | base64 | gzip -1 > "$tree/packed/p$i.gz"; done
  words large $((120 * 1024 * 1024)) > "$tree/large/log.txt"
  seed large $((40 * 1024 * 1024)) > "$tree/large/random.bin"
fi
echo "tree: $(du -sh "$tree" | cut -f1), $(find "$tree" -type f | wc -l) files"

measure() {  # label, output cabinet, command...
  local label=$1 out=$2; shift 2
  rm -f "$out"
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >/dev/null
  read -r wall user sys rss < "$work/time.txt"
  printf "%-8s wall %7.2f s  cpu %7.2f s  peak %7.1f MB  size %12d bytes\n" "$label" "$wall" \
    "$(echo "$user + $sys" | bc)" "$(echo "scale=1; $rss / 1024" | bc)" "$(stat -c %s "$out")"
  eval "${label}_wall=$wall; ${label}_size=$(stat -c %s "$out")"
}

# gcab is given the files as relative paths, as ours stores them.
(cd "$tree" && find . -type f | sed 's|^\./||' | sort > "$work/list.txt")
measure gcab "$work/gcab.cab" bash -c "cd '$tree' && mapfile -t files < '$work/list.txt' && gcab -c -z '$work/gcab.cab' \"\${files[@]}\""
measure ours "$work/ours.cab" "$run" "$lib" "-a -ri \"$work/ours.cab\" \"$tree/*.*\" "
echo "ratio ours/gcab: time $(echo "scale=2; $ours_wall / $gcab_wall" | bc)x (goal at most 0.3x), size $(echo "scale=3; $ours_size / $gcab_size" | bc)x"
cabextract -t "$work/ours.cab" | tail -1
