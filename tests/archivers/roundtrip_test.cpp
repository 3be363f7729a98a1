// zip32j.so and tar32.so as the worker meets them: loaded from build/bin,
// called through their exported functions, their archives read back by
// independent tools (unzip and bsdtar for ZIP, GNU tar for TAR) and
// compared byte for byte with the sources.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>

#include "arc/codes.h"
#include "archiver_api.h"
#include "fixture.h"

using arctest::TempDir;

namespace {

// The libraries, loaded once, as the worker loads them.
struct Lib {
  void* handle = nullptr;
  ArcCommandFn command = nullptr;
  ArcVersionFn version = nullptr;
};

Lib load(const char* file, const char* command, const char* version) {
  Lib lib;
  lib.handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!lib.handle) return lib;
  lib.command = reinterpret_cast<ArcCommandFn>(::dlsym(lib.handle, command));
  lib.version = reinterpret_cast<ArcVersionFn>(::dlsym(lib.handle, version));
  return lib;
}

const Lib& zip() {
  static Lib lib = load(ZUBETO_ZIP_LIB, "Zip", "ZipGetVersion");
  return lib;
}
const Lib& tar() {
  static Lib lib = load(ZUBETO_TAR_LIB, "Tar", "TarGetVersion");
  return lib;
}

struct Result {
  int rc;
  std::string output;
};

// Calls like the worker: a zero-filled buffer larger than the size passed.
Result call(const Lib& lib, const std::string& command, uint32_t size) {
  std::vector<char> buf(32768, '\0');
  int rc = lib.command(nullptr, command.c_str(), buf.data(), size);
  return {rc, std::string(buf.data())};
}

std::string q(const std::string& path) { return "\"" + path + "\" "; }

// The fixture: every kind of thing a backup meets.
void make_tree(const TempDir& t) {
  const std::string d = t / "src/data";
  arctest::make_dirs(d + "/empty folder");
  arctest::make_dirs(d + "/日本語 フォルダ");
  std::string deep = d + "/deep";
  for (int i = 0; i < 24; ++i) deep += "/level" + std::to_string(i);
  arctest::make_dirs(deep);
  arctest::write_file(deep + "/leaf.txt", "at the bottom\n");
  arctest::write_file(d + "/empty.txt", "");
  arctest::write_file(d + "/one byte", "x");
  arctest::write_file(d + "/random.bin", arctest::random_bytes(200 * 1024, 7));  // incompressible, > 64 KiB
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + " of a compressible file\r\n";
  arctest::write_file(d + "/big text.txt", text);
  arctest::write_file(d + "/日本語 フォルダ/ファイル 名.txt", "中身\r\n");
  arctest::write_file(d + "/.hidden", "hidden");
  ASSERT_EQ(::symlink("..", (d + "/loop").c_str()), 0);  // stored as a link, never walked
  arctest::write_file(t / "src/memo.txt", "memo\r\n");
  // Known times, so that restored times can be compared.
  struct timespec times[2] = {{1589577005, 0}, {1589577005, 0}};
  for (const auto& [rel, node] : arctest::snapshot(t / "src"))
    if (node.kind == 'f') ::utimensat(AT_FDCWD, (t / "src/" + rel).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

TEST(Libraries, ExportTheirTwoFunctions) {
  ASSERT_NE(zip().handle, nullptr) << ::dlerror();
  ASSERT_NE(tar().handle, nullptr) << ::dlerror();
  ASSERT_NE(zip().command, nullptr);
  ASSERT_NE(tar().command, nullptr);
  ASSERT_NE(zip().version, nullptr);
  ASSERT_NE(tar().version, nullptr);
  EXPECT_EQ(zip().version(), 100);
  EXPECT_EQ(tar().version(), 100);
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(zip().command, nullptr);
    ASSERT_NE(tar().command, nullptr);
    make_tree(t);
    arctest::make_dirs(t / "dst");
    src = arctest::snapshot(t / "src");
  }
  // The extracted copy of src/ found under `root` at the path without its root.
  void expect_same_tree(const std::string& out_root, const std::string& stored_src) {
    arctest::Tree got = arctest::snapshot(out_root + "/" + stored_src);
    EXPECT_EQ(got.size(), src.size());
    for (const auto& [rel, node] : src) {
      auto it = got.find(rel);
      if (it == got.end()) {
        ADD_FAILURE() << "missing after extraction: " << rel;
        continue;
      }
      EXPECT_EQ(it->second.kind, node.kind) << rel;
      EXPECT_TRUE(it->second.data == node.data) << "bytes differ: " << rel;
      EXPECT_EQ(it->second.mtime, node.mtime) << "time differs: " << rel;
    }
  }
  TempDir t;
  arctest::Tree src;
};

TEST_F(RoundTrip, ZipReadsBackWithUnzipAndBsdtar) {
  const std::string archive = t / "dst/20240515213005.zip";
  Result r = call(zip(), "-rq " + q(archive) + q(t / "src/data") + q(t / "src/memo.txt"), 32767);
  ASSERT_EQ(r.rc, 0) << r.output;
  EXPECT_EQ(arctest::list_dir(t / "dst"), std::vector<std::string>{"20240515213005.zip"});

  const std::string stored_src = (t / "src").substr(1);  // without its root
  arctest::make_dirs(t / "unzip");
  ASSERT_EQ(arctest::sh("cd " + arctest::quote(t / "unzip") + " && LC_ALL=C.UTF-8 unzip -q " + arctest::quote(archive)), 0);
  expect_same_tree(t / "unzip", stored_src);
  arctest::make_dirs(t / "bsdtar");
  ASSERT_EQ(arctest::sh("LC_ALL=C.UTF-8 bsdtar -xf " + arctest::quote(archive) + " -C " + arctest::quote(t / "bsdtar")), 0);
  expect_same_tree(t / "bsdtar", stored_src);

  // Names: no root, folders end in "/", empty folders present; files deflated.
  std::string names = arctest::capture("LC_ALL=C.UTF-8 unzip -Z1 " + arctest::quote(archive));
  EXPECT_EQ(names.find("\n/"), std::string::npos);
  EXPECT_EQ(names.rfind(stored_src + "/data/", 0), 0u) << names;
  EXPECT_NE(names.find(stored_src + "/data/empty folder/\n"), std::string::npos) << names;
  EXPECT_NE(names.find(stored_src + "/memo.txt\n"), std::string::npos);
  std::string verbose = arctest::capture("unzip -v " + arctest::quote(archive));
  // Every file is deflated, incompressible ones included; only folders and
  // the link are stored as they are.
  std::istringstream lines(verbose);
  int deflated = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(stored_src + "/") == std::string::npos) continue;
    bool plain_entry = line.back() == '/' || line.find("/data/loop") != std::string::npos;
    if (!plain_entry) {
      EXPECT_NE(line.find("Defl:N"), std::string::npos) << line;
      ++deflated;
    }
  }
  EXPECT_EQ(deflated, 8);
}

