// The walker, the output file and the shared run, without any real format:
// a recording writer stands in for ZIP, TAR, LZH or CAB.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "arc/codes.h"
#include "arc/dos_time.h"
#include "arc/driver.h"
#include "arc/le.h"
#include "arc/utf8.h"
#include "arc/output_file.h"
#include "arc/stored_names.h"
#include "arc/walker.h"
#include "fixture.h"

using namespace zubeto::arc;
using arctest::TempDir;

namespace {

std::vector<std::string> names_of(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries)
    out.push_back(e.name + (e.kind == EntryKind::Folder ? "/" : e.kind == EntryKind::Link ? "@" : ""));
  return out;
}

// ---------------------------------------------------------------- walker --

TEST(Walker, OrderIsFolderFirstThenByteWiseNames) {
  TempDir t;
  arctest::make_dirs(t / "src/b/inner");
  arctest::make_dirs(t / "src/empty");
  for (const char* f : {"src/a.txt", "src/B.txt", "src/.hidden", "src/é.txt", "src/b/z", "src/b/inner/x", "src/_"})
    arctest::write_file(t / f, "x");
  Report report;
  std::vector<Entry> entries = walk({{t / "src", "top", false}}, report);
  EXPECT_TRUE(report.problems.empty());
  // Byte order: '.' < 'B' < '_' < 'a' < 'b' < 'e' < 0xC3 (é).
  std::vector<std::string> want = {"top/",     "top/.hidden",     "top/B.txt", "top/_",      "top/a.txt",
                                   "top/b/",   "top/b/inner/",    "top/b/inner/x", "top/b/z", "top/empty/",
                                   "top/é.txt"};
  EXPECT_EQ(names_of(entries), want);
}

TEST(Walker, LinksInsideFoldersAreNeverFollowed) {
  TempDir t;
  arctest::make_dirs(t / "src/sub");
  arctest::make_dirs(t / "elsewhere");
  arctest::write_file(t / "elsewhere/secret", "s");
  ASSERT_EQ(::symlink("..", (t / "src/sub/up").c_str()), 0);              // a loop
  ASSERT_EQ(::symlink(t.path().c_str(), (t / "src/root").c_str()), 0);    // another loop
  ASSERT_EQ(::symlink("../elsewhere", (t / "src/other").c_str()), 0);     // a folder outside
  ASSERT_EQ(::symlink("missing", (t / "src/dangling").c_str()), 0);
  Report report;
  std::vector<Entry> entries = walk({{t / "src", "s", false}}, report);
  EXPECT_TRUE(report.problems.empty());
  EXPECT_EQ(names_of(entries), (std::vector<std::string>{"s/", "s/dangling@", "s/other@", "s/root@", "s/sub/", "s/sub/up@"}));
  EXPECT_EQ(entries[2].link_target, "../elsewhere");
}

TEST(Walker, ALinkNamedAsSourceIsFollowed) {
  TempDir t;
  arctest::make_dirs(t / "real");
  arctest::write_file(t / "real/f", "f");
  arctest::write_file(t / "file", "x");
  ASSERT_EQ(::symlink("real", (t / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink("file", (t / "filelink").c_str()), 0);
  Report report;
  std::vector<Entry> entries = walk({{t / "dirlink", "d", false}, {t / "filelink", "fl", false}}, report);
  EXPECT_EQ(names_of(entries), (std::vector<std::string>{"d/", "d/f", "fl"}));
  EXPECT_TRUE(entries[2].follow);
}

TEST(Walker, ContentsOnlyMissingSpecialAndRepeats) {
  TempDir t;
  arctest::make_dirs(t / "data/sub");
  arctest::write_file(t / "data/sub/f", "f");
  arctest::write_file(t / "data/g", "g");
  ASSERT_EQ(::mkfifo((t / "data/pipe").c_str(), 0644), 0);
  Report report;
  std::vector<Entry> entries = walk({{t / "data", "", true},
                                     {t / "nope", "nope", false},
                                     {t / "data/g", "g", false}},  // already given: not repeated
                                    report);
  EXPECT_EQ(names_of(entries), (std::vector<std::string>{"g", "sub/", "sub/f"}));
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0].code, ARC_E_SOURCE_MISSING);
  EXPECT_NE(report.problems[0].text.find(t / "nope"), std::string::npos);
  ASSERT_EQ(report.notes.size(), 1u);
  EXPECT_NE(report.notes[0].find("pipe"), std::string::npos);
}

