#!/usr/bin/env bash
# Cross-builds the Windows files for 32-bit (build-win32/) and 64-bit
# (build-win64/) Windows with MinGW-w64, then runs the Windows suite: both
# builds' files are inspected with objdump, and the test programs run under
# Wine: the 64-bit ones always, the 32-bit ones where this machine runs
# 32-bit programs (found out first, see below). Ends with one line
# "windows: N passed, N failed".
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)

bash "$here/install-packages.sh" "$here/packages-windows.txt"

# Does this machine run 32-bit programs? Some kernels refuse them ("Exec
# format error"), and there the 32-bit Wine would even take the `wine`
# command from the 64-bit programs. The probe runs the smallest 32-bit
# Linux program there is, made here from its bytes: it asks the kernel to
# end it with the code 42 and does nothing else.
runs_32bit() {
  local probe rc
  probe=$(mktemp)
  # ELF header (32-bit, x86), one loadable segment, then the code:
  # mov eax,1; mov ebx,42; int 0x80.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe"
  chmod +x "$probe"
  set +e
  "$probe" 2> /dev/null
  rc=$?
  set -e
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

wine32_tests=OFF
if runs_32bit; then
  echo "windows: this machine runs 32-bit programs: the 32-bit build runs under Wine too"
  if [ "$(dpkg-query -W -f='${Status}' wine32:i386 2> /dev/null)" != "install ok installed" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo dpkg --add-architecture i386
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends wine32:i386
  fi
  wine32_tests=ON
else
  echo "windows: this machine does not run 32-bit programs (the kernel refuses them): the 32-bit build is inspected only, its Wine tests do not run"
fi

passed=0
failed=0
status=0
for target in win32:i686-w64-mingw32 win64:x86_64-w64-mingw32; do
  dir=$top/build-${target%%:*}
  triple=${target#*:}
  echo "=== $triple -> $dir"
  wine_tests=ON
  [ "${target%%:*}" = win64 ] || wine_tests=$wine32_tests
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$triple.cmake" \
    -DZUBETO_BUILD_SETTINGS=OFF -DZUBETO_WINE_TESTS=$wine_tests ${ZUBETO_WINDOWS_CMAKE_ARGS:-}
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