TEST_F(RoundTrip, TarReadsBackWithGnuTar) {
  const std::string archive = t / "dst/20240515213005.tar";
  Result r = call(tar(), "-cvf " + q(archive) + "--display-dialog=0 " + q("/") + q(t / "src/data") + q(t / "src/memo.txt"), 1000);
  ASSERT_EQ(r.rc, 0) << r.output;
  EXPECT_EQ(arctest::list_dir(t / "dst"), std::vector<std::string>{"20240515213005.tar"});
  // POSIX tar: the first header carries the ustar magic.
  EXPECT_EQ(arctest::read_file(archive).substr(257, 6), std::string("ustar\0", 6));

  arctest::make_dirs(t / "gnutar");
  ASSERT_EQ(arctest::sh("LC_ALL=C.UTF-8 tar -xf " + arctest::quote(archive) + " -C " + arctest::quote(t / "gnutar")), 0);
  expect_same_tree(t / "gnutar", (t / "src").substr(1));
}

TEST_F(RoundTrip, TarStoresPathsRelativeToTheBaseAndOutsidersWithoutRoot) {
  arctest::make_dirs(t / "outside");
  arctest::write_file(t / "outside/x.txt", "x");
  const std::string archive = t / "dst/a.tar";
  Result r = call(tar(), "-cvf " + q(archive) + "--display-dialog=0 " + q(t / "src/") + q(t / "src/memo.txt") +
                             q(t / "src/data/日本語 フォルダ") + q(t / "outside/x.txt"),
                  1000);
  ASSERT_EQ(r.rc, 0) << r.output;
  std::string names = arctest::capture("LC_ALL=C.UTF-8 tar -tf " + arctest::quote(archive));
  EXPECT_EQ(names, "memo.txt\ndata/日本語 フォルダ/\ndata/日本語 フォルダ/ファイル 名.txt\n" + (t / "outside/x.txt").substr(1) + "\n");
  // Verbose mode lists what it stored, in the same order.
  EXPECT_EQ(r.output, "a memo.txt\r\na data/日本語 フォルダ/\r\na data/日本語 フォルダ/ファイル 名.txt\r\na " +
                          (t / "outside/x.txt").substr(1));
}

