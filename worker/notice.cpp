#include "notice.h"

#include <vector>

#include "platform/files.h"
#include "platform/notice.h"
#include "platform/text.h"
#include "result_codes.h"
#include "run.h"
#include "runlog.h"
#include "texts.h"
#include "text/lines.h"

namespace worker {
namespace {

// The texts of one language. The Japanese ones stay as they were before
// the cause was added: the first line, the end line's code as the run log
// writes it, and where the run log lies.
struct Texts {
  const char* title;
  const char* failed;
  const char* code_prefix;
  const char* no_run_log;
  const char* log_label;
};

constexpr Texts kJapanese = {"ズベト", "バックアップが失敗しました。", "圧縮処理終了=",
                             "ログファイルを開けませんでした。", "ログ: "};
constexpr Texts kEnglish = {"Zubeto", "The backup failed.", "Result code: ", "The run log could not be opened.",
                            "Run log: "};

bool starts_with(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// "cannot write the archive /b/2024.zip (disk full)" -> "disk full".
std::string last_parenthesis(const std::string& line) {
  if (line.empty() || line.back() != ')') return {};
  size_t open = line.rfind(" (");
  if (open == std::string::npos) return {};
  return line.substr(open + 2, line.size() - open - 3);
}

std::string folder_part(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// What our archivers write for a file or folder they had to leave out:
// "cannot read: <path> (<why>)" and its kin.
struct LeftOut {
  std::string path, why;
};
std::vector<LeftOut> left_out(const std::vector<std::string>& lines) {
  static const char* const kPrefixes[] = {"cannot read: ", "cannot read source: ", "cannot read folder: ",
                                          "cannot read link: ", "cannot be archived: "};
  std::vector<LeftOut> out;
  for (const std::string& line : lines)
    for (const char* p : kPrefixes)
      if (starts_with(line, p)) {
        LeftOut l;
        l.why = last_parenthesis(line);
        std::string rest = line.substr(std::string(p).size());
        l.path = l.why.empty() ? rest : rest.substr(0, rest.size() - l.why.size() - 3);
        out.push_back(l);
        break;
      }
  return out;
}

// The cause in a sentence, as the run log tells it; empty when the log
// says no more than the code.
std::string cause(int code, const std::vector<std::string>& lines, const std::string& archive, bool ja) {
  if (code == kResultNoJobFile)
    return ja ? "ジョブ設定ファイル jobconf.ini がありません。設定画面でジョブを保存してください。"
              : "There is no job file (jobconf.ini) in this folder: save the job in the settings window first.";
  if (code == kResultPathMissing) {
    const std::string& key = fixed_text(kNotFound);
    for (const std::string& line : lines) {
      if (!starts_with(line, key)) continue;
      std::string path = line.substr(key.size());
      const bool folder = !path.empty() && (path.back() == '/' || path.back() == '\\');
      if (folder)
        return ja ? "圧縮先フォルダ " + path + " が見つかりません。ドライブがつながっているか確かめてください。"
                  : "The destination folder " + path + " is missing. Is its drive connected?";
      return ja ? "バックアップするファイルかフォルダ " + path + " が見つかりません。"
                : "The file or folder to back up, " + path + ", is missing.";
    }
    return {};
  }
  if (code >= kResultLibraryMissing && code <= kResultLibraryMissing + 4)
    return ja ? "この形式の圧縮ライブラリが見つかりません。" : "The archiver library for this format is missing.";
  if (code == kResultReadBackFailed)
    return ja ? "新しいアーカイブ " + archive +
                    " を読み戻して確かめたところ、正しく読めませんでした。調べられるよう残してあり、古いアーカイブは削除していません。"
              : "The new archive " + archive +
                    " did not read back correctly. It is kept for inspection, and no older archive was removed.";
  if (code == 0x8011) {
    std::vector<LeftOut> out = left_out(lines);
    if (out.empty())
      return ja ? "読めないファイルかフォルダがあり、アーカイブに入っていません。ログに名前があります。"
                : "A file or folder could not be read and was left out; the run log names it.";
    const LeftOut& first = out.front();
    std::string s = ja ? first.path + " を読めなかったため、アーカイブに入っていません" +
                             (first.why.empty() ? std::string() : "（" + first.why + "）") +
                             "。ほかのファイルはアーカイブにあります。"
                       : first.path + " could not be read and was left out" +
                             (first.why.empty() ? std::string() : " (" + first.why + ")") +
                             "; the archive holds everything else.";
    if (out.size() > 1) {
      const std::string more = std::to_string(out.size() - 1);
      s += ja ? "ほかに " + more + " 件も入っていません。"
              : " " + more + (out.size() == 2 ? " more was left out too." : " more were left out too.");
    }
    return s;
  }
  if (code == 0x8006) {
    std::string reason, where = folder_part(archive);
    for (const std::string& line : lines)
      if (starts_with(line, "ERROR: archive not written: ")) reason = last_parenthesis(line);
    if (where.empty()) where = ja ? "圧縮先" : "the destination";
    return ja ? where + " にアーカイブを書き込めませんでした" + (reason.empty() ? std::string() : "（" + reason + "）") +
                    "。ディスクの空きと状態を確かめてください。"
              : "The archive could not be written to " + where + (reason.empty() ? std::string() : " (" + reason + ")") +
                    ". Check that the disk has room and works.";
  }
  return {};
}

}  // namespace

Language user_language() { return platform::user_language_japanese() ? Language::Japanese : Language::English; }

std::optional<Notice> run_notice(int result_code, const std::string& folder, const std::string& run_text,
                                 const std::string& archive, Language language) {
  if (result_code == kResultOk) return std::nullopt;
  const bool ja = language == Language::Japanese;
  const Texts& t = ja ? kJapanese : kEnglish;
  std::string log_path = kRunLogFile;
  // A folder ending in ソ or 表 ends in the byte of a backslash, yet has
  // no separator at its end: the join knows lead bytes.
  if (!folder.empty()) log_path = platform::join_path(folder, kRunLogFile);
  Notice n;
  n.title = t.title;
  // A run whose log could not be opened left no end line and no record at
  // all: the notice is then the only word of it.
  if (result_code == kResultNoRunLog) {
    n.body = std::string(t.no_run_log) + "\n" + t.log_label + log_path;
    return n;
  }
  std::string why = cause(result_code, zubeto::text::split_lines(run_text), archive, ja);
  n.body = std::string(t.failed) + "\n" + (why.empty() ? std::string() : why + "\n") + t.code_prefix +
           result_digits(result_code) + "\n" + t.log_label + log_path;
  return n;
}

void notice_step(int result_code, const RunRecord* record) {
  if (result_code == kResultOk) return;  // no need to ask for the folder
  static const std::string kNone;
  if (auto n = run_notice(result_code, platform::current_folder(), record ? record->text : kNone,
                          record ? record->job.archive : kNone, user_language()))
    platform::desktop_notice(n->title, n->body);
}

}  // namespace worker
