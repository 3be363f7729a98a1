// Programs and copies of programs: starting a program without waiting for it,
// telling whether another copy of this program runs, and the command line that
// shows a text file in the system's text editor.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Splits a command line into words at spaces; double quotes group a word that
// holds spaces and are not part of it.
std::vector<std::string> command_words(const std::string& command_line);

// Starts the command line as a separate process and returns at once, without
// waiting for it. The new process inherits the current directory. A program
// named without a folder is looked for first in the running program's folder,
// then along the system's search path. False when it could not be started.
bool program_start(const std::string& command_line);

// The command line that opens the file in the system's text editor
// ("Notepad.exe file" on Windows, the desktop's default editor on POSIX).
std::string text_editor_command(const std::string& file);

// Holds the single-copy mark of a program for as long as the object lives.
// On POSIX the mark is a lock on a file in the user's runtime folder, on
// Windows a named mutex of the user's; the system drops either when the
// holder ends, however it ends, so a copy that crashed never keeps the next
// one from starting.
class SingleCopy {
 public:
  // program: the name that all copies share.
  explicit SingleCopy(const std::string& program);
  ~SingleCopy();
  SingleCopy(const SingleCopy&) = delete;
  SingleCopy& operator=(const SingleCopy&) = delete;

  // True when another live copy holds the mark. Whenever the question cannot
  // be answered (no folder, no permission) the answer is false: the check
  // never keeps the program from starting.
  bool another_running() const { return another_; }

  // Where the mark of the program lies on this system: a lock file on
  // POSIX, the name of a mutex of this user's on Windows.
  static std::string mark_path(const std::string& program);

 private:
#ifdef _WIN32
  void* mutex_ = nullptr;  // the named mutex, held while the object lives
#else
  int fd_ = -1;
#endif
  bool another_ = false;
};

}  // namespace platform
