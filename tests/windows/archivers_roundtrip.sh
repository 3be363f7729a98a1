#!/usr/bin/env bash
# Our four archiver DLLs under Wine, through the Windows worker, read back
# by Linux readers:
#   archivers_roundtrip.sh WINE_SH STATE WORKER_EXE DLL_DIR
# WINE_SH and STATE: the Wine runner and its prefix (wine.sh). WORKER_EXE:
# the worker with the recording shutdown fake. DLL_DIR: the folder of
# UNLHA32.DLL, ZIP32J.DLL, CAB32.DLL and TAR32.DLL.
#
# The worker runs once per format under the Japanese ANSI code page (932)
# on a tree with spaces, Japanese names (three of them with a backslash as
# the second byte of a character), an empty file, an empty folder, a large
# compressible file and random data. Every reader must give back every file
# byte for byte and every folder. Then retention with [keep]=1 and
# "--verify" on every archive, whole and with a byte flipped. ZIP, CAB and TAR store names as UTF-8
# (marked so); LZH stores Shift-JIS names as Windows tools expect (with
# UTF-16 ones beside), so names read back that are not UTF-8 are taken as
# Shift-JIS before comparing.
source "$(dirname "${BASH_SOURCE[0]}")/job_script.sh" zubeto-arcrt
wine_sh=$1 state=$2 worker=$3 dlls=$4

# ------------------------------------------------------------ the tree --
src=$dir/src
mkdir -p "$src/with space/empty folder" "$src/表ソ十" "$src/日本語フォルダ/深い"
: > "$src/empty.txt"
: > "$src/with space/empty file.txt"
printf 'hello\r\n' > "$src/with space/a b.txt"
printf '能力の表示\r\n' > "$src/表ソ十/能.txt"
printf 'x' > "$src/日本語フォルダ/深い/一.txt"
head -c 3000000 /dev/urandom > "$src/random.bin"
# About 10 MB of text: more than one compression chunk, so the chunks of
# one file must join into one stream.
seq 1 400000 | sed 's/$/ the same compressible line of a backup test/' > "$src/large compressible.txt"

prog=$dir/prog
mkdir -p "$prog" "$dir/work" "$dir/out"
cp "$worker" "$prog/ZUBETOC.exe"
for f in UNLHA32.DLL ZIP32J.DLL CAB32.DLL TAR32.DLL; do cp "$dlls/$f" "$prog/$f"; done

# ------------------------------------------------------------- the runs --
# jobconf.ini in Shift-JIS with CR LF: the worker reads the ANSI code page.
run_job() {  # type, base_dir line, source line
  local type=$1 base=$2 source=$3
  local dest
  dest=$(winpath "$dir/out/$type")
  mkdir -p "$dir/out/$type"
  {
    printf '[mode]=%s\r\n' "$type"
    printf '[archive]="%s\\\r\n' "$dest"
    printf '%s\r\n' "$base"
    printf '[dir_file]="%s"\r\n' "$source"
    printf '[shut_flg]=0\r\n'
  } | iconv -f UTF-8 -t CP932 > "$dir/work/jobconf.ini"
  rm -f "$dir/work/logdata.txt"
  (cd "$dir/work" && bash "$wine_sh" run "$state" ja "$prog/ZUBETOC.exe") > "$dir/wine-$type.txt" 2>&1
  local log
  log=$(iconv -f CP932 -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null)
  if ! grep -q '=0000' <<< "$log"; then
    fail "job type $type did not end with 0000"
    echo "$log"
    cat "$dir/wine-$type.txt"
  fi
}

winsrc=$(winpath "$src")
run_job 0 "[base_dir]" "$winsrc"
run_job 1 "[base_dir]" "$winsrc"
run_job 2 "[base_dir]" "$winsrc\\*.*"
run_job 3 "[base_dir]=\"$(winpath "$dir")\"" "$winsrc"

# ---------------------------------------------------------- the checks --
# Names that are not UTF-8 are taken as Shift-JIS, deepest first.
to_utf8_names() {
  find "$1" -depth -mindepth 1 -print0 | while IFS= read -r -d '' p; do
    local base=${p##*/} parent=${p%/*}
    if ! printf '%s' "$base" | iconv -f UTF-8 -t UTF-8 > /dev/null 2>&1; then
      local name
      name=$(printf '%s' "$base" | iconv -f CP932 -t UTF-8) && mv "$p" "$parent/$name"
    fi
  done
}

manifest() {  # every file with its checksum, every folder
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum && find . -type d | sort)
}
files_only() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum); }

