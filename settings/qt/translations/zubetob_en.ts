<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- English texts of the settings window. The sources are the window's Japanese texts, byte for byte: under a Japanese locale no translation is installed. Built by lrelease (settings/CMakeLists.txt). -->
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>ZBTB</name>
    <message>
        <source>ズベト Ver2.01</source>
        <translation>Zubeto Ver2.01</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>ﾛｸﾞ表示</source>
        <translation>Show log</translation>
    </message>
    <message>
        <source>ﾛｸﾞ削除</source>
        <translation>Delete log</translation>
    </message>
    <message>
        <source>初期クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>すぐに圧縮する(更新+実行）</source>
        <translation>Back up now (save + run)</translation>
    </message>
    <message>
        <source>圧縮処理終了後シャットダウンする。</source>
        <translation>Shut down after the backup.</translation>
    </message>
    <message>
        <source>圧縮タイプ</source>
        <translation>Archive type</translation>
    </message>
    <message>
        <source>最新の N 個の圧縮ファイルを残す</source>
        <translation>keep the last N archives</translation>
    </message>
    <message>
        <source>すべて</source>
        <translation>all</translation>
    </message>
    <message>
        <source>毎日 HH:MM に実行する</source>
        <translation>run every day at HH:MM</translation>
    </message>
    <message>
        <source>追加…</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>圧縮ファイル検査</source>
        <translation>Check archive</translation>
    </message>
    <message>
        <source>残す圧縮ファイルの数（0=すべて）</source>
        <translation>Number of archives to keep (0 = all)</translation>
    </message>
    <message>
        <source>毎日決まった時刻に実行する</source>
        <translation>Run every day at a set time</translation>
    </message>
    <message>
        <source>実行する時刻</source>
        <translation>Time of the daily run</translation>
    </message>
    <message>
        <source>次回の実行</source>
        <translation>Next run</translation>
    </message>
    <message>
        <source>ファイルかフォルダを追加</source>
        <translation>Add files or a folder</translation>
    </message>
    <message>
        <source>圧縮ファイルを検査する</source>
        <translation>Check an archive</translation>
    </message>
    <message>
        <source>前回の実行結果</source>
        <translation>Outcome of the last run</translation>
    </message>
    <message>
        <source>圧縮するファイルとフォルダ</source>
        <translation>Files and folders to back up</translation>
    </message>
    <message>
        <source>圧縮先フォルダ</source>
        <translation>Destination folder</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>ファイルとフォルダのどちらを追加しますか。</source>
        <translation>Add files or a folder?</translation>
    </message>
    <message>
        <source>ファイル…</source>
        <translation>Files…</translation>
    </message>
    <message>
        <source>フォルダ…</source>
        <translation>Folder…</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>追加するファイル</source>
        <translation>Files to add</translation>
    </message>
    <message>
        <source>追加するフォルダ</source>
        <translation>Folder to add</translation>
    </message>
    <message>
        <source>検査する圧縮ファイル</source>
        <translation>Archive to check</translation>
    </message>
    <message>
        <source>圧縮ファイル</source>
        <translation>Archives</translation>
    </message>
</context>
<context>
    <name>zubeto</name>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>エラーメッセージ</source>
        <translation>Error message</translation>
    </message>
    <message>
        <source>ズベト</source>
        <translation>Zubeto</translation>
    </message>
    <message>
        <source>ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝</source>
        <translation>A TAR archive cannot hold sources from different drives: </translation>
    </message>
    <message>
        <source>ドロップ＆ドラッグされていません。</source>
        <translation>Nothing has been dragged and dropped yet.</translation>
    </message>
    <message>
        <source>ドロップ&amp;&amp;ドラッグされていません。</source>
        <translation>Nothing has been dragged and dropped yet.</translation>
    </message>
    <message>
        <source>ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝</source>
        <translation>The job could not be saved: the folder cannot be written to, or the disk is full: </translation>
    </message>
    <message>
        <source>変更されていますが終了しますか。</source>
        <translation>The job has changed and is not saved. Exit all the same?</translation>
    </message>
    <message>
        <source>ログを表示するテキストエディタを起動できませんでした。</source>
        <translation>The text editor that shows the log could not be started.</translation>
    </message>
    <message>
        <source>は既にあります。</source>
        <translation> is already in the list.</translation>
    </message>
    <message>
        <source>圧縮ファイルは１つにして下さい。</source>
        <translation>Please drop one destination folder only.</translation>
    </message>
    <message>
        <source>フォルダを指定して下さい。</source>
        <translation>Please drop a folder.</translation>
    </message>
    <message>
        <source>「</source>
        <translation>&quot;</translation>
    </message>
    <message>
        <source>」は、ジョブに保存できない文字（&quot;、改行）を含むため使えません。</source>
        <translation>&quot; cannot be used: it holds a character a job cannot store (&quot; or a line break).</translation>
    </message>
    <message>
        <source>ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&amp;&amp;Dする</source>
        <translation>Drag &amp;&amp; drop files or folders here</translation>
    </message>
    <message>
        <source>ここに圧縮先ﾌｫﾙﾀﾞをD&amp;&amp;Dする</source>
        <translation>Drag &amp;&amp; drop the destination folder here</translation>
    </message>
    <message>
        <source>前回の実行：なし</source>
        <translation>Last run: none yet</translation>
    </message>
    <message>
        <source>実行中：%1 から</source>
        <translation>Running since %1</translation>
    </message>
    <message>
        <source>前回の実行：%1 完了</source>
        <translation>Last run %1: done</translation>
    </message>
    <message>
        <source>前回の実行：%1 完了（除外したファイル：%2）</source>
        <translation>Last run %1: done, %2 files left out</translation>
    </message>
    <message>
        <source>前回の実行：%1 失敗（%2）：見つかりません %3</source>
        <translation>Last run %1: failed (%2): not found: %3</translation>
    </message>
    <message>
        <source>前回の実行：%1 失敗（%2）：圧縮タイプが読めません %3</source>
        <translation>Last run %1: failed (%2): archive type unreadable: %3</translation>
    </message>
    <message>
        <source>前回の実行：%1 失敗（%2）：%3</source>
        <translation>Last run %1: failed (%2): %3</translation>
    </message>
    <message>
        <source>前回の実行：%1 失敗（%2）：原因は記録されていません</source>
        <translation>Last run %1: failed (%2): the log names no cause</translation>
    </message>
    <message>
        <source>圧縮ファイルを検査するプログラム（ZUBETOC）を起動できませんでした。</source>
        <translation>The archive check (ZUBETOC) could not be started.</translation>
    </message>
    <message>
        <source>毎日の実行を設定できませんでした（systemd のユーザーマネージャがないか、応答がありません）。
</source>
        <translation>The daily run could not be set (there is no systemd user manager, or it does not answer).
</translation>
    </message>
    <message>
        <source>毎日の実行を止められませんでした。
</source>
        <translation>The daily run could not be turned off.
</translation>
    </message>
    <message>
        <source>次回の実行：%1</source>
        <translation>Next run: %1</translation>
    </message>
    <message>
        <source>毎日 %1 に実行</source>
        <translation>Runs every day at %1</translation>
    </message>
    <message>
        <source>毎日の実行をタスク スケジューラに設定できませんでした。
</source>
        <translation>The daily run could not be set in the Task Scheduler.
</translation>
    </message>
    <message>
        <source>毎日の実行をタスク スケジューラから削除できませんでした。
</source>
        <translation>The daily run could not be removed from the Task Scheduler.
</translation>
    </message>
</context>
</TS>
