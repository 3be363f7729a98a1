// The read-back check of an archive in the destination: the new archive of
// a run before retention removes anything, or any archive of ours on its
// own ("ZUBETOC --verify <archive>").
#pragma once
#include <string>
#include <string_view>

#include "runlog.h"

namespace worker {

// The text as the run log shows it: control characters as \xNN.
std::string log_safe(std::string_view text);

// Reads the archive back from its file and checks every entry (its format
// from its extension). 0 when it reads back whole, logging nothing; else
// one line naming it and what failed, and 0x0800.
int readback_step(RunLog& log, const std::string& archive);

// "--verify <archive>": in the current folder's run log, the start line,
// one line naming the archive and the outcome, and the end line. Returns 0
// or 0x0800 (0x9990 when the run log cannot be opened).
int verify_main(const std::string& archive);

}  // namespace worker
