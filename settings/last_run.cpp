#include "last_run.h"

#include <cstdlib>

#include "platform/text.h"

namespace zubeto {

namespace {

// The worker's words, in the system's narrow code page as it writes them
// (Shift-JIS on a Japanese Windows, UTF-8 on POSIX). Each is compared only
// where a line starts or at a fixed place after the time stamp, never
// searched for inside a line, where a Shift-JIS trail byte could begin a
// false match.
struct Words {
  std::string start = platform::system_text("]=圧縮処理開始");
  std::string end = platform::system_text("]=圧縮処理終了=");
  std::string missing = platform::system_text("ファイルがありません=");
  std::string mode = platform::system_text("モードエラー=");
};
const Words& words() {
  static const Words w;
  return w;
}
constexpr std::string_view kError = "ERROR";

bool starts_with(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }

// "[MM/DD hh:mm:ss]=<word>...": the time between the brackets, when the line
// has that form.
bool stamped(std::string_view line, std::string_view word, std::string* time) {
  constexpr std::size_t kStampLength = 14;  // MM/DD hh:mm:ss
  if (line.size() < 1 + kStampLength + word.size() || line[0] != '[') return false;
  if (line.substr(1 + kStampLength, word.size()) != word) return false;
  if (time) *time = std::string(line.substr(1, kStampLength));
  return true;
}

bool left_out_code(const std::string& code) { return code == "8010" || code == "8011" || code == "8012"; }

// "ERROR: 3 sources were not archived ...": the number, or 0.
int left_out_count(std::string_view line) {
  constexpr std::string_view head = "ERROR: ";
  if (!starts_with(line, head)) return 0;
  const std::string rest(line.substr(head.size()));
  if (rest.find(" not archived") == std::string::npos) return 0;
  return std::atoi(rest.c_str());
}

}  // namespace

LastRun read_last_run(const std::vector<std::string>& lines) {
  LastRun run;
  const std::string_view kStartWord = words().start, kEndWord = words().end, kMissing = words().missing,
                         kMode = words().mode;
  std::size_t end = lines.size();
  for (std::size_t i = lines.size(); i-- > 0;) {
    if (stamped(lines[i], kEndWord, &run.time)) {
      end = i;
      break;
    }
    if (stamped(lines[i], kStartWord, &run.time)) {
      // A start after the last end: the run is still at work (or was cut
      // short without its end line; the next run's end line shows).
      run.outcome = LastRun::Outcome::running;
      return run;
    }
  }
  if (end == lines.size()) return LastRun{};

  run.code = lines[end].substr(1 + 14 + kEndWord.size(), 4);
  std::size_t begin = end;
  while (begin > 0 && !stamped(lines[begin - 1], kStartWord, nullptr) && !stamped(lines[begin - 1], kEndWord, nullptr))
    --begin;
  const std::vector<std::string> body(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                                      lines.begin() + static_cast<std::ptrdiff_t>(end));

  if (run.code == "0000") {
    run.outcome = LastRun::Outcome::done;
    return run;
  }
  if (left_out_code(run.code)) {
    for (const std::string& line : body)
      if (int n = left_out_count(line); n > 0) {
        run.outcome = LastRun::Outcome::done_left_out;
        run.left_out = n;
        return run;
      }
  }
  run.outcome = LastRun::Outcome::failed;
  // The first line that names what went wrong: a missing path, a mode
  // error, or an error line of the archiver or the worker.
  for (const std::string& line : body) {
    if (starts_with(line, kMissing)) {
      run.cause = LastRun::Cause::missing;
      run.detail = line.substr(kMissing.size());
      return run;
    }
    if (starts_with(line, kMode)) {
      run.cause = LastRun::Cause::mode;
      run.detail = line.substr(kMode.size());
      return run;
    }
    if (starts_with(line, kError)) {
      std::string_view words(line);
      words.remove_prefix(kError.size());
      while (!words.empty() && (words.front() == ':' || words.front() == ' ')) words.remove_prefix(1);
      run.cause = LastRun::Cause::text;
      run.detail = std::string(words);
      return run;
    }
  }
  run.cause = LastRun::Cause::code;
  return run;
}

std::string fill(const std::string& pattern, const std::vector<std::string>& values) {
  // One pass from left to right: a value that holds "%1" itself stays as it is.
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (n < values.size()) {
        out += values[n];
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::string status_text(const LastRun& run, const std::function<std::string(std::string_view)>& localized) {
  using Outcome = LastRun::Outcome;
  using Cause = LastRun::Cause;
  switch (run.outcome) {
    case Outcome::none:
      return localized("前回の実行：なし");
    case Outcome::running:
      return fill(localized("実行中：%1 から"), {run.time});
    case Outcome::done:
      return fill(localized("前回の実行：%1 完了"), {run.time});
    case Outcome::done_left_out:
      return fill(localized("前回の実行：%1 完了（除外したファイル：%2）"), {run.time, std::to_string(run.left_out)});
    case Outcome::failed:
      break;
  }
  switch (run.cause) {
    case Cause::missing:
      return fill(localized("前回の実行：%1 失敗（%2）：見つかりません %3"), {run.time, run.code, run.detail});
    case Cause::mode:
      return fill(localized("前回の実行：%1 失敗（%2）：圧縮タイプが読めません %3"), {run.time, run.code, run.detail});
    case Cause::text:
      return fill(localized("前回の実行：%1 失敗（%2）：%3"), {run.time, run.code, run.detail});
    default:
      return fill(localized("前回の実行：%1 失敗（%2）：原因は記録されていません"), {run.time, run.code});
  }
}

}  // namespace zubeto
