#!/usr/bin/env bash
# An install into a scratch DESTDIR, used where it lies:
# - the layout: programs and libraries together in <prefix>/lib/zubeto,
#   commands in <prefix>/bin that are links into it (or the launcher);
# - the installed worker, started through its command, runs a job of every
#   format end to end: it finds the archiver libraries in its own folder;
# - the launcher makes the job folder and starts the installed window
#   (offscreen) in it; under a virtual X screen the window's run-now button
#   starts the installed worker beside it, which backs the saved job up.
#   install_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
build=$(cd "$1" && pwd)
tmp=$(mktemp -d /tmp/zubeto-install-XXXXXX)
window=""
cleanup() {
  [ -n "$window" ] && kill "$window" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

prefix="/opt/zubeto test"  # a blank in the prefix, as a user may choose
dest=$tmp/dest
DESTDIR=$dest cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }
P=$dest$prefix

# Everything lies under the prefix.
outside=$(cd "$dest" && find . -mindepth 1 \( -path "./opt" -o -path "./opt/zubeto test" -o -path "./opt/zubeto test/*" \) -prune -o -print)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

echo "== layout"
for f in lib/zubeto/ZUBETOC lib/zubeto/ZUBETOB; do
  [ -x "$P/$f" ] && [ ! -L "$P/$f" ] || fail "$f is not an installed program"
done
for f in zip32j.so tar32.so unlha32.so cab32.so zubeto.so; do
  [ -f "$P/lib/zubeto/$f" ] || fail "lib/zubeto/$f missing"
done
for c in ZUBETOC ZUBETOB; do
  [ -L "$P/bin/$c" ] || fail "bin/$c is not a link"
  [ "$(readlink "$P/bin/$c")" = "../lib/zubeto/$c" ] || fail "bin/$c points to $(readlink "$P/bin/$c")"
done
[ -x "$P/bin/zubeto" ] || fail "no launcher bin/zubeto"
grep -qx 'Exec="/opt/zubeto test/bin/zubeto"' "$P/share/applications/zubeto.desktop" ||
  fail "menu entry does not start the installed launcher: $(grep Exec "$P/share/applications/zubeto.desktop")"
grep -qx 'ExecStart="/opt/zubeto test/lib/zubeto/ZUBETOC"' "$P/lib/systemd/user/zubeto.service" ||
  fail "service does not start the installed worker: $(grep ExecStart "$P/lib/systemd/user/zubeto.service")"
grep -qx 'WorkingDirectory=%E/zubeto' "$P/lib/systemd/user/zubeto.service" || fail "service not in the job folder"
grep -qx 'UMask=0077' "$P/lib/systemd/user/zubeto.service" || fail "service leaves what it creates readable by others (no UMask=0077)"
grep -qx 'Persistent=true' "$P/lib/systemd/user/zubeto.timer" || fail "timer is not persistent"

echo "== the installed worker, started through bin/ZUBETOC, runs every format"
mkdir -p "$tmp/data"
printf 'kept safe\n' >"$tmp/data/memo.txt"
#        type  extension  lists the archive
formats=("0 lzh lhasa l"
         "1 zip unzip -Z1"
         "2 cab cabextract -l"
         "3 tar tar -tf")
for row in "${formats[@]}"; do
  read -r mode ext lister <<<"$row"
  job=$tmp/job-$ext
  mkdir -p "$tmp/out-$ext"
  write_job "$job" "$mode" "$tmp/out-$ext" "$tmp/data/memo.txt"
  rc=0
  run_installed_worker "$P/bin/ZUBETOC" "$job" || rc=$?
  [ "$rc" -eq 0 ] || { cat "$job/logdata.txt" "$job/stdout.txt"; fail "$ext job ended with status $rc"; }
  [ "$(end_code "$job")" = 0000 ] || { cat "$job/logdata.txt"; fail "$ext end line"; }
  archive=$(ls "$tmp/out-$ext"/20*."$ext")
  # shellcheck disable=SC2086
  $lister "$archive" 2>&1 | grep -q "memo.txt" || fail "$ext archive does not hold memo.txt"
  echo "$ext ok"
done

