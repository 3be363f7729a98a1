// Retention: after a run that ended 0000 and whose new archive read back
// whole, the oldest archives of the job's format in the destination are
// removed until the job's "[keep]=N" are left.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "job.h"
#include "runlog.h"

namespace worker {

// A name exactly as the worker names archives: 14 digits, then the
// extension (".zip"), in that letter case.
bool is_archive_name(std::string_view name, std::string_view extension);

// Which of the names (plain files of the destination) to remove so that
// `keep` archives are left, the new one among them: the oldest by name,
// never the new archive, never a name that is not an archive name of the
// extension. Nothing when keep is 0 or less, or when the new archive's own
// name is not an archive name.
std::vector<std::string> archives_to_remove(std::vector<std::string> names, std::string_view newest,
                                            std::string_view extension, int keep);

// Lists the new archive's folder and removes what archives_to_remove
// names, one "REMOVED: <path>" line each. A file that cannot be removed
// gets a "NOTE: " line and stays; the run keeps its result.
void retention_step(RunLog& log, const std::string& archive, int keep);

// After a run that ended 0000: with "[keep]=N" (N > 0) the new archive is
// read back first; only when it reads back whole are old ones removed.
// Returns 0, or 0x0800 when the check failed (nothing removed).
int keep_step(RunLog& log, const JobFacts& facts);

}  // namespace worker