// Two different things that would share an archive name are both kept: a
// later file or link, or a folder meeting a file, gets a numbered name and
// a note; two folders merge; the very same file met twice is given once.
TEST(Walker, CollidingNamesAreKeptApartAndTold) {
  TempDir t;
  arctest::write_file(t / "f.txt", "x");
  arctest::make_dirs(t / "d1/sub");
  arctest::make_dirs(t / "d2/sub");
  arctest::make_dirs(t / "d3/f.txt");
  arctest::write_file(t / "d1/f.txt", "1");
  arctest::write_file(t / "d2/f.txt", "2");
  arctest::write_file(t / "d1/sub/a", "a");
  arctest::write_file(t / "d2/sub/b", "b");
  arctest::write_file(t / "d3/f.txt/inner", "i");
  struct Case {
    const char* label;
    std::vector<WalkRoot> roots;
    std::vector<std::string> names;
    size_t notes;
  };
  const Case cases[] = {
      {"two files", {{t / "d1/f.txt", "f.txt"}, {t / "d2/f.txt", "f.txt"}}, {"f.txt", "f (2).txt"}, 1},
      {"three files", {{t / "d1/f.txt", "f.txt"}, {t / "d2/f.txt", "f.txt"}, {t / "f.txt", "f.txt"}},
       {"f.txt", "f (2).txt", "f (3).txt"}, 2},
      {"folder contents: files apart, folders merged",
       {{t / "d1", "", true}, {t / "d2", "", true}},
       {"f.txt", "sub/", "sub/a", "f (2).txt", "sub/b"}, 1},
      {"a folder meeting a file is renamed with its contents",
       {{t / "f.txt", "f.txt"}, {t / "d3", "", true}},
       {"f.txt", "f (2).txt/", "f (2).txt/inner"}, 1},
      {"the same file twice is given once", {{t / "d1/f.txt", "f.txt"}, {t / "d1/./f.txt", "f.txt"}}, {"f.txt"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Report report;
    std::vector<Entry> entries = walk(c.roots, report);
    EXPECT_EQ(names_of(entries), c.names);
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(report.notes.size(), c.notes);
    for (const std::string& n : report.notes) EXPECT_EQ(n.rfind("NOTE: ", 0), 0u) << n;
  }
}

// In the destination folder, what a run leaves out as its own: archives of
// the form of the one it writes, and our temporaries; nothing else.
TEST(Walker, OwnArchivesAreKnownByTheirForm) {
  struct Case {
    const char* name;
    const char* archive;
    bool own;
  };
  const Case cases[] = {
      {"20240515213005.zip", "20240516213005.zip", true},
      {"20240515213005.ZIP", "20240516213005.zip", true},
      {"20240515213005.zip.ab12cd34.part", "20240516213005.zip", true},
      {"20240515213005.lzh", "20240516213005.zip", false},
      {"2024051521300.zip", "20240516213005.zip", false},
      {"2024051521300x.zip", "20240516213005.zip", false},
      {"notes.txt", "20240516213005.zip", false},
      {"mine.zip", "mine.zip", true},
      {"mind.zip", "mine.zip", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_own_archive_name(c.name, c.archive), c.own) << c.name << " / " << c.archive;
}

TEST(Walker, NumberedNamesKeepTheExtension) {
  EXPECT_EQ(numbered_name("d/f.txt", 2), "d/f (2).txt");
  EXPECT_EQ(numbered_name("d.x/f", 3), "d.x/f (3)");
  EXPECT_EQ(numbered_name(".profile", 2), ".profile (2)");
  EXPECT_EQ(numbered_name("a.tar.gz", 2), "a.tar (2).gz");
}

TEST(Walker, CleanNameDropsRootDotsAndClimbing) {
  EXPECT_EQ(clean_name("/home/u/data/"), "home/u/data");
  EXPECT_EQ(clean_name("//home/./u//x"), "home/u/x");
  EXPECT_EQ(clean_name("/home/u/../v"), "home/v");
  EXPECT_EQ(clean_name("/../../etc"), "etc");
  EXPECT_EQ(clean_name("/"), "");
}

// ------------------------------------------------------- header helpers --

TEST(HeaderHelpers, LittleEndianFieldsRoundTrip) {
  std::string s;
  le::append16(s, 0x1234);
  le::append32(s, 0x89ABCDEFu);
  le::append64(s, 0x0102030405060708ull);
  EXPECT_EQ(s, std::string("\x34\x12\xEF\xCD\xAB\x89\x08\x07\x06\x05\x04\x03\x02\x01", 14));
  EXPECT_EQ(le::get16(s.data()), 0x1234);
  EXPECT_EQ(le::get32(s.data() + 2), 0x89ABCDEFu);
  EXPECT_EQ(le::get64(s.data() + 6), 0x0102030405060708ull);
  uint8_t b[4];
  le::put32(b, 0xFFFFFFFEu);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[3], 0xFF);
}

TEST(HeaderHelpers, DosTimesAreClampedToWhatTheyHold) {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 4;
  tm.tm_mday = 15;
  tm.tm_hour = 21;
  tm.tm_min = 30;
  tm.tm_sec = 5;
  tm.tm_isdst = -1;
  DosTime d = dos_time(int64_t(std::mktime(&tm)));
  EXPECT_EQ(d.date, ((2024 - 1980) << 9) | (5 << 5) | 15);
  EXPECT_EQ(d.time, (21 << 11) | (30 << 5) | 2) << "seconds are stored halved";
  EXPECT_EQ(d.packed(), uint32_t(d.date) << 16 | d.time);
  EXPECT_EQ(dos_time(0).date, (1 << 5) | 1) << "before 1980: 1980-01-01";
  EXPECT_EQ(dos_time(0).time, 0);
  EXPECT_EQ(dos_time(int64_t(1) << 40).date, (127 << 9) | (12 << 5) | 31) << "after 2107: its last day";
}

TEST(HeaderHelpers, Utf8IsTheShortestFormOnly) {
  EXPECT_TRUE(is_valid_utf8("caf\xC3\xA9"));
  EXPECT_TRUE(is_valid_utf8("\xE6\x97\xA5\xF0\x9F\x98\x80"));
  EXPECT_FALSE(is_valid_utf8("caf\xE9.txt"));
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF")) << "overlong";
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80")) << "surrogate";
  EXPECT_FALSE(is_valid_utf8("\xE6\x97")) << "cut short";
  EXPECT_TRUE(is_ascii("plain"));
  EXPECT_FALSE(is_ascii("caf\xC3\xA9"));
}

// ----------------------------------------------------------- output file --

// A complete archive that cannot be moved to its name is kept, and the
// failure names it. The rename is made to fail with an immutable folder
// (root on a file system with attributes); elsewhere the case is skipped.
TEST(OutputFileTest, AnArchiveThatCannotBeNamedIsKeptAndNamed) {
  TempDir t;
  const std::string dir = t / "dst";
  arctest::make_dirs(dir);
  OutputFile out;
  ASSERT_TRUE(out.create(dir + "/a.zip").ok());
  ASSERT_TRUE(out.write_all("complete", 8).ok());
  const std::string temp = out.temp_path();
  if (arctest::sh("chattr +i " + arctest::quote(dir) + " 2>/dev/null") != 0)
    GTEST_SKIP() << "no immutable folders here (needs root and a file system with attributes)";
  struct Unlock {
    std::string dir;
    ~Unlock() { arctest::sh("chattr -i " + arctest::quote(dir)); }
  } unlock{dir};
  Status s = out.commit();
  arctest::sh("chattr -i " + arctest::quote(dir));
  EXPECT_EQ(s.code, ARC_E_COMMIT);
  // Not even a kept name can be given in an immutable folder: the archive
  // stays under its temporary's name, read-only, which no clean-up removes.
  EXPECT_NE(s.text.find("read-only, as " + temp), std::string::npos) << s.text;
  EXPECT_EQ(arctest::read_file(temp), "complete") << "the complete archive is kept";
  EXPECT_FALSE(arctest::exists(dir + "/a.zip"));
  OutputFile next;
  ASSERT_TRUE(next.create(dir + "/b.zip").ok());
  EXPECT_EQ(arctest::read_file(temp), "complete") << "the next run's clean-up left it";
}

// A complete archive whose move to its name fails (made to fail through
// the naming seam) is kept where no later run's clean-up takes it for a
// partial archive: under a kept name that is no temporary's, or, when that
// move fails too, read-only under its temporary's name. The text names it.
namespace naming {
int fail_moves = 0;  // 1: the move to the archive's own name; 2: every move
bool seam(const std::string&, const std::string& to, platform::SysError& err) {
  if (fail_moves == 2 || (fail_moves == 1 && to.find("-kept-") == std::string::npos)) {
    err.kind = platform::ErrorKind::Other;
    err.code = EIO;
    return false;
  }
  return true;
}
}  // namespace naming

TEST(OutputFileTest, AKeptArchiveSurvivesTheNextRun) {
  struct Case {
    const char* label;
    int fail_moves;
    bool renamed;
  } cases[] = {{"kept under a kept name", 1, true}, {"kept read-only under its temporary's name", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir t;
    std::string temp, text;
    {
      OutputFile out;
      ASSERT_TRUE(out.create(t / "2024.zip").ok());
      ASSERT_TRUE(out.write_all("complete", 8).ok());
      temp = out.temp_path();
      naming::fail_moves = c.fail_moves;
      set_naming_seam(naming::seam);
      Status s = out.commit();
      set_naming_seam(nullptr);
      EXPECT_EQ(s.code, ARC_E_COMMIT);
      text = s.text;
    }
    const std::string letters = temp.substr((t / "2024.zip.").size(), 8);
    const std::string kept = c.renamed ? t / ("2024-kept-" + letters + ".zip") : temp;
    EXPECT_NE(text.find("as " + kept), std::string::npos) << text;
    EXPECT_EQ(is_temp_name(kept.substr(t.path().size() + 1)), !c.renamed);
    struct stat st {};
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & 0200) == 0, !c.renamed) << "read-only only where it keeps a temporary's name";
    std::vector<std::string> removed;
    {
      OutputFile next;  // the next run in that folder, with its clean-up
      ASSERT_TRUE(next.create(t / "2025.zip", &removed).ok());
      ASSERT_TRUE(next.write_all("x", 1).ok());
      ASSERT_TRUE(next.commit().ok());
    }
    EXPECT_TRUE(removed.empty());
    EXPECT_EQ(arctest::read_file(kept), "complete");
    EXPECT_EQ(arctest::list_dir(t.path()).size(), 2u);
  }
}

TEST(OutputFileTest, KeptNames) {
  EXPECT_EQ(kept_name("/b/20240515213005.zip", "ab12cd34"), "/b/20240515213005-kept-ab12cd34.zip");
  EXPECT_EQ(kept_name("/b.d/archive", "ab12cd34"), "/b.d/archive-kept-ab12cd34");
  EXPECT_EQ(kept_name("x.tar", "00000000"), "x-kept-00000000.tar");
}

// Run A has flushed its archive and is about to give it its name; run B
// (another job, same destination) starts and cleans up at that very moment
// (the naming seam runs it there). A still holds its temporary, so B
// leaves it, and A's archive is there under its name.
namespace race {
std::string dir;
std::vector<std::string> removed;
Status b_status;
bool run_b(const std::string&, const std::string&, platform::SysError&) {
  OutputFile b;
  b_status = b.create(dir + "/b.tar", &removed);
  return true;
}
}  // namespace race

TEST(OutputFileTest, CleanUpNeverTakesAnArchiveBeingNamed) {
  TempDir t;
  race::dir = t.path();
  race::removed.clear();
  OutputFile a;
  ASSERT_TRUE(a.create(t / "a.zip").ok());
  ASSERT_TRUE(a.write_all("complete", 8).ok());
  set_naming_seam(race::run_b);
  Status s = a.commit();
  set_naming_seam(nullptr);
  EXPECT_TRUE(race::b_status.ok()) << race::b_status.text;
  EXPECT_TRUE(race::removed.empty()) << "B removed " << race::removed.front();
  EXPECT_TRUE(s.ok()) << s.text;
  EXPECT_EQ(arctest::read_file(t / "a.zip"), "complete");
  EXPECT_EQ(arctest::list_dir(t.path()), std::vector<std::string>{"a.zip"});
}

// Only names of our own temporaries are ever candidates for removal.
TEST(OutputFileTest, TemporaryNames) {
  struct Case {
    const char* name;
    bool ours;
  } cases[] = {
      {"20240515213005.zip.ab12cd34.part", true}, {"x.lzh.00000000.part", true},  {"b.cab.zzzzzzzz.part", true},
      {"a.tar.abcdefgh.part", true},              {".zip.ab12cd34.part", false},  {"a.zip.AB12CD34.part", false},
      {"a.zip.ab12cd3.part", false},              {"a.doc.ab12cd34.part", false}, {"a.zip.ab12cd34.parts", false},
      {"notes.part", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_temp_name(c.name), c.ours) << c.name;
}

TEST(OutputFileTest, CommitPutsTheCompleteFileInPlaceAndNothingElse) {
  TempDir t;
  {
    OutputFile out;
    ASSERT_TRUE(out.create(t / "a.zip").ok());
    EXPECT_FALSE(arctest::exists(t / "a.zip"));  // not before it is complete
    ASSERT_TRUE(out.write_all("abc", 3).ok());
    ASSERT_TRUE(out.commit().ok());
  }
  EXPECT_EQ(arctest::read_file(t / "a.zip"), "abc");
  EXPECT_EQ(arctest::list_dir(t.path()), std::vector<std::string>{"a.zip"});
}

TEST(OutputFileTest, AnArchiveThatAppearsMeanwhileIsNeverReplaced) {
  TempDir t;
  OutputFile out;
  ASSERT_TRUE(out.create(t / "a.zip").ok());
  ASSERT_TRUE(out.write_all("new", 3).ok());
  arctest::write_file(t / "a.zip", "first run");  // the other run won the name
  Status s = out.commit();
  EXPECT_EQ(s.code, ARC_E_EXISTS);
  EXPECT_EQ(arctest::read_file(t / "a.zip"), "first run");
  EXPECT_EQ(arctest::list_dir(t.path()), std::vector<std::string>{"a.zip"});
}

TEST(OutputFileTest, AbandonedFileLeavesNothing) {
  TempDir t;
  {
    OutputFile out;
    ASSERT_TRUE(out.create(t / "a.zip").ok());
    ASSERT_TRUE(out.write_all("half", 4).ok());
  }
  EXPECT_TRUE(arctest::list_dir(t.path()).empty());
}

TEST(OutputFileTest, DestinationChecks) {
  TempDir t;
  arctest::write_file(t / "file", "x");
  arctest::write_file(t / "old.zip", "old");
  arctest::make_dirs(t / "dir.zip");
  struct Case {
    std::string path;
    int code;
  } cases[] = {
      {t / "missing/a.zip", ARC_E_DESTINATION},
      {t / "file/a.zip", ARC_E_DESTINATION},
      {t / "old.zip", ARC_E_EXISTS},
      {t / "dir.zip", ARC_E_EXISTS},
      {t / "new.zip", ARC_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    OutputFile out;
    EXPECT_EQ(out.create(c.path).code, c.code);
  }
  EXPECT_EQ(arctest::read_file(t / "old.zip"), "old");
}

// --------------------------------------------- shared run, fake writer --

struct Recorded {
  std::vector<std::string> names;
  std::vector<std::string> contents;
};

class RecordingWriter : public EntryWriter {
 public:
  // `cut`: a file cut to nothing on disk once 100,000 bytes of it were read.
  RecordingWriter(Recorded& rec, int fail_at, std::string cut = "") : rec_(rec), fail_at_(fail_at), cut_(std::move(cut)) {}
  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = &out;
    return out.write_all("HEAD", 4);
  }
  Status add(const Entry& e, FileContent* content) override {
    if (static_cast<int>(rec_.names.size()) == fail_at_) return Status::fail(ARC_E_FORMAT, "refused " + e.path);
    rec_.names.push_back(e.name);
    std::string data;
    if (content) {
      char buf[7];  // small pieces: the content must still add up
      while (size_t n = content->read(buf, sizeof buf)) {
        data.append(buf, n);
        if (e.path == cut_ && data.size() >= 100000 && data.size() - n < 100000)
          EXPECT_EQ(::truncate(cut_.c_str(), 0), 0);
      }
      EXPECT_EQ(data.size(), e.size);
      if (content->incomplete()) {  // left out, as every writer leaves it out
        rec_.names.pop_back();
        return Status{};
      }
    }
    rec_.contents.push_back(data);
    return out_->write_all(data.data(), data.size());
  }
  Status finish() override { return out_->write_all("TAIL", 4); }

 private:
  Recorded& rec_;
  int fail_at_;
  std::string cut_;
  OutputFile* out_ = nullptr;
};

int run_fake(const std::string& command, Recorded& rec, std::string& output, int fail_at = -1,
             const std::string& cut = "") {
  char buf[4096];
  std::memset(buf, '#', sizeof buf);
  int rc = run_archiver(FormatId::Zip, command.c_str(), buf, sizeof buf,
                        [&] { return std::make_unique<RecordingWriter>(rec, fail_at, cut); });
  output = buf;
  return rc;
}

TEST(SharedRun, WriterFailureLeavesNoArchiveAndNoTemporaryFile) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::make_dirs(t / "src/d");
  arctest::write_file(t / "src/d/f", "content");
  Recorded rec;
  std::string output;
  int rc = run_fake("-rq \"" + t / "dst/x.zip" + "\" \"" + t / "src" + "\" ", rec, output, /*fail_at=*/2);
  EXPECT_EQ(rc, ARC_E_FORMAT);
  EXPECT_EQ(output.rfind("ERROR: archive not written: refused", 0), 0u) << output;
  EXPECT_TRUE(arctest::list_dir(t / "dst").empty());
}

TEST(SharedRun, ContentArrivesWholeAndNamesLoseTheirRoot) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::make_dirs(t / "src");
  const std::string big = arctest::random_bytes(150000, 1);  // crosses the read-ahead
  arctest::write_file(t / "src/big", big);
  Recorded rec;
  std::string output;
  ASSERT_EQ(run_fake("-rq \"" + t / "dst/x.zip" + "\" \"" + t / "src/big" + "\" ", rec, output), 0) << output;
  EXPECT_EQ(rec.names, std::vector<std::string>{(t / "src/big").substr(1)});
  EXPECT_EQ(rec.contents.at(0), big);
  EXPECT_EQ(arctest::read_file(t / "dst/x.zip"), "HEAD" + big + "TAIL");
}

