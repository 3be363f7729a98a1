#!/usr/bin/env bash
# Runs the Windows test programs under Wine, one prefix per test run:
#   wine.sh setup   STATE            new prefix in a temp folder, its server
#                                    kept running, the ja_JP.UTF-8 locale made
#   wine.sh run     STATE LOCALE EXE [ARGS]   LOCALE: ja (ANSI code page 932)
#                                    or c (the default Western code page 1252)
#                                    or en (en_US.UTF-8: code page 1252 and
#                                    an English interface language)
#   wine.sh cleanup STATE            server stopped, temp folder removed
# STATE is a file that holds the temp folder's path between the calls.
#
# Windows need an X display: when Xvfb is installed, the setup starts a
# virtual screen of its own (1280x1280, 96 dots per inch: tall enough for
# the window at twice its size) before the prefix
# is made, every run uses it, and the cleanup stops it. Without Xvfb the
# programs run with no display at all.
#
# 64-bit programs are always started through the 64-bit loader
# (/usr/lib/wine/wine64), 32-bit ones through the 32-bit loader
# (/usr/lib/wine/wine, from wine32:i386): the `wine` command picks the
# 32-bit loader whenever it is installed, and on a machine whose kernel
# refuses 32-bit programs that would fail for every program. The prefix is
# made by the 64-bit loader; a 32-bit program runs in it as on 64-bit
# Windows.
#
# Wine's background server inherits the descriptors of the program that
# starts it: a pipe held that way never closes, and whoever reads it hangs.
# So every Wine program here writes to files, never to a pipe, the server is
# started on its own first, and every call is bounded by a timeout.
set -uo pipefail
cmd=$1 state=$2
shift 2

export WINEDEBUG=-all
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
# The loader that the programs' own child programs start through.
export WINELOADER=$wine64

# 32 or 64: the machine type in the PE header of a Windows program.
pe_bits() {
  local at machine
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$at" ] || { echo 0; return; }
  machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) echo 0 ;;
  esac
}
# No download offers for the .NET and HTML runtimes while the prefix is made,
# and no menu entries of this machine's desktop for the Start-menu entries
# an installer makes inside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

use_state() {
  dir=$(cat "$state" 2>/dev/null) || { echo "wine.sh: no Wine prefix; the setup step did not run"; exit 1; }
  export WINEPREFIX=$dir/prefix
  if [ -s "$dir/display" ]; then export DISPLAY=$(cat "$dir/display"); fi
}

# A virtual X screen on a free display number, for the whole test run. Its
# output goes to a file and it reads nothing: it must not hold the pipes of
# whoever started the setup.
start_screen() {
  command -v Xvfb > /dev/null || return 0
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  setsid Xvfb ":$n" -screen 0 1280x1280x24 -dpi 96 -nolisten tcp > "$dir/xvfb.log" 2>&1 < /dev/null &
  echo $! > "$dir/xvfb.pid"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ -e "/tmp/.X11-unix/X$n" ]; then
    echo ":$n" > "$dir/display"
    export DISPLAY=":$n"
  else
    echo "wine.sh: Xvfb did not start; windows cannot be tested"
    cat "$dir/xvfb.log"
  fi
}

case $cmd in
  setup)
    # A prefix left by a run that died is removed first.
    if [ -f "$state" ]; then "$0" cleanup "$state" > /dev/null 2>&1; fi
    dir=$(mktemp -d /tmp/zubeto-wine-XXXXXX)
    echo "$dir" > "$state"
    export WINEPREFIX=$dir/prefix
    mkdir -p "$WINEPREFIX" "$dir/locale"
    start_screen
    # Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932.
    # It is made here, for these runs only, so the system's locales stay as
    # they are.
    if ! localedef -i ja_JP -f UTF-8 "$dir/locale/ja_JP.UTF-8" > "$dir/localedef.log" 2>&1; then
      cat "$dir/localedef.log"
      echo "wine.sh: cannot make the ja_JP.UTF-8 locale"
      exit 1
    fi
    # en_US.UTF-8 the same way: an English interface language (code page 1252).
    if ! localedef -i en_US -f UTF-8 "$dir/locale/en_US.UTF-8" >> "$dir/localedef.log" 2>&1; then
      cat "$dir/localedef.log"
      echo "wine.sh: cannot make the en_US.UTF-8 locale"
      exit 1
    fi
    timeout 60 wineserver -p > "$dir/server.log" 2>&1 < /dev/null
    if ! timeout 300 "$wine64" wineboot -i > "$dir/boot.log" 2>&1 < /dev/null; then
      cat "$dir/boot.log"
      echo "wine.sh: wineboot failed"
      exit 1
    fi
    # The Task Scheduler's service (the window's daily run): its first start
    # in a new prefix outlasts the service manager's wait and leaves it
    # stuck; started once here and the server restarted, the service starts
    # when a test asks for it. A failure here only makes that test skip.
    timeout 120 "$wine64" net start schedule > "$dir/schedule.log" 2>&1 < /dev/null
    timeout 60 wineserver -k > /dev/null 2>&1 < /dev/null
    timeout 60 wineserver -w > /dev/null 2>&1 < /dev/null
    timeout 60 wineserver -p > "$dir/server.log" 2>&1 < /dev/null
    # A share root whose folder is read-only (\\zubeto-fixture\readonly):
    # Wine keeps no read-only bit that a program sets on a folder, but shows
    # one for a folder nobody may write.
    mkdir -p "$WINEPREFIX/dosdevices/unc/zubeto-fixture/readonly"
    chmod 555 "$WINEPREFIX/dosdevices/unc/zubeto-fixture/readonly"
    echo "Wine prefix ready: $WINEPREFIX"
    ;;
  run)
    use_state
    locale=$1 exe=$2
    shift 2
    case $locale in
      ja) export LOCPATH=$dir/locale LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 ;;
      c) unset LOCPATH; export LC_ALL=C.UTF-8 LANG=C.UTF-8 ;;
      en) unset LANGUAGE; export LOCPATH=$dir/locale LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 ;;
      *) echo "wine.sh: unknown locale $locale"; exit 2 ;;
    esac
    out=$(mktemp "$dir/out-XXXXXX")
    err=$(mktemp "$dir/err-XXXXXX")
    loader=$wine64
    if [ "$(pe_bits "$exe")" = 32 ]; then
      loader=$wine32
      unset WINELOADER
      if [ ! -x "$loader" ]; then
        echo "wine.sh: $exe is a 32-bit program and the 32-bit Wine ($loader) is not installed"
        exit 1
      fi
    fi
    timeout 600 "$loader" "$exe" "$@" > "$out" 2> "$err" < /dev/null
    rc=$?
    cat "$out"
    if [ -s "$err" ]; then
      echo "--- standard error"
      cat "$err"
    fi
    [ $rc -eq 124 ] && echo "wine.sh: $exe timed out"
    rm -f "$out" "$err"
    exit $rc
    ;;
  cleanup)
    use_state
    timeout 60 wineserver -k > /dev/null 2>&1 < /dev/null
    timeout 60 wineserver -w > /dev/null 2>&1 < /dev/null
    if [ -s "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2> /dev/null || true; fi
    rm -rf "$dir" "$state"
    echo "Wine prefix removed"
    ;;
  *)
    echo "usage: wine.sh setup|run|cleanup STATE ..."
    exit 2
    ;;
esac
