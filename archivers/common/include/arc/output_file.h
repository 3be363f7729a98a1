// The one way our archivers put an archive on disk.
//
// The archive is written to a temporary file beside its final name (same
// folder, so the same file system), flushed to disk, and only when it is
// complete moved to its name -- never over an existing file (the system's
// side of this lives in platform/files.h: a rename that refuses to replace
// on POSIX, MoveFileEx without replacing on Windows). On any failure,
// or when the object is destroyed before commit(), the temporary file is
// removed. An existing file of the archive's name is never touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

  // Checks the destination, then creates the temporary file.
  Status create(const std::string& final_path);

  // The open temporary file; writers may also write at offsets, read back
  // and cut it through it.
  platform::NewFile& file() { return file_; }
  const std::string& temp_path() const { return temp_; }
  const std::string& final_path() const { return final_; }

  // Writes all bytes after those written so far (ARC_E_WRITE on failure).
  Status write_all(const void* data, size_t size);
  // Writes all bytes at `offset` (ARC_E_WRITE on failure).
  Status write_at(uint64_t offset, const void* data, size_t size);
  // The failure of a write as a status naming the archive.
  Status write_failed(const platform::SysError& err) const;

  // Flushes, closes and moves the file to its name. On failure the
  // temporary file is removed.
  Status commit();

  // Removes the temporary file (nothing when committed or never created).
  void discard();

 private:
  platform::NewFile file_;
  std::string temp_;
  std::string final_;
  bool committed_ = false;
};

// The folder part of a path: "/b/x.zip" -> "/b", "x.zip" -> ".", "/x" -> "/"
// (Windows: "C:\b\x.zip" -> "C:\b", "C:\x.zip" -> "C:\").
using platform::folder_of;

}  // namespace zubeto::arc
