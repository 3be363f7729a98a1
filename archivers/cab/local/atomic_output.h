// Stand-in atomic output for cab32 until the archivers' shared one is in.
//
// The archive is written to a temporary file in the destination folder,
// flushed to disk, and only then given its name; an existing file of that
// name is never replaced. Until commit() succeeds, nothing is left behind.
#ifndef ZUBETO_CAB_LOCAL_ATOMIC_OUTPUT_H
#define ZUBETO_CAB_LOCAL_ATOMIC_OUTPUT_H

#include <cstdio>
#include <string>

namespace arc_local {

class AtomicOutput {
 public:
  enum class Error { none, exists, folder, io };

  AtomicOutput() = default;
  ~AtomicOutput() { abort(); }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Creates the temporary file beside `final_path` (read and write).
  Error open(const std::string& final_path, std::string& error);
  std::FILE* file() const { return file_; }
  const std::string& temp_path() const { return temp_; }

  // Flushes, syncs and moves the file into place without replacing.
  Error commit(std::string& error);

  // Removes the temporary file; nothing is left.
  void abort();

 private:
  std::string final_;
  std::string temp_;
  std::FILE* file_ = nullptr;
};

}  // namespace arc_local

#endif
