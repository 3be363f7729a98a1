// Helpers of the Windows tests: scratch folders, files by their ANSI names,
// programs started as separate processes with their whole exit code, and
// texts in the system's ANSI code page.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace winh {

inline std::string read_file(const std::string& path) {
  std::string s;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline bool exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Folder of this test program, where the build put the programs under test.
inline std::string here() {
  char buf[MAX_PATH * 2] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string exe(buf, n);
  return exe.substr(0, exe.find_last_of('\\'));
}

// The test's own conversion of a UTF-8 text into the ANSI code page, for
// building expected lines; the Shift-JIS checks use literal bytes instead.
inline std::string acp(const std::string& utf8) {
  int wn = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wn), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wn);
  int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w.data(), wn, s.data(), n, nullptr, nullptr);
  return s;
}

// The wide text in the ANSI code page, or "" when the code page lacks one of
// its characters.
inline std::string acp_exact(const std::wstring& w) {
  BOOL lossy = FALSE;
  int n = ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, &lossy);
  if (lossy || n <= 0) return {};
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// Time stamps differ from run to run: "[05/15 21:30:05]" reads "[xx/xx xx:xx:xx]".
inline std::string unstamp(const std::string& log) {
  static const std::regex stamp(R"(\[\d\d/\d\d \d\d:\d\d:\d\d\])");
  return std::regex_replace(log, stamp, "[xx/xx xx:xx:xx]");
}

inline std::string re_escape(const std::string& s) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(s, special, R"(\$&)");
}

// Removes a folder tree, read-only entries included.
inline void remove_tree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string p = dir + "\\" + name;
      ::SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_tree(p);
      else
        ::DeleteFileA(p.c_str());
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  ::SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(dir.c_str());
}

// A scratch folder with a program folder (named "prog" unless given, in the
// ANSI code page) and a working folder.
class Scratch {
 public:
  explicit Scratch(std::string prog_name = "prog") : prog_name_(std::move(prog_name)) {
    static int counter = 0;
    char tmp[MAX_PATH + 1] = {};
    ::GetTempPathA(sizeof tmp, tmp);
    root_ = std::string(tmp) + "zubeto-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    remove_tree(root_);
    ::CreateDirectoryA(root_.c_str(), nullptr);
    ::CreateDirectoryA(prog().c_str(), nullptr);
    ::CreateDirectoryA(work().c_str(), nullptr);
  }
  ~Scratch() { remove_tree(root_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& root() const { return root_; }
  std::string prog() const { return root_ + "\\" + prog_name_; }  // the program's own folder
  std::string work() const { return root_ + "\\work"; }  // the current folder of the run

  // Copies a file built beside this test program into the program folder.
  bool install(const std::string& built, const std::string& name) const {
    return ::CopyFileA((here() + "\\" + built).c_str(), (prog() + "\\" + name).c_str(), FALSE) != 0;
  }

  struct Result {
    bool started = false;
    unsigned long start_error = 0;  // the system's error code when the start failed
    bool finished = false;
    DWORD code = 0;   // the whole 32-bit exit code
    std::string out;  // standard output and standard error
  };

  // Starts prog\<name> in work\ as the system starts any program, with the
  // extra environment, and waits for it.
  Result run(const std::string& name, const std::map<std::string, std::string>& env = {}) const {
    Result r;
    for (const auto& [k, v] : env) ::SetEnvironmentVariableA(k.c_str(), v.c_str());
    std::string out_path = root_ + "\\stdout.txt";
    SECURITY_ATTRIBUTES sa {sizeof sa, nullptr, TRUE};
    HANDLE out = ::CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi {};
    std::string exe = prog() + "\\" + name;
    std::vector<char> cmd(name.begin(), name.end());
    cmd.push_back('\0');
    // Under Wine a start now and then fails for a moment on a loaded
    // machine; a few tries tell that apart from a program that cannot start.
    for (int attempt = 0; attempt < 5 && !r.started; ++attempt) {
      if (attempt > 0) {
        std::fprintf(stderr, "start of %s failed with error %lu, trying again\n", name.c_str(), r.start_error);
        ::Sleep(500);
      }
      r.started = ::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, work().c_str(), &si,
                                   &pi) != 0;
      if (!r.started) r.start_error = ::GetLastError();
    }
    ::CloseHandle(out);
    for (const auto& [k, v] : env) ::SetEnvironmentVariableA(k.c_str(), nullptr);
    if (!r.started) return r;
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
      r.finished = true;
      ::GetExitCodeProcess(pi.hProcess, &r.code);
    } else {
      ::TerminateProcess(pi.hProcess, 1);
      ::WaitForSingleObject(pi.hProcess, 5000);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    r.out = read_file(out_path);
    return r;
  }

 private:
  std::string prog_name_;
  std::string root_;
};

// Share roots under Wine: a folder <prefix>\dosdevices\unc\<server>\<share>
// is what \\<server>\<share> names. Makes share roots of one server name
// that no other run uses, and removes them again.
class Shares {
 public:
  Shares() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !*prefix) return;
    std::string unix_dir = std::string(prefix) + "/dosdevices/unc";
    for (char& c : unix_dir)
      if (c == '/') c = '\\';
    unc_ = "Z:" + unix_dir;
    server_ = "zbt" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(unc_.c_str(), nullptr);
    ::CreateDirectoryA((unc_ + "\\" + server_).c_str(), nullptr);
  }
  ~Shares() {
    if (!server_.empty()) remove_tree(unc_ + "\\" + server_);
  }
  bool available() const { return !server_.empty(); }
  // Makes the share folder and returns its \\server\share path.
  std::string make(const std::string& share, DWORD attributes = 0) const {
    std::string dir = unc_ + "\\" + server_ + "\\" + share;
    ::CreateDirectoryA(dir.c_str(), nullptr);
    if (attributes) ::SetFileAttributesA(dir.c_str(), attributes);
    return root() + "\\" + share;
  }
  std::string make_file(const std::string& name) const {
    write_file(unc_ + "\\" + server_ + "\\" + name, "x");
    return root() + "\\" + name;
  }
  std::string root() const { return "\\\\" + server_; }

 private:
  std::string unc_;
  std::string server_;
};

}  // namespace winh
