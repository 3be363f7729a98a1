#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite through CTest.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
bash "$here/setup.sh"
export QT_QPA_PLATFORM=offscreen
cd "$top/build"
ctest --output-on-failure -j "$(nproc)" --timeout 900 "$@"
bash "$here/test-windows.sh"
