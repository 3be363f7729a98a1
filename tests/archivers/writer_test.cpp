// Our ZIP and TAR writers through the shared driver, with their limits
// lowered where a real archive would be too large for a test: large files in
// many chunks, ZIP64 records, pax records; every archive read back by unzip,
// bsdtar or GNU tar and compared byte for byte with its source.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sstream>

#include "arc/codes.h"
#include "arc/driver.h"
#include "fixture.h"
#include "tar_writer.h"
#include "zip_writer.h"

using arctest::TempDir;
using zubeto::arc::FormatId;
using zubeto::arc::run_archiver;

namespace {

std::string q(const std::string& path) { return "\"" + path + "\" "; }

struct Result {
  int rc;
  std::string output;
};

Result zip_with(const zubeto::zip::ZipLimits& limits, const std::string& archive, const std::vector<std::string>& sources) {
  std::string command = "-rq " + q(archive);
  for (const std::string& s : sources) command += q(s);
  std::vector<char> buf(32768, '\0');
  int rc = run_archiver(FormatId::Zip, command.c_str(), buf.data(), 32767,
                        [&] { return zubeto::zip::make_zip_writer(limits); });
  return {rc, buf.data()};
}

Result tar_of(const std::string& archive, const std::string& base, const std::vector<std::string>& sources) {
  std::string command = "-cvf " + q(archive) + "--display-dialog=0 " + q(base);
  for (const std::string& s : sources) command += q(s);
  std::vector<char> buf(32768, '\0');
  int rc = run_archiver(FormatId::Tar, command.c_str(), buf.data(), 1000, [] { return zubeto::tar::make_tar_writer(); });
  return {rc, buf.data()};
}

// Compressible text and random bytes in alternating stretches of `stretch`
// bytes, so that chunk seams fall inside both kinds.
std::string mixed(size_t size, size_t stretch, unsigned seed) {
  std::string s;
  std::string noise = arctest::random_bytes(size, seed);
  for (size_t i = 0; s.size() < size; ++i) {
    if (i % 2 == 0) {
      while (s.size() < std::min(size, (i + 1) * stretch)) s += "record " + std::to_string(s.size() % 9973) + " of a mixed file\n";
    } else {
      size_t n = std::min(size, (i + 1) * stretch) - s.size();
      s.append(noise, s.size(), n);
    }
  }
  s.resize(size);
  return s;
}

void expect_same(const arctest::Tree& want, const std::string& root) {
  arctest::Tree got = arctest::snapshot(root);
  EXPECT_EQ(got.size(), want.size()) << root;
  for (const auto& [rel, node] : want) {
    auto it = got.find(rel);
    if (it == got.end()) {
      ADD_FAILURE() << "missing after extraction: " << rel;
      continue;
    }
    EXPECT_EQ(it->second.kind, node.kind) << rel;
    EXPECT_TRUE(it->second.data == node.data) << "bytes differ: " << rel << " (" << it->second.data.size() << " vs "
                                              << node.data.size() << " bytes)";
    EXPECT_EQ(it->second.mtime, node.mtime) << rel;
  }
}

bool contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

size_t threads_now() { return arctest::list_dir("/proc/self/task").size(); }

// ------------------------------------------------------------------ ZIP --

struct ZipCase {
  const char* label;
  zubeto::zip::ZipLimits limits;
  bool zip64;  // the archive must hold the ZIP64 end records
};

void PrintTo(const ZipCase& c, std::ostream* os) { *os << c.label; }

class ZipWriterCases : public ::testing::TestWithParam<ZipCase> {};

// A large file (several chunks, mixed text and noise), a large file of pure
// noise, many small files, an empty one, an empty folder and a link.
TEST_P(ZipWriterCases, LargeAndManySmallFilesReadBackByteForByte) {
  TempDir t;
  const std::string d = t / "src/data";
  arctest::make_dirs(d + "/many");
  arctest::make_dirs(d + "/empty");
  arctest::write_file(d + "/large mixed.bin", mixed(5 * 1024 * 1024 + 12345, 300 * 1000, 1));
  arctest::write_file(d + "/large noise.bin", arctest::random_bytes(2 * 1024 * 1024 + 7, 2));
  for (int i = 0; i < 300; ++i)
    arctest::write_file(d + "/many/f" + std::to_string(i) + ".txt", std::string(static_cast<size_t>(i * 37), 'a' + i % 26));
  arctest::write_file(d + "/empty.txt", "");
  ASSERT_EQ(::symlink("many/f1.txt", (d + "/link").c_str()), 0);
  arctest::make_dirs(t / "dst");
  const arctest::Tree src = arctest::snapshot(t / "src");

  const std::string archive = t / "dst/a.zip";
  const size_t before = threads_now();
  Result r = zip_with(GetParam().limits, archive, {t / "src"});
  ASSERT_EQ(r.rc, 0) << r.output;
  // Every compression thread has ended when the call returns.
  EXPECT_EQ(threads_now(), before);

  const std::string qa = arctest::quote(archive);
  EXPECT_EQ(arctest::sh("unzip -tq " + qa + " >/dev/null"), 0);
  const std::string stored = (t / "src").substr(1);
  arctest::make_dirs(t / "unzip");
  ASSERT_EQ(arctest::sh("cd " + arctest::quote(t / "unzip") + " && unzip -q " + qa), 0);
  expect_same(src, t / "unzip/" + stored);
  arctest::make_dirs(t / "bsdtar");
  ASSERT_EQ(arctest::sh("bsdtar -xf " + qa + " -C " + arctest::quote(t / "bsdtar")), 0);
  expect_same(src, t / "bsdtar/" + stored);

  const std::string bytes = arctest::read_file(archive);
  EXPECT_EQ(contains(bytes, std::string("PK\x06\x06", 4)), GetParam().zip64);
  EXPECT_EQ(contains(bytes, std::string("PK\x06\x07", 4)), GetParam().zip64);
}

zubeto::zip::ZipLimits limits(uint64_t max32, uint64_t max16, size_t chunk, unsigned threads) {
  zubeto::zip::ZipLimits l;
  l.max32 = max32;
  l.max16 = max16;
  l.chunk = chunk;
  l.threads = threads;
  return l;
}

const ZipCase kZipCases[] = {
    {"as_shipped", zubeto::zip::ZipLimits{}, false},
    {"small_chunks_one_thread", limits(0xFFFFFFFF, 0xFFFF, 64 * 1024, 1), false},
    {"small_chunks_three_threads", limits(0xFFFFFFFF, 0xFFFF, 100 * 1000, 3), false},
    // Sizes, offsets and the entry count past lowered limits: ZIP64 local
    // sizes, central fields and end records, as a 4 GiB archive has them.
    {"zip64_sizes_offsets_count", limits(100 * 1000, 50, 256 * 1024, 2), true},
    {"zip64_count_only", limits(0xFFFFFFFF, 50, 1 << 20, 2), true},
};

INSTANTIATE_TEST_SUITE_P(Limits, ZipWriterCases, ::testing::ValuesIn(kZipCases),
                         [](const auto& info) { return std::string(info.param.label); });

// One line of `unzip -v` per name: length, method, compressed size.
struct Listed {
  uint64_t length = 0;
  std::string method;
  uint64_t size = 0;
};
std::map<std::string, Listed> unzip_v(const std::string& archive) {
  std::map<std::string, Listed> out;
  std::istringstream lines(arctest::capture("unzip -v " + arctest::quote(archive)));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream f(line);
    Listed l;
    std::string cmpr, date, time, crc, name;
    if (!(f >> l.length >> l.method >> l.size >> cmpr >> date >> time >> crc >> name)) continue;
    out[name.substr(name.rfind('/') + 1)] = l;
  }
  return out;
}

