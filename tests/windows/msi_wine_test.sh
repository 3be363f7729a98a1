#!/usr/bin/env bash
# The MSI installers under Wine, each in a fresh prefix of its own:
#   msi_wine_test.sh WINE_SH PACKAGE_SCRIPT BUILD_WIN64 [BUILD_WIN32]
# Makes the installers with scripts/package-windows.sh (x64 from
# BUILD_WIN64, x86 from BUILD_WIN32 when that build is there), then for each
# one: a silent install puts every file under Program Files, the two
# Start-menu entries, the job folder %APPDATA%\Zubeto and the Uninstall
# entry "Zubeto" 2.01; the installed worker runs a ZIP job in the job folder
# to 0000 (the x86 worker only where the 32-bit Wine runs); a silent
# uninstall removes every file and entry it installed, and leaves the job,
# the run log and the archive, and nothing else changed.
set -uo pipefail
wine_sh=$1 package=$2 build64=$3 build32=${4:-}
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/zubeto-msi-XXXXXX)
state=$work/state
trap 'bash "$wine_sh" cleanup "$state" > /dev/null 2>&1; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

kinds=("win64=$build64")
[ -n "$build32" ] && [ -f "$build32/bin/ZUBETOB.exe" ] && kinds+=("win32=$build32")
if ! bash "$package" "$work/dist" "${kinds[@]}" > "$work/package.txt" 2>&1; then
  cat "$work/package.txt"
  echo "FAIL: the package script failed"
  exit 1
fi
version=$(sed -n 's/^project(Zubeto VERSION \([0-9.]*\).*/\1/p' "$(dirname "$package")/../CMakeLists.txt")
files="CAB32.DLL LICENSE.txt README-en.txt README-ja.txt TAR32.DLL THIRD-PARTY-NOTICES.txt UNLHA32.DLL ZIP32J.DLL ZUBETO.dll ZUBETOB.exe ZUBETOC.exe"

# The Uninstall entry's value, as the registry holds it ("" when missing).
# A 32-bit package's entry lies in the 32-bit view of the registry.
uninstall_value() {  # product code, value name
  local view=""
  [ "$arch" = x86 ] && view="Wow6432Node\\"
  bash "$wine_sh" run "$state" c reg query \
    "HKLM\\Software\\${view}Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" /v "$2" > "$work/reg.txt" 2>&1
  sed -n "s/^[[:space:]]*$2[[:space:]]\+REG_[A-Z_]*[[:space:]]\+//p" "$work/reg.txt" | tr -d '\r' | head -1
}

# Every file and folder of the prefix's drive C: but Windows' own folder
# (the installer caches the package there) and the temporary folders.
snapshot() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -print | sort)
}

