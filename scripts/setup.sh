#!/usr/bin/env bash
# Installs the Debian packages the project needs (only the missing ones),
# then configures and builds everything into build/ (deliverables in build/bin).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

want=$(grep -v '^\s*#' "$here/packages.txt" | grep -v '^\s*$' | tr '\n' ' ')
missing=()
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$top" -B "$top/build" -G Ninja ${ZUBETO_CMAKE_ARGS:-}
cmake --build "$top/build" -j "$(nproc)"