// ------------------------------------------- each format, mostly failures --

struct Format {
  const char* label;
  const Lib& (*lib)();
  std::string (*command)(const std::string& archive, const std::vector<std::string>& sources);
  const char* ext;
  uint32_t size;
};

std::string zip_command(const std::string& archive, const std::vector<std::string>& sources) {
  std::string c = "-rq " + q(archive);
  for (const std::string& s : sources) c += q(s);
  return c;
}
std::string tar_command(const std::string& archive, const std::vector<std::string>& sources) {
  std::string c = "-cvf " + q(archive) + "--display-dialog=0 " + q("/");
  for (const std::string& s : sources) c += q(s);
  return c;
}

void PrintTo(const Format& f, std::ostream* os) { *os << f.label; }

const Format kFormats[] = {
    {"zip", zip, zip_command, ".zip", 32767},
    {"tar", tar, tar_command, ".tar", 1000},
};

class EachFormat : public ::testing::TestWithParam<Format> {
 protected:
  void SetUp() override {
    ASSERT_NE(GetParam().lib().command, nullptr);
    arctest::make_dirs(t / "dst");
    arctest::write_file(t / "a.txt", "aaa");
    arctest::write_file(t / "b.txt", "bbb");
  }
  Result run(const std::string& archive, const std::vector<std::string>& sources, uint32_t size = 0) {
    return call(GetParam().lib(), GetParam().command(archive, sources), size ? size : GetParam().size);
  }
  std::string archive(const char* stem = "20240515213005") { return t / "dst/" + stem + GetParam().ext; }
  // The names in an archive, as GNU tar or unzip lists them.
  std::string listing(const std::string& a) {
    return arctest::capture(std::string(GetParam().ext) == ".zip" ? "LC_ALL=C.UTF-8 unzip -Z1 " + arctest::quote(a)
                                                                   : "LC_ALL=C.UTF-8 tar -tf " + arctest::quote(a));
  }
  TempDir t;
};

