// The read-back check on archives of our four libraries and of independent
// writers (Info-ZIP, GNU tar, gcab, jlha): whole ones read back with the
// entry count an independent reader (bsdtar) lists; damaged ones fail.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "archiver_api.h"
#include "arcverify/verify.h"
#include "fixture.h"

using arctest::TempDir;

namespace {

class MemSource : public arcverify::Source {
 public:
  explicit MemSource(std::string b) : bytes(std::move(b)) {}
  uint64_t size() const override { return bytes.size(); }
  bool read_at(uint64_t offset, void* data, size_t n) override {
    if (offset > bytes.size() || n > bytes.size() - offset) return false;
    std::memcpy(data, bytes.data() + offset, n);
    return true;
  }
  std::string bytes;
};

arcverify::Report check(const std::string& bytes, arcverify::Format f) {
  MemSource s(bytes);
  return arcverify::verify(s, f);
}

// Calls one of our libraries as the worker does.
int call_library(const char* file, const char* fn, const std::string& command) {
  void* h = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!h) return -1;
  auto run = reinterpret_cast<ArcCommandFn>(::dlsym(h, fn));
  std::vector<char> out(32768, '\0');
  int rc = run ? run(nullptr, command.c_str(), out.data(), 32767) : -1;
  ::dlclose(h);
  return rc;
}

std::string q(const std::string& s) { return "\"" + s + "\" "; }

void make_tree(const std::string& src) {
  arctest::make_dirs(src + "/folder/deeper");
  arctest::make_dirs(src + "/empty folder");
  arctest::write_file(src + "/empty.txt", "");
  arctest::write_file(src + "/one", "1");
  std::string text;
  for (int i = 0; i < 60000; ++i) text += "line " + std::to_string(i % 1000) + " of a file that shrinks\n";
  arctest::write_file(src + "/folder/text.txt", text);  // about 2 MB: several LZH blocks and chunks
  arctest::write_file(src + "/folder/deeper/random.bin", arctest::random_bytes(150 * 1024, 11));
  arctest::write_file(src + "/名前.txt", "日本語\n");
}

struct Made {
  std::string name;
  arcverify::Format format;
  std::string bytes;
};

std::vector<Made> make_archives(const TempDir& t) {
  const std::string src = t / "src";
  make_tree(src);
  std::vector<Made> out;
  auto add = [&](const std::string& name, arcverify::Format f, const std::string& path, int rc) {
    EXPECT_EQ(rc, 0) << name;
    out.push_back({name, f, arctest::read_file(path)});
  };
  using F = arcverify::Format;
  add("ours LZH", F::Lzh, t / "o.lzh",
      call_library(ZUBETO_LZH_LIB, "Unlha", "a " + q(t / "o.lzh") + "-x1r2a2 -n1 " + q(src)));
  add("ours ZIP", F::Zip, t / "o.zip", call_library(ZUBETO_ZIP_LIB, "Zip", "-rq " + q(t / "o.zip") + q(src)));
  add("ours CAB", F::Cab, t / "o.cab", call_library(ZUBETO_CAB_LIB, "Cab", "-a -ri " + q(t / "o.cab") + q(src + "/*.*")));
  add("ours TAR", F::Tar, t / "o.tar",
      call_library(ZUBETO_TAR_LIB, "Tar", "-cvf " + q(t / "o.tar") + "--display-dialog=0 " + q("/") + q(src)));
  const std::string in_src = "cd " + arctest::quote(src) + " && ";
  add("Info-ZIP", F::Zip, t / "i.zip", arctest::sh(in_src + "zip -qr " + arctest::quote(t / "i.zip") + " ."));
  add("GNU tar", F::Tar, t / "g.tar", arctest::sh(in_src + "tar cf " + arctest::quote(t / "g.tar") + " ."));
  add("gcab", F::Cab, t / "g.cab",
      arctest::sh(in_src + "gcab -c -z " + arctest::quote(t / "g.cab") + " one empty.txt folder/text.txt folder/deeper/random.bin"));
  add("jlha", F::Lzh, t / "j.lzh", arctest::sh(in_src + "jlha a " + arctest::quote(t / "j.lzh") + " . >/dev/null 2>&1"));
  return out;
}