// Data that deflate cannot shrink is kept as it is, in stored deflate
// blocks: a few bytes of framing per 64 KiB, never the growth of forced
// compression. Text shrinks.
TEST(ZipWriter, IncompressibleDataGrowsOnlyByBlockFraming) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::write_file(t / "noise.bin", arctest::random_bytes(500 * 1000, 5));         // one buffer
  arctest::write_file(t / "big_noise.bin", arctest::random_bytes(3 * 1000 * 1000, 6));  // chunks
  std::string text;
  while (text.size() < 400 * 1000) text += "the same line again and again\n";
  arctest::write_file(t / "text.txt", text);
  const std::string archive = t / "dst/a.zip";
  Result r = zip_with(zubeto::zip::ZipLimits{}, archive, {t / "noise.bin", t / "big_noise.bin", t / "text.txt"});
  ASSERT_EQ(r.rc, 0) << r.output;
  auto listed = unzip_v(archive);
  for (const char* name : {"noise.bin", "big_noise.bin"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(listed.count(name), 1u);
    const Listed& l = listed[name];
    EXPECT_EQ(l.method, "Defl:N");
    EXPECT_GE(l.size, l.length);
    EXPECT_LE(l.size, l.length + 5 * (l.length / 16384 + 1) + 64);
  }
  EXPECT_LT(listed["text.txt"].size, listed["text.txt"].length / 50);
  EXPECT_EQ(arctest::sh("unzip -tq " + arctest::quote(archive) + " >/dev/null"), 0);
}

