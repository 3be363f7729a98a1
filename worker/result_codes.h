// The worker's own result codes; any other non-zero result is an archiver's.
#pragma once

namespace worker {

inline constexpr int kResultOk = 0;
inline constexpr int kResultNoJobFile = 0x0100;
inline constexpr int kResultModeError = 0x0300;
inline constexpr int kResultLibraryMissing = 0x0400;  // plus the job type, 0..4
inline constexpr int kResultPathMissing = 0x0701;
// The new archive did not read back whole: it is kept, nothing old is
// removed. Also the outcome of a check asked for by "--verify" that fails.
inline constexpr int kResultReadBackFailed = 0x0800;
inline constexpr int kResultNoRunLog = 0x9990;
// A stop signal arrived before the archiver was called: none is called. The
// same code our archiver libraries give a run stopped while they write.
inline constexpr int kResultStopped = 0x800E;

}  // namespace worker

#include <string>

namespace worker {

// Where a result code came from: the worker's own codes above, or the
// archiver library's return value (which may be any number, one of the
// worker's included).
enum class Origin { worker, archiver };

// A run's result: its code, where it came from, and the archiver's text as
// the run log shows it (its lines escaped and joined by line feeds; only
// its notes after a success; empty when no archiver was called).
struct RunOutcome {
  int code = kResultOk;
  Origin origin = Origin::worker;
  std::string text;

  bool from_archiver() const { return origin == Origin::archiver; }
};

// A result of the worker's own.
inline RunOutcome worker_outcome(int code) { return RunOutcome{code, Origin::worker, {}}; }

}  // namespace worker
