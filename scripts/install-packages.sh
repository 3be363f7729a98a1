#!/usr/bin/env bash
# Installs the Debian packages of a list file (one package a line, '#'
# comments) that are not installed yet. Usage: install-packages.sh LIST
set -euo pipefail
list=$1
want=$(grep -v '^\s*#' "$list" | grep -v '^\s*$' | tr '\n' ' ')
missing=()
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