for msi in "$work"/dist/*.msi; do
  arch=${msi%.msi}
  arch=${arch##*-}
  echo "=== $(basename "$msi")"
  bash "$wine_sh" setup "$state" > "$work/setup.txt" 2>&1 || { cat "$work/setup.txt"; fail "no Wine prefix"; continue; }
  WINEPREFIX=$(cat "$state")/prefix
  export WINEPREFIX
  code=$(msiinfo export "$msi" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r')
  user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
  jobs=$user_dir/Zubeto
  if [ "$arch" = x64 ]; then pf="$WINEPREFIX/drive_c/Program Files/Zubeto"; else pf="$WINEPREFIX/drive_c/Program Files (x86)/Zubeto"; fi
  before=$(snapshot)

  # ---- silent install
  winmsi="Z:${msi//\//\\}"
  bash "$wine_sh" run "$state" c msiexec /i "$winmsi" /qn > "$work/install.txt" 2>&1 ||
    { cat "$work/install.txt"; fail "$arch: msiexec /i failed"; }
  got=$(ls "$pf" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
  [ "$got" = "$files " ] || fail "$arch: Program Files holds [$got], expected [$files ]"
  for f in ZUBETOC.exe ZUBETOB.exe ZIP32J.DLL; do
    want=$(od -An -tx1 -j$(( $(od -An -tu4 -j60 -N4 "$pf/$f" 2>/dev/null | tr -d ' ') + 4 )) -N2 "$pf/$f" 2>/dev/null | tr -d ' ')
    case $arch:$want in x64:6486 | x86:4c01) ;; *) fail "$arch: $f has the machine type $want" ;; esac
  done
  menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Zubeto' -type d | head -1)
  for lnk in "Zubeto.lnk" "Zubeto run log folder.lnk"; do
    [ -n "$menu" ] && [ -f "$menu/$lnk" ] || fail "$arch: no Start-menu entry $lnk"
  done
  # The window's entry starts it in the job folder (the link holds the
  # folder's name in UTF-16).
  if [ -n "$menu" ] && [ -f "$menu/Zubeto.lnk" ]; then
    # (Each reader's whole output is taken first: with pipefail, a grep -q
    # that stops early would fail the writer of its pipe.)
    link_texts=$(x86_64-w64-mingw32-strings -el "$menu/Zubeto.lnk")
    grep -q 'AppData\\Roaming\\Zubeto\\\?$' <<< "$link_texts" ||
      fail "$arch: the window's entry does not start in the job folder: $(x86_64-w64-mingw32-strings -el "$menu/Zubeto.lnk" | tr '\n' '|')"
  fi
  [ -d "$jobs" ] || fail "$arch: no job folder $jobs"
  [ "$(uninstall_value "$code" DisplayName)" = "Zubeto" ] || fail "$arch: Uninstall entry DisplayName: $(cat "$work/reg.txt")"
  [ "$(uninstall_value "$code" DisplayVersion)" = "$version" ] ||
    fail "$arch: Uninstall entry DisplayVersion '$(uninstall_value "$code" DisplayVersion)', expected $version"

  # ---- the installed worker runs a ZIP job in the job folder
  src=$work/src-$arch out=$work/out-$arch
  mkdir -p "$src/sub" "$out"
  printf 'backed up\r\n' > "$src/sub/a.txt"
  if [ "$arch" = x64 ] || [ -x /usr/lib/wine/wine ]; then
    if [ -d "$jobs" ]; then
      printf '[mode]=1\r\n[archive]="Z:%s\\\r\n[dir_file]="Z:%s"\r\n[shut_flg]=0\r\n' "${out//\//\\}" "${src//\//\\}" \
        > "$jobs/jobconf.ini"
      (cd "$jobs" && bash "$wine_sh" run "$state" ja "$pf/ZUBETOC.exe") > "$work/run.txt" 2>&1
      run_log=$(iconv -f CP932 -t UTF-8 < "$jobs/logdata.txt" 2> /dev/null)
      listing=$(unzip -l "$out"/*.zip 2> /dev/null)
      if ! grep -q '=0000' <<< "$run_log"; then
        fail "$arch: the installed worker did not end with 0000"
        cat "$jobs/logdata.txt" "$work/run.txt" 2> /dev/null
      elif ! grep -q 'sub/a.txt' <<< "$listing"; then
        fail "$arch: the archive does not hold the file"
      else
        echo "ok: $arch: the installed worker wrote $(basename "$out"/*.zip)"
      fi
    fi
  else
    echo "$arch: the 32-bit worker is not run (this machine runs no 32-bit programs)"
    # The user's own files in the job folder all the same.
    [ -d "$jobs" ] && printf '[mode]=1\r\n' > "$jobs/jobconf.ini" && printf 'log\r\n' > "$jobs/logdata.txt"
  fi

  # ---- silent uninstall
  bash "$wine_sh" run "$state" c msiexec /x "$winmsi" /qn > "$work/uninstall.txt" 2>&1 ||
    { cat "$work/uninstall.txt"; fail "$arch: msiexec /x failed"; }
  [ ! -e "$pf" ] || fail "$arch: left in Program Files: $(ls -A "$pf" | tr '\n' ' ')"
  [ -z "$menu" ] || [ ! -e "$menu" ] || fail "$arch: Start-menu entries left: $(ls -A "$menu" | tr '\n' ' ')"
  [ -z "$(uninstall_value "$code" DisplayName)" ] || fail "$arch: the Uninstall entry is left"
  for f in jobconf.ini logdata.txt; do
    [ -f "$jobs/$f" ] || fail "$arch: the uninstall removed the user's $f"
  done
  if [ "$arch" = x64 ] && ! ls "$out"/*.zip > /dev/null 2>&1; then fail "$arch: the archive is gone"; fi
  # Nothing else changed: what is new since before the install is the job
  # folder with the user's files, nothing more.
  extra=$(comm -13 <(echo "$before") <(snapshot) | grep -v "/AppData/Roaming/Zubeto\(/jobconf.ini\|/logdata.txt\|/resp.tmp\)\?$")
  gone=$(comm -23 <(echo "$before") <(snapshot))
  [ -z "$extra" ] || fail "$arch: left behind: $(echo $extra)"
  [ -z "$gone" ] || fail "$arch: removed what was there before: $(echo $gone)"
  bash "$wine_sh" cleanup "$state" > /dev/null 2>&1
  unset WINEPREFIX
  echo "done: $arch"
done
if [ $failures -gt 0 ]; then
  echo "msi_wine_test: $failures failures"
  exit 1
fi
echo "msi_wine_test: every installer installs, runs and uninstalls cleanly"
