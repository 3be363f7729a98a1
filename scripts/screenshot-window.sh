#!/usr/bin/env bash
# Renders the settings window ZUBETOB on a virtual X screen (Xvfb), with the
# example LZH job restored into it, and saves a PNG picture of it.
#   bash scripts/screenshot-window.sh [OUT.png]      (default: build/zbtb-window.png)
#   bash scripts/screenshot-window.sh --english [OUT.png]
#        the same window under an English locale (default:
#        build/zbtb-window-en.png); without it the window runs under
#        ja_JP.UTF-8
#   bash scripts/screenshot-window.sh --win32 [OUT.png]
#        the Win32 window ZUBETOB.exe of build-win64 under Wine, in the
#        Japanese code page (default: build/zbtb-window-win32.png)
#   bash scripts/screenshot-window.sh --win32 --english [OUT.png]
#        the Win32 window under an English interface language
#        (en_US.UTF-8, code page 1252; default: build/zbtb-window-win32-en.png)
# Needs a build (scripts/setup.sh; for --win32 also scripts/test-windows.sh);
# builds the targets it uses if missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
build="$top/build"
win32=0
english=0
while [ $# -gt 0 ]; do
  case "$1" in
    --win32) win32=1; shift ;;
    --english) english=1; shift ;;
    *) break ;;
  esac
done
if [ $win32 -eq 1 ] && [ $english -eq 1 ]; then
  out=${1:-$build/zbtb-window-win32-en.png}
elif [ $win32 -eq 1 ]; then
  out=${1:-$build/zbtb-window-win32.png}
elif [ $english -eq 1 ]; then
  out=${1:-$build/zbtb-window-en.png}
else
  out=${1:-$build/zbtb-window.png}
fi
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

if [ ! -x "$build/testbin/zubeto_screengrab" ] || { [ $win32 -eq 0 ] && [ ! -x "$build/bin/ZUBETOB" ]; }; then
  cmake --build "$build" -j2 --target ZUBETOB zubeto_screengrab
fi
if [ $win32 -eq 1 ] && [ ! -f "$top/build-win64/bin/ZUBETOB.exe" ]; then
  cmake --build "$top/build-win64" -j2 --target ZUBETOB
fi
command -v Xvfb >/dev/null || { echo "screenshot: Xvfb is missing (scripts/setup.sh installs it)" >&2; exit 1; }

work=$(mktemp -d /tmp/zubeto-shot-XXXXXX)
xvfb_pid=""
win_pid=""
cleanup() {
  [ -n "$win_pid" ] && kill "$win_pid" 2>/dev/null || true
  if [ $win32 -eq 1 ]; then WINEPREFIX="$work/prefix" timeout 60 wineserver -k >/dev/null 2>&1 </dev/null || true; fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The saved job: LZH, destination /backup/ (C:\backup\ on Windows), the
# sources /data and /memo.txt (C:\data, C:\memo.txt), no shutdown; lines
# end in CR LF as the window writes them.
if [ $win32 -eq 1 ]; then
  printf '%s\r\n' '[mode]=0' '[archive]="C:\backup\' '[base_dir]' \
    '[dir_file]="C:\data"' '[dir_file]="C:\memo.txt"' '[keep]=7' '[shut_flg]=0' > "$work/jobconf.ini"
  # In the Japanese code page, a run log whose last run failed (Shift-JIS,
  # as the worker writes it there).
  if [ $english -eq 0 ]; then
    printf '%s\r\n' '[05/15 02:30:00]=圧縮処理開始' 'UNLHA32.DLL Loading' '[05/15 02:30:09]=圧縮処理終了=0000' \
      '[05/16 02:30:00]=圧縮処理開始' 'ファイルがありません=C:\data' '[05/16 02:30:00]=圧縮処理終了=0701' |
      iconv -f UTF-8 -t CP932 > "$work/logdata.txt"
  fi
else
  printf '%s\r\n' '[mode]=0' '[archive]="/backup/' '[base_dir]' \
    '[dir_file]="/data"' '[dir_file]="/memo.txt"' '[keep]=7' '[shut_flg]=0' > "$work/jobconf.ini"
  # A run log whose last run failed, for the status line.
  printf '%s\r\n' '[05/15 02:30:00]=圧縮処理開始' 'UNLHA32.DLL Loading' '[05/15 02:30:09]=圧縮処理終了=0000' \
    '[05/16 02:30:00]=圧縮処理開始' 'ファイルがありません=/data' '詳細エラー=0002' \
    '[05/16 02:30:00]=圧縮処理終了=0701' > "$work/logdata.txt"
fi
# A runtime folder of its own, so that a window the user has open elsewhere
# does not count as a running copy.
mkdir -m 700 "$work/run"

# A free display number.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$n" ] || { echo "screenshot: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

export DISPLAY=":$n" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
if [ $win32 -eq 1 ]; then
  # A Wine prefix of its own, in the Japanese code page (932) or under an
  # English interface language (1252), made from
  # the ja_JP.UTF-8 or en_US.UTF-8 locale built here for this run only.
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX" "$work/locale"
  if [ $english -eq 1 ]; then lang=en_US; else lang=ja_JP; fi
  localedef -i $lang -f UTF-8 "$work/locale/$lang.UTF-8" >"$work/localedef.log" 2>&1 ||
    { echo "screenshot: cannot make the $lang.UTF-8 locale" >&2; cat "$work/localedef.log" >&2; exit 1; }
  unset LANGUAGE
  export LOCPATH="$work/locale" LC_ALL=$lang.UTF-8 LANG=$lang.UTF-8
  timeout 300 wineboot -i >"$work/boot.log" 2>&1 </dev/null || { echo "screenshot: wineboot failed" >&2; exit 1; }
  (cd "$work" && exec timeout 120 wine "$top/build-win64/bin/ZUBETOB.exe") >"$work/window.log" 2>&1 </dev/null &
  win_pid=$!
  sleep 5
else
  # The window's language follows the locale: Japanese under ja_JP, English
  # under any other. No schedule is read from the user's own units.
  if [ $english -eq 1 ]; then lang=en_US.UTF-8; else lang=ja_JP.UTF-8; fi
  (cd "$work" && XDG_CONFIG_HOME="$work/config" LC_ALL=$lang LANG=$lang exec "$build/bin/ZUBETOB") \
    >"$work/window.log" 2>&1 &
  win_pid=$!
  sleep 2
fi
kill -0 "$win_pid" 2>/dev/null || { echo "screenshot: ZUBETOB ended early" >&2; cat "$work/window.log" >&2; exit 1; }

# The window's client area opens at 752,272 (11280, 4080 twips) and measures
# 273 x 432 pixels (the Qt window 273 x 533 with the rows below the first
# controls); the picture keeps a margin of 8 pixels around it, and for the
# Win32 window also its frame and title bar, which Wine draws.
if [ $win32 -eq 1 ]; then
  "$build/testbin/zubeto_screengrab" "$out" 736 232 305 581
else
  "$build/testbin/zubeto_screengrab" "$out" 744 264 289 549
fi
echo "screenshot: $out"
