#include "notice.h"

#include "platform/notice.h"
#ifdef _WIN32
#include "platform/ansi_path.h"
#endif
#include "result_codes.h"
#include "runlog.h"
#include "texts.h"

namespace worker {
namespace {

// The product title, as the settings window shows it.
constexpr const char kProductTitle[] = "ズベト";
constexpr const char kFailedLine[] = "バックアップが失敗しました。";
constexpr const char kEndLinePrefix[] = "圧縮処理終了=";
constexpr const char kNoRunLogLine[] = "ログファイルを開けませんでした。";
constexpr const char kLogLabel[] = "ログ: ";

}  // namespace

std::optional<Notice> run_notice(int result_code, const std::string& folder) {
  if (result_code == kResultOk) return std::nullopt;
  std::string log_path = kRunLogFile;
#ifdef _WIN32
  // A folder ending in ソ or 表 ends in the byte of a backslash, yet has
  // no separator at its end.
  if (!folder.empty()) log_path = platform::ansi::join(folder, kRunLogFile);
#else
  if (!folder.empty()) log_path = (folder.back() == '/' ? folder : folder + '/') + kRunLogFile;
#endif
  Notice n;
  n.title = kProductTitle;
  // A run whose log could not be opened left no end line and no record at
  // all: the notice is then the only word of it.
  if (result_code == kResultNoRunLog)
    n.body = std::string(kNoRunLogLine) + "\n" + kLogLabel + log_path;
  else
    n.body = std::string(kFailedLine) + "\n" + kEndLinePrefix + result_digits(result_code) + "\n" + kLogLabel +
             log_path;
  return n;
}

void notice_step(int result_code) {
  if (result_code == kResultOk) return;  // no need to ask for the folder
  if (auto n = run_notice(result_code, platform::current_folder())) platform::desktop_notice(n->title, n->body);
}

}  // namespace worker