echo "== an ordinary user runs the installed worker"
# The suite may run as root, who may read and run any file: the installed
# files' modes are put to the test by a user who owns nothing of them.
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$tmp"
  job=$tmp/job-user
  mkdir -p "$job" "$tmp/out-user"
  write_job "$job" 1 "$tmp/out-user" "$tmp/data/memo.txt"
  chown -R nobody:nogroup "$job" "$tmp/out-user"
  rc=0
  run_installed_worker "$P/bin/ZUBETOC" "$job" setpriv --reuid=nobody --regid=nogroup --clear-groups || rc=$?
  [ "$rc" -eq 0 ] || { cat "$job/logdata.txt" "$job/stdout.txt"; fail "the worker as nobody ended with status $rc"; }
  [ "$(stat -c %U "$(ls "$tmp/out-user"/20*.zip)")" = nobody ] || fail "the archive is not the user's"
  echo "nobody ok"
else
  echo "running as $(id -un): the runs above were an ordinary user's"
fi

echo "== the launcher: job folder made on the first start, window started in it (offscreen)"
home=$tmp/home
mkdir -p "$home" "$tmp/run"
chmod 700 "$tmp/run"
#      XDG_CONFIG_HOME     expected job folder
cases=("$tmp/config|$tmp/config/zubeto"
       "|$home/.config/zubeto"
       "relative/config|$home/.config/zubeto")
for row in "${cases[@]}"; do
  config=${row%%|*}
  expected=${row#*|}
  rm -rf "$home/.config" "$tmp/config"
  (cd "$tmp" && exec env -u XDG_CONFIG_HOME ${config:+XDG_CONFIG_HOME="$config"} HOME="$home" \
     XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen "$P/bin/zubeto" >"$tmp/window.log" 2>&1) &
  window=$!
  for _ in $(seq 100); do
    [ "$(readlink "/proc/$window/cwd" 2>/dev/null)" = "$expected" ] && break
    sleep 0.1
  done
  [ "$(readlink "/proc/$window/cwd" 2>/dev/null)" = "$expected" ] ||
    { cat "$tmp/window.log"; fail "window (XDG_CONFIG_HOME='$config') not running in $expected"; }
  [ "$(stat -c %a "$expected")" = 700 ] || fail "job folder $expected is not private"
  [ "$(readlink "/proc/$window/exe")" = "$P/lib/zubeto/ZUBETOB" ] ||
    fail "the launcher started $(readlink "/proc/$window/exe")"
  sleep 1
  kill -0 "$window" 2>/dev/null || { cat "$tmp/window.log"; fail "the installed window ended at once"; }
  kill "$window"
  wait "$window" 2>/dev/null || true
  window=""
  echo "XDG_CONFIG_HOME='$config' -> $expected ok"
done

echo "== the installed window finds the installed worker (run now, on a virtual screen)"
command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || fail "xvfb-run and xdotool are needed (scripts/packages.txt)"
# Through the launcher (in the job folder it chooses) and through the link
# bin/ZUBETOB (in the folder it is started in): either way the window starts
# the worker that lies beside the program, not one on PATH (there is none).
config=$tmp/config
#        how the window is started   job folder
starters=("$P/bin/zubeto|$config/zubeto"
          "$P/bin/ZUBETOB|$tmp/job-by-link")
i=0
for row in "${starters[@]}"; do
  starter=${row%%|*}
  job=${row#*|}
  i=$((i + 1))
  rm -rf "$job" "$tmp/out-run-now-$i"
  mkdir -p -m 700 "$job" "$tmp/out-run-now-$i"
  write_job "$job" 1 "$tmp/out-run-now-$i" "$tmp/data/memo.txt"
  (cd "$job" && env -u XDG_CONFIG_HOME -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$config" \
     XDG_RUNTIME_DIR="$tmp/run" PATH=/usr/bin:/bin timeout 120 xvfb-run -a bash "$here/window_run_now.sh" "$starter" "$job") ||
    fail "run now from the window started by $starter"
  [ "$(end_code "$job")" = 0000 ] || { cat "$job/logdata.txt"; fail "run-now end line ($starter)"; }
  unzip -Z1 "$(ls "$tmp/out-run-now-$i"/20*.zip)" | grep -q memo.txt || fail "run-now archive ($starter)"
  echo "run now from $(basename "$starter") ok"
done
echo "install test passed"
