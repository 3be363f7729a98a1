#include "platform/process.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "platform/dynlib.h"

namespace platform {

namespace {

bool is_program_file(const std::string& path) {
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string folder_of(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buf[MAX_PATH + 1] = {};
  UINT n = query(buf, sizeof buf);
  return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

bool is_absolute(const std::string& dir) {
  return (dir.size() >= 3 && dir[1] == ':' && (dir[2] == '\\' || dir[2] == '/')) || dir.rfind("\\\\", 0) == 0;
}

// The file that a program name stands for. A name with a folder part is
// taken as it is; a bare name is looked for beside the running program
// first, then in the system folder, the Windows folder (where the text
// editor lies) and the absolute folders of PATH. Never in the current
// folder: the job files lie there, and a program planted beside them must
// not run in place of the one asked for. A name without an extension gets
// ".exe", as the system's own search adds it. Empty when there is none.
std::string resolve_program(std::string name) {
  if (name.empty()) return {};
  size_t base = name.find_last_of("\\/:");
  if (name.find('.', base == std::string::npos ? 0 : base + 1) == std::string::npos) name += ".exe";
  if (base != std::string::npos) return is_program_file(name) ? name : std::string();

  std::vector<std::string> dirs = {program_dir(), folder_of(::GetSystemDirectoryA), folder_of(::GetWindowsDirectoryA)};
  std::vector<char> path(32768);
  DWORD n = ::GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
  std::string list = (n > 0 && n < path.size()) ? std::string(path.data(), n) : std::string();
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    if (is_absolute(dir)) dirs.push_back(dir);
    start = end + 1;
  }
  for (const std::string& dir : dirs) {
    if (dir.empty()) continue;
    std::string full = dir + (dir.back() == '\\' || dir.back() == '/' ? "" : "\\") + name;
    if (is_program_file(full)) return full;
  }
  return {};
}

}  // namespace

bool program_start(const std::string& command_line) {
  std::vector<std::string> words = command_words(command_line);
  if (words.empty()) return false;
  std::string file = resolve_program(words[0]);
  if (file.empty()) return false;

  // The program is named by its full path; the command line it receives is
  // the one given. A normal window that takes the focus; nothing waits.
  std::vector<char> cmd(command_line.begin(), command_line.end());
  cmd.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(file.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return true;
}

std::string text_editor_command(const std::string& file) {
  std::string arg = file.find(' ') != std::string::npos ? "\"" + file + "\"" : file;
  return "Notepad.exe " + arg;
}

namespace {

// The user's security identifier as text ("S-1-5-21-..."), or "" when it
// cannot be read.
std::string user_sid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::string sid;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buf(size ? size : 1);
  if (size && ::GetTokenInformation(token, TokenUser, buf.data(), size, &size)) {
    char* text = nullptr;
    if (::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &text)) {
      sid = text;
      ::LocalFree(text);
    }
  }
  ::CloseHandle(token);
  return sid;
}

}  // namespace

std::string SingleCopy::mark_path(const std::string& program) {
  // One name per user across the whole machine (every session of the user
  // shares it); the user's name stands in when the identifier is unknown.
  std::string who = user_sid();
  if (who.empty()) {
    char name[257] = {};
    DWORD n = sizeof name;
    if (::GetUserNameA(name, &n)) who = name;
  }
  return "Global\\" + program + "-single-copy-" + who;
}

SingleCopy::SingleCopy(const std::string& program) {
  // The mutex lives while a handle to it is open: the system closes this
  // one when the program ends, however it ends. A name taken by something
  // that refuses access says nothing about this user's copies.
  HANDLE h = ::CreateMutexA(nullptr, FALSE, mark_path(program).c_str());
  if (!h) return;
  another_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
  mutex_ = h;
}

SingleCopy::~SingleCopy() {
  if (mutex_) ::CloseHandle(static_cast<HANDLE>(mutex_));
}

}  // namespace platform
