#!/usr/bin/env bash
# Makes the Windows package of one build and checks what it holds:
#   check_package.sh PACKAGE_SCRIPT KIND BUILD_DIR
# The zip must hold one folder with the worker, the share check library, our
# four archiver DLLs (the window too when the build has it) and the two
# read-me files (the Japanese one in Shift-JIS), the licence and the
# third-party notices, every text with CR LF line ends. With the window, the
# MSI installer of that bitness holds the same files (read from its File
# table), for the right platform, with version, name and maker.
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
if [ -f "$build/bin/ZUBETOB.exe" ]; then
  arch=$([ "$kind" = win64 ] && echo x64 || echo x86)
  msi=$(ls "$out"/*-"$arch".msi 2> /dev/null)
  if [ -z "$msi" ]; then
    echo "FAIL: no $arch installer"
    status=1
  else
    in_msi=$(msiinfo export "$msi" File | tail -n +4 | cut -f3 | sed 's/.*|//' | sort | tr '\n' ' ')
    echo "installer holds: $in_msi"
    [ "$in_msi" = "$want" ] || { echo "FAIL: the installer holds [$in_msi], expected [$want]"; status=1; }
    props=$(msiinfo export "$msi" Property | tr -d '\r')
    for p in "ProductName	Zubeto" "ProductVersion	$(sed -n 's/^project(Zubeto VERSION \([0-9.]*\).*/\1/p' "$(dirname "$script")/../CMakeLists.txt")" \
      "Manufacturer	Zubeto developers" "ALLUSERS	1"; do
      grep -qxF "$p" <<< "$props" || { echo "FAIL: the installer lacks the property [$p]"; status=1; }
    done
    platform=$([ "$arch" = x64 ] && echo x64 || echo Intel)
    summary=$(msiinfo suminfo "$msi")
    grep -q "^Template: $platform;" <<< "$summary" ||
      { echo "FAIL: the installer is not for $arch: $(msiinfo suminfo "$msi" | grep Template)"; status=1; }
    # No custom action runs a program of ours.
    [ -z "$(msiinfo export "$msi" CustomAction | tail -n +4)" ] || { echo "FAIL: the installer has custom actions"; status=1; }
  fi
fi
[ $status -eq 0 ] && echo "OK: $zip"
exit $status
