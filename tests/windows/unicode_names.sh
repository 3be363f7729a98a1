#!/usr/bin/env bash
# Every name Windows holds is archived by our four DLLs, through the Windows
# worker under Wine, and read back right by Linux readers:
#   unicode_names.sh WINE_SH STATE WORKER_EXE DLL_DIR
# WINE_SH and STATE: the Wine runner and its prefix (wine.sh). WORKER_EXE:
# the worker with the recording shutdown fake. DLL_DIR: the folder of
# UNLHA32.DLL, ZIP32J.DLL, CAB32.DLL and TAR32.DLL.
#
# The tree below the source holds names that the ANSI code page cannot
# spell: under code page 932 "é", "ü", "€" and an emoji, under code page
# 1252 the Japanese ones and the emoji; beside them Japanese names whose
# second Shift-JIS byte is a backslash (表, ソ, 十, 能). The job file names
# only the ASCII source folder (it stays ANSI text); every name below it is
# found by the walk. Each format, in each code page, must archive every
# file (the run ends 0000, nothing named as vanished), and every reader must
# give back every name and every file's bytes: ZIP, TAR and CAB store the
# names in UTF-8 (marked so), LZH beside its Shift-JIS name the UTF-16 one
# (bsdtar reads that one; lhasa reads the Shift-JIS one, where "_" stands
# for a character code page 932 lacks).
source "$(dirname "${BASH_SOURCE[0]}")/job_script.sh" zubeto-uninames
wine_sh=$1 state=$2 worker=$3 dlls=$4

# ------------------------------------------------------------ the tree --
# Each file holds its own name (its path below the source), so that a
# reader that swapped two names is caught too.
names=(
  "é.txt"
  "ü und €.txt"
  "emoji 😀.txt"
  "日本語.txt"
  "表ソ十/能.txt"
  "ソ/café 😀/ü.txt"
  "plain.txt"
)
src=$dir/src
for n in "${names[@]}"; do
  mkdir -p "$src/$(dirname "$n")"
  printf '%s' "$n" > "$src/$n"
done

prog=$dir/prog
mkdir -p "$prog" "$dir/work"
cp "$worker" "$prog/ZUBETOC.exe"
for f in UNLHA32.DLL ZIP32J.DLL CAB32.DLL TAR32.DLL; do cp "$dlls/$f" "$prog/$f"; done

winsrc=$(winpath "$src")
rel=${dir#/}  # ZIP and LZH keep the path without its root

# What lhasa gives back: the Shift-JIS bytes of the name, "_" for what code
# page 932 lacks.
sjis_name() {
  python3 -c 'import sys; n = "".join(c if c.encode("cp932", "ignore") else "_" for c in sys.argv[1])
sys.stdout.buffer.write(n.encode("cp932"))' "$1"
}

# ------------------------------------------------------- the table --
# format: job type, extension, the job's base_dir line, its source.
declare -A type=([lzh]=0 [zip]=1 [cab]=2 [tar]=3)
declare -A base=([lzh]="[base_dir]" [zip]="[base_dir]" [cab]="[base_dir]" [tar]="[base_dir]=\"$(winpath "$dir")\"")
declare -A source=([lzh]="$winsrc" [zip]="$winsrc" [cab]="$winsrc\\*.*" [tar]="$winsrc")
# Where the tree lies in what a reader writes.
declare -A top=([lzh]="$rel/src" [zip]="$rel/src" [cab]="." [tar]="src")
# reader: format, how names come back (exact | sjis), command (the archive last).
readers=(
  "zip exact unzip -q"
  "zip exact 7z x -y"
  "zip exact bsdtar -xf"
  "tar exact tar -xf"
  "tar exact bsdtar -xf"
  "tar exact 7z x -y"
  "cab exact cabextract -q"
  "cab exact gcab -x"
  "cab exact 7z x -y"
  "lzh exact bsdtar -xf"
  "lzh sjis lhasa xq"
)

for locale in ja c; do
  for fmt in lzh zip cab tar; do
    label="$fmt ($locale)"
    out=$dir/out-$locale-$fmt
    mkdir -p "$out"
    # The job file in the ANSI code page with CR LF (its paths are ASCII).
    {
      printf '[mode]=%s\r\n' "${type[$fmt]}"
      printf '[archive]="%s\\\r\n' "$(winpath "$out")"
      printf '%s\r\n' "${base[$fmt]}"
      printf '[dir_file]="%s"\r\n' "${source[$fmt]}"
      printf '[shut_flg]=0\r\n'
    } > "$dir/work/jobconf.ini"
    rm -f "$dir/work/logdata.txt"
    (cd "$dir/work" && bash "$wine_sh" run "$state" "$locale" "$prog/ZUBETOC.exe") > "$dir/wine-$locale-$fmt.txt" 2>&1
    cp=CP932
    [ "$locale" = ja ] || cp=CP1252
    log=$(iconv -f "$cp" -t UTF-8 < "$dir/work/logdata.txt" 2>/dev/null)
    if ! grep -q '=0000' <<< "$log" || grep -q 'vanished\|cannot read' <<< "$log"; then
      fail "$label: the run did not archive every name"
      echo "$log"
      cat "$dir/wine-$locale-$fmt.txt"
      continue
    fi
    archive=$(ls "$out"/*."$fmt" 2>/dev/null | head -1)
    if [ -z "$archive" ]; then
      fail "$label: no archive was written"
      continue
    fi
    for r in "${readers[@]}"; do
      read -r rfmt kind cmd <<< "$r"
      [ "$rfmt" = "$fmt" ] || continue
      x=$dir/x-$locale-$fmt-${cmd%% *}
      mkdir -p "$x"
      if ! (cd "$x" && timeout 300 $cmd "$archive") > "$x.txt" 2>&1; then
        fail "$label, ${cmd%% *}: the reader failed"
        tail -5 "$x.txt"
        continue
      fi
      tree=$x/${top[$fmt]}
      want="" bad=""
      for n in "${names[@]}"; do
        if [ "$kind" = sjis ]; then
          want+=$(sjis_name "$n")$'\n'
        else
          want+=$n$'\n'
          [ "$(cat "$tree/$n" 2> /dev/null)" = "$n" ] || bad+=" $n"
        fi
      done
      want=$(printf '%s' "$want" | LC_ALL=C sort)
      got=$( (cd "$tree" 2> /dev/null && LC_ALL=C find . -type f | LC_ALL=C sed 's|^\./||' | LC_ALL=C sort))
      if [ "$got" != "$want" ]; then
        fail "$label, ${cmd%% *}: the names read back differ"
        diff <(echo "$want") <(echo "$got") | head -20
      elif [ -n "$bad" ]; then
        fail "$label, ${cmd%% *}: files hold another file's bytes:$bad"
      else
        echo "ok: $label, ${cmd%% *}: every name read back"
      fi
    done
  done
done

if [ $failures -gt 0 ]; then
  echo "unicode_names: $failures failures"
  exit 1
fi
echo "unicode_names: every name archived and read back"
