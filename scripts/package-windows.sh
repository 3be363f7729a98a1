#!/usr/bin/env bash
# Makes the Windows packages: one zip per bitness with everything a Windows
# user copies into one folder.
#   scripts/package-windows.sh [OUTDIR [win32|win64[=BUILDDIR] ...]]
# Reads build-win32/bin/ and build-win64/bin/ (scripts/test-windows.sh or
# the README's commands build them; BUILDDIR names another build folder) and writes OUTDIR/zubeto-<version>-win32.zip
# and ...-win64.zip (OUTDIR: dist/ by default). Each holds the worker
# ZUBETOC.exe, the window ZUBETOB.exe when it was built, the share check
# library ZUBETO.dll, our four archiver DLLs, a short read-me in Japanese
# (Shift-JIS) and in English, the licence and the third-party notices, all
# text with CR LF line ends. The binaries
# lose their debug sections on the way.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
out=${1:-$top/dist}
shift || true
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(win32 win64)

version=$(sed -n 's/^project(Zubeto VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
mkdir -p "$out"
out=$(cd "$out" && pwd)

readme_en() {  # bitness
  cat <<EOF
Zubeto $version for Windows ($1-bit)

Copy every file of this package into one folder and start ZUBETOB.exe (the
settings window) or ZUBETOC.exe (the worker, which runs the saved job once)
from there. Both keep jobconf.ini, resp.tmp and logdata.txt in the current
folder.

Archiver DLLs: UNLHA32.DLL, ZIP32J.DLL, CAB32.DLL and TAR32.DLL in this
package are Zubeto's own, built for $1-bit Windows. The worker looks for them
in its own folder first, then in the system folder, the Windows folder and
the folders of PATH, never in the current folder.
EOF
  if [ "$1" = 64 ]; then
    cat <<EOF
The 64-bit worker works only with these DLLs: a 64-bit program cannot load
the 32-bit archiver DLLs of other makers.
EOF
  else
    cat <<EOF
The 32-bit worker works with these DLLs or with the archiver DLLs of other
makers: to use those, remove ours of the same name from this folder (BGA jobs
always need BGA32.DLL from its maker).
EOF
  fi
  cat <<EOF
An archive is never written over an existing file, and appears under its
name only when complete.
EOF
}

readme_ja() {  # bitness
  cat <<EOF
ズベト $version Windows 版（$1 ビット）

このパッケージのファイルをすべて一つのフォルダにコピーし、そこから
ZUBETOB.exe（設定画面）または ZUBETOC.exe（保存したジョブを一回実行する
バックアップ本体）を起動してください。jobconf.ini、resp.tmp、logdata.txt は
カレントフォルダに置かれます。

圧縮 DLL：同梱の UNLHA32.DLL、ZIP32J.DLL、CAB32.DLL、TAR32.DLL は
ズベト独自の $1 ビット版です。本体はまず自分のフォルダ、次にシステム
フォルダ、Windows フォルダ、PATH のフォルダの順に探し、カレントフォルダ
からは読み込みません。
EOF
  if [ "$1" = 64 ]; then
    cat <<EOF
64 ビット版の本体は同梱の DLL でのみ動作します（64 ビットのプログラムは
他社製の 32 ビット圧縮 DLL を読み込めません）。
EOF
  else
    cat <<EOF
32 ビット版の本体は同梱の DLL でも、他社製の圧縮 DLL でも動作します。
他社製を使うときは、このフォルダから同じ名前の同梱 DLL を削除してください
（BGA 形式には常に BGA32.DLL が必要です）。
EOF
  fi
  cat <<EOF
既存のファイルに上書きすることはなく、書庫は完成してから名前が付きます。
EOF
}

crlf() { sed 's/$/\r/'; }

for arg in "${kinds[@]}"; do
  kind=${arg%%=*}
  build=$top/build-$kind
  [ "$arg" = "$kind" ] || build=${arg#*=}
  case $kind in
    win32) triple=i686-w64-mingw32 bits=32 ;;
    win64) triple=x86_64-w64-mingw32 bits=64 ;;
    *) echo "package-windows.sh: unknown kind $kind"; exit 2 ;;
  esac
  bin=$build/bin
  files=(ZUBETOC.exe ZUBETO.dll UNLHA32.DLL ZIP32J.DLL CAB32.DLL TAR32.DLL)
  [ -f "$bin/ZUBETOB.exe" ] && files+=(ZUBETOB.exe)
  for f in "${files[@]}"; do
    if [ ! -f "$bin/$f" ]; then
      echo "package-windows.sh: $bin/$f is missing; build the $kind files first"
      exit 1
    fi
  done
  name=zubeto-$version-$kind
  stage=$(mktemp -d)
  mkdir "$stage/$name"
  for f in "${files[@]}"; do
    "$triple-objcopy" --strip-debug "$bin/$f" "$stage/$name/$f"
  done
  readme_en "$bits" | crlf > "$stage/$name/README-en.txt"
  readme_ja "$bits" | crlf | iconv -f UTF-8 -t CP932 > "$stage/$name/README-ja.txt"
  # The licence and the notices of what the files link in, as text files
  # Notepad opens.
  crlf < "$top/LICENSE" > "$stage/$name/LICENSE.txt"
  crlf < "$top/THIRD-PARTY-NOTICES" > "$stage/$name/THIRD-PARTY-NOTICES.txt"
  rm -f "$out/$name.zip"
  (cd "$stage" && zip -q -X -r "$out/$name.zip" "$name")
  rm -rf "$stage"
  echo "$out/$name.zip"
done
