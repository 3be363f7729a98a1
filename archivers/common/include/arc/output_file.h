// The one way our archivers put an archive on disk.
//
// The archive is written to a temporary file beside its final name (same
// folder, so the same file system), flushed to disk, and only when it is
// complete moved to its name -- never over an existing file: renameat2
// with RENAME_NOREPLACE, else link() + unlink(), else (file systems without
// hard links) an exclusive placeholder replaced by rename(). On any failure,
// or when the object is destroyed before commit(), the temporary file is
// removed. An existing file of the archive's name is never touched.
#pragma once

#include <cstddef>
#include <string>

#include "arc/status.h"

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

  // The open temporary file; writers may also seek and pwrite on it.
  int fd() const { return fd_; }
  const std::string& temp_path() const { return temp_; }
  const std::string& final_path() const { return final_; }

  // Writes all bytes at the current position (ARC_E_WRITE on failure).
  Status write_all(const void* data, size_t size);

  // Flushes, closes and moves the file to its name. On failure the
  // temporary file is removed.
  Status commit();

  // Removes the temporary file (nothing when committed or never created).
  void discard();

 private:
  int fd_ = -1;
  std::string temp_;
  std::string final_;
  bool committed_ = false;
};

// The folder part of a path: "/b/x.zip" -> "/b", "x.zip" -> ".", "/x" -> "/".
std::string folder_of(const std::string& path);

}  // namespace zubeto::arc
