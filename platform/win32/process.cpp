#include "platform/process.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "platform/ansi_path.h"
#include "search_folders.h"

namespace platform {

namespace {

bool is_program_file(const std::string& path) {
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// The file that a program name stands for. A name with a folder part is
// taken as it is; a bare name is looked for in the search folders (beside
// the running program first; the text editor lies in the Windows folder),
// never in the current folder. A name without an extension gets ".exe", as
// the system's own search adds it. Empty when there is none.
std::string resolve_program(std::string name) {
  if (name.empty()) return {};
  // The name's last part begins after its last separator (a character of
  // its own, never the second byte of ソ or 表) or after a drive's colon,
  // a byte no double-byte character holds.
  size_t base = ansi::last_separator(name);
  if (base == std::string::npos && name.size() >= 2 && name[1] == ':') base = 1;
  if (name.find('.', base == std::string::npos ? 0 : base + 1) == std::string::npos) name += ".exe";
  if (base != std::string::npos) return is_program_file(name) ? name : std::string();
  return find_in_search_folders(name);
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
