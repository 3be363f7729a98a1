#!/usr/bin/env bash
# Reads the resources of a built Windows file back, without running it:
#   check_resources.sh FILE KIND DESCRIPTION VERSION
# KIND: worker, window or dll. Every file must carry a version resource
# whose fixed numbers and strings give VERSION (the project's, "2.01" ->
# 2.1.0.0), the product "Zubeto", a company and DESCRIPTION; the programs a
# manifest that asks for no more rights than the user's (asInvoker); the
# window also Common Controls 6, per-monitor DPI awareness and its icon.
set -uo pipefail
file=$1 kind=$2 description=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $file: $*"
  status=1
}

# ---- the version resource (type 16)
wrestool -x --raw -t 16 "$file" > "$work/version.bin" 2> "$work/wrestool.txt"
if [ ! -s "$work/version.bin" ]; then
  fail "no version resource"
  cat "$work/wrestool.txt"
  exit 1
fi
# The fixed part: after the signature FEEF04BD, the structure's version,
# then the file version (high word first in each double word) and the
# product version.
sig=$(od -An -tx1 -v "$work/version.bin" | tr -d ' \n' | grep -ob 'bd04effe' | head -1 | cut -d: -f1)
if [ -z "$sig" ]; then
  fail "the version resource has no fixed part"
else
  at=$((sig / 2))
  read -r fms fls pms pls <<< "$(od -An -tu4 -j $((at + 8)) -N16 "$work/version.bin")"
  numbers() { echo "$(($1 >> 16)).$(($1 & 65535)).$(($2 >> 16)).$(($2 & 65535))"; }
  major=${version%%.*} minor=${version#*.}
  want="$major.$((10#$minor)).0.0"
  [ "$(numbers "$fms" "$fls")" = "$want" ] || fail "file version $(numbers "$fms" "$fls"), expected $want"
  [ "$(numbers "$pms" "$pls")" = "$want" ] || fail "product version $(numbers "$pms" "$pls"), expected $want"
fi
# The strings are UTF-16, each key followed by its value; the length words
# before a key read as one more character in front of it.
iconv -c -f UTF-16LE -t UTF-8 < "$work/version.bin" | tr '\0' '\n' | grep -v '^\s*$' > "$work/strings.txt"
value() { grep -A1 "$1\$" "$work/strings.txt" | sed -n 2p; }
echo "version strings: $(tr '\n' '|' < "$work/strings.txt")"
[ "$(value ProductName)" = "Zubeto" ] || fail "ProductName is '$(value ProductName)'"
[ "$(value FileDescription)" = "$description" ] || fail "FileDescription is '$(value FileDescription)'"
[ -n "$(value CompanyName)" ] || fail "no CompanyName"
[ "$(value FileVersion)" = "$version" ] || fail "FileVersion is '$(value FileVersion)', expected $version"
[ "$(value ProductVersion)" = "$version" ] || fail "ProductVersion is '$(value ProductVersion)'"
[ "$(value OriginalFilename)" = "$(basename "$file")" ] || fail "OriginalFilename is '$(value OriginalFilename)'"

# ---- the manifest (type 24, id 1) of the programs
if [ "$kind" != dll ]; then
  wrestool -x --raw -t 24 -n 1 "$file" > "$work/manifest.xml" 2> /dev/null
  if [ ! -s "$work/manifest.xml" ]; then
    fail "no manifest"
  else
    grep -q 'requestedExecutionLevel level="asInvoker"' "$work/manifest.xml" || fail "the manifest does not ask for asInvoker"
    if [ "$kind" = window ]; then
      grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "$work/manifest.xml" ||
        fail "the manifest does not ask for Common Controls 6"
      grep -q '<dpiAwareness[^>]*>PerMonitorV2' "$work/manifest.xml" || fail "the manifest is not per-monitor DPI aware"
    fi
    # The system refuses a program whose manifest is no well-formed XML.
    if command -v xmllint > /dev/null && ! xmllint --noout "$work/manifest.xml"; then fail "the manifest is no XML"; fi
  fi
fi
if [ "$kind" = window ]; then
  wrestool -x --raw -t 14 "$file" > "$work/icon.bin" 2> /dev/null
  [ -s "$work/icon.bin" ] || fail "no icon"
fi
[ $status -eq 0 ] && echo "OK: $file"
exit $status
