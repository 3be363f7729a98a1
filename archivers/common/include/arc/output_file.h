// The one way our archivers put an archive on disk.
//
// The archive is written to a temporary file beside its final name (same
// folder, so the same file system), flushed to disk, and only when it is
// complete moved to its name -- never over an existing file (the system's
// side lives in platform/files.h: a rename that refuses to replace on
// POSIX, MoveFileEx without replacing on Windows). On any failure,
// or when the object is destroyed before commit(), the temporary file is
// removed; the one exception is a complete archive that could not be moved
// to its name (ARC_E_COMMIT): it is kept as "<stem>-kept-<8 letters>.<ext>"
// (or, when even that move fails, read-only under its temporary's name),
// and the failure text names it. An existing file of the archive's name is
// never touched.
//
// Temporary files are named "<archive>.<8 letters or digits>.part" and stay
// marked as in use while written (POSIX: flock; Windows: a handle that
// shares no deletion), up to and through the move to its name. A
// temporary of that form in the destination folder that nobody holds
// locked, and that is not read-only, was left by a run that was killed or
// lost its power; create() removes it. One another worker is still writing
// -- or is just naming -- stays untouched.
//
// All calls on the archive file go through here, so that a writer never
// meets the operating system directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "arc/status.h"
#include "platform/files.h"

namespace zubeto::arc {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // ARC_E_DESTINATION when the archive's folder is missing or no folder,
  // ARC_E_EXISTS when something of the archive's name exists. Touches nothing.
  static Status check_destination(const std::string& final_path);

  // Checks the destination, creates and locks the temporary file, then
  // removes stale temporaries of ours in that folder (their names are
  // added to `removed` when given).
  Status create(const std::string& final_path, std::vector<std::string>* removed = nullptr);

  const std::string& temp_path() const { return temp_; }
  const std::string& final_path() const { return final_; }

  // Writes all bytes at the current position (ARC_E_WRITE on failure,
  // ARC_E_STOPPED once a stop signal arrived).
  Status write_all(const void* data, size_t size);
  // Writes or reads bytes at `offset` from the file's start, leaving the
  // current position as it is.
  Status write_at(uint64_t offset, const void* data, size_t size);
  Status read_at(uint64_t offset, void* data, size_t size);
  // Cuts the file to `size` bytes.
  Status truncate(uint64_t size);
  // Starts the disk writes of a written range, so that the flush before
  // commit() finds little left to do. Failures are left to that flush.
  void start_writeback(uint64_t offset, uint64_t size);

  // Flushes, closes and moves the file to its name. On failure the
  // temporary file is removed (except for ARC_E_COMMIT, see above). Once
  // named, a further call does nothing (a writer that makes several files,
  // a cabinet set, names them all itself, in its own order).
  Status commit();

  // Removes the temporary file (nothing when committed or never created).
  void discard();

 private:
  Status io_failure(const char* what, const platform::SysError& err) const;
  Status keep_unnamed(const platform::SysError& why);

  platform::NewFile file_;
  std::string temp_;
  std::string final_;
  bool committed_ = false;
  bool named_ = false;
};

// The folder part of a path: "/b/x.zip" -> "/b", "x.zip" -> ".", "/x" -> "/"
// (Windows: "C:\b\x.zip" -> "C:\b", "C:\x.zip" -> "C:\").
using platform::folder_of;

// The name a complete archive is kept under when it cannot get its own:
// "/b/2024.zip" with letters "ab12cd34" -> "/b/2024-kept-ab12cd34.zip". It
// is no temporary's name, so no clean-up ever removes it.
std::string kept_name(const std::string& final_path, const std::string& letters);

// Test seam: called before the finished archive is moved to a name (its
// own, or the kept name), while it is still held. Returning false makes
// that move fail with `err` as the seam sets it; a seam may also run another
// run's clean-up at that very moment. nullptr removes it.
using NamingSeam = bool (*)(const std::string& from, const std::string& to, platform::SysError& err);
void set_naming_seam(NamingSeam seam);

// Whether `name` (without folder) has the form of one of our temporaries:
// "<stem>.<lzh|zip|cab|tar|bza>.<8 of [0-9a-z]>.part".
bool is_temp_name(const std::string& name);

// Stop signals (SIGTERM, SIGINT, SIGHUP; none on Windows, see
// platform/stop.h) while an archive is made. While a
// StopSignals object lives, these signals only raise a flag (and remove the
// temporary file being written, which is safe to do from a handler): the
// run stops at its next step with ARC_E_STOPPED, leaves no archive and no
// temporary, and returns to its caller. When the object goes, the previous
// handlers come back and a signal that arrived is raised again, so that the
// caller (the worker) sees it as well and can end its own way.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Keep the raised signal to ourselves (the archive was complete and
  // named before it arrived, or the caller is told through the code).
  static bool stopped();
  // Which signal, 0 when none.
  static int signal_number();
};

// The temporary file a handler removes on a stop signal (set by
// OutputFile::create, cleared when committed or discarded).
void set_stop_cleanup(const std::string& temp_path);

}  // namespace zubeto::arc
