// The worker's fixed texts: run-log templates and lines; the file names and
// keys of the job files come from the shared vocabulary.
// They are UTF-8 here; a platform whose narrow code page differs converts
// them once, where they are written.
#pragma once
#include <string>
#include <string_view>

#include "jobfile/vocabulary.h"

namespace worker {

// A fixed text of this file in the system's narrow code page, converted on
// its first use and kept: every run-log text passes here exactly once on its
// way out, paths and archiver output never do.
const std::string& fixed_text(std::string_view utf8);

// The job files' names and keys are the vocabulary shared with the
// settings window.
using jobfile::kJobFile;
using jobfile::kRunLogFile;

// Time-stamped templates: the x's are replaced by the local date and time.
inline constexpr const char kStartTemplate[] = "[xx/xx xx:xx:xx]=圧縮処理開始";
inline constexpr const char kEndTemplate[] = "[xx/xx xx:xx:xx]=圧縮処理終了=";
inline constexpr const char kVersionErrorTemplate[] = "[xx/xx xx:xx:xx]=バージョン獲得異常";
inline constexpr const char kShutdownTemplate[] = "[xx/xx xx:xx:xx]=シャットダウンします。";
inline constexpr const char kShutdownFailedTemplate[] = "[xx/xx xx:xx:xx]=シャットダウン出来ませんでした。";

// Plain lines of the job.
inline constexpr const char kNotFound[] = "ファイルがありません=";
inline constexpr const char kErrorDetail[] = "詳細エラー=";
inline constexpr const char kModeError[] = "モードエラー=";

// Job file keys.
using jobfile::kKeyArchive;
using jobfile::kKeyBaseDir;
using jobfile::kKeyMode;
using jobfile::kKeyShutdown;
using jobfile::kKeySource;

}  // namespace worker
