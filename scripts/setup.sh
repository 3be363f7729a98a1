#!/usr/bin/env bash
# Installs the Debian packages the project needs (only the missing ones),
# then configures and builds everything into build/ (deliverables in build/bin).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

bash "$here/install-packages.sh" "$here/packages.txt"

cmake -S "$top" -B "$top/build" -G Ninja ${ZUBETO_CMAKE_ARGS:-}
cmake --build "$top/build" -j "$(nproc)"
