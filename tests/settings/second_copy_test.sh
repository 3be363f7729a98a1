#!/usr/bin/env bash
# The real program, twice: a second copy ends at once, silently, and leaves
# the first one running; after the first copy is killed (a crash leaves its
# mark file behind) the next copy starts and stays.
#   second_copy_test.sh PATH/TO/ZUBETOB
set -euo pipefail
prog=$1
work=$(mktemp -d /tmp/zubeto-copies-XXXXXX)
first=""
third=""
cleanup() {
  [ -n "$first" ] && kill -9 "$first" 2>/dev/null || true
  [ -n "$third" ] && kill -9 "$third" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
cd "$work"

"$prog" >first.log 2>&1 &
first=$!
for _ in $(seq 100); do [ -e "$work/run/ZUBETOB.lock" ] && break; sleep 0.1; done
[ -e "$work/run/ZUBETOB.lock" ] || fail "the first copy made no mark"
sleep 0.5
kill -0 "$first" || fail "the first copy ended"

# The second copy must end by itself, with exit code 0 and no output.
rc=0
timeout 20 "$prog" >second.log 2>&1 || rc=$?
[ "$rc" -eq 0 ] || fail "second copy ended with $rc (124: it did not end)"
[ ! -s second.log ] || { cat second.log >&2; fail "second copy said something"; }
kill -0 "$first" || fail "the first copy ended with the second"

# A crash: the mark file stays, the lock goes with the process.
kill -9 "$first"
wait "$first" 2>/dev/null || true
first=""
[ -e "$work/run/ZUBETOB.lock" ] || fail "the mark file went with the crash"
"$prog" >third.log 2>&1 &
third=$!
sleep 2
kill -0 "$third" || { cat third.log >&2; fail "after a crash the program no longer starts"; }
echo "second copy ended silently; start after a crash works"
