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

#include "cab_test_support.h"
#include "cab_writer.h"

using namespace cabtest;

namespace {

// Entries for every file below root, in sorted order, named relative to it.
std::vector<cab::Entry> entries_for(const fs::path& root) {
  std::vector<cab::Entry> v;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_regular_file()) continue;
    struct stat st;
    stat(it->path().c_str(), &st);
    v.push_back({fs::relative(it->path(), root).generic_string(), it->path().string(), uint64_t(st.st_size),
                 int64_t(st.st_mtime), cab::kAttrArchive});
  }
  std::sort(v.begin(), v.end(), [](const cab::Entry& a, const cab::Entry& b) { return a.name < b.name; });
  return v;
}

cab::Result write(const std::vector<cab::Entry>& entries, const fs::path& out, const cab::Options& o = {}) {
  platform::NewFile f;
  platform::SysError err;
  if (!f.create(out.string(), err)) throw std::runtime_error("cannot create " + out.string());
  return cab::write_cabinet(entries, f, o);
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
  cab::Result r = write(entries_for(src), cab, o);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_TRUE(r.changed.empty());

  CabInfo info = read_cabinet(cab);
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.cabinet_size, fs::file_size(cab));
  EXPECT_EQ(info.folders.size(), r.folders);
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
  std::vector<cab::Entry> es = {
      {"dir/a.txt", a.string(), 5, when, cab::kAttrArchive | cab::kAttrReadOnly},
      {"日本/語.txt", j.string(), 8, 0 /* 1970: before DOS time */, cab::kAttrArchive | cab::kAttrHidden},
      {"bad\xff.txt", a.string(), 5, when, cab::kAttrArchive | cab::kAttrExec},
  };
  fs::path cab = tmp.path() / "n.cab";
  cab::Result r = write(es, cab);
  ASSERT_TRUE(r.ok) << r.error;
  CabInfo info = read_cabinet(cab);
  ASSERT_EQ(info.files.size(), 3u);
  EXPECT_EQ(info.version, 0x0103);

  EXPECT_EQ(info.files[0].name, "dir\\a.txt") << "folders are separated by a backslash";
  EXPECT_EQ(info.files[0].attributes, 0x21);
  EXPECT_EQ(info.files[0].date, ((2024 - 1980) << 9) | (5 << 5) | 15);
  EXPECT_EQ(info.files[0].time, (21 << 11) | (30 << 5) | 2) << "seconds are stored halved";

  EXPECT_EQ(info.files[1].name, "日本\\語.txt");
  EXPECT_EQ(info.files[1].attributes, 0x80 | 0x22) << "non-ASCII UTF-8 names carry the name-is-UTF bit";
  EXPECT_EQ(info.files[1].date, (1 << 5) | 1) << "dates before 1980 become 1980-01-01";
  EXPECT_EQ(info.files[1].time, 0);

  // Bytes that are not UTF-8 are stored as they are, without the UTF bit.
  EXPECT_EQ(info.files[2].name, "bad\xff.txt");
  EXPECT_EQ(info.files[2].attributes, 0x60);

  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(read_file(tmp.path() / "x" / "日本" / "語.txt"), "japanese");
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

// Where the format cannot hold the input, the writer refuses before a byte is
// written and says why.
TEST_P(CabLimits, RefusesWithAClearText) {
  const LimitCase& c = GetParam();
  TempDir tmp;
  fs::path small = tmp.path() / "small";
  write_file(small, random_bytes(size_t(std::min<uint64_t>(c.claimed_size, 300000)), 5));
  std::vector<cab::Entry> es;
  for (size_t i = 0; i < c.files; ++i) {
    std::string name = c.name_length ? std::string(c.name_length, 'n') : "f" + std::to_string(i);
    es.push_back({name, small.string(), c.claimed_size, 0, cab::kAttrArchive});
  }
  cab::Options o;
  o.limits = c.limits;
  fs::path cab = tmp.path() / "l.cab";
  cab::Result r = write(es, cab, o);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.failure, cab::Failure::limit);
  EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
}


