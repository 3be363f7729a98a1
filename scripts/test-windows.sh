#!/usr/bin/env bash
# Cross-builds the Windows files for 32-bit (build-win32/) and 64-bit
# (build-win64/) Windows with MinGW-w64, then runs the Windows suite: both
# builds' files are inspected with objdump, and the 64-bit test programs run
# under Wine. Ends with one line "windows: N passed, N failed".
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

bash "$here/install-packages.sh" "$here/packages-windows.txt"

passed=0
failed=0
status=0
for target in win32:i686-w64-mingw32 win64:x86_64-w64-mingw32; do
  dir=$top/build-${target%%:*}
  triple=${target#*:}
  echo "=== $triple -> $dir"
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$triple.cmake" \
    -DZUBETO_BUILD_SETTINGS=OFF ${ZUBETO_WINDOWS_CMAKE_ARGS:-}
  cmake --build "$dir" -j "$(nproc)"
  log=$dir/ctest-output.txt
  set +e
  (cd "$dir" && ctest --output-on-failure -j "$(nproc)" --timeout 900 "$@") 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  [ "$rc" -eq 0 ] || status=1
  # "100% tests passed, 0 tests failed out of 11"
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -z "$summary" ]; then
    status=1
    failed=$((failed + 1))
    continue
  fi
  f=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  n=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
  passed=$((passed + n - f))
  failed=$((failed + f))
done
echo "windows: $passed passed, $failed failed"
exit $status