// A file that grows after it was opened: /proc files report size 0 and then
// give bytes. Its entry holds what the size said; the run says so.
TEST(SharedRun, FileThatChangesSizeIsNamedAndTheRestKept) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::write_file(t / "ok", "fine");
  Recorded rec;
  std::string output;
  int rc = run_fake("-rq \"" + t / "dst/x.zip" + "\" \"/proc/self/status\" \"" + t / "ok" + "\" ", rec, output);
  EXPECT_EQ(rc, ARC_E_SOURCE_CHANGED);
  EXPECT_NE(output.find("changed while read: /proc/self/status"), std::string::npos) << output;
  EXPECT_EQ(rec.names, (std::vector<std::string>{"proc/self/status", (t / "ok").substr(1)}));
  EXPECT_EQ(rec.contents.at(1), "fine");
  EXPECT_TRUE(arctest::exists(t / "dst/x.zip"));
}

// A file cut short while it is read (past its read-ahead) cannot be stored
// whole: it is left out and named, never stored filled up with zeros, and
// the rest is kept.
TEST(SharedRun, FileCutShortWhileReadIsLeftOut) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::make_dirs(t / "src");
  arctest::write_file(t / "src/a.bin", arctest::random_bytes(150000, 2));
  arctest::write_file(t / "src/b.txt", "fine");
  Recorded rec;
  std::string output;
  int rc = run_fake("-rq \"" + t / "dst/x.zip" + "\" \"" + t / "src" + "\" ", rec, output, -1, t / "src/a.bin");
  EXPECT_EQ(rc, ARC_E_SOURCE_UNREADABLE) << output;
  EXPECT_NE(output.find("left out: " + t / "src/a.bin" + " (it shrank while read: it ended after "),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("a.bin", output.find("a.bin") + 5), std::string::npos) << "named once: " << output;
  EXPECT_EQ(rec.names, (std::vector<std::string>{(t / "src").substr(1), (t / "src/b.txt").substr(1)}));
  EXPECT_EQ(arctest::read_file(t / "dst/x.zip"), "HEADfineTAIL");
}