// Whole archives read back, with as many entries as bsdtar lists (for
// ours, the count the writer wrote).
TEST(ReadBackCheck, WholeArchivesOfEveryWriterReadBack) {
  TempDir t;
  for (const Made& m : make_archives(t)) {
    SCOPED_TRACE(m.name);
    arcverify::Report r = check(m.bytes, m.format);
    ASSERT_TRUE(r.ok) << r.problem;
    arctest::write_file(t / "x", m.bytes);
    const std::string listed = arctest::capture("LC_ALL=C.UTF-8 bsdtar -tf " + arctest::quote(t / "x") + " | wc -l");
    EXPECT_EQ(std::to_string(r.entries), listed.substr(0, listed.find_first_of("\n ")));
    EXPECT_GT(r.first_data_size, 0u);
    // The file check reads what lies on the disk.
    arcverify::Report f = arcverify::verify_file(t / "x", m.format);
    EXPECT_TRUE(f.ok) << f.problem;
    EXPECT_EQ(f.entries, r.entries);
  }
}

// Damage anywhere it can be seen fails the check, with a reason. TAR keeps
// no checksum of its data: a flipped data byte there is the one damage no
// check can see.
TEST(ReadBackCheck, DamagedArchivesFail) {
  TempDir t;
  for (const Made& m : make_archives(t)) {
    SCOPED_TRACE(m.name);
    arcverify::Report whole = check(m.bytes, m.format);
    ASSERT_TRUE(whole.ok) << whole.problem;
    const size_t data = static_cast<size_t>(whole.first_data_offset + whole.first_data_size / 2);
    struct Damage {
      const char* name;
      std::string bytes;
      bool seen;
    };
    auto flip = [&](size_t at) {
      std::string b = m.bytes;
      b[at] = static_cast<char>(b[at] ^ 0xFF);
      return b;
    };
    const bool tar = m.format == arcverify::Format::Tar;
    const Damage damages[] = {
        {"a data byte flipped", flip(data), !tar},
        {"the last data byte flipped", flip(static_cast<size_t>(whole.first_data_offset + whole.first_data_size - 1)),
         !tar},
        {"the first header's first byte flipped", flip(0), true},
        {"cut by one byte", m.bytes.substr(0, m.bytes.size() - 1), true},
        {"cut in half", m.bytes.substr(0, m.bytes.size() / 2), true},
        {"three bytes appended", m.bytes + "abc", true},
        {"empty", "", true},
    };
    for (const Damage& d : damages) {
      SCOPED_TRACE(d.name);
      arcverify::Report r = check(d.bytes, m.format);
      EXPECT_EQ(r.ok, !d.seen) << r.problem;
      if (!r.ok) {
        EXPECT_FALSE(r.problem.empty());
      }
    }
  }
}

// The file check reads through the seam a test puts between the disk and
// the check: a byte flipped there fails the check, the file stays whole.
TEST(ReadBackCheck, TheReadSeamSeesWhatTheDiskGivesBack) {
  TempDir t;
  const std::vector<Made> made = make_archives(t);
  const Made& m = made[1];  // ours ZIP
  arctest::write_file(t / "seam.zip", m.bytes);
  const arcverify::Report whole = arcverify::verify_file(t / "seam.zip", m.format);
  ASSERT_TRUE(whole.ok);
  const uint64_t at = whole.first_data_offset + 3;
  arcverify::set_read_filter([&](const std::string& path, uint64_t offset, uint8_t* data, size_t n) {
    if (path == t / "seam.zip" && at >= offset && at < offset + n) data[at - offset] ^= 0x40;
  });
  const arcverify::Report r = arcverify::verify_file(t / "seam.zip", m.format);
  arcverify::set_read_filter(nullptr);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(arctest::read_file(t / "seam.zip"), m.bytes);
  EXPECT_FALSE(arcverify::verify_file(t / "none.zip", m.format).ok);
  arcverify::Format f;
  EXPECT_TRUE(arcverify::format_of_path("/b/20240515213005.LZH", f));
  EXPECT_EQ(f, arcverify::Format::Lzh);
  EXPECT_FALSE(arcverify::format_of_path("/b/20240515213005.bza", f));
}

}  // namespace
