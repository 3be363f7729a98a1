#!/usr/bin/env bash
# Makes the Windows packages: per bitness a zip with everything a Windows
# user copies into one folder, and an MSI installer.
#   scripts/package-windows.sh [OUTDIR [win32|win64[=BUILDDIR] ...]]
# Reads build-win32/bin/ and build-win64/bin/ (scripts/test-windows.sh or
# the README's commands build them; BUILDDIR names another build folder) and writes OUTDIR/zubeto-<version>-win32.zip
# and ...-win64.zip (OUTDIR: dist/ by default). Each holds the worker
# ZUBETOC.exe, the window ZUBETOB.exe when it was built, the share check
# library ZUBETO.dll, our four archiver DLLs, a short read-me in Japanese
# (Shift-JIS) and in English, the licence and the third-party notices, all
# text with CR LF line ends. The binaries
# lose their debug sections on the way.
#
# Where the window was built, the same files also go into the installers
# OUTDIR/zubeto-<version>-x86.msi and ...-x64.msi (made by wixl from
# packaging/windows/zubeto.wxs): Program Files\Zubeto, the job folder
# %APPDATA%\Zubeto, two Start-menu entries, an Uninstall entry.
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

Zubeto backs up the files and folders you choose into one dated archive
(LZH, ZIP, CAB or TAR) in a folder you choose, and records every run in its
run log. ZUBETOB.exe is the settings window: it builds the job, saves it,
and its run-now button (更新+実行) starts the worker. ZUBETOC.exe is the
worker: it runs the saved job once and, when the job asks for it, shuts
the computer down.
Both keep the job (jobconf.ini), its response file (resp.tmp) and the run
log (logdata.txt) in the current folder.

Installed with the installer (zubeto-$version-x86.msi or -x64.msi): the
programs and DLLs are in Program Files\Zubeto (a 32-bit package on 64-bit
Windows: Program Files (x86)\Zubeto). The Start menu's "Zubeto" entry
starts the window in your job folder, %APPDATA%\Zubeto, which the installer
makes; "Zubeto run log folder" opens that folder. To run the job on a
schedule, start ZUBETOC.exe from Program Files with %APPDATA%\Zubeto as its
folder to start in (Task Scheduler: "Start in"). Uninstall from Settings >
Apps (or "msiexec /x zubeto-$version-x64.msi"); the uninstall removes the
programs and the Start-menu entries, never your job, logs or archives.
Silent installs: msiexec /i zubeto-$version-x64.msi /qn and
msiexec /x zubeto-$version-x64.msi /qn.

From the zip: copy every file into one folder and start ZUBETOB.exe or
ZUBETOC.exe from there.

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

Result codes: the run log's last line of a run ends with the result code
(=0000 after the end text), and the worker's exit code is the whole code.
  0000        the archive was written
  0100        no job file (jobconf.ini) in the current folder
  0300        the job's archive type is not 0 to 4
  0400-0404   the archiver DLL of type 0-4 (LZH, ZIP, CAB, TAR, BGA) is
              missing or cannot be loaded; a DLL of the other bitness is
              named on the next line of the run log
  0701        the destination or a source does not exist
  0x9990      (exit code only) the run log could not be opened: nothing done
  other       the archiver DLL's own code (8011: some files were left out,
              named in the run log; 8004: the archive exists already)
EOF
}

readme_ja() {  # bitness
  cat <<EOF
ズベト $version Windows 版（$1 ビット）

ズベトは、選んだファイルやフォルダを日付の付いた一つの書庫（LZH、ZIP、
CAB、TAR）にまとめて、選んだフォルダにバックアップし、実行のたびに記録を
ログに残します。ZUBETOB.exe は設定画面で、ジョブを作って保存し、「すぐに
圧縮する(更新+実行）」で本体を起動します。ZUBETOC.exe はバックアップ本体で、
保存したジョブを一回実行し、指定があればその後コンピュータをシャットダウン
します。ジョブ（jobconf.ini）、応答ファイル（resp.tmp）、ログ（logdata.txt）
はカレントフォルダに置かれます。

インストーラ（zubeto-$version-x86.msi または -x64.msi）で入れた場合：
プログラムと DLL は Program Files\Zubeto（64 ビット Windows に 32 ビット版を
入れたときは Program Files (x86)\Zubeto）に置かれます。スタートメニューの
「Zubeto」は、インストーラが作るジョブフォルダ %APPDATA%\Zubeto で設定画面を
起動し、「Zubeto run log folder」はそのフォルダを開きます。定期実行には、
タスク スケジューラで Program Files の ZUBETOC.exe を、開始フォルダ（作業
フォルダ）を %APPDATA%\Zubeto として登録してください。アンインストールは
「設定」の「アプリ」から（または msiexec /x zubeto-$version-x64.msi）行います。
プログラムとスタートメニューの項目は削除されますが、ジョブ、ログ、書庫は
削除されません。サイレント実行：msiexec /i zubeto-$version-x64.msi /qn、
msiexec /x zubeto-$version-x64.msi /qn。

zip の場合：すべてのファイルを一つのフォルダにコピーし、そこから
ZUBETOB.exe または ZUBETOC.exe を起動してください。

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

結果コード：ログの各実行の最後の行に結果コードが記録され
（「圧縮処理終了=0000」）、本体の終了コードはそのコード全体です。
  0000        書庫を作成しました
  0100        カレントフォルダにジョブ（jobconf.ini）がありません
  0300        ジョブの書庫の種類が 0～4 ではありません
  0400～0404  種類 0～4（LZH、ZIP、CAB、TAR、BGA）の圧縮 DLL がないか、
              読み込めません。ビット数の異なる DLL のときはログの次の行に
              その旨が記録されます
  0701        保存先またはバックアップ元がありません
  0x9990      （終了コードのみ）ログを開けませんでした。何もしていません
  その他      圧縮 DLL 自身のコード（8011：一部のファイルを除外し、ログに
              記録しました。8004：同じ名前の書庫が既にあります）
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
  echo "$out/$name.zip"
  # The installer: the window is what its Start-menu entry starts.
  if [ -f "$bin/ZUBETOB.exe" ]; then
    arch=$([ "$bits" = 64 ] && echo x64 || echo x86)
    msi=$out/zubeto-$version-$arch.msi
    cp "$top/settings/win32/zubetob.ico" "$stage/$name/zubeto.ico"
    cp "$top/packaging/windows/zubeto.wxs" "$stage/$name/"
    rm -f "$msi"
    # wixl takes the files' paths relative to the folder it runs in.
    if ! (cd "$stage/$name" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D Bin=. \
      -o "$msi" zubeto.wxs) > "$stage/wixl.txt" 2>&1; then
      cat "$stage/wixl.txt"
      echo "package-windows.sh: wixl failed for $arch"
      rm -rf "$stage"
      exit 1
    fi
    echo "$msi"
  fi
  rm -rf "$stage"
done