// A writer that takes its entries as walked and counts them first (it
// reserves room for a table before its data): the whole walk comes to
// count() before begin(), with nothing opened, then every entry again to
// add(); what the walk finds to say is said once.
class CountingWriter : public RecordingWriter {
 public:
  CountingWriter(Recorded& rec, std::vector<std::string>& counted) : RecordingWriter(rec, -1), counted_(counted) {}
  bool takes_entries_as_walked() const override { return true; }
  bool counts_entries_first() const override { return true; }
  void count(const Entry& e) override {
    EXPECT_FALSE(begun_) << e.path;
    counted_.push_back(e.name);
  }
  Status begin(OutputFile& out, const std::vector<Entry>& plan) override {
    EXPECT_TRUE(plan.empty());
    begun_ = true;
    return RecordingWriter::begin(out, plan);
  }

 private:
  std::vector<std::string>& counted_;
  bool begun_ = false;
};

TEST(SharedRun, AWriterThatCountsFirstIsGivenTheWholeWalkBeforeItBegins) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::make_dirs(t / "src/d");
  arctest::write_file(t / "src/d/f", "content");
  arctest::write_file(t / "src/g", "more");
  ASSERT_EQ(::mkfifo((t / "src/pipe").c_str(), 0644), 0);  // the walk leaves it out and says so
  Recorded rec;
  std::vector<std::string> counted;
  char buf[4096];
  const std::string command = "-rq \"" + t / "dst/x.zip" + "\" \"" + t / "src" + "\" ";
  int rc = run_archiver(FormatId::Zip, command.c_str(), buf, sizeof buf,
                        [&] { return std::make_unique<CountingWriter>(rec, counted); });
  const std::string output = buf;
  ASSERT_EQ(rc, 0) << output;
  const std::string src = (t / "src").substr(1);
  const std::vector<std::string> added = {src, src + "/d", src + "/d/f", src + "/g"};
  EXPECT_EQ(rec.names, added);
  EXPECT_EQ(counted, added);
  EXPECT_EQ(arctest::read_file(t / "dst/x.zip"), "HEADcontentmoreTAIL");
  const std::string note = t / "src/pipe";
  ASSERT_NE(output.find(note), std::string::npos) << output;
  EXPECT_EQ(output.find(note, output.find(note) + 1), std::string::npos) << "said once: " << output;
}