want=$(manifest "$src")
want_files=$(files_only "$src")
rel=${dir#/}  # ZIP and LZH keep the path without its root

check() {  # label, extracted folder holding the tree, manifest kind
  local label=$1 tree=$2 kind=$3
  to_utf8_names "$tree"
  local got expect
  if [ "$kind" = files ]; then
    got=$(files_only "$tree/")
    expect=$want_files
  elif [ "$kind" = no5c ]; then
    # This reader cuts a Shift-JIS name at every byte 0x5C ("\"), the
    # second byte of 表, ソ, 十 and 能 among others: the folder of such
    # names is left out of its comparison (and what it made of them).
    got=$(manifest "$tree/" | grep -ax '.*' | grep -v '表ソ十')
    expect=$(echo "$want" | grep -v '表ソ十')
  else
    got=$(manifest "$tree/")
    expect=$want
  fi
  if [ "$got" != "$expect" ]; then
    fail "$label: the tree read back differs from the source"
    diff <(echo "$expect") <(echo "$got") | head -20
  else
    echo "ok: $label"
  fi
}

extract() {  # label, archive, command...; the command runs in a new folder
  local label=$1 archive=$2
  shift 2
  local x=$dir/x-$label
  mkdir -p "$x"
  if ! (cd "$x" && timeout 300 "$@" "$archive") > "$dir/reader-$label.txt" 2>&1; then
    fail "$label: the reader failed"
    tail -20 "$dir/reader-$label.txt"
    return 1
  fi
}

one() { ls "$dir/out/$1"/*."$2" 2>/dev/null | head -1; }
lzh=$(one 0 lzh) zip=$(one 1 zip) cab=$(one 2 cab) tar=$(one 3 tar)
for a in lzh zip cab tar; do
  [ -n "${!a}" ] || fail "no $a archive was written"
done

if [ -n "$zip" ]; then
  extract unzip "$zip" unzip -q && check unzip "$dir/x-unzip/$rel/src" all
  extract zip-bsdtar "$zip" bsdtar -xf && check zip-bsdtar "$dir/x-zip-bsdtar/$rel/src" all
  extract zip-7z "$zip" 7z x -y && check zip-7z "$dir/x-zip-7z/$rel/src" all
fi
if [ -n "$tar" ]; then
  extract gnutar "$tar" tar -xf && check gnutar "$dir/x-gnutar/src" all
  extract tar-bsdtar "$tar" bsdtar -xf && check tar-bsdtar "$dir/x-tar-bsdtar/src" all
  extract tar-7z "$tar" 7z x -y && check tar-7z "$dir/x-tar-7z/src" all
fi
if [ -n "$lzh" ]; then
  extract lhasa "$lzh" lhasa -xq && check lhasa "$dir/x-lhasa/$rel/src" all
  extract lzh-7z "$lzh" 7z x -y && check lzh-7z "$dir/x-lzh-7z/$rel/src" no5c
fi
if [ -n "$cab" ]; then
  # A cabinet holds no folders of its own: files only.
  extract cabextract "$cab" cabextract -q && check cabextract "$dir/x-cabextract" files
  extract cab-7z "$cab" 7z x -y && check cab-7z "$dir/x-cab-7z" files
fi

# A Unix link back to a folder above, which Wine shows as a plain folder:
# the walk names it and does not go round, and keeps the rest.
loop=$dir/loop
mkdir -p "$loop/src/d"
printf 'kept' > "$loop/src/d/f.txt"
ln -s .. "$loop/src/d/back"
mkdir -p "$dir/out/loop"
{
  printf '[mode]=3\r\n[archive]="%s\\\r\n' "$(winpath "$dir/out/loop")"
  printf '[base_dir]="%s"\r\n[dir_file]="%s"\r\n[shut_flg]=0\r\n' "$(winpath "$loop")" "$(winpath "$loop/src")"
} > "$dir/work/jobconf.ini"
rm -f "$dir/work/logdata.txt"
(cd "$dir/work" && bash "$wine_sh" run "$state" ja "$prog/ZUBETOC.exe") > "$dir/wine-loop.txt" 2>&1
looplog=$(iconv -f CP932 -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null)
listing=$(tar -tf "$dir"/out/loop/*.tar 2>&1)
if ! grep -q '=8011' <<< "$looplog" || ! grep -q 'back (it leads back to a folder above it' <<< "$looplog" ||
  [ "$(echo "$listing" | sort | tr '\n' ' ')" != "src/ src/d/ src/d/f.txt " ]; then
  fail "a link back to a folder above: not named, or walked round"
  echo "$looplog" | head -10
  echo "$listing" | head -10
else
  echo "ok: a link back to a folder above is named and not entered"
fi

# ------------------------------------------ retention and the read-back --
# A ZIP run with [keep]=1 over an older archive of ours and a look-alike (13
# digits): the old one goes once the new one has read back whole, the
# look-alike stays. (Wine passes only the low 8 bits of an exit code: the
# run log's end line tells 0800 from 0000.)
keepdir=$dir/out/keep
mkdir -p "$keepdir"
printf 'old' > "$keepdir/20000101000000.zip"
printf 'look-alike' > "$keepdir/2000010100000.zip"
{
  printf '[mode]=1\r\n[archive]="%s\\\r\n[base_dir]\r\n' "$(winpath "$keepdir")"
  printf '[dir_file]="%s"\r\n[keep]=1\r\n[shut_flg]=0\r\n' "$(winpath "$src/with space")"
} > "$dir/work/jobconf.ini"
rm -f "$dir/work/logdata.txt"
(cd "$dir/work" && bash "$wine_sh" run "$state" ja "$prog/ZUBETOC.exe") > "$dir/wine-keep.txt" 2>&1
keeplog=$(iconv -f CP932 -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null)
if ! grep -q '=0000' <<< "$keeplog" || [ -e "$keepdir/20000101000000.zip" ] || [ ! -e "$keepdir/2000010100000.zip" ] ||
  ! grep -q '^REMOVED: .*\\20000101000000\.zip' <<< "$keeplog"; then
  fail "retention with [keep]=1: the old archive not removed, or the look-alike touched"
  echo "$keeplog"
  ls "$keepdir"
else
  echo "ok: retention removes the old archive and leaves the look-alike"
fi

# "--verify" reads every format's archive back; a byte flipped fails it.
verify() {  # archive (Linux path); prints the run log
  rm -f "$dir/work/logdata.txt"
  (cd "$dir/work" && bash "$wine_sh" run "$state" ja "$prog/ZUBETOC.exe" --verify "$(winpath "$1")") \
    > "$dir/wine-verify.txt" 2>&1
  iconv -f CP932 -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null
}
for a in "$lzh" "$zip" "$cab" "$tar"; do
  [ -n "$a" ] || continue
  vlog=$(verify "$a")
  if grep -q '=0000' <<< "$vlog" && grep -q '^CHECKED: .* reads back whole' <<< "$vlog"; then
    echo "ok: --verify reads back the ${a##*.} archive"
  else
    fail "--verify ${a##*.}: the archive did not read back"
    echo "$vlog"
    cat "$dir/wine-verify.txt"
  fi
done
if [ -n "$zip" ]; then
  cp "$zip" "$dir/flipped.zip"
  python3 -c 'import sys,os; p=sys.argv[1]; b=bytearray(open(p,"rb").read()); b[len(b)//2]^=0xFF; open(p,"wb").write(b)' \
    "$dir/flipped.zip"
  vlog=$(verify "$dir/flipped.zip")
  if grep -q '=0800' <<< "$vlog" && grep -q '^ERROR: failed its read-back check: ' <<< "$vlog"; then
    echo "ok: --verify fails a flipped byte with 0800"
  else
    fail "--verify did not fail a flipped byte"
    echo "$vlog"
  fi
fi

# The worker and our DLLs copied into a folder whose name ends in ソ or 表
# (the second Shift-JIS byte of each is the backslash): the worker finds
# the DLLs beside it and LZH and ZIP jobs end with 0000.
small=$dir/small
mkdir -p "$small/表ソ"
printf 'x\r\n' > "$small/表ソ/一.txt"
for folder in "プログラムソ" "予定表"; do
  p=$dir/$folder
  mkdir -p "$p"
  cp "$prog"/*.* "$p/"
  for type in 0 1; do
    out=$dir/out/$folder-$type
    mkdir -p "$out"
    {
      printf '[mode]=%s\r\n[archive]="%s\\\r\n' "$type" "$(winpath "$out")"
      printf '[dir_file]="%s"\r\n[shut_flg]=0\r\n' "$(winpath "$small")"
    } | iconv -f UTF-8 -t CP932 > "$dir/work/jobconf.ini"
    rm -f "$dir/work/logdata.txt"
    (cd "$dir/work" && bash "$wine_sh" run "$state" ja "$p/ZUBETOC.exe") > "$dir/wine-$folder-$type.txt" 2>&1
    flog=$(iconv -f CP932 -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null)
    if grep -q '=0000' <<< "$flog" && ls "$out"/*.* > /dev/null 2>&1; then
      echo "ok: job type $type from a program folder named $folder"
    else
      fail "job type $type from a program folder named $folder did not end with 0000"
      echo "$flog"
      cat "$dir/wine-$folder-$type.txt"
    fi
  done
done

# No temporary file is left beside an archive.
if ls "$dir"/out/*/*.part > /dev/null 2>&1; then fail "a temporary file was left: $(ls "$dir"/out/*/*.part)"; fi

if [ $failures -gt 0 ]; then
  echo "archivers_roundtrip: $failures failures"
  exit 1
fi
echo "archivers_roundtrip: every reader gave back the tree"
