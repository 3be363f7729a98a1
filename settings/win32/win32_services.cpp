#include "win32_services.h"

#include <commdlg.h>

#include <cstring>
#include <utility>

#include "dircheck.h"
#include "file_save.h"
#include "language.h"
#include "task_scheduler.h"
#include "platform/ansi_path.h"
#include "platform/dynlib.h"
#include "platform/process.h"

namespace zubeto::win32 {

namespace {

// The lines of the file's content: each ends at LF, a CR before it is
// dropped; a last line without a line end still counts.
class LineReader : public TextReader {
 public:
  explicit LineReader(std::string content) : content_(std::move(content)) {}
  bool at_end() const override { return next_ >= content_.size(); }
  std::string read_line() override {
    if (at_end()) return {};
    size_t lf = content_.find('\n', next_);
    size_t end = lf == std::string::npos ? content_.size() : lf;
    std::string line = content_.substr(next_, end - next_);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    next_ = lf == std::string::npos ? content_.size() : lf + 1;
    return line;
  }
  void close() override { next_ = content_.size(); }

 private:
  std::string content_;
  size_t next_ = 0;
};

// The whole file, read when it is opened and released at once; nothing
// when it cannot be opened or read (missing, locked, a folder).
std::optional<std::string> read_whole(const std::string& name) {
  HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    content.append(buf, got);
  }
  ::CloseHandle(h);
  if (!ok) return std::nullopt;
  return content;
}

DWORD attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

}  // namespace

Win32Services::Win32Services() = default;
Win32Services::~Win32Services() = default;

std::unique_ptr<TextReader> Win32Services::open_text(const std::string& name) {
  std::optional<std::string> content = read_whole(name);
  if (!content) return nullptr;
  return std::make_unique<LineReader>(std::move(*content));
}

bool Win32Services::write_text_files(const std::vector<TextFile>& files, std::string* failed) {
  // Written, flushed and put in place by the settings core's one save
  // procedure (file_save.h), as in every view.
  SystemSaveSteps steps;
  return save_text_files(steps, files, failed);
}

bool Win32Services::folder_exists(const std::string& path) {
  if (path.empty()) return false;
  DWORD a = attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Services::delete_file(const std::string& name) {
  // Not forced: the system refuses to delete a read-only file.
  return ::DeleteFileA(name.c_str()) != 0;
}

int Win32Services::message_box(const std::string& text, const std::string& title, int style) {
  // The style number is the system's own: 48, 64 or 36 (Yes the default).
  return ::MessageBoxA(owner_, text.c_str(), title.c_str(), static_cast<UINT>(style));
}

bool Win32Services::start_program(const std::string& command_line, int /*window_style*/) {
  // Started as a normal window that takes the focus (the only style the
  // window asks for).
  return platform::program_start(command_line);
}

bool Win32Services::previous_instance() {
  if (!single_copy_) single_copy_ = std::make_unique<platform::SingleCopy>("ZUBETOB");
  return single_copy_->another_running();
}

// With its separator at the end, added by a helper that knows lead bytes: a
// folder ending in ソ or 表 ends in the byte of a backslash, which a byte
// test would take for a separator and join the worker's name straight to.
std::string Win32Services::program_folder() {
  std::string dir = platform::program_dir();
  return dir.empty() ? dir : platform::ansi::join(dir, "");
}

std::string Win32Services::text_editor_command(const std::string& file) {
  return platform::text_editor_command(file);
}

std::optional<int> Win32Services::share_check(const std::string& path) {
  if (!share_bound_) {
    share_bound_ = true;
    // Bound at the first use, by its bare name from the program's folder
    // first (never the current folder), and kept loaded until the end.
    if (platform::LibHandle lib = platform::lib_load("ZUBETO")) share_fn_ = platform::lib_symbol(lib, "dircheck_dll");
  }
  if (!share_fn_) return std::nullopt;
  auto fn = reinterpret_cast<DircheckFn>(share_fn_);
  return static_cast<int>(fn(path.c_str(), static_cast<int32_t>(path.size())));
}

std::vector<std::string> Win32Services::folder_files(const std::string& folder) {
  std::vector<std::string> names;
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += "*";
  WIN32_FIND_DATAA found{};
  HANDLE h = ::FindFirstFileA(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    // Plain files only: a folder named like an archive is none.
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      names.push_back(found.cFileName);
  } while (::FindNextFileA(h, &found));
  ::FindClose(h);
  return names;
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