TEST_P(EachFormat, SecondRunInTheSameSecondLeavesTheFirstArchiveAlone) {
  ASSERT_EQ(run(archive(), {t / "a.txt"}).rc, 0);
  const std::string first = arctest::read_file(archive());
  Result r = run(archive(), {t / "b.txt"});
  EXPECT_EQ(r.rc, ARC_E_EXISTS);
  EXPECT_NE(r.output.find("already exists"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(archive()), std::string::npos);
  EXPECT_EQ(arctest::read_file(archive()), first);
  EXPECT_EQ(arctest::list_dir(t / "dst").size(), 1u);  // no temporary file left
}

TEST_P(EachFormat, DestinationMissingOrAFile) {
  arctest::write_file(t / "plain", "p");
  for (const std::string& dest : {t / "no such folder/x" + GetParam().ext, t / "plain/x" + GetParam().ext}) {
    SCOPED_TRACE(dest);
    Result r = run(dest, {t / "a.txt"});
    EXPECT_EQ(r.rc, ARC_E_DESTINATION);
    EXPECT_EQ(r.output.rfind("ERROR: archive not written: ", 0), 0u) << r.output;
  }
  EXPECT_EQ(arctest::read_file(t / "plain"), "p");
  EXPECT_FALSE(arctest::exists(t / "no such folder"));
}

TEST_P(EachFormat, MissingSourceIsNamedAndTheRestIsArchived) {
  Result r = run(archive(), {t / "a.txt", t / "gone.txt", t / "b.txt"});
  EXPECT_EQ(r.rc, ARC_E_SOURCE_MISSING);
  EXPECT_EQ(r.output.rfind("ERROR: ", 0), 0u) << r.output;
  EXPECT_NE(r.output.find("source not found: " + t / "gone.txt"), std::string::npos) << r.output;
  std::string names = listing(archive());
  EXPECT_NE(names.find((t / "a.txt").substr(1)), std::string::npos) << names;
  EXPECT_NE(names.find((t / "b.txt").substr(1)), std::string::npos) << names;
}

// An unreadable source: root reads any file whatever its mode, so the test
// uses a file that really fails on read: /proc/self/mem gives EIO at
// offset 0 (nothing is mapped there).
TEST_P(EachFormat, UnreadableSourceIsNamedAndLeftOutTheRestIsArchived) {
  Result r = run(archive(), {t / "a.txt", "/proc/self/mem", t / "b.txt"});
  EXPECT_EQ(r.rc, ARC_E_SOURCE_UNREADABLE);
  EXPECT_NE(r.output.find("cannot read: /proc/self/mem"), std::string::npos) << r.output;
  std::string names = listing(archive());
  EXPECT_EQ(names.find("proc/self/mem"), std::string::npos) << names;
  EXPECT_NE(names.find((t / "b.txt").substr(1)), std::string::npos) << names;
  EXPECT_EQ(arctest::list_dir(t / "dst").size(), 1u);
}

TEST_P(EachFormat, NoReadableSourceWritesNoArchive) {
  Result r = run(archive(), {t / "gone1", t / "gone2"});
  EXPECT_EQ(r.rc, ARC_E_NOTHING);
  EXPECT_NE(r.output.find(t / "gone1"), std::string::npos);
  EXPECT_NE(r.output.find(t / "gone2"), std::string::npos);
  EXPECT_TRUE(arctest::list_dir(t / "dst").empty());
}

// Disk full, simulated with a file size limit: writes past it fail with
// EFBIG (SIGXFSZ ignored), as writes to a full disk fail with ENOSPC.
TEST_P(EachFormat, WriteFailureLeavesNoArchiveAndNoTemporaryFile) {
  arctest::write_file(t / "random.bin", arctest::random_bytes(256 * 1024, 3));
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 32 * 1024;
  void (*old_handler)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Result r = run(archive(), {t / "a.txt", t / "random.bin"});
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(r.rc, ARC_E_WRITE) << r.output;
  EXPECT_NE(r.output.find("file too large"), std::string::npos) << r.output;
  EXPECT_TRUE(arctest::list_dir(t / "dst").empty());
}

TEST_P(EachFormat, MalformedCommandSaysWhy) {
  Result r = call(GetParam().lib(), "-zz \"" + archive() + "\" ", GetParam().size);
  EXPECT_EQ(r.rc, ARC_E_COMMAND);
  EXPECT_EQ(r.output.rfind("ERROR: bad command: unknown mode", 0), 0u) << r.output;
  std::vector<char> buf(16, '#');
  EXPECT_EQ(GetParam().lib().command(nullptr, nullptr, buf.data(), 16), ARC_E_COMMAND);
  EXPECT_EQ(GetParam().lib().command(nullptr, "", nullptr, 0), ARC_E_COMMAND);
  EXPECT_TRUE(arctest::list_dir(t / "dst").empty());
}

// A long error text in the worker's sizes and in a tiny one: zero-terminated
// and never past the size.
TEST_P(EachFormat, LongErrorTextStaysWithinTheSize) {
  const std::string dest = t / std::string(1500, 'd') + "/x" + GetParam().ext;
  const std::string command = GetParam().command(dest, {t / "a.txt"});
  for (uint32_t size : {GetParam().size, 1000u, 10u, 1u}) {
    SCOPED_TRACE(size);
    std::vector<char> buf(40000, '#');
    int rc = GetParam().lib().command(nullptr, command.c_str(), buf.data(), size);
    EXPECT_EQ(rc, ARC_E_DESTINATION);
    size_t len = std::strlen(buf.data());
    EXPECT_LT(len, size);
    EXPECT_EQ(std::string(buf.data(), std::min<size_t>(len, 5)), std::string("ERROR").substr(0, std::min<size_t>(len, 5)));
    EXPECT_EQ(std::string(buf.begin() + size, buf.end()), std::string(buf.size() - size, '#'));
  }
}

TEST_P(EachFormat, ResponseFileInTheCurrentFolderNamesTheSources) {
  arctest::write_file(t / "resp.tmp", "\"" + t / "a.txt" + "\"\r\n\"" + t / "b.txt" + "\"\r\n");
  arctest::InDir in(t.path());
  Result r = run(archive(), {"@resp.tmp"});
  ASSERT_EQ(r.rc, 0) << r.output;
  std::string names = listing(archive());
  EXPECT_NE(names.find((t / "a.txt").substr(1)), std::string::npos) << names;
  EXPECT_NE(names.find((t / "b.txt").substr(1)), std::string::npos) << names;
}

// Backing up a folder that holds the destination: the new archive (and its
// temporary file) never end up inside themselves.
TEST_P(EachFormat, DestinationInsideASource) {
  Result r = run(archive(), {t.path()});
  ASSERT_EQ(r.rc, 0) << r.output;
  std::string names = listing(archive());
  EXPECT_NE(names.find((t / "a.txt").substr(1)), std::string::npos) << names;
  EXPECT_EQ(names.find("20240515213005"), std::string::npos) << names;
  EXPECT_EQ(arctest::list_dir(t / "dst").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Formats, EachFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
