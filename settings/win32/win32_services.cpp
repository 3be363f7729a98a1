#include "win32_services.h"

#include <commdlg.h>

#include <cstring>
#include <utility>

#include "language.h"
#include "task_scheduler.h"

namespace zubeto::win32 {

Win32Services::Win32Services() = default;
Win32Services::~Win32Services() = default;

bool Win32Services::delete_file(const std::string& name) {
  // Not forced: the system refuses to delete a read-only file.
  return ::DeleteFileA(name.c_str()) != 0;
}

int Win32Services::message_box(const std::string& text, const std::string& title, int style) {
  // The style number is the system's own: 48, 64 or 36 (Yes the default).
  return ::MessageBoxA(owner_, text.c_str(), title.c_str(), static_cast<UINT>(style));
}

std::vector<std::string> Win32Services::choose_sources() {
  std::string buffer(32768, '\0');
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  std::vector<std::string> out;
  if (!::GetOpenFileNameA(&ofn)) return out;
  // One file: its full path. Several: the folder, then each name, each
  // ended by a zero, the list by two.
  const char* p = buffer.c_str();
  const std::string first = p;
  p += first.size() + 1;
  if (*p == '\0') return {first};
  for (; *p; p += std::strlen(p) + 1) out.push_back(first + (first.back() == '\\' ? "" : "\\") + p);
  return out;
}

std::string Win32Services::choose_archive(const std::string& folder) {
  char path[MAX_PATH * 4] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_;
  ofn.lpstrFilter = "LZH, ZIP, CAB, TAR\0*.lzh;*.zip;*.cab;*.tar\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  return ::GetOpenFileNameA(&ofn) ? std::string(path) : std::string();
}

std::string Win32Services::localized(std::string_view utf8) { return narrow_text(utf8); }

std::string Win32Services::current_folder() {
  char buf[MAX_PATH * 4] = {};
  const DWORD n = ::GetCurrentDirectoryA(sizeof buf, buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool Win32Services::register_task(const std::string& name, const std::string& xml, std::string* error) {
  return tasks::register_task(name, xml, error);
}

bool Win32Services::delete_task(const std::string& name, std::string* error) {
  return tasks::delete_task(name, error);
}

std::optional<std::string> Win32Services::read_task(const std::string& name, std::string* next_run) {
  return tasks::read_task(name, next_run);
}

}  // namespace zubeto::win32
