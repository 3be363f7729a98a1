// An unchanged tree gives the same archive bytes every run, in every
// format: whatever the number of compression threads, and when the threads
// are made to finish their work out of order (the writers' reverse_pairs
// seam, which holds the first of each pair of batches until the second has
// finished). What a piece of a file becomes, compressed or kept as it is,
// may depend only on its own bytes and the history it carries, never on
// which thread took it or what that thread did before.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arc/driver.h"
#include "cab_writer.h"
#include "fixture.h"
#include "lzh_writer.h"
#include "tar_writer.h"
#include "zip_writer.h"

namespace {

using namespace arctest;
using zubeto::arc::FormatId;
using zubeto::arc::run_archiver;

// Text of words from a small vocabulary: compressible, and different from
// one seed to the next.
std::string text(size_t n, unsigned seed) {
  static const char* const words[] = {"backup", "archive", "folder", "worker", "settings", "window",
                                      "the",    "of",      "and",    "a",      "file",     "destination",
                                      "source", "run",     "log",    "job",    "shutdown", "list"};
  std::mt19937 gen(seed);
  std::string s;
  while (s.size() < n) {
    s += words[gen() % (sizeof words / sizeof *words)];
    s += gen() % 9 == 0 ? "\n" : " ";
    if (gen() % 13 == 0) s += std::to_string(gen() % 1000);
  }
  s.resize(n);
  return s;
}

// The tree: many small files of different sizes (several batches for the
// threads), a large file cut into many chunks, incompressible files, a file
// that is incompressible only at its start (kept as it is: the first chunk
// decides), an empty file and an empty folder.
void make_tree(const std::string& root) {
  make_dirs(root + "/docs/deep");
  make_dirs(root + "/empty");
  for (int i = 0; i < 40; ++i) {
    const std::string dir = root + (i % 3 == 0 ? "/docs/deep/" : "/docs/");
    write_file(dir + "note" + std::to_string(i) + ".txt", text(3000 + (i * 7919) % 60000, 100 + i));
  }
  std::string large;
  for (int i = 0; large.size() < 2500000; ++i) large += text(20000, 7) + random_bytes(3000, 1000 + i);
  write_file(root + "/large.bin", large);
  write_file(root + "/random.bin", random_bytes(300000, 2));
  write_file(root + "/random-small.bin", random_bytes(40000, 3));
  write_file(root + "/late.bin", random_bytes(120000, 9) + text(600000, 4));
  write_file(root + "/early.bin", random_bytes(30000, 10) + text(600000, 5));
  write_file(root + "/empty.txt", "");
}

std::string q(const std::string& path) { return "\"" + path + "\" "; }

int run(FormatId format, const std::string& command, const zubeto::arc::WriterFactory& make) {
  std::vector<char> out(32768, '\0');
  const int rc = run_archiver(format, command.c_str(), out.data(), format == FormatId::Tar ? 1000 : 32767, make);
  EXPECT_EQ(rc, 0) << out.data();
  return rc;
}

struct Format {
  const char* name;
  const char* ext;
  // Writes `archive` from the folder `src` with `threads` compression
  // threads; `reverse`: the threads finish out of order.
  std::function<int(const std::string& archive, const std::string& src, unsigned threads, bool reverse)> write;
};

const Format kFormats[] = {
    {"LZH", ".lzh",
     [](const std::string& archive, const std::string& src, unsigned threads, bool reverse) {
       lzh::LzhLimits l;
       l.chunk = 128 * 1024;  // the large files in chunks, late.bin's first one mostly random
       l.threads = threads;
       l.reverse_pairs = reverse;
       return run(FormatId::Lzh, "a " + q(archive) + "-x1r2a2 -n1 " + q(src), [l] { return lzh::make_lzh_writer(l); });
     }},
    {"ZIP", ".zip",
     [](const std::string& archive, const std::string& src, unsigned threads, bool reverse) {
       zubeto::zip::ZipLimits l;
       l.chunk = 64 * 1024;
       l.threads = threads;
       l.reverse_pairs = reverse;
       return run(FormatId::Zip, "-rq " + q(archive) + q(src), [l] { return zubeto::zip::make_zip_writer(l); });
     }},
    {"CAB", ".cab",
     [](const std::string& archive, const std::string& src, unsigned threads, bool reverse) {
       cab::Options o;
       o.threads = threads;
       o.reverse_pairs = reverse;
       return run(FormatId::Cab, "-a -ri " + q(archive) + q(src + "/*.*"), [o] { return cab::make_cab_writer(o); });
     }},
    {"TAR", ".tar",  // no threads: the runs must agree all the same
     [](const std::string& archive, const std::string& src, unsigned, bool) {
       return run(FormatId::Tar, "-cvf " + q(archive) + "--display-dialog=0 " + q(src.substr(0, src.rfind('/'))) + q(src),
                  [] { return zubeto::tar::make_tar_writer(); });
     }},
};

struct Trial {
  const char* name;
  unsigned threads;
  bool reverse;
};

const Trial kRuns[] = {
    {"2 threads", 2, false},
    {"8 threads", 8, false},
    {"1 thread, pieces out of order", 1, true},
    {"2 threads finishing out of order", 2, true},
    {"8 threads finishing out of order", 8, true},
};

// The offset of the first byte where a and b differ (their shorter size
// when one is a prefix of the other).
size_t first_difference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

TEST(SameBytes, EveryRunWritesTheSameArchiveWhateverTheThreads) {
  TempDir t;
  const std::string src = t / "src";
  make_tree(src);
  for (const Format& f : kFormats) {
    int n = 0;
    SCOPED_TRACE(f.name);
    const std::string out = t / f.name;
    make_dirs(out);
    ASSERT_EQ(f.write(out + "/one-thread" + f.ext, src, 1, false), 0);
    const std::string want = read_file(out + "/one-thread" + f.ext);
    ASSERT_GT(want.size(), 1000u);
    for (const Trial& r : kRuns) {
      SCOPED_TRACE(r.name);
      const std::string archive = out + "/run" + std::to_string(++n) + f.ext;
      ASSERT_EQ(f.write(archive, src, r.threads, r.reverse), 0);
      const std::string got = read_file(archive);
      EXPECT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want) << "first difference at byte " << first_difference(got, want);
    }
  }
}

}  // namespace