// ------------------------------------------- names as the format stores them --

// A writer that only tells how its format stores names: "\" read as a
// folder separator, letter case folded when its readers ignore it.
class KeyWriter : public EntryWriter {
 public:
  explicit KeyWriter(bool folds) : folds_(folds) {}
  std::string name_key(std::string_view part) const override {
    std::string k = folds_ ? fold_case(part) : std::string(part);
    std::replace(k.begin(), k.end(), '\\', '/');
    return k;
  }
  bool name_key_folds_case() const override { return folds_; }
  Status begin(OutputFile&, const std::vector<Entry>&) override { return {}; }
  Status add(const Entry&, FileContent*) override { return {}; }
  Status finish() override { return {}; }

 private:
  bool folds_;
};

struct NamesCase {
  const char* label;
  bool folds;                                      // the readers ignore letter case
  std::vector<std::pair<char, std::string>> in;    // 'd' folder or 'f' file, walk name, in walk order
  std::vector<std::string> out;                    // names stored
  size_t notes;
};

TEST(StoredNames, EveryEntryIsRestoredToAFileOfItsOwn) {
  const NamesCase cases[] = {
      {"case_folded", true, {{'f', "README.txt"}, {'f', "readme.txt"}}, {"README.txt", "readme (2).txt"}, 1},
      {"letters_beyond_ascii",
       true,
       {{'f', "\xC3\x84rger"}, {'f', "\xC3\xA4rger"}, {'f', "\xCE\xA9"}, {'f', "\xCF\x89"}, {'f', "\xD0\xAF"},
        {'f', "\xD1\x8F"}, {'f', "\xEF\xBC\xA1"}, {'f', "\xEF\xBD\x81"}},
       {"\xC3\x84rger", "\xC3\xA4rger (2)", "\xCE\xA9", "\xCF\x89 (2)", "\xD0\xAF", "\xD1\x8F (2)", "\xEF\xBC\xA1",
        "\xEF\xBD\x81 (2)"},
       4},
      {"renamed_folder_takes_its_contents",
       true,
       {{'f', "Notes"}, {'d', "notes"}, {'f', "notes/x.txt"}, {'d', "notes/sub"}, {'f', "notes/sub/y.txt"}},
       {"Notes", "notes (2)", "notes (2)/x.txt", "notes (2)/sub", "notes (2)/sub/y.txt"},
       1},
      {"folder_known_only_from_its_files",
       true,
       {{'f', "A"}, {'f', "a/x.txt"}, {'f', "a/y.txt"}},
       {"A", "a (2)/x.txt", "a (2)/y.txt"},
       1},
      {"folders_merge_their_files_are_judged",
       true,
       {{'d', "Docs"}, {'f', "Docs/a.txt"}, {'d', "docs"}, {'f', "docs/a.txt"}, {'f', "docs/b.txt"}},
       {"Docs", "Docs/a.txt", "docs", "docs/a (2).txt", "docs/b.txt"},
       1},
      {"numbered_name_already_taken",
       true,
       {{'f', "f.txt"}, {'f', "F (2).txt"}, {'f', "F.txt"}},
       {"f.txt", "F (2).txt", "F (3).txt"},
       1},
      {"backslash_meets_a_folder",
       false,
       {{'d', "back"}, {'f', "back/slash.txt"}, {'f', "back\\slash.txt"}},
       {"back", "back/slash.txt", "back\\slash (2).txt"},
       1},
      {"case_kept_and_told",
       false,
       {{'f', "README.txt"}, {'f', "readme.txt"}, {'d', "Docs"}, {'f', "Docs/a"}, {'d', "docs"}, {'f', "docs/a"},
        {'f', "docs/b"}, {'f', "Notes"}, {'d', "notes"}, {'f', "notes/x"}},
       {"README.txt", "readme.txt", "Docs", "Docs/a", "docs", "docs/a", "docs/b", "Notes", "notes", "notes/x"},
       3},
  };
  for (const NamesCase& c : cases) {
    SCOPED_TRACE(c.label);
    KeyWriter writer(c.folds);
    StoredNames names("XYZ", writer);
    Report report;
    std::vector<std::string> got;
    for (const auto& [kind, name] : c.in) {
      Entry e;
      e.kind = kind == 'd' ? EntryKind::Folder : EntryKind::File;
      e.name = name;
      e.path = "/src/" + name;
      got.push_back(names.place(e, report));
    }
    EXPECT_EQ(got, c.out);
    std::string notes;
    for (const std::string& n : report.notes) notes += n + "\n";
    EXPECT_EQ(report.notes.size(), c.notes) << notes;
    for (const std::string& n : report.notes) EXPECT_EQ(n.rfind("NOTE: ", 0), 0u) << n;
  }
}

}  // namespace

