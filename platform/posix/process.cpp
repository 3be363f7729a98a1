#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/dynlib.h"

namespace platform {

namespace {

bool is_program_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file that a program name stands for: a name with a folder part is
// taken as it is; a bare name is looked for beside the running program first,
// then along PATH. Empty when there is no such program.
std::string resolve_program(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return is_program_file(name) ? name : std::string();
  std::string dir = program_dir();
  if (!dir.empty()) {
    std::string beside = (dir == "/" ? dir : dir + "/") + name;
    if (is_program_file(beside)) return beside;
  }
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t colon = rest.find(':', start);
    std::string folder = rest.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    // An empty entry would mean the current directory; programs are never
    // taken from there.
    if (!folder.empty() && folder[0] == '/') {
      std::string candidate = folder + "/" + name;
      if (is_program_file(candidate)) return candidate;
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return {};
}

}  // namespace

bool program_start(const std::string& command_line) {
  std::vector<std::string> words = command_words(command_line);
  if (words.empty()) return false;
  std::string file = resolve_program(words[0]);
  if (file.empty()) return false;

  // Everything the child needs is prepared before fork: between fork and
  // exec only async-signal-safe calls are made.
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;

  // Two forks: the middle process ends at once and is reaped here, so the
  // started program belongs to nobody who waits for it and never lingers as
  // a zombie of this program. The pipe stays silent when exec succeeds (it
  // closes on exec) and carries errno when it fails.
  pid_t middle = ::fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    ::close(report[0]);
    pid_t child = ::fork();
    if (child < 0) {
      int err = errno;
      (void)!::write(report[1], &err, sizeof err);
      ::_exit(127);
    }
    if (child == 0) {
      ::setsid();
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGPIPE, SIG_DFL);
      ::execv(file.c_str(), argv.data());
      int err = errno;
      (void)!::write(report[1], &err, sizeof err);
      ::_exit(127);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return n == 0;
}

std::string text_editor_command(const std::string& file) {
  std::string arg = file.find(' ') != std::string::npos ? "\"" + file + "\"" : file;
  return "xdg-open " + arg;
}

std::string SingleCopy::mark_path(const std::string& program) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    struct stat st {};
    if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return std::string(runtime) + "/" + program + ".lock";
  }
  // No runtime folder: a name of this user's own in the shared temporary folder.
  return "/tmp/" + program + "-" + std::to_string(::getuid()) + ".lock";
}

SingleCopy::SingleCopy(const std::string& program) {
  std::string path = mark_path(program);
  // Close-on-exec: a program started from this one must not carry the lock
  // on, or it would pass for a running copy after this one has ended.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  struct stat st {};
  // A mark that belongs to another user says nothing about this user's
  // copies (and must not let anyone keep this user from starting).
  if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    fd_ = fd;
    return;
  }
  another_ = (errno == EWOULDBLOCK);
  ::close(fd);
}

SingleCopy::~SingleCopy() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace platform
