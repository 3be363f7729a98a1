#!/usr/bin/env bash
# Benchmark of our four archiver libraries against the usual tools, on the
# same deterministic tree in the same run. Prints wall and CPU seconds, peak
# memory and archive size for each, and the ratio ours/reference.
#
#   bash scripts/bench-archivers.sh [scale]     scale 1.0 = about 300 MB
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
scale=${1:-1.0}
bash "$here/setup.sh" >/dev/null

bin="$top/build/bin"
tools="$top/build/tools"
work=$(mktemp -d /tmp/zubeto-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
out="$work/out"
mkdir -p "$out"
"$tools/gen_tree" "$tree" "$scale"
files=$(find "$tree" -type f | wc -l)
echo "tree: $files files, $(du -sm "$tree" | cut -f1) MB on disk"
tar cf /dev/null "$tree"  # warm the page cache for everybody alike

# measure NAME ARCHIVE COMMAND... -> "wall cpu peakMB sizeMB"
measure() {
  local archive=$1
  shift
  rm -f "$archive"
  local t="$work/time.txt"
  if ! /usr/bin/time -f '%e %U %S %M' -o "$t" "$@" >"$work/cmd.log" 2>&1; then
    echo "FAILED"
    tail -5 "$work/cmd.log" >&2
    return
  fi
  read -r wall user sys maxkb <"$t"
  local size
  size=$(stat -c %s "$archive")
  awk -v w="$wall" -v u="$user" -v s="$sys" -v m="$maxkb" -v z="$size" \
    'BEGIN { printf "%.2f %.2f %.1f %.2f\n", w, u + s, m / 1024, z / 1e6 }'
}

row() {  # format ours-result ref-result goal
  local fmt=$1 ours=$2 ref=$3 goal=$4
  printf '%-4s %-10s %8s %8s %9s %10s\n' "$fmt" ours $ours
  printf '%-4s %-10s %8s %8s %9s %10s\n' "$fmt" reference $ref
  if [[ $ours != FAILED* && $ref != FAILED* ]]; then
    read -r ow oc om os <<<"$ours"
    read -r rw rc rm rs <<<"$ref"
    awk -v ow="$ow" -v rw="$rw" -v os="$os" -v rs="$rs" -v om="$om" -v f="$fmt" -v g="$goal" \
      'BEGIN { printf "%-4s ratio      wall %.2fx  size %.3fx  ours peak %.1f MB   goal: %s\n", f, (rw > 0 ? ow / rw : 0), (rs > 0 ? os / rs : 0), om, g }'
  fi
  echo
}

printf '%-4s %-10s %8s %8s %9s %10s\n' fmt writer wall_s cpu_s peak_MB size_MB
lib() { [ -f "$bin/$1" ] && echo yes || echo no; }

if [ "$(lib tar32.so)" = yes ]; then
  ours=$(measure "$out/o.tar" "$tools/arcrun" "$bin/tar32.so" Tar "-cvf \"$out/o.tar\" --display-dialog=0 \"/\" \"$tree\" ")
  ref=$(measure "$out/r.tar" tar cf "$out/r.tar" "$tree")
  row TAR "$ours" "$ref" "wall <= 1.2x GNU tar"
  # Ours flushes the archive to disk before naming it; GNU tar leaves it in
  # the page cache. The same reference, followed by an fsync of its file
  # (dd conv=fsync; "sync -f" would flush the whole file system):
  ref=$(measure "$out/r.tar" bash -c "tar cf '$out/r.tar' '$tree' && dd if=/dev/null of='$out/r.tar' oflag=append conv=notrunc,fsync status=none")
  row TAR "$ours" "$ref" "wall <= 1.2x GNU tar + fsync"
fi
if [ "$(lib zip32j.so)" = yes ]; then
  ours=$(measure "$out/o.zip" "$tools/arcrun" "$bin/zip32j.so" Zip "-rq \"$out/o.zip\" \"$tree\" ")
  ref=$(measure "$out/r.zip" zip -r -q "$out/r.zip" "$tree")
  row ZIP "$ours" "$ref" "wall <= 0.6x Info-ZIP, size <= 1.01x"
fi
if [ "$(lib cab32.so)" = yes ]; then
  ours=$(measure "$out/o.cab" "$tools/arcrun" "$bin/cab32.so" Cab "-a -ri \"$out/o.cab\" \"$tree/*.*\" ")
  (cd "$tree" && find . -type f | sed 's|^\./||' >"$work/list.txt")
  ref=$(cd "$tree" && measure "$out/r.cab" bash -c "mapfile -t f <'$work/list.txt'; exec gcab -c -z '$out/r.cab' \"\${f[@]}\"")
  row CAB "$ours" "$ref" "wall <= 0.3x gcab"
fi
if [ "$(lib unlha32.so)" = yes ]; then
  ours=$(measure "$out/o.lzh" "$tools/arcrun" "$bin/unlha32.so" Unlha "a \"$out/o.lzh\" -x1r2a2 -n1 \"$tree\" ")
  ref=$(cd "$work" && measure "$out/r.lzh" jlha a "$out/r.lzh" tree)
  row LZH "$ours" "$ref" "wall <= 0.35x jlha, size <= 0.99x, peak <= 64 MB"
  # The same tree as "-lh5-" from jlha, asked for by name: the method every
  # reader decodes, so the size to hold ours against.
  lh5=$(cd "$work" && measure "$out/r5.lzh" jlha ao5 "$out/r5.lzh" tree)
  if [[ $ours != FAILED* && $lh5 != FAILED* ]]; then
    read -r _ _ _ os <<<"$ours"
    read -r _ _ _ ls <<<"$lh5"
    awk -v os="$os" -v ls="$ls" 'BEGIN { printf "LZH  size vs jlha -lh5-  %.3fx  (jlha -lh5-: %.2f MB)\n\n", (ls > 0 ? os / ls : 0), ls }'
  fi
fi
echo "peak memory goal whatever the tree: < 32 MB (LZH: <= 64 MB)"
echo "load while measuring: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min; $(nproc) cores)"
