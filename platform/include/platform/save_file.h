// Writing a small text file so that it replaces the old one whole or not at
// all, even across a power cut: the settings window's job files. A new file
// is written under a scratch name, flushed to the disk, renamed over the
// old one, and the folder's list of names is flushed too (POSIX), so that
// after a crash the name holds either the old file or the whole new one,
// never an empty one.
//
// Paths are bytes in the system's narrow code page (the A calls on
// Windows).
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// A file made new for writing; nothing of that name may exist before.
class SaveFile {
 public:
  SaveFile() = default;
  SaveFile(const SaveFile&) = delete;
  SaveFile& operator=(const SaveFile&) = delete;
  ~SaveFile() { close(); }

  bool create(const std::string& path);
  // Writes all bytes; false when any did not reach the file.
  bool write(const std::string& bytes);
  // Waits until every byte is on the disk (fsync, FlushFileBuffers).
  bool flush();
  // False when the system reports a late write failure.
  bool close();

 private:
  intptr_t h_ = -1;
};

// What stands at a name the window is to write.
enum class SaveTarget {
  Absent,
  File,     // a file that may be replaced
  Refused,  // a folder, or a file nobody may write: never replaced
};
SaveTarget save_target(const std::string& name);

// Renames `from` over `to`, replacing a file there (rename, MoveFileEx
// with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
bool replace_file(const std::string& from, const std::string& to);

// A second name for the file's present content, to go back to: a hard
// link where the system has them, else a copy.
bool keep_copy(const std::string& from, const std::string& to);

// Makes the list of names of the folder that holds `path` durable (fsync of
// the folder on POSIX; Windows keeps it with MOVEFILE_WRITE_THROUGH).
void flush_folder_of(const std::string& path);

// Removes a file; false when it cannot be removed.
bool remove_saved(const std::string& path);

}  // namespace platform
