// The desktop notice after a run that failed. The run log stays the record:
// the notice only says that a run failed, with the end line's code, and
// points to the run log.
#pragma once
#include <optional>
#include <string>

namespace worker {

struct Notice {
  std::string title;
  std::string body;
};

// The notice for a run that ended with the result code in the folder (the
// run log lies there); none for a run that succeeded.
std::optional<Notice> run_notice(int result_code, const std::string& folder);

// Sends the run's notice, if any, to the user's desktop. Called once the run
// log is closed, as the last thing before the worker exits; without a
// desktop session it does nothing and waits for nothing.
void notice_step(int result_code);

}  // namespace worker
