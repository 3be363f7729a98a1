// The desktop notice after a run that failed. The run log stays the record:
// the notice says that a run failed and, in a sentence, what went wrong as
// the run log tells it (the missing folder, the file left out, the disk),
// with the end line's code, and points to the run log.
#pragma once
#include <optional>
#include <string>

namespace worker {

struct RunRecord;

struct Notice {
  std::string title;
  std::string body;
};

// The notice's language: Japanese under a Japanese locale, English under
// any other.
enum class Language { Japanese, English };

// POSIX: the first of LC_ALL, LC_MESSAGES and LANG that is set; Japanese
// when it starts with "ja". Windows: the user's interface language.
Language user_language();

// The notice for a run that ended with the result code in the folder (the
// run log lies there), the cause read from the lines the run wrote to the
// run log (`run_text`, each line ended by a line feed) and the archive the
// job named; none for a run that succeeded.
std::optional<Notice> run_notice(int result_code, const std::string& folder, const std::string& run_text = {},
                                 const std::string& archive = {}, Language language = Language::Japanese);

// Sends the run's notice, if any, to the user's desktop, in the user's
// language. Called once the run log is closed, as the last thing before
// the worker exits; without a desktop session it does nothing and waits
// for nothing.
void notice_step(int result_code, const RunRecord* record = nullptr);

}  // namespace worker
