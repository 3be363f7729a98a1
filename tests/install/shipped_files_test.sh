#!/usr/bin/env bash
# The shipped desktop files, as the tools that read them judge them: the menu
# entry with desktop-file-validate, the service and timer with
# `systemd-analyze --user verify` (which also checks that the service's
# program exists and the manual pages they name are there). They are
# installed into a real scratch prefix whose name needs quoting and escaping
# in both file types (a blank, a "%").
#   shipped_files_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
build=$(cd "$1" && pwd)
src=$2
tmp=$(mktemp -d /tmp/zubeto-shipped-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
P="$tmp/pre fix%1"
cmake --install "$build" --prefix "$P" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }

checked=0
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$P/share/applications/zubeto.desktop" || fail "menu entry"
  checked=$((checked + 1))
else
  echo "desktop-file-validate not available: menu entry not checked"
fi

if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$tmp/run"
  out=$(cd "$P/lib/systemd/user" && MANPATH="$P/share/man" XDG_RUNTIME_DIR="$tmp/run" \
        systemd-analyze --user verify zubeto.service zubeto.timer 2>&1) || { echo "$out"; fail "systemd-analyze verify"; }
  [ -z "$out" ] || { echo "$out"; fail "systemd-analyze has remarks"; }
  checked=$((checked + 1))
else
  echo "systemd-analyze not available: units not checked"
fi

# The icon is the one the menu entry names, in the theme's scalable size.
icon=$(sed -n 's/^Icon=//p' "$P/share/applications/zubeto.desktop")
[ -f "$P/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon not in hicolor/scalable/apps"
grep -q '<svg' "$P/share/icons/hicolor/scalable/apps/$icon.svg" || fail "icon is not SVG"

# Every program's manual page reads without a warning.
for page in "$P"/share/man/man1/*.1.gz; do
  warn=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warn" ] || { echo "$warn"; fail "$(basename "$page")"; }
done
echo "shipped files valid ($checked tool checks)"
