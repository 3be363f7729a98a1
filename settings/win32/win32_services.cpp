#include "win32_services.h"

#include <utility>

#include "dircheck.h"
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

// Writes the lines, each ending in CR LF, to a new file and flushes it to
// disk; false when any byte did not reach it.
bool write_whole(const std::string& path, const std::vector<std::string>& lines) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += "\r\n";
  }
  bool ok = true;
  size_t done = 0;
  while (ok && done < content.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    DWORD put = 0;
    ok = ::WriteFile(h, content.data() + done, chunk, &put, nullptr) && put == chunk;
    done += put;
  }
  ok = ok && ::FlushFileBuffers(h);
  ok = ::CloseHandle(h) && ok;
  if (!ok) ::DeleteFileA(path.c_str());
  return ok;
}

// A name beside the file that no other save uses.
std::string scratch_name(const std::string& name, const char* mark) {
  static unsigned counter = 0;
  return name + mark + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount()) + "-" +
         std::to_string(++counter);
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
  // Every file is first written whole under a scratch name beside it and
  // flushed, and only then put in place of the old one: a failure part way
  // leaves the job stored before, never a half-written one.
  std::vector<std::pair<std::string, std::string>> written;  // scratch, name
  auto fail = [&](const std::string& name) {
    for (const auto& w : written) ::DeleteFileA(w.first.c_str());
    if (failed) *failed = name;
    return false;
  };
  for (const TextFile& f : files) {
    // A folder of that name, or a read-only file, is not replaced: the
    // system's own text files refuse to overwrite either.
    DWORD a = attributes(f.name);
    if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) return fail(f.name);
    std::string scratch = scratch_name(f.name, ".new~");
    if (!write_whole(scratch, f.lines)) return fail(f.name);
    written.emplace_back(scratch, f.name);
  }
  // Each old file steps aside under a second name until every new one is in
  // place; should one fail, those already placed go back to what they were:
  // a job file left old beside a new response file would back up the new
  // list for the old job.
  struct Placed {
    std::string name;
    std::string kept;  // the old file's second name, "" when there was none
  };
  std::vector<Placed> placed;
  for (size_t i = 0; i < written.size(); ++i) {
    const std::string& name = written[i].second;
    Placed p{name, {}};
    if (attributes(name) != INVALID_FILE_ATTRIBUTES) {
      p.kept = scratch_name(name, ".old~");
      if (!::MoveFileExA(name.c_str(), p.kept.c_str(), 0)) p.kept.clear();
    }
    if (!::MoveFileExA(written[i].first.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      if (!p.kept.empty()) ::MoveFileExA(p.kept.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING);
      for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        if (!it->kept.empty())
          ::MoveFileExA(it->kept.c_str(), it->name.c_str(), MOVEFILE_REPLACE_EXISTING);
        else
          ::DeleteFileA(it->name.c_str());
      }
      written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(i + 1));
      return fail(name);
    }
    placed.push_back(std::move(p));
  }
  for (const Placed& p : placed)
    if (!p.kept.empty()) ::DeleteFileA(p.kept.c_str());
  return true;
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

}  // namespace zubeto::win32
