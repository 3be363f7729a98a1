// The cabinet writer core, read back by independent readers.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <functional>

#include "cab_test_support.h"
#include "arc/codes.h"
#include "arc/output_file.h"
#include "cab_writer.h"

using namespace cabtest;

namespace {

using zubeto::arc::Entry;
using zubeto::arc::EntryKind;
using zubeto::arc::FileContent;
using zubeto::arc::OutputFile;
using zubeto::arc::Status;

// One file as a test names it: its name in the cabinet, where its bytes
// are, the size it is planned with, its time and its mode.
struct TestFile {
  std::string name;
  std::string path;
  uint64_t size;
  int64_t mtime = 0;
  uint32_t mode = 0644;
};

// Entries for every file below root, in sorted order, named relative to it.
std::vector<TestFile> entries_for(const fs::path& root) {
  std::vector<TestFile> v;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_regular_file()) continue;
    struct stat st;
    stat(it->path().c_str(), &st);
    v.push_back({fs::relative(it->path(), root).generic_string(), it->path().string(), uint64_t(st.st_size),
                 int64_t(st.st_mtime), 0644});
  }
  std::sort(v.begin(), v.end(), [](const TestFile& a, const TestFile& b) { return a.name < b.name; });
  return v;
}

// Bytes from memory, exactly `size` of them.
class MemoryContent : public FileContent {
 public:
  explicit MemoryContent(std::string bytes) : b_(std::move(bytes)) {}
  uint64_t size() const override { return b_.size(); }
  size_t read(void* buf, size_t cap) override {
    size_t n = std::min(cap, b_.size() - pos_);
    std::memcpy(buf, b_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::string b_;
  size_t pos_ = 0;
};

struct Written {
  int code = 0;
  std::string error;
  bool ok() const { return code == 0; }
};

Entry entry_of(const TestFile& f) {
  Entry e;
  e.kind = EntryKind::File;
  e.name = f.name;
  e.path = f.path;
  e.size = f.size;
  e.mtime = f.mtime;
  e.mode = f.mode;
  return e;
}

// The writer through its EntryWriter calls, in the order the shared run
// makes them, into an OutputFile at `out`: a file the entry check refuses
// is left out of the plan, one that cannot be opened is left out after the
// plan, as the run leaves them out; a file planned larger than its bytes
// is stored with its real bytes (the run's own reader fills up; that
// promise is the run's, tested with it).
Written write(const std::vector<TestFile>& all, const fs::path& out, const cab::Options& o = {},
              const std::function<void()>& before_finish = {}) {
  auto w = cab::make_cab_writer(o);
  std::vector<TestFile> files;
  std::vector<Entry> plan;
  for (const TestFile& f : all) {
    if (!w->check_entry(entry_of(f)).empty()) continue;
    files.push_back(f);
    plan.push_back(entry_of(f));
  }
  OutputFile file;
  Status s = w->check_plan(plan);
  if (s.ok()) s = file.create(out.string());
  if (s.ok()) s = w->begin(file, plan);
  for (size_t i = 0; s.ok() && i < files.size(); ++i) {
    if (!fs::exists(files[i].path)) continue;
    std::string bytes = read_file(files[i].path);
    if (bytes.size() > files[i].size) bytes.resize(files[i].size);
    MemoryContent c(bytes);
    s = w->add(plan[i], &c);
  }
  if (s.ok() && before_finish) before_finish();
  if (s.ok()) s = w->finish();
  w.reset();
  if (s.ok()) s = file.commit();
  return {s.code, s.text};
}

struct RoundTripCase {
  const char* label;
  unsigned threads;
  uint32_t folder_blocks;
  int level;
  bool few_mb = true;  // keep the few-MB file (it needs 109 blocks in one folder)
};

// Test names and failure texts show the case label, not its bytes.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.label; }

class CabRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// The fixture tree goes in, both readers get the same bytes back.
TEST_P(CabRoundTrip, ReadersExtractTheSameBytes) {
  const RoundTripCase& c = GetParam();
  TempDir tmp;
  fs::path src = tmp.path() / "src";
  make_fixture_tree(src);
  if (!c.few_mb) fs::remove_all(src / "few mb");
  cab::Options o;
  o.threads = c.threads;
  o.limits.folder_blocks = c.folder_blocks;
  o.level = c.level;
  fs::path cab = tmp.path() / "out.cab";
  Written r = write(entries_for(src), cab, o);
  ASSERT_TRUE(r.ok()) << r.error;

  CabInfo info = read_cabinet(cab);
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.cabinet_size, fs::file_size(cab));
  EXPECT_EQ(info.files.size(), entries_for(src).size());
  for (const CabFolder& f : info.folders) {
    EXPECT_EQ(f.compression, 1) << "MSZIP";
    EXPECT_LE(f.blocks, c.folder_blocks);
  }
  if (c.folder_blocks < 65535) {
    // The tree needs more blocks than one folder holds here.
    EXPECT_GT(info.folders.size(), 1u);
  }
  for (const CabFile& f : info.files) {
    // A file lies wholly within its folder.
    ASSERT_LT(f.folder, info.folders.size());
    EXPECT_LE(uint64_t(f.folder_offset) + f.size, uint64_t(info.folders[f.folder].blocks) * 32768) << f.name;
  }

  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x1", &log)) << log;
  EXPECT_EQ(tree_diff(src, tmp.path() / "x1"), "");
  ASSERT_TRUE(gcab_extract(cab, tmp.path() / "x2", &log)) << log;
  EXPECT_EQ(tree_diff(src, tmp.path() / "x2"), "");
  ASSERT_TRUE(sevenzip_extract(cab, tmp.path() / "x3", &log)) << log;
  EXPECT_EQ(tree_diff(src, tmp.path() / "x3"), "");
  // Every block inflates on its own, to its stated size, by an inflater
  // that is not the one that wrote it; the files cut from the blocks are
  // the tree's.
  std::map<std::string, std::string> blocks_files;
  ASSERT_EQ(inflate_blocks(cab, blocks_files), "");
  EXPECT_TRUE(blocks_files == read_tree(src));
  // A cabinet holds files only: the empty folder does not come back.
  EXPECT_FALSE(fs::exists(tmp.path() / "x1" / "empty folder"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CabRoundTrip,
    ::testing::Values(RoundTripCase{"two_threads", 2, 65535, 6}, RoundTripCase{"calling_thread", 1, 65535, 6},
                      RoundTripCase{"fastest_level", 2, 65535, 1},
                      // Small folders: several folders, files never split.
                      RoundTripCase{"small_folders", 2, 110, 6},
                      RoundTripCase{"four_block_folders", 1, 4, 6, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CabWriter, StoresNamesAttributesAndDosTimes) {
  TempDir tmp;
  fs::path a = tmp.path() / "a.txt", j = tmp.path() / "j.txt";
  write_file(a, "ascii");
  write_file(j, "japanese");
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 4;
  tm.tm_mday = 15;
  tm.tm_hour = 21;
  tm.tm_min = 30;
  tm.tm_sec = 5;
  tm.tm_isdst = -1;
  int64_t when = int64_t(std::mktime(&tm));
  // Read-only: nobody may write; hidden: a leading dot; exec: the owner's bit.
  std::vector<TestFile> es = {
      {"dir/a.txt", a.string(), 5, when, 0444},
      {"日本/.語.txt", j.string(), 8, 0 /* 1970: before DOS time */, 0644},
      {"bad\xff.txt", a.string(), 5, when, 0755},
  };
  fs::path cab = tmp.path() / "n.cab";
  Written r = write(es, cab);
  ASSERT_TRUE(r.ok()) << r.error;
  CabInfo info = read_cabinet(cab);
  ASSERT_EQ(info.files.size(), 3u);
  EXPECT_EQ(info.version, 0x0103);

  EXPECT_EQ(info.files[0].name, "dir\\a.txt") << "folders are separated by a backslash";
  EXPECT_EQ(info.files[0].attributes, 0x21);
  EXPECT_EQ(info.files[0].date, ((2024 - 1980) << 9) | (5 << 5) | 15);
  EXPECT_EQ(info.files[0].time, (21 << 11) | (30 << 5) | 2) << "seconds are stored halved";

  EXPECT_EQ(info.files[1].name, "日本\\.語.txt");
  EXPECT_EQ(info.files[1].attributes, 0x80 | 0x22) << "non-ASCII UTF-8 names carry the name-is-UTF bit";
  EXPECT_EQ(info.files[1].date, (1 << 5) | 1) << "dates before 1980 become 1980-01-01";
  EXPECT_EQ(info.files[1].time, 0);

  // Bytes that are not UTF-8 are stored as they are, without the UTF bit.
  EXPECT_EQ(info.files[2].name, "bad\xff.txt");
  EXPECT_EQ(info.files[2].attributes, 0x60);

  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(read_file(tmp.path() / "x" / "日本" / ".語.txt"), "japanese");
}

struct LimitCase {
  const char* label;
  size_t files;          // entries, all pointing at one small file
  size_t name_length;    // 0: short names
  uint64_t claimed_size; // size the entries claim
  cab::Limits limits;
  const char* message;
};

// Test names and failure texts show the case label, not its bytes.
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.label; }

class CabLimits : public ::testing::TestWithParam<LimitCase> {};

// Where the format cannot hold one file, the entry check says why (the
// run then leaves that file out); where it cannot hold the whole, the
// writer refuses before a byte is written and says why.
TEST_P(CabLimits, RefusesWithAClearText) {
  const LimitCase& c = GetParam();
  TempDir tmp;
  fs::path small = tmp.path() / "small";
  write_file(small, random_bytes(size_t(std::min<uint64_t>(c.claimed_size, 300000)), 5));
  std::vector<TestFile> es;
  for (size_t i = 0; i < c.files; ++i) {
    std::string name = c.name_length ? std::string(c.name_length, 'n') : "f" + std::to_string(i);
    es.push_back({name, small.string(), c.claimed_size});
  }
  cab::Options o;
  o.limits = c.limits;
  if (c.files == 1) {
    const std::string why = cab::make_cab_writer(o)->check_entry(entry_of(es[0]));
    EXPECT_NE(why.find(c.message), std::string::npos) << why;
    return;
  }
  fs::path cab = tmp.path() / "l.cab";
  Written r = write(es, cab, o);
  EXPECT_EQ(r.code, ARC_E_FORMAT);
  EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  EXPECT_EQ(list_dir(tmp.path()), std::vector<std::string>{"small"}) << "no cabinet and no temporary file";
}


INSTANTIATE_TEST_SUITE_P(
    Cases, CabLimits,
    ::testing::Values(
        LimitCase{"name_of_256_bytes", 1, 256, 1, cab::Limits{}, "name too long"},
        // A file cannot span folders, so one folder's 65535 blocks bound a file.
        LimitCase{"file_larger_than_a_folder", 1, 0, 65535ull * 32768 + 1, cab::Limits{}, "file too large"},
        LimitCase{"file_of_4_GiB", 1, 0, 1ull << 32, cab::Limits{}, "file too large"},
        LimitCase{"file_larger_than_small_folder", 1, 0, 3 * 32768 + 1, cab::Limits{.folder_blocks = 3}, "file too large"},
        // One file that no cabinet of the size limit can hold, even alone.
        LimitCase{"file_larger_than_a_small_cabinet", 1, 0, 300000, cab::Limits{.max_cabinet = 200000},
                  "file too large"}),
    [](const auto& info) { return std::string(info.param.label); });

// 65535 files is the most a cabinet holds, and readers accept that many.
TEST(CabWriter, WritesTheLargestFileCount) {
  TempDir tmp;
  fs::path small = tmp.path() / "small";
  write_file(small, "z");
  std::vector<TestFile> es;
  for (size_t i = 0; i < 65535; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%02zu/f%05zu", i % 50, i);
    es.push_back({name, small.string(), 1});
  }
  fs::path cab = tmp.path() / "max.cab";
  Written r = write(es, cab);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(read_cabinet(cab).files.size(), 65535u);
  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log.substr(0, 2000);
}

// Files left out after the plan (gone before they were read): the rest is
// stored, and the table room of those left out is given back, so the data
// follows the tables without a gap and the cabinet stays valid.
TEST(CabWriter, FilesLeftOutAfterThePlanGiveTheirRoomBack) {
  TempDir tmp;
  fs::path src = tmp.path() / "src";
  write_file(src / "keep1.txt", text_bytes(50000, 1));
  write_file(src / "keep2.bin", random_bytes(70000, 2));
  std::vector<TestFile> es = {
      {"keep1.txt", (src / "keep1.txt").string(), 50000},
      {"gone.txt", (src / "gone.txt").string(), 1234},
      {"gone with a longer name.txt", (src / "gone2.txt").string(), 10},
      {"keep2.bin", (src / "keep2.bin").string(), 70000},
  };
  fs::path cab = tmp.path() / "p.cab";
  Written r = write(es, cab);
  ASSERT_TRUE(r.ok()) << r.error;

  CabInfo info = read_cabinet(cab);
  ASSERT_EQ(info.files.size(), 2u);
  EXPECT_EQ(info.cabinet_size, fs::file_size(cab));
  size_t table_end = info.files_offset;
  for (const CabFile& f : info.files) table_end += 16 + f.name.size() + 1;
  EXPECT_EQ(info.folders[0].data_offset, table_end);

  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(read_file(tmp.path() / "x" / "keep1.txt"), read_file(src / "keep1.txt"));
  EXPECT_EQ(read_file(tmp.path() / "x" / "keep2.bin"), read_file(src / "keep2.bin"));
  ASSERT_TRUE(gcab_extract(cab, tmp.path() / "y", &log)) << log;
  EXPECT_EQ(tree_diff(tmp.path() / "x", tmp.path() / "y"), "");
}

// Readers refuse a cabinet without files, so none is written.
TEST(CabWriter, RefusesToWriteACabinetWithoutFiles) {
  TempDir tmp;
  Written none = write({}, tmp.path() / "a.cab");
  EXPECT_EQ(none.code, ARC_E_NOTHING);

  Written unreadable = write({{"x", (tmp.path() / "missing").string(), 3}}, tmp.path() / "b.cab");
  EXPECT_EQ(unreadable.code, ARC_E_NOTHING);
  EXPECT_TRUE(list_dir(tmp.path()).empty()) << "no cabinet and no temporary file";
}

// Cabinets of few symbols, each tested clean by cabextract and extracted
// by gcab and 7-Zip: blocks whose deflate codes are degenerate for
// libdeflate (literals alone, no distance at all; a single distance; a
// single literal), which cabinet readers refuse unless every code is
// complete; and only empty files, one folder without data blocks.
TEST(CabWriter, CabinetsOfFewSymbolsReadInEveryReader) {
  struct Case {
    const char* label;
    std::vector<std::pair<std::string, std::string>> files;
  };
  std::string ab;
  for (int i = 0; i < 20000; ++i) ab += "ab";
  const Case cases[] = {
      {"literals alone", {{"f.txt", "upperlowerin Docsin docsa file Notesin a folder notes"}}},
      {"one byte", {{"f.txt", "x"}}},
      {"zeros alone", {{"f.txt", std::string(5000, '\0')}}},
      {"a run then literals", {{"f.txt", std::string(300, 'a') + "bcdefghijklmnopqrstuvwxyz"}}},
      {"two bytes repeated", {{"f.txt", ab}}},
      {"only empty files", {{"e1", ""}, {"e2", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir tmp;
    for (const auto& [name, bytes] : c.files) write_file(tmp.path() / "src" / name, bytes);
    fs::path cab = tmp.path() / "f.cab";
    Written r = write(entries_for(tmp.path() / "src"), cab);
    ASSERT_TRUE(r.ok()) << r.error;
    std::string log;
    EXPECT_TRUE(cabextract_test(cab, &log)) << log;
    ASSERT_TRUE(gcab_extract(cab, tmp.path() / "x", &log)) << log;
    EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "x"), "");
    ASSERT_TRUE(sevenzip_extract(cab, tmp.path() / "y", &log)) << log;
    EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "y"), "");
  }
}

}  // namespace

namespace {

struct ReplanCase {
  const char* label;
  size_t planned;       // size each file is announced with
  size_t actual;        // size each file turns out to have
  int failing;          // index of a file left out after the plan (it could not be opened), or -1
  size_t min_folders;
};
void PrintTo(const ReplanCase& c, std::ostream* os) { *os << c.label; }

class CabReplan : public ::testing::TestWithParam<ReplanCase> {};

// Files announced at one size that come at another, or fail part way: the
// tables end up larger or smaller than the room reserved for them, the data
// is moved to meet them, and the cabinet stays valid.
TEST_P(CabReplan, TablesMeetTheData) {
  const ReplanCase& c = GetParam();
  TempDir tmp;
  cab::Options o;
  o.limits.folder_blocks = 2;  // 64 KiB folders
  auto w = cab::make_cab_writer(o);
  std::vector<Entry> plan;
  for (int i = 0; i < 4; ++i) plan.push_back(entry_of({"f" + std::to_string(i), "", c.planned}));
  fs::path cab = tmp.path() / "r.cab";
  OutputFile file;
  ASSERT_TRUE(file.create(cab.string()).ok());
  Status s = w->begin(file, plan);
  ASSERT_TRUE(s.ok()) << s.text;
  fs::path expected = tmp.path() / "expected";
  fs::create_directories(expected);
  for (int i = 0; i < 4; ++i) {
    if (i == c.failing) continue;
    std::string bytes = i % 2 ? random_bytes(c.actual, i) : text_bytes(c.actual, i);
    MemoryContent content(bytes);
    Entry e = plan[i];
    e.size = c.actual;
    s = w->add(e, &content);
    ASSERT_TRUE(s.ok()) << s.text;
    write_file(expected / e.name, bytes);
  }
  s = w->finish();
  ASSERT_TRUE(s.ok()) << s.text;
  w.reset();
  ASSERT_TRUE(file.commit().ok());
  CabInfo info = read_cabinet(cab);
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.cabinet_size, fs::file_size(cab));
  EXPECT_GE(info.folders.size(), c.min_folders);
  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(expected, tmp.path() / "x"), "");
  ASSERT_TRUE(gcab_extract(cab, tmp.path() / "y", &log)) << log;
  EXPECT_EQ(tree_diff(expected, tmp.path() / "y"), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, CabReplan,
                         ::testing::Values(
                             // Planned as one folder; grown, each needs its own.
                             ReplanCase{"grown_into_more_folders", 10000, 50000, -1, 4},
                             // One file left out after the plan: the tables shrink.
                             ReplanCase{"left_out_after_the_plan", 50000, 50000, 1, 3},
                             ReplanCase{"shrunk", 60000, 3000, -1, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace

namespace {

// ----------------------------------------------------------- cabinet sets --

struct SetCase {
  const char* label;
  std::vector<size_t> sizes;  // random bytes per file
  cab::Limits limits;
  std::vector<size_t> per_cabinet;  // files in each cabinet of the set
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.label; }

class CabSet : public ::testing::TestWithParam<SetCase> {};

// Files beyond one cabinet's limits go on in the next cabinet of a set,
// each cabinet naming its neighbours; cabextract, given the first, follows
// the set and gives back every file.
TEST_P(CabSet, CabextractRestoresTheWholeSetFromTheFirst) {
  const SetCase& c = GetParam();
  TempDir tmp;
  fs::path src = tmp.path() / "src", dst = tmp.path() / "dst";
  std::vector<TestFile> es;
  for (size_t i = 0; i < c.sizes.size(); ++i) {
    std::string name = "d" + std::to_string(i % 2) + "/f" + std::to_string(i) + ".bin";
    write_file(src / name, random_bytes(c.sizes[i], uint32_t(i + 1)));
    es.push_back({name, (src / name).string(), c.sizes[i]});
  }
  fs::create_directories(dst);
  cab::Options o;
  o.limits = c.limits;
  Written r = write(es, dst / "20261211123456.cab", o);
  ASSERT_TRUE(r.ok()) << r.error;

  std::vector<std::string> names = {"20261211123456.cab"};
  for (size_t n = 2; n <= c.per_cabinet.size(); ++n) names.push_back("20261211123456_" + std::to_string(n) + ".cab");
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> there = list_dir(dst);
  std::sort(there.begin(), there.end());
  ASSERT_EQ(there, sorted) << "the set, and no temporary file";
  uint16_t set_id = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    CabInfo info = read_cabinet(dst / names[i]);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.files.size(), c.per_cabinet[i]);
    EXPECT_EQ(info.index, i);
    EXPECT_EQ(info.prev, i > 0 ? names[i - 1] : "");
    EXPECT_EQ(info.next, i + 1 < names.size() ? names[i + 1] : "");
    EXPECT_EQ(info.flags, (i > 0 ? 1 : 0) | (i + 1 < names.size() ? 2 : 0));
    if (i == 0) set_id = info.set_id;
    EXPECT_EQ(info.set_id, set_id) << "one set number";
    EXPECT_LE(fs::file_size(dst / names[i]), c.limits.max_cabinet);
  }
  EXPECT_NE(set_id, 0);
  std::string log;
  ASSERT_TRUE(cabextract_extract(dst / names[0], tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(src, tmp.path() / "x"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CabSet,
    ::testing::Values(
        SetCase{"by_file_count", {100, 40000, 0, 7, 70000}, cab::Limits{.max_files = 2}, {2, 2, 1}},
        // Each file alone fits a cabinet of this size, two do not.
        SetCase{"by_size", {100000, 100000, 100000}, cab::Limits{.max_cabinet = 150000}, {1, 1, 1}},
        // Several CAB folders in one cabinet of a set.
        SetCase{"folders_and_cabinets", {40000, 40000, 40000, 40000, 40000},
                cab::Limits{.max_files = 3, .folder_blocks = 2}, {3, 2}}),
    [](const auto& info) { return std::string(info.param.label); });

// A set is one result: when its first cabinet cannot be named (a file of
// that name appeared meanwhile), the later cabinets, already named, go too.
TEST(CabSet, NoCabinetRemainsWhenTheFirstCannotBeNamed) {
  TempDir tmp;
  fs::path src = tmp.path() / "src", dst = tmp.path() / "dst";
  std::vector<TestFile> es;
  for (int i = 0; i < 5; ++i) {
    std::string name = "f" + std::to_string(i);
    write_file(src / name, "bytes " + name);
    es.push_back({name, (src / name).string(), 6 + name.size()});
  }
  fs::create_directories(dst);
  cab::Options o;
  o.limits.max_files = 2;
  Written r = write(es, dst / "s.cab", o, [&] { write_file(dst / "s.cab", "someone else's"); });
  EXPECT_EQ(r.code, ARC_E_EXISTS) << r.error;
  EXPECT_EQ(list_dir(dst), std::vector<std::string>{"s.cab"}) << "no continuation cabinet and no temporary";
  EXPECT_EQ(read_file(dst / "s.cab"), "someone else's");
}

// A later cabinet's name taken by something else: nothing of the set is
// left, and that file stays as it was.
TEST(CabSet, NoCabinetRemainsWhenALaterNameIsTaken) {
  TempDir tmp;
  fs::path src = tmp.path() / "src", dst = tmp.path() / "dst";
  std::vector<TestFile> es;
  for (int i = 0; i < 5; ++i) {
    std::string name = "f" + std::to_string(i);
    write_file(src / name, "bytes " + name);
    es.push_back({name, (src / name).string(), 6 + name.size()});
  }
  fs::create_directories(dst);
  write_file(dst / "s_3.cab", "not ours");
  cab::Options o;
  o.limits.max_files = 2;
  Written r = write(es, dst / "s.cab", o);
  EXPECT_EQ(r.code, ARC_E_EXISTS) << r.error;
  EXPECT_NE(r.error.find("s_3.cab"), std::string::npos) << r.error;
  EXPECT_EQ(list_dir(dst), std::vector<std::string>{"s_3.cab"});
  EXPECT_EQ(read_file(dst / "s_3.cab"), "not ours");
}

}  // namespace
