#!/usr/bin/env bash
# Benchmark of our four archiver DLLs on Windows: the benchmark tree archived
# by the 64-bit worker under Wine, in all four formats, beside our Linux
# libraries on the same tree in the same run. Prints wall seconds and
# archive size for each, and the ratio Windows/Linux. Prints figures only:
# it is no test.
#
#   bash scripts/bench-windows.sh [scale]     scale 1.0 = about 220 MB
#
# Needs the Linux build (build/: gen_tree, arcrun and the .so libraries)
# and the 64-bit Windows build (build-win64/); builds what is missing. The
# Windows times include starting Wine and the worker: the start alone (a
# job whose source is missing) is printed first, to be taken off.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
scale=${1:-1.0}
wine_sh=$top/tests/windows/wine.sh

[ -x "$top/build/tools/gen_tree" ] && [ -f "$top/build/bin/zip32j.so" ] ||
  { cmake -S "$top" -B "$top/build" -G Ninja > /dev/null &&
    cmake --build "$top/build" -j2 -t gen_tree arcrun unlha32 zip32j cab32 tar32 > /dev/null; }
[ -f "$top/build-win64/testbin/ZUBETOC_test.exe" ] && [ -f "$top/build-win64/bin/ZIP32J.DLL" ] ||
  { cmake -S "$top" -B "$top/build-win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64-w64-mingw32.cmake" \
      -DZUBETO_BUILD_SETTINGS=OFF > /dev/null &&
    cmake --build "$top/build-win64" -j2 > /dev/null; }

work=$(mktemp -d /tmp/zubeto-winbench-XXXXXX)
state=$work/wine-state.txt
cleanup() {
  bash "$wine_sh" cleanup "$state" > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
tree=$work/tree
"$top/build/tools/gen_tree" "$tree" "$scale"
echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB on disk"
tar cf /dev/null "$tree"  # warm the page cache for both sides alike

bash "$wine_sh" setup "$state" > "$work/wine-setup.txt" 2>&1 || { cat "$work/wine-setup.txt"; exit 1; }
prog=$work/prog
mkdir -p "$prog" "$work/job" "$work/out"
cp "$top/build-win64/testbin/ZUBETOC_test.exe" "$prog/ZUBETOC.exe"
for f in UNLHA32.DLL ZIP32J.DLL CAB32.DLL TAR32.DLL; do cp "$top/build-win64/bin/$f" "$prog/"; done

winpath() { printf 'Z:%s' "${1//\//\\}"; }
now() { date +%s.%N; }

# One run of the Windows worker: type, base_dir line, source -> "wall size"
win_run() {
  local type=$1 base=$2 source=$3 dest=$work/out/win-$1
  rm -rf "$dest"
  mkdir -p "$dest"
  printf '[mode]=%s\r\n[archive]="%s\\\r\n%s\r\n[dir_file]="%s"\r\n[shut_flg]=0\r\n' \
    "$type" "$(winpath "$dest")" "$base" "$source" > "$work/job/jobconf.ini"
  rm -f "$work/job/logdata.txt"
  local t0 t1
  t0=$(now)
  (cd "$work/job" && bash "$wine_sh" run "$state" c "$prog/ZUBETOC.exe") > "$work/wine.txt" 2>&1 || true
  t1=$(now)
  local size
  size=$(find "$dest" -type f -printf '%s\n' | head -1)
  awk -v a="$t0" -v b="$t1" -v z="${size:-0}" 'BEGIN { printf "%.2f %.2f\n", b - a, z / 1e6 }'
}

# One run of our Linux library through arcrun: library, function, command -> "wall size"
linux_run() {
  local lib=$1 fn=$2 cmd=$3 archive=$4
  rm -f "$archive"
  local t0 t1
  t0=$(now)
  "$top/build/tools/arcrun" "$top/build/bin/$lib" "$fn" "$cmd" > "$work/linux.txt" 2>&1 || true
  t1=$(now)
  awk -v a="$t0" -v b="$t1" -v z="$(stat -c %s "$archive" 2>/dev/null || echo 0)" 'BEGIN { printf "%.2f %.2f\n", b - a, z / 1e6 }'
}

start=$(win_run 1 "[base_dir]" "$(winpath "$tree")\\no such source")
echo "Wine and worker start alone: $(echo "$start" | cut -d' ' -f1) s"
echo
printf '%-4s %12s %12s %12s %12s %9s %9s\n' fmt win64_wall_s win64_MB linux_wall_s linux_MB wall_x size_x
wt=$(winpath "$tree")
row() {
  local fmt=$1 win=$2 lin=$3
  read -r ww wz <<< "$win"
  read -r lw lz <<< "$lin"
  awk -v f="$fmt" -v ww="$ww" -v wz="$wz" -v lw="$lw" -v lz="$lz" \
    'BEGIN { printf "%-4s %12.2f %12.2f %12.2f %12.2f %8.2fx %8.3fx\n", f, ww, wz, lw, lz, (lw > 0 ? ww / lw : 0), (lz > 0 ? wz / lz : 0) }'
}
o=$work/out
row TAR "$(win_run 3 "[base_dir]=\"Z:\\\"" "$wt")" \
  "$(linux_run tar32.so Tar "-cvf \"$o/l.tar\" --display-dialog=0 \"/\" \"$tree\" " "$o/l.tar")"
row ZIP "$(win_run 1 "[base_dir]" "$wt")" "$(linux_run zip32j.so Zip "-rq \"$o/l.zip\" \"$tree\" " "$o/l.zip")"
row CAB "$(win_run 2 "[base_dir]" "$wt\\*.*")" "$(linux_run cab32.so Cab "-a -ri \"$o/l.cab\" \"$tree/*.*\" " "$o/l.cab")"
row LZH "$(win_run 0 "[base_dir]" "$wt")" \
  "$(linux_run unlha32.so Unlha "a \"$o/l.lzh\" -x1r2a2 -n1 \"$tree\" " "$o/l.lzh")"
echo
echo "win64: the 64-bit worker with our DLLs under Wine (start included); linux: our .so libraries"