namespace {

bool has_attr(const std::vector<platform::ExtAttr>& attrs, const std::string& name) {
  for (const platform::ExtAttr& a : attrs)
    if (a.name == name) return true;
  return false;
}

// A folder's extended attributes are read only from the folder the walk
// listed: a path that now opens something else (another folder swapped in
// through a link) gives none of that one's.
TEST(FolderAttributes, OnlyOfTheFolderTheWalkSaw) {
  arctest::TempDir t;
  arctest::make_dirs(t / "listed");
  arctest::make_dirs(t / "other");
  ASSERT_EQ(::setxattr((t / "listed").c_str(), "user.mine", "1", 1, 0), 0)
      << "the test folder's file system keeps no user extended attributes: " << std::strerror(errno);
  ASSERT_EQ(::setxattr((t / "other").c_str(), "user.secret", "1", 1, 0), 0);
  platform::FileFacts listed;
  platform::SysError err;
  ASSERT_TRUE(platform::path_facts(t / "listed", false, listed, err));

  std::vector<platform::ExtAttr> attrs;
  ASSERT_TRUE(platform::folder_attributes(t / "listed", listed.dev, listed.ino, attrs, err));
  EXPECT_TRUE(has_attr(attrs, "user.mine"));

  ASSERT_EQ(::rename((t / "listed").c_str(), (t / "moved").c_str()), 0);
  ASSERT_EQ(::symlink((t / "other").c_str(), (t / "listed").c_str()), 0);
  ASSERT_TRUE(platform::folder_attributes(t / "listed", listed.dev, listed.ino, attrs, err));
  EXPECT_TRUE(attrs.empty()) << "read the attributes of the folder swapped in";
}

}  // namespace
