// End-to-end test helpers: a scratch folder with a program folder and a
// working folder, programs run there as separate processes.
#pragma once
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <csignal>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Time stamps differ from run to run: "[05/15 21:30:05]" reads "[xx/xx xx:xx:xx]".
inline std::string unstamp(const std::string& log) {
  static const std::regex stamp(R"(\[\d\d/\d\d \d\d:\d\d:\d\d\])");
  return std::regex_replace(log, stamp, "[xx/xx xx:xx:xx]");
}

class Scratch {
 public:
  Scratch() {
    char tmpl[] = "/tmp/zubeto-e2e-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(prog());
    fs::create_directories(work());
  }
  ~Scratch() {
    std::error_code ec;
    // Undo read-only bits so the whole tree can go.
    for (auto& e : fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  fs::path root() const { return root_; }
  fs::path prog() const { return root_ / "prog"; }  // the program's own folder
  fs::path work() const { return root_ / "work"; }  // the current folder of the run

  // Copies a built file into the program folder under the given name.
  void install(const fs::path& built, const std::string& name) const {
    fs::copy_file(built, prog() / name, fs::copy_options::overwrite_existing);
  }

  struct Result {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    std::string out;  // standard output
  };

  // Where the program's standard output goes: a file read back into
  // Result::out, or a pipe whose reading end is already closed.
  enum class Output { file, closed_pipe };

  // Runs prog/<name> in work/ with the extra environment, waits for it.
  // `during`, when given, is called with the running program's id before
  // it is waited for (to signal it part way, for instance). `args` are
  // the program's arguments.
  Result run(const std::string& name, const std::map<std::string, std::string>& env = {},
             Output output = Output::file, const std::function<void(pid_t)>& during = {},
             const std::vector<std::string>& args = {}) const {
    fs::path out = root_ / "stdout.txt";
    int dead_pipe[2] = {-1, -1};
    if (output == Output::closed_pipe && pipe(dead_pipe) == 0) close(dead_pipe[0]);
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(work().c_str()) != 0) _exit(126);
      for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
      // Started as from a shell or a scheduler: SIGPIPE at its default.
      signal(SIGPIPE, SIG_DFL);
      int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(output == Output::closed_pipe ? dead_pipe[1] : fd, 1);
      dup2(fd, 2);
      std::string exe = (prog() / name).string();
      std::vector<char*> argv{exe.data()};
      std::vector<std::string> own(args);
      for (std::string& a : own) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    if (dead_pipe[1] >= 0) close(dead_pipe[1]);
    if (during) during(pid);
    int st = 0;
    waitpid(pid, &st, 0);
    Result r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
    r.out = read_file(out);
    return r;
  }

 private:
  fs::path root_;
};

}  // namespace e2e
