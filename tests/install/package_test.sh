#!/usr/bin/env bash
# The Debian package built as a user would build it (`cpack -G DEB`):
# - its file list is the installed layout under /usr, nothing more;
# - its Depends names the package of every shared library that one of its
#   binaries needs (read from the binaries here, as dpkg-shlibdeps should
#   have), and the Qt platform plugins that no binary names;
# - the menu entry and the service name the programs under /usr, and the
#   programs unpacked from it (stripped) still run a job.
#   package_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
build=$(cd "$1" && pwd)
tmp=$(mktemp -d /tmp/zubeto-deb-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$tmp"/out/zubeto_*_*.deb)
echo "built $(basename "$deb")"

echo "== file list"
dpkg-deb -c "$deb" | awk '{ name = $6; sub(/^\./, "", name); if (substr($1, 1, 1) != "d") print name }' \
  | sort >"$tmp/files"
sort >"$tmp/expected" <<'LIST'
/usr/bin/ZUBETOB
/usr/bin/ZUBETOC
/usr/bin/zubeto
/usr/lib/systemd/user/zubeto.service
/usr/lib/systemd/user/zubeto.timer
/usr/lib/zubeto/ZUBETOB
/usr/lib/zubeto/ZUBETOC
/usr/lib/zubeto/cab32.so
/usr/lib/zubeto/tar32.so
/usr/lib/zubeto/unlha32.so
/usr/lib/zubeto/zip32j.so
/usr/lib/zubeto/zubeto.so
/usr/share/applications/zubeto.desktop
/usr/share/doc/zubeto/THIRD-PARTY-NOTICES
/usr/share/doc/zubeto/changelog.gz
/usr/share/doc/zubeto/copyright
/usr/share/icons/hicolor/scalable/apps/zubeto.svg
/usr/share/man/man1/ZUBETOB.1.gz
/usr/share/man/man1/ZUBETOC.1.gz
/usr/share/man/man1/zubeto.1.gz
LIST
diff -u "$tmp/expected" "$tmp/files" || fail "the package's files differ from the layout"

echo "== lintian"
# A distributor's check: no error and no warning of any kind. (Run as
# nobody: lintian warns when it runs as root.)
lint=(lintian --fail-on error,warning --tag-display-limit 0 "$deb")
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 755 "$tmp" "$tmp/out" && chmod 644 "$deb"
  lint=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$tmp" "${lint[@]}")
fi
"${lint[@]}" >"$tmp/lintian.txt" 2>&1 || { cat "$tmp/lintian.txt"; fail "lintian reports a problem"; }
grep -E '^[EW]: ' "$tmp/lintian.txt" && fail "lintian reports a problem"
echo "lintian: clean"

echo "== licence"
mkdir "$tmp/lic"
dpkg-deb -x "$deb" "$tmp/lic"
zcat "$tmp/lic/usr/share/doc/zubeto/changelog.gz" >"$tmp/changelog" 2>/dev/null || true
head -1 "$tmp/changelog" | grep -q "^zubeto ($(dpkg-deb -f "$deb" Version)) " ||
  fail "the changelog's first entry is not this version"
grep -q '^License: Expat' "$tmp/lic/usr/share/doc/zubeto/copyright" || fail "copyright names no licence"
grep -q 'libdeflate' "$tmp/lic/usr/share/doc/zubeto/THIRD-PARTY-NOTICES" || fail "notices"

echo "== Depends"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
has_dep() { tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qx "$1"; }
has_dep qt6-qpa-plugins || fail "qt6-qpa-plugins missing: the window could not show itself"
has_dep fonts-ipafont-gothic || fail "no Japanese font: the window's captions and names would show as boxes"
tr ',' '\n' <<<"$depends" | grep -q -- '-dev\b' && fail "depends on a development package"
mkdir "$tmp/root"
dpkg-deb -x "$deb" "$tmp/root"
checked=0
for elf in "$tmp"/root/usr/lib/zubeto/*; do
  for soname in $(objdump -p "$elf" | awk '$1 == "NEEDED" { print $2 }'); do
    path=$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64/ && !done { print $NF; done = 1 }')
    [ -n "$path" ] || fail "$soname (needed by $(basename "$elf")) is not on this system"
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null || true)
    pkg=${owner%%:*}
    [ -n "$pkg" ] || fail "no package holds $path"
    has_dep "$pkg" || fail "$(basename "$elf") needs $soname from $pkg, which Depends does not name"
    checked=$((checked + 1))
  done
done
[ "$checked" -gt 5 ] || fail "only $checked libraries checked: the binaries were not read"
echo "$checked needed libraries, every package named"

echo "== unpacked"
for c in ZUBETOC ZUBETOB; do
  [ "$(readlink "$tmp/root/usr/bin/$c")" = "../lib/zubeto/$c" ] || fail "/usr/bin/$c link"
done
grep -qx 'Exec=/usr/bin/zubeto' "$tmp/root/usr/share/applications/zubeto.desktop" || fail "menu entry Exec"
grep -qx 'ExecStart=/usr/lib/zubeto/ZUBETOC' "$tmp/root/usr/lib/systemd/user/zubeto.service" || fail "service ExecStart"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$tmp/root/usr/share/applications/zubeto.desktop" || fail "the package's menu entry"
fi
mkdir -p "$tmp/data" "$tmp/out-zip"
printf 'kept safe\n' >"$tmp/data/memo.txt"
write_job "$tmp/job" 1 "$tmp/out-zip" "$tmp/data/memo.txt"
run_installed_worker "$tmp/root/usr/bin/ZUBETOC" "$tmp/job" || { cat "$tmp/job/logdata.txt"; fail "unpacked worker"; }
unzip -Z1 "$(ls "$tmp/out-zip"/20*.zip)" | grep -q memo.txt || fail "unpacked worker's archive"
echo "package test passed"
