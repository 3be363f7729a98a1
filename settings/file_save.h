// How the window's job files are put on disk, the same in every view: each
// file is written whole under a scratch name beside it, flushed to the
// disk, and only when every file is written are they renamed over the old
// ones, one after the other; then the folder's list of names is flushed.
// A save that fails part way puts the old files back; a power cut at any
// moment leaves either the old job or the whole new one, never an empty
// "jobconf.ini".
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "services.h"

namespace zubeto {

// The system calls a save makes, one by one, so that a test can record
// their order. SystemSaveSteps makes them for real.
class SaveSteps {
 public:
  virtual ~SaveSteps() = default;
  // Absent, a file that may be replaced, or refused (a folder, a read-only file).
  enum class Target { Absent, File, Refused };
  virtual Target target(const std::string& name) = 0;
  // A new file opened for writing (nothing of that name before).
  virtual bool create(const std::string& path) = 0;
  // The bytes, to the file created last.
  virtual bool write(const std::string& bytes) = 0;
  // Its bytes to the disk.
  virtual bool flush() = 0;
  virtual bool close() = 0;
  // A second name for a file's present content (a hard link, else a copy).
  virtual bool keep_copy(const std::string& from, const std::string& to) = 0;
  // Renames `from` over `to`.
  virtual bool replace(const std::string& from, const std::string& to) = 0;
  // Makes the names in the folder of `path` durable.
  virtual void flush_folder(const std::string& path) = 0;
  virtual void remove(const std::string& path) = 0;
  // A mark no other save uses at the same time, for scratch names.
  virtual std::string unique_mark() = 0;
};

// The steps on the real system (platform/save_file.h).
class SystemSaveSteps : public SaveSteps {
 public:
  SystemSaveSteps();
  ~SystemSaveSteps() override;
  Target target(const std::string& name) override;
  bool create(const std::string& path) override;
  bool write(const std::string& bytes) override;
  bool flush() override;
  bool close() override;
  bool keep_copy(const std::string& from, const std::string& to) override;
  bool replace(const std::string& from, const std::string& to) override;
  void flush_folder(const std::string& path) override;
  void remove(const std::string& path) override;
  std::string unique_mark() override;

 private:
  struct Open;
  std::unique_ptr<Open> open_;
};

// Writes the files as Services::write_text_files promises (see there), each
// line ending in CR LF. False on failure, with the failing file's name in
// *failed.
bool save_text_files(SaveSteps& steps, const std::vector<TextFile>& files, std::string* failed);

}  // namespace zubeto
