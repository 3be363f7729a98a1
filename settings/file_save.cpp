#include "file_save.h"

#include <atomic>
#include <chrono>
#include <optional>

#include "platform/save_file.h"

namespace zubeto {

struct SystemSaveSteps::Open {
  platform::SaveFile file;
};

SystemSaveSteps::SystemSaveSteps() : open_(std::make_unique<Open>()) {}
SystemSaveSteps::~SystemSaveSteps() = default;

SaveSteps::Target SystemSaveSteps::target(const std::string& name) {
  switch (platform::save_target(name)) {
    case platform::SaveTarget::Absent: return Target::Absent;
    case platform::SaveTarget::Refused: return Target::Refused;
    default: return Target::File;
  }
}
bool SystemSaveSteps::create(const std::string& path) { return open_->file.create(path); }
bool SystemSaveSteps::write(const std::string& bytes) { return open_->file.write(bytes); }
bool SystemSaveSteps::flush() { return open_->file.flush(); }
bool SystemSaveSteps::close() { return open_->file.close(); }
bool SystemSaveSteps::keep_copy(const std::string& from, const std::string& to) {
  return platform::keep_copy(from, to);
}
bool SystemSaveSteps::replace(const std::string& from, const std::string& to) {
  return platform::replace_file(from, to);
}
void SystemSaveSteps::flush_folder(const std::string& path) { platform::flush_folder_of(path); }
void SystemSaveSteps::remove(const std::string& path) { platform::remove_saved(path); }
std::string SystemSaveSteps::unique_mark() {
  // The clock's ticks and a count: two saves never meet in one folder at
  // one tick (the window runs one copy per user), and the count keeps the
  // names of one save apart.
  static std::atomic<unsigned> count{0};
  static const char* hex = "0123456789abcdef";
  uint64_t n = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) * 31 + ++count;
  std::string s;
  for (int i = 0; i < 12; ++i, n >>= 4) s += hex[n & 15];
  return s;
}

bool save_text_files(SaveSteps& steps, const std::vector<TextFile>& files, std::string* failed) {
  std::vector<std::pair<std::string, std::string>> written;  // scratch, name
  auto fail = [&](const std::string& name) {
    for (const auto& w : written) steps.remove(w.first);
    if (failed) *failed = name;
    return false;
  };
  // 1. Every file whole under a scratch name beside it, on the disk.
  for (const TextFile& f : files) {
    if (steps.target(f.name) == SaveSteps::Target::Refused) return fail(f.name);
    const std::string scratch = f.name + ".new~" + steps.unique_mark();
    if (!steps.create(scratch)) return fail(f.name);
    std::string content;
    for (const std::string& line : f.lines) {
      content += line;
      content += "\r\n";
    }
    bool ok = steps.write(content);
    ok = ok && steps.flush();
    ok = steps.close() && ok;
    if (!ok) {
      steps.remove(scratch);
      return fail(f.name);
    }
    written.emplace_back(scratch, f.name);
  }
  // 2. Put in place one after the other. Should a later one fail, the
  //    earlier ones go back to what they were: a job file left old beside a
  //    new response file would back up the new list for the old job. The
  //    old files keep a second name until every new one is in place; the
  //    name itself never stands empty.
  struct Placed {
    std::string name;
    std::optional<std::string> kept;  // the old file's second name
  };
  std::vector<Placed> placed;
  for (size_t i = 0; i < written.size(); ++i) {
    const std::string name = written[i].second;  // a copy: written is cut below
    Placed p{name, std::nullopt};
    if (steps.target(name) != SaveSteps::Target::Absent) {
      std::string kept = name + ".old~" + steps.unique_mark();
      if (steps.keep_copy(name, kept)) p.kept = kept;
    }
    if (!steps.replace(written[i].first, name)) {
      if (p.kept) steps.remove(*p.kept);
      for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        if (it->kept)
          steps.replace(*it->kept, it->name);
        else
          steps.remove(it->name);
      }
      steps.flush_folder(name);
      written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(i));
      return fail(name);
    }
    placed.push_back(std::move(p));
  }
  // 3. The new names on the disk before the old content goes.
  if (!files.empty()) steps.flush_folder(files.front().name);
  for (const Placed& p : placed)
    if (p.kept) steps.remove(*p.kept);
  return true;
}

}  // namespace zubeto
