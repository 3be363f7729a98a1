// The settings core's save procedure over recorded system calls: each job
// file reaches the disk (written, flushed) before it replaces the old one,
// the folder's names are flushed after the renames and before the old
// content goes, and a failure at any step leaves the old files.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "file_save.h"

using namespace zubeto;

namespace {

// A folder in memory that records every call; `fail_at` names a call
// ("flush resp.tmp", "replace jobconf.ini") that fails.
class RecordingSteps : public SaveSteps {
 public:
  std::map<std::string, std::string> files;  // durable content
  std::vector<std::string> calls;
  std::set<std::string> fail_at;

  Target target(const std::string& name) override {
    if (name == "folder") return Target::Refused;
    return files.count(name) ? Target::File : Target::Absent;
  }
  bool create(const std::string& path) override {
    open_ = path;
    pending_.clear();
    return record("create " + bare(path));
  }
  bool write(const std::string& bytes) override {
    pending_ += bytes;
    return record("write " + bare(open_));
  }
  bool flush() override {
    if (!record("flush " + bare(open_))) return false;
    files[open_] = pending_;
    return true;
  }
  bool close() override { return record("close " + bare(open_)); }
  bool keep_copy(const std::string& from, const std::string& to) override {
    if (!record("keep " + bare(from))) return false;
    files[to] = files[from];
    return true;
  }
  bool replace(const std::string& from, const std::string& to) override {
    if (!record("replace " + bare(from) + " -> " + bare(to))) return false;
    auto it = files.find(from);
    if (it == files.end()) return false;  // nothing flushed under that name: a lost file
    files[to] = it->second;
    files.erase(it);
    return true;
  }
  void flush_folder(const std::string& path) override { record("flush folder of " + bare(path)); }
  void remove(const std::string& path) override {
    record("remove " + bare(path));
    files.erase(path);
  }
  std::string unique_mark() override { return "1"; }

  // The names the user sees (no scratch names).
  std::map<std::string, std::string> visible() const {
    std::map<std::string, std::string> out;
    for (const auto& [k, v] : files)
      if (k.find('~') == std::string::npos) out[k] = v;
    return out;
  }
  bool no_scratch() const { return visible().size() == files.size(); }

 private:
  // "jobconf.ini.new~1" -> "jobconf.ini.new~"
  static std::string bare(const std::string& p) { return p.substr(0, p.find('~') == std::string::npos ? p.size() : p.find('~') + 1); }
  bool record(const std::string& call) {
    calls.push_back(call);
    for (const std::string& f : fail_at)
      if (call.rfind(f, 0) == 0) return false;
    return true;
  }
  std::string open_;
  std::string pending_;
};

const std::vector<TextFile> kJob = {{"resp.tmp", {"\"/a\"", "\"/b\""}}, {"jobconf.ini", {"[mode]=1"}}};

TEST(FileSave, EachFileIsOnTheDiskBeforeItReplacesTheOldOne) {
  RecordingSteps steps;
  steps.files = {{"jobconf.ini", "old job\r\n"}};
  std::string failed = "untouched";
  ASSERT_TRUE(save_text_files(steps, kJob, &failed));
  EXPECT_EQ(failed, "untouched");
  const std::vector<std::string> want = {
      "create resp.tmp.new~",    "write resp.tmp.new~",    "flush resp.tmp.new~",    "close resp.tmp.new~",
      "create jobconf.ini.new~", "write jobconf.ini.new~", "flush jobconf.ini.new~", "close jobconf.ini.new~",
      "replace resp.tmp.new~ -> resp.tmp",
      "keep jobconf.ini",  // the old job keeps a second name until the new one is in place
      "replace jobconf.ini.new~ -> jobconf.ini",
      "flush folder of resp.tmp",
      "remove jobconf.ini.old~",
  };
  EXPECT_EQ(steps.calls, want);
  EXPECT_EQ(steps.visible(), (std::map<std::string, std::string>{{"resp.tmp", "\"/a\"\r\n\"/b\"\r\n"},
                                                                  {"jobconf.ini", "[mode]=1\r\n"}}));
  EXPECT_TRUE(steps.no_scratch());
}

// Whichever step fails, the old files stand as they were and no scratch
// file stays behind.
TEST(FileSave, AFailedStepKeepsTheOldJob) {
  struct Case {
    const char* fail_at;
    const char* failed;
  } cases[] = {
      {"create resp.tmp", "resp.tmp"},          {"write jobconf.ini", "jobconf.ini"},
      {"flush jobconf.ini", "jobconf.ini"},     {"close resp.tmp", "resp.tmp"},
      {"replace resp.tmp", "resp.tmp"},         {"replace jobconf.ini", "jobconf.ini"},
  };
  const std::map<std::string, std::string> old = {{"jobconf.ini", "old job\r\n"}, {"resp.tmp", "old list\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail_at);
    RecordingSteps steps;
    steps.files = old;
    steps.fail_at = {c.fail_at};
    std::string failed;
    EXPECT_FALSE(save_text_files(steps, kJob, &failed));
    EXPECT_EQ(failed, c.failed);
    EXPECT_EQ(steps.visible(), old);
    EXPECT_TRUE(steps.no_scratch());
  }
  RecordingSteps steps;
  steps.files = {{"folder", ""}};
  std::string failed;
  EXPECT_FALSE(save_text_files(steps, {{"folder", {"x"}}}, &failed));
  EXPECT_EQ(failed, "folder");
  EXPECT_TRUE(steps.calls.empty()) << "a folder of the file's name is refused before anything is written";
}

}  // namespace
