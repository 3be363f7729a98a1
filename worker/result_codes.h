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
