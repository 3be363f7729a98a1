// The settings window's own texts: messages, their titles and the frame
// captions, UTF-8 in the source. The core hands them to the view and the
// services in the system's narrow code page (platform::system_text), where
// a path may follow them byte for byte.
#pragma once

namespace zubeto::texts {

// Message titles.
inline constexpr char kTitleError[] = "エラー";
inline constexpr char kTitleErrorMessage[] = "エラーメッセージ";
inline constexpr char kTitleProduct[] = "ズベト";

// Save and run now. The run-now text keeps its two ASCII ampersands: a
// message box shows them as they are written.
inline constexpr char kTarOtherDrive[] = "ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝";  // + entry
inline constexpr char kEmptyJobSave[] = "ドロップ＆ドラッグされていません。";
inline constexpr char kEmptyJobRunNow[] = "ドロップ&&ドラッグされていません。";
inline constexpr char kSaveFailed[] =
    "ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝";  // + file name

// Housekeeping.
inline constexpr char kExitChanged[] = "変更されていますが終了しますか。";
inline constexpr char kEditorFailed[] = "ログを表示するテキストエディタを起動できませんでした。";

// Drops.
inline constexpr char kRepeatSuffix[] = "は既にあります。";  // entry + this
inline constexpr char kOneDestination[] = "圧縮ファイルは１つにして下さい。";
inline constexpr char kNotAFolder[] = "フォルダを指定して下さい。";
// A path the job file cannot carry: "「" + path + this.
inline constexpr char kUnfitPathOpen[] = "「";
inline constexpr char kUnfitPathClose[] = "」は、ジョブに保存できない文字（\"、改行）を含むため使えません。";

// Frame captions set at start-up; "&&" shows as one ampersand in a caption.
inline constexpr char kSourceFrameCaption[] = "ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする";
inline constexpr char kDestinationFrameCaption[] = "ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする";

// The controls below the first ones.
inline constexpr char kVerifyNotStarted[] = "圧縮ファイルを検査するプログラム（ZUBETOC）を起動できませんでした。";
inline constexpr char kScheduleFailed[] =
    "毎日の実行を設定できませんでした（systemd のユーザーマネージャがないか、応答がありません）。\n";  // + its output
inline constexpr char kScheduleOffFailed[] = "毎日の実行を止められませんでした。\n";  // + its output
inline constexpr char kTaskFailed[] = "毎日の実行をタスク スケジューラに設定できませんでした。\n";  // + its words
inline constexpr char kTaskOffFailed[] = "毎日の実行をタスク スケジューラから削除できませんでした。\n";  // + its words
inline constexpr char kNextRun[] = "次回の実行：%1";                       // %1: systemd's time
inline constexpr char kDailyAt[] = "毎日 %1 に実行";                       // %1: HH:MM

}  // namespace zubeto::texts
