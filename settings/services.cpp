#include "services.h"

#include <cstdio>

#include "dircheck.h"
#include "file_save.h"
#include "platform/dynlib.h"
#include "platform/fileinfo.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/save_file.h"
#include "platform/stream_file.h"
#include "platform/text.h"
#include "text/lines.h"

namespace zubeto {

std::string Services::localized(std::string_view utf8) { return platform::system_text(utf8); }

std::optional<std::vector<std::string>> Services::read_tail(const std::string& name, std::size_t max_bytes) {
  std::optional<std::vector<std::string>> lines = read_text_lines(*this, name);
  if (!lines) return lines;
  // The last lines that fit in max_bytes, at least the last one.
  std::size_t bytes = 0, first = lines->size();
  while (first > 0 && (first == lines->size() || bytes + (*lines)[first - 1].size() + 2 <= max_bytes))
    bytes += (*lines)[--first].size() + 2;
  lines->erase(lines->begin(), lines->begin() + static_cast<std::ptrdiff_t>(first));
  return lines;
}

std::optional<std::vector<std::string>> read_text_lines(Services& services, const std::string& name) {
  std::unique_ptr<TextReader> in = services.open_text(name);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  while (!in->at_end()) lines.push_back(in->read_line());
  in->close();
  return lines;
}

namespace {

class LineReader : public TextReader {
 public:
  explicit LineReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  bool at_end() const override { return next_ >= lines_.size(); }
  std::string read_line() override { return at_end() ? std::string() : lines_[next_++]; }
  void close() override { next_ = lines_.size(); }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

// The real save steps, with the renaming through the services' own call
// (which a test makes fail).
class RenamingSaveSteps : public SystemSaveSteps {
 public:
  explicit RenamingSaveSteps(PlatformServices& services, bool (*rename)(PlatformServices&, const std::string&, const std::string&))
      : services_(services), rename_(rename) {}
  bool replace(const std::string& from, const std::string& to) override { return rename_(services_, from, to); }

 private:
  PlatformServices& services_;
  bool (*rename_)(PlatformServices&, const std::string&, const std::string&);
};

}  // namespace

struct PlatformServices::Held {
  std::optional<std::string> program_folder;
  std::unique_ptr<platform::SingleCopy> single_copy;
  bool share_bound = false;
  DircheckFn share_fn = nullptr;
};

PlatformServices::PlatformServices() : held_(std::make_unique<Held>()) {}
PlatformServices::~PlatformServices() = default;

std::unique_ptr<TextReader> PlatformServices::open_text(const std::string& name) {
  std::FILE* in = platform::open_for_reading(name.c_str());
  if (!in) return nullptr;
  std::string content;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, in)) > 0) content.append(buf, got);
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return nullptr;
  return std::make_unique<LineReader>(text::split_lines(content));
}

bool PlatformServices::write_text_files(const std::vector<TextFile>& files, std::string* failed) {
  RenamingSaveSteps steps(*this, [](PlatformServices& self, const std::string& from, const std::string& to) {
    return self.rename_file(from, to);
  });
  return save_text_files(steps, files, failed);
}

bool PlatformServices::rename_file(const std::string& from, const std::string& to) {
  return platform::replace_file(from, to);
}

bool PlatformServices::folder_exists(const std::string& path) {
  if (path.empty()) return false;
  const uint32_t a = platform::file_attributes(path);
  return a != platform::kInvalidAttributes && (a & platform::kAttrDirectory) != 0;
}

bool PlatformServices::start_program(const std::string& command_line, int /*window_style*/) {
  return platform::program_start(command_line);
}

bool PlatformServices::previous_instance() {
  if (!held_->single_copy) held_->single_copy = std::make_unique<platform::SingleCopy>("ZUBETOB");
  return held_->single_copy->another_running();
}

std::string PlatformServices::program_folder() {
  return held_->program_folder ? *held_->program_folder : platform::program_dir();
}

void PlatformServices::set_program_folder(std::string folder) { held_->program_folder = std::move(folder); }

std::string PlatformServices::text_editor_command(const std::string& file) {
  return platform::text_editor_command(file);
}

std::optional<int> PlatformServices::share_check(const std::string& path) {
  if (!held_->share_bound) {
    held_->share_bound = true;
    if (platform::LibHandle lib = platform::lib_load("ZUBETO"))
      held_->share_fn = reinterpret_cast<DircheckFn>(platform::lib_symbol(lib, "dircheck_dll"));
  }
  if (!held_->share_fn) return std::nullopt;
  return static_cast<int>(held_->share_fn(path.c_str(), static_cast<int32_t>(path.size())));
}

std::vector<std::string> PlatformServices::folder_files(const std::string& folder) {
  std::vector<platform::FolderChild> children;
  platform::SysError err;
  (void)platform::list_folder(folder, true, children, err);  // what was read, even after a failure
  std::vector<std::string> names;
  for (const platform::FolderChild& child : children)
    if (!child.err.failed() && child.facts.kind == platform::FileKind::File) names.push_back(child.name);
  return names;
}

}  // namespace zubeto
