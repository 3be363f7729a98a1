#!/usr/bin/env bash
# Benchmark of our four archiver libraries against the usual tools, on the
# same deterministic tree in the same run. Prints wall and CPU seconds, peak
# memory and archive size for each, and the ratio ours/reference.
#
#   bash scripts/bench-archivers.sh [scale]     scale 1.0 = about 300 MB
#   bash scripts/bench-archivers.sh --files N   N small files (100000, 200000,
#        1000000; or ZUBETO_BENCH_FILES=N): time, size and peak memory per
#        format beside GNU tar, Info-ZIP and jlha (gcab too while one
#        cabinet can hold the files), the peak memory per file above a
#        one-file run, and the 64-bit worker ZUBETOC running a CAB job over
#        the tree (ZUBETO_BENCH_NO_WORKER=1 leaves it out)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
many=${ZUBETO_BENCH_FILES:-}
if [ "${1:-}" = "--files" ]; then
  many=${2:?how many files}
  scale=1.0
else
  scale=${1:-1.0}
fi
[ -n "${ZUBETO_BENCH_NO_SETUP:-}" ] || bash "$here/setup.sh" >/dev/null

bin="$top/build/bin"
tools="$top/build/tools"
work=$(mktemp -d /tmp/zubeto-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
out="$work/out"
mkdir -p "$out"
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
  # A cabinet set: the first cabinet and its followers "<stem>_<n><ext>".
  size=$({ stat -c %s "$archive" "${archive%.*}"_[0-9]*."${archive##*.}" 2>/dev/null || true; } | awk '{ s += $1 } END { print s }')
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

if [ -n "$many" ]; then
  # The many-files table: every writer over the same tree of small files.
  "$tools/gen_tree" "$tree" --many "$many"
  one="$work/one"
  mkdir -p "$one"
  echo "one small file" >"$one/f.txt"
  tar cf /dev/null "$tree"
  # run FMT ARCHIVE SOURCE -> the command of one of ours
  ours_cmd() {
    local fmt=$1 a=$2 src=$3
    case $fmt in
      TAR) echo "$tools/arcrun $bin/tar32.so Tar" "-cvf \"$a\" --display-dialog=0 \"/\" \"$src\" " ;;
      ZIP) echo "$tools/arcrun $bin/zip32j.so Zip" "-rq \"$a\" \"$src\" " ;;
      LZH) echo "$tools/arcrun $bin/unlha32.so Unlha" "a \"$a\" -x1r2a2 -n1 \"$src\" " ;;
      CAB) echo "$tools/arcrun $bin/cab32.so Cab" "-a -ri \"$a\" \"$src/*.*\" " ;;
    esac
  }
  printf '%-4s %-10s %8s %8s %9s %10s %14s\n' fmt writer wall_s cpu_s peak_MB size_MB bytes_per_file
  for fmt in TAR ZIP LZH CAB; do
    ext=$(echo "$fmt" | tr A-Z a-z)
    read -r prog lib fn <<<"$(ours_cmd "$fmt" x x | cut -d' ' -f1-3)"
    base=$(measure "$out/one.$ext" "$prog" "$lib" "$fn" "$(ours_cmd "$fmt" "$out/one.$ext" "$one" | cut -d' ' -f4-)")
    res=$(measure "$out/o.$ext" "$prog" "$lib" "$fn" "$(ours_cmd "$fmt" "$out/o.$ext" "$tree" | cut -d' ' -f4-)")
    if [[ $res == FAILED* || $base == FAILED* ]]; then
      printf '%-4s %-10s %s\n' "$fmt" ours "$res (one file: $base)"
      continue
    fi
    read -r _ _ bm _ <<<"$base"
    read -r w c m z <<<"$res"
    per=$(awk -v m="$m" -v b="$bm" -v n="$many" 'BEGIN { printf "%.0f", (m - b) * 1048576 / n }')
    printf '%-4s %-10s %8s %8s %9s %10s %14s\n' "$fmt" ours "$w" "$c" "$m" "$z" "$per"
    rm -f "$out/o.$ext" "$out"/o_[0-9]*."$ext"
  done
  ref=$(measure "$out/r.tar" tar cf "$out/r.tar" "$tree")
  printf '%-4s %-10s %8s %8s %9s %10s\n' TAR "GNU tar" $ref
  rm -f "$out/r.tar"
  ref=$(measure "$out/r.zip" zip -r -q "$out/r.zip" "$tree")
  printf '%-4s %-10s %8s %8s %9s %10s\n' ZIP Info-ZIP $ref
  rm -f "$out/r.zip"
  # jlha is slow on many files: bounded (ZUBETO_BENCH_JLHA_SECONDS, 1800 s).
  ref=$(cd "$work" && measure "$out/r.lzh" timeout "${ZUBETO_BENCH_JLHA_SECONDS:-1800}" jlha a "$out/r.lzh" tree)
  printf '%-4s %-10s %8s %8s %9s %10s\n' LZH jlha $ref
  rm -f "$out/r.lzh"
  if [ "$many" -le 65535 ]; then
    (cd "$tree" && find . -type f | sed 's|^\./||' >"$work/list.txt")
    ref=$(cd "$tree" && measure "$out/r.cab" bash -c "mapfile -t f <'$work/list.txt'; exec gcab -c -z '$out/r.cab' \"\${f[@]}\"")
    printf '%-4s %-10s %8s %8s %9s %10s\n' CAB gcab $ref
    rm -f "$out/r.cab"
  else
    printf '%-4s %-10s %s\n' CAB gcab "not run: it writes one cabinet, which holds at most 65,535 files"
  fi
  if [ -z "${ZUBETO_BENCH_NO_WORKER:-}" ]; then
    # The worker itself, as a job runs it: a CAB job over the tree (a
    # cabinet set), its end line and its peak memory.
    job="$work/job"
    mkdir -p "$job" "$work/backup"
    printf '[mode]=2\r\n[archive]="%s/\r\n[base_dir]\r\n[dir_file]="%s"\r\n[shut_flg]=0\r\n' "$work/backup" "$tree" >"$job/jobconf.ini"
    if (cd "$job" && /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$bin/ZUBETOC" >/dev/null 2>&1); then :; fi
    read -r wall user sys maxkb <"$work/time.txt"
    end=$(tr -d '\r' <"$job/logdata.txt" | LC_ALL=C grep -ao '=[0-9A-F]\{4\}$' | tail -1 | tr -d =)
    cabs=$(find "$work/backup" -type f | wc -l)
    size=$(du -cb "$work/backup" | tail -1 | cut -f1)
    awk -v w="$wall" -v u="$user" -v s="$sys" -v m="$maxkb" -v z="$size" -v e="$end" -v c="$cabs" \
      'BEGIN { printf "worker ZUBETOC CAB job: end line %s, %d cabinets, wall %.2f s, cpu %.2f s, peak %.1f MB, %.2f MB\n", e, c, w, u + s, m / 1024, z / 1e6 }'
    rm -rf "$work/backup"
  fi
  echo "goal: bytes per file above a one-file run <= 40 (TAR), <= 150 (ZIP, LZH, CAB)"
  echo "load while measuring: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min; $(nproc) cores)"
  exit 0
fi
"$tools/gen_tree" "$tree" "$scale"
files=$(find "$tree" -type f | wc -l)
echo "tree: $files files, $(du -sm "$tree" | cut -f1) MB on disk"
tar cf /dev/null "$tree"  # warm the page cache for everybody alike

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
# libdeflate's own compute time (one thread, the compression calls alone)
# on the same files cut as our ZIP and CAB writers cut them, at their
# levels, against our writer's CPU time in a run of its own.
for fmt in ZIP CAB; do
  case $fmt in
    ZIP) lvl=6 lib=zip32j.so fn=Zip args="-rq \"$out/d.zip\" \"$tree\" " ;;
    CAB) lvl=7 lib=cab32.so fn=Cab args="-a -ri \"$out/d.cab\" \"$tree/*.*\" " ;;
  esac
  [ -x "$bin/deflate_compute" ] && [ -f "$bin/$lib" ] || continue
  ours=$(measure "$out/d.$(echo $fmt | tr A-Z a-z)" "$tools/arcrun" "$bin/$lib" "$fn" "$args")
  read -r dc dz <<<"$("$bin/deflate_compute" "$(echo $fmt | tr A-Z a-z)" "$lvl" "$tree")"
  read -r _ oc _ _ <<<"$ours"
  awk -v f="$fmt" -v l="$lvl" -v oc="$oc" -v dc="$dc" -v dz="$dz" -v g="$([ $fmt = ZIP ] && echo '<= 1.1x' || echo '-')" \
    'BEGIN { printf "%-4s libdeflate level %s compute %.2f s (%.2f MB); ours CPU %.2f s: %.2fx   goal: %s\n\n", f, l, dc, dz / 1e6, oc, (dc > 0 ? oc / dc : 0), g }'
done
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