// A write that fails while chunks are being compressed: no archive, no
// temporary file, and the threads are stopped.
TEST(ZipWriter, WriteFailureWhileCompressingStopsEverything) {
  TempDir t;
  arctest::make_dirs(t / "dst");
  arctest::write_file(t / "noise.bin", arctest::random_bytes(4 * 1024 * 1024, 8));
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 1024 * 1024;
  void (*old_handler)(int) = ::signal(SIGXFSZ, SIG_IGN);
  const size_t before = threads_now();
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Result r = zip_with(limits(0xFFFFFFFF, 0xFFFF, 128 * 1024, 2), t / "dst/a.zip", {t / "noise.bin"});
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(r.rc, ARC_E_WRITE) << r.output;
  EXPECT_TRUE(arctest::list_dir(t / "dst").empty());
  EXPECT_EQ(threads_now(), before);
}

// ------------------------------------------------------------------ TAR --

// What ustar cannot hold goes into pax records; GNU tar reads all of it.
TEST(TarWriter, PaxRecordsForWhatUstarCannotHold) {
  TempDir t;
  const std::string d = t / "src";
  // A path over 100 bytes that splits into prefix and name; a single name
  // over 100 bytes that cannot split; non-ASCII names whose pax record
  // lengths cross from two to three digits; a long link target.
  const std::string splittable = std::string(60, 'p') + "/" + std::string(70, 'q');
  const std::string unsplittable = std::string(130, 'n') + ".txt";
  arctest::make_dirs(d + "/" + std::string(60, 'p'));
  arctest::write_file(d + "/" + splittable, "split");
  arctest::write_file(d + "/" + unsplittable, "long");
  for (size_t len = 86; len <= 96; ++len) {
    std::string name = "日本" + std::string(len - 6, 'x');  // "日本" is 6 bytes
    arctest::write_file(d + "/" + name, name);
  }
  arctest::make_dirs(d + "/深い フォルダ/" + std::string(90, 'a') + "/" + std::string(90, 'b'));
  arctest::write_file(d + "/深い フォルダ/" + std::string(90, 'a') + "/" + std::string(90, 'b') + "/ファイル.txt", "deep");
  ASSERT_EQ(::symlink((std::string(120, 't') + "/target").c_str(), (d + "/long link").c_str()), 0);
  // An owner beyond ustar's seven octal digits, a time before 1970.
  arctest::write_file(d + "/owned", "owned");
  ASSERT_EQ(::lchown((d + "/owned").c_str(), 3000000, 3000001), 0);
  arctest::write_file(d + "/old", "old");
  struct timespec old_times[2] = {{-86400 * 365, 0}, {-86400 * 365, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (d + "/old").c_str(), old_times, 0), 0);
  arctest::make_dirs(t / "dst");
  const arctest::Tree src = arctest::snapshot(d);

  const std::string archive = t / "dst/a.tar";
  Result r = tar_of(archive, d, {d + "/"});
  ASSERT_EQ(r.rc, 0) << r.output;
  EXPECT_EQ(arctest::read_file(archive).size() % 10240, 0u);

  arctest::make_dirs(t / "out");
  ASSERT_EQ(arctest::sh("LC_ALL=C.UTF-8 tar -xf " + arctest::quote(archive) + " -C " + arctest::quote(t / "out") +
                        " --same-owner"),
            0);
  expect_same(src, t / "out");
  struct stat st;
  ASSERT_EQ(::lstat((t / "out/owned").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 3000000u);
  EXPECT_EQ(st.st_gid, 3000001u);
  ASSERT_EQ(::lstat((t / "out/old").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, -86400 * 365);

  // The names GNU tar lists are exactly ours, in walk order.
  std::string names = arctest::capture("LC_ALL=C.UTF-8 tar -tf " + arctest::quote(archive));
  EXPECT_TRUE(contains(names, "\n" + splittable + "\n")) << names;
  EXPECT_TRUE(contains(names, "\n" + unsplittable + "\n")) << names;
  EXPECT_TRUE(contains(names, "深い フォルダ/" + std::string(90, 'a') + "/" + std::string(90, 'b') + "/ファイル.txt\n"));
  EXPECT_FALSE(contains(names, "PaxHeaders")) << names;
  // Entries that fit ustar get no extended header.
  std::string plain = t / "plain.tar";
  arctest::write_file(t / "short.txt", "s");
  ASSERT_EQ(tar_of(plain, t.path(), {t / "short.txt"}).rc, 0);
  EXPECT_EQ(arctest::read_file(plain).substr(0, 9), "short.txt");
  EXPECT_EQ(arctest::read_file(plain).size(), 10240u);
}

// File bytes of every size around the block and buffer boundaries.
TEST(TarWriter, ContentSizesAroundBlockAndBufferBoundaries) {
  TempDir t;
  arctest::make_dirs(t / "src");
  int n = 0;
  for (size_t size : {size_t{0}, size_t{1}, size_t{511}, size_t{512}, size_t{513}, size_t{(1 << 20) - 1},
                      size_t{1 << 20}, size_t{(1 << 20) + 1}, size_t{3 * (1 << 20) + 100}})
    arctest::write_file(t / "src/f" + std::to_string(n++), arctest::random_bytes(size, static_cast<unsigned>(size)));
  arctest::make_dirs(t / "dst");
  const arctest::Tree src = arctest::snapshot(t / "src");
  Result r = tar_of(t / "dst/a.tar", t / "src", {t / "src/"});
  ASSERT_EQ(r.rc, 0) << r.output;
  arctest::make_dirs(t / "out");
  ASSERT_EQ(arctest::sh("tar -xf " + arctest::quote(t / "dst/a.tar") + " -C " + arctest::quote(t / "out")), 0);
  expect_same(src, t / "out");
}

// Names are marked as what they are: the ZIP UTF-8 flag (bit 11 of the
// general purpose flags) only on UTF-8 names, and a pax hdrcharset=BINARY
// record for TAR names that are not UTF-8.
TEST(NameEncoding, OnlyUtf8NamesAreMarkedUtf8) {
  TempDir t;
  arctest::make_dirs(t / "src");
  struct Case {
    const char* name;
    bool zip_flag;
    bool binary;
  } cases[] = {
      {"plain.txt", false, false},
      {"caf\xC3\xA9.txt", true, false},
      {"caf\xE9.txt", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = t / ("src/" + std::to_string(&c - cases));
    arctest::make_dirs(dir);
    arctest::write_file(dir + "/" + c.name, "x");
    const std::string zip = t / ("n" + std::to_string(&c - cases) + ".zip");
    ASSERT_EQ(zip_with({}, zip, {dir + "/" + c.name}).rc, 0);
    std::string z = arctest::read_file(zip);
    size_t central = z.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    const bool flag = (static_cast<unsigned char>(z[central + 9]) & 0x08) != 0;
    EXPECT_EQ(flag, c.zip_flag);

    const std::string tar = t / ("n" + std::to_string(&c - cases) + ".tar");
    ASSERT_EQ(tar_of(tar, dir, {dir + "/" + c.name}).rc, 0);
    EXPECT_EQ(arctest::read_file(tar).find("hdrcharset=BINARY\n") != std::string::npos, c.binary);
  }
}

}  // namespace