INSTANTIATE_TEST_SUITE_P(
    Cases, CabLimits,
    ::testing::Values(
        LimitCase{"more_than_65535_files", 65536, 0, 1, cab::Limits{}, "too many files"},
        LimitCase{"name_of_256_bytes", 1, 256, 1, cab::Limits{}, "name too long"},
        // A file cannot span folders, so one folder's 65535 blocks bound a file.
        LimitCase{"file_larger_than_a_folder", 1, 0, 65535ull * 32768 + 1, cab::Limits{}, "file too large"},
        LimitCase{"file_of_4_GiB", 1, 0, 1ull << 32, cab::Limits{}, "file too large"},
        LimitCase{"file_larger_than_small_folder", 1, 0, 3 * 32768 + 1, cab::Limits{.folder_blocks = 3}, "file too large"},
        // Random data fills the cabinet past a small size limit while writing.
        LimitCase{"cabinet_size", 2, 0, 300000, cab::Limits{.max_cabinet = 400000}, "would exceed"}),
    [](const auto& info) { return std::string(info.param.label); });

// 65535 files is the most a cabinet holds, and readers accept that many.
TEST(CabWriter, WritesTheLargestFileCount) {
  TempDir tmp;
  fs::path small = tmp.path() / "small";
  write_file(small, "z");
  std::vector<cab::Entry> es;
  for (size_t i = 0; i < 65535; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%02zu/f%05zu", i % 50, i);
    es.push_back({name, small.string(), 1, 0, cab::kAttrArchive});
  }
  fs::path cab = tmp.path() / "max.cab";
  cab::Result r = write(es, cab);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read_cabinet(cab).files.size(), 65535u);
  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log.substr(0, 2000);
}

// Files that vanish or change while the cabinet is written: the rest is
// stored, the cabinet stays valid and the problems are reported.
TEST(CabWriter, ReportsFilesThatCannotBeReadOrChangeSize) {
  TempDir tmp;
  fs::path src = tmp.path() / "src";
  write_file(src / "keep1.txt", text_bytes(50000, 1));
  write_file(src / "shrunk.txt", "short");
  write_file(src / "grown.txt", "0123456789");
  write_file(src / "keep2.bin", random_bytes(70000, 2));
  std::vector<cab::Entry> es = {
      {"keep1.txt", (src / "keep1.txt").string(), 50000, 0, cab::kAttrArchive},
      {"gone.txt", (src / "gone.txt").string(), 1234, 0, cab::kAttrArchive},
      {"a folder", src.string(), 10, 0, cab::kAttrArchive},  // opens, but reading fails
      {"shrunk.txt", (src / "shrunk.txt").string(), 5000, 0, cab::kAttrArchive},
      {"grown.txt", (src / "grown.txt").string(), 4, 0, cab::kAttrArchive},
      {"keep2.bin", (src / "keep2.bin").string(), 70000, 0, cab::kAttrArchive},
  };
  fs::path cab = tmp.path() / "p.cab";
  cab::Result r = write(es, cab);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.skipped.size(), 2u);
  EXPECT_EQ(r.skipped[0].path, (src / "gone.txt").string());
  EXPECT_EQ(r.skipped[1].path, src.string());
  ASSERT_EQ(r.changed.size(), 2u);
  EXPECT_EQ(r.changed[0].path, (src / "shrunk.txt").string());
  EXPECT_EQ(r.changed[1].path, (src / "grown.txt").string());
  EXPECT_EQ(r.files, 4u);

  // The table room of the skipped files is given back: no gap before the data.
  CabInfo info = read_cabinet(cab);
  ASSERT_EQ(info.files.size(), 4u);
  EXPECT_EQ(info.cabinet_size, fs::file_size(cab));
  size_t table_end = info.files_offset;
  for (const CabFile& f : info.files) table_end += 16 + f.name.size() + 1;
  EXPECT_EQ(info.folders[0].data_offset, table_end);

  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(read_file(tmp.path() / "x" / "keep1.txt"), read_file(src / "keep1.txt"));
  EXPECT_EQ(read_file(tmp.path() / "x" / "keep2.bin"), read_file(src / "keep2.bin"));
  EXPECT_EQ(read_file(tmp.path() / "x" / "shrunk.txt"), "short");
  EXPECT_EQ(read_file(tmp.path() / "x" / "grown.txt"), "0123") << "only the expected size is stored";
  ASSERT_TRUE(gcab_extract(cab, tmp.path() / "y", &log)) << log;
  EXPECT_EQ(tree_diff(tmp.path() / "x", tmp.path() / "y"), "");
}

