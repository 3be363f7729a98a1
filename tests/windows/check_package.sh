#!/usr/bin/env bash
# Makes the Windows package of one build and checks what it holds:
#   check_package.sh PACKAGE_SCRIPT KIND BUILD_DIR
# The zip must hold one folder with the worker, the share check library, our
# four archiver DLLs (the window too when the build has it) and the two
# read-me files (the Japanese one in Shift-JIS), the licence and the
# third-party notices, every text with CR LF line ends.
set -uo pipefail
script=$1 kind=$2 build=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if ! bash "$script" "$out" "$kind=$build" > "$out/log.txt" 2>&1; then
  cat "$out/log.txt"
  echo "FAIL: the package script failed"
  exit 1
fi
zip=$(ls "$out"/*.zip)
status=0
got=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
want="CAB32.DLL LICENSE.txt README-en.txt README-ja.txt THIRD-PARTY-NOTICES.txt TAR32.DLL UNLHA32.DLL ZIP32J.DLL ZUBETO.dll ZUBETOC.exe"
[ -f "$build/bin/ZUBETOB.exe" ] && want="$want ZUBETOB.exe"
want=$(echo $want | tr ' ' '\n' | sort | tr '\n' ' ')
echo "holds: $got"
if [ "$got" != "$want" ]; then
  echo "FAIL: expected $want"
  status=1
fi
mkdir "$out/x"
(cd "$out/x" && unzip -q "$zip")
ja=$(ls "$out"/x/*/README-ja.txt)
if ! iconv -f CP932 -t UTF-8 < "$ja" | grep -q 'ズベト'; then
  echo "FAIL: the Japanese read-me is not Shift-JIS"
  status=1
fi
if ! grep -q 'MIT License' "$out"/x/*/LICENSE.txt || ! grep -q 'zlib licence' "$out"/x/*/THIRD-PARTY-NOTICES.txt; then
  echo "FAIL: the licence or the third-party notices are not the project's"
  status=1
fi
for f in "$out"/x/*/*.txt; do
  lines=$(wc -l < "$f")
  crlf=$(grep -c $'\r$' "$f")
  if [ "$lines" -eq 0 ] || [ "$lines" != "$crlf" ]; then
    echo "FAIL: $f has lines without CR LF"
    status=1
  fi
done
[ $status -eq 0 ] && echo "OK: $zip"
exit $status
