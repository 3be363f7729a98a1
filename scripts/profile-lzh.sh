#!/usr/bin/env bash
# Where the LZH writer's time goes: runs unlha32.so on the benchmark tree
# under perf and sums the samples by stage (match finding, path choice,
# Huffman coding, checksums, reading and writing, the rest).
#
#   bash scripts/profile-lzh.sh [scale]     default scale 0.2 (about 44 MB)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
scale=${1:-0.2}
bash "$here/setup.sh" >/dev/null
bash "$here/install-packages.sh" "$here/packages-profile.txt"
work=$(mktemp -d /tmp/zubeto-profile-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$top/build/tools/gen_tree" "$work/tree" "$scale" >/dev/null
perf record -q -o "$work/perf.data" -F 999 -- \
  "$top/build/tools/arcrun" "$top/build/bin/unlha32.so" Unlha "a \"$work/o.lzh\" -x1r2a2 -n1 \"$work/tree\" " \
  >/dev/null 2>&1
perf report -i "$work/perf.data" --no-children --sort symbol --stdio 2>/dev/null |
  awk '/^ +[0-9.]+%/ {
         p = $1; sub(/%/, "", p); s = $2 " " $3
         if (s ~ /find_matches|::insert|cost_parse|lazy_parse|longest_match|State::run/) k = "match finding (hash chains, insertion)"
         else if (s ~ /shortest_path|model_from_path|first_model/) k = "path choice (cost parse)"
         else if (s ~ /send_block|huffman|block_cost|::count|::flush|::split|BitJoin|BitWriter|introsort|insertion_sort/) k = "Huffman coding and bits"
         else if (s ~ /crc16/) k = "CRC-16"
         else if (s ~ /\[k\]/) k = "system (reading, writing, page cache)"
         else if (s ~ /memcpy|memmove|memset/) k = "copying"
         else k = "other"
         t[k] += p
       }
       END { for (k in t) printf "%6.1f%%  %s\n", t[k], k }' | sort -rn | head -12
echo "(perf samples of all threads; run on $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