// Readers refuse a cabinet without files, so none is written.
TEST(CabWriter, RefusesToWriteACabinetWithoutFiles) {
  TempDir tmp;
  cab::Result none = write({}, tmp.path() / "a.cab");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.failure, cab::Failure::nothing);

  cab::Result unreadable = write({{"x", (tmp.path() / "missing").string(), 3, 0, cab::kAttrArchive}}, tmp.path() / "b.cab");
  EXPECT_FALSE(unreadable.ok);
  EXPECT_EQ(unreadable.failure, cab::Failure::nothing);
  EXPECT_EQ(unreadable.skipped.size(), 1u);
}

// Only empty files: one folder without data blocks, which readers accept.
TEST(CabWriter, WritesOnlyEmptyFiles) {
  TempDir tmp;
  write_file(tmp.path() / "src/e1", "");
  write_file(tmp.path() / "src/e2", "");
  fs::path cab = tmp.path() / "e.cab";
  cab::Result r = write(entries_for(tmp.path() / "src"), cab);
  ASSERT_TRUE(r.ok) << r.error;
  std::string log;
  EXPECT_TRUE(cabextract_test(cab, &log)) << log;
  ASSERT_TRUE(gcab_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "x"), "");
}

}  // namespace

namespace {

// Bytes from memory; optionally fails after `fail_after` bytes.
class MemorySource : public cab::Source {
 public:
  MemorySource(std::string bytes, size_t fail_after = SIZE_MAX) : b_(std::move(bytes)), fail_after_(fail_after) {}
  size_t read(void* buf, size_t cap) override {
    size_t end = std::min(b_.size(), fail_after_);
    size_t n = std::min(cap, end - pos_);
    std::memcpy(buf, b_.data() + pos_, n);
    pos_ += n;
    if (n == 0 && pos_ == fail_after_) failed_ = true;
    return n;
  }
  bool failed() const override { return failed_; }

 private:
  std::string b_;
  size_t fail_after_;
  size_t pos_ = 0;
  bool failed_ = false;
};

struct ReplanCase {
  const char* label;
  size_t planned;       // size each file is announced with
  size_t actual;        // size each file turns out to have
  int failing;          // index of a file that fails part way, or -1
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
  cab::CabinetWriter w(o);
  std::vector<cab::FileInfo> plan;
  for (int i = 0; i < 4; ++i) plan.push_back({"f" + std::to_string(i), c.planned, 0, cab::kAttrArchive, {}});
  fs::path cab = tmp.path() / "r.cab";
  platform::NewFile fd;
  platform::SysError err;
  ASSERT_TRUE(fd.create(cab.string(), err)) << err.text();
  ASSERT_TRUE(w.begin(fd, plan)) << w.error();
  fs::path expected = tmp.path() / "expected";
  fs::create_directories(expected);
  for (int i = 0; i < 4; ++i) {
    std::string bytes = i % 2 ? random_bytes(c.actual, i) : text_bytes(c.actual, i);
    MemorySource src(bytes, i == c.failing ? c.actual / 2 : SIZE_MAX);
    cab::FileInfo info = plan[i];
    info.size = c.actual;
    auto a = w.add(info, src);
    if (i == c.failing) {
      EXPECT_EQ(a, cab::CabinetWriter::Added::read_failed);
    } else {
      ASSERT_EQ(a, cab::CabinetWriter::Added::stored) << w.error();
      write_file(expected / info.name, bytes);
    }
  }
  ASSERT_TRUE(w.finish()) << w.error();
  fd.close();
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
                             // Half of a file read before it fails: left out, its
                             // bytes stay in the folder unreferenced.
                             ReplanCase{"failed_part_way", 50000, 50000, 1, 3},
                             ReplanCase{"shrunk", 60000, 3000, -1, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
