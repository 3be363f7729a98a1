// What tar32.so keeps beyond bytes and names: the holes of sparse files
// and the extended attributes and POSIX ACLs of files and folders, each
// read back by GNU tar and bsdtar.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "archiver_api.h"
#include "fixture.h"

using arctest::TempDir;

namespace {

ArcCommandFn tar_fn() {
  static ArcCommandFn fn = [] {
    void* h = ::dlopen(ZUBETO_TAR_LIB, RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<ArcCommandFn>(::dlsym(h, "Tar")) : nullptr;
  }();
  return fn;
}

struct Result {
  int rc;
  std::string output;
};

// Archives `sources` relative to `base`, as the worker asks.
Result archive(const std::string& tar, const std::string& base, const std::vector<std::string>& sources) {
  std::string cmd = "-cvf \"" + tar + "\" --display-dialog=0 \"" + base + "\" ";
  for (const std::string& s : sources) cmd += "\"" + s + "\" ";
  std::vector<char> buf(32768, '\0');
  int rc = tar_fn()(nullptr, cmd.c_str(), buf.data(), 1000);
  return {rc, std::string(buf.data())};
}

off_t file_size(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// ------------------------------------------------------------ sparse files --

// The stretches of data of a file, as the system reports them.
std::vector<std::pair<off_t, off_t>> data_of(int fd, off_t size) {
  std::vector<std::pair<off_t, off_t>> runs;
  for (off_t pos = 0; pos < size;) {
    off_t d = ::lseek(fd, pos, SEEK_DATA);
    if (d < 0 || d >= size) break;
    off_t h = ::lseek(fd, d, SEEK_HOLE);
    if (h < 0) h = size;
    runs.push_back({d, h});
    pos = h;
  }
  return runs;
}

// Whether two files hold the same bytes, compared byte for byte wherever
// either of them has data; where both have holes both read as zeros, so
// those stretches (gigabytes, in a disk image) need not be read.
bool same_bytes(const std::string& a, const std::string& b) {
  int fa = ::open(a.c_str(), O_RDONLY), fb = ::open(b.c_str(), O_RDONLY);
  struct stat sa, sb;
  bool same = fa >= 0 && fb >= 0 && ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && sa.st_size == sb.st_size;
  if (same) {
    auto runs = data_of(fa, sa.st_size);
    auto more = data_of(fb, sb.st_size);
    runs.insert(runs.end(), more.begin(), more.end());
    std::vector<char> x(1 << 20), y(1 << 20);
    for (const auto& [from, to] : runs) {
      for (off_t at = from; same && at < to;) {
        size_t n = static_cast<size_t>(std::min<off_t>(to - at, static_cast<off_t>(x.size())));
        same = ::pread(fa, x.data(), n, at) == static_cast<ssize_t>(n) &&
               ::pread(fb, y.data(), n, at) == static_cast<ssize_t>(n) && std::memcmp(x.data(), y.data(), n) == 0;
        at += static_cast<off_t>(n);
      }
    }
  }
  if (fa >= 0) ::close(fa);
  if (fb >= 0) ::close(fb);
  return same;
}

struct Island {
  uint64_t offset;
  size_t length;
};

struct SparseCase {
  const char* label;
  uint64_t size;
  std::vector<Island> islands;  // data written at these places; holes elsewhere
};

void PrintTo(const SparseCase& c, std::ostream* os) { *os << c.label; }

class TarSparse : public ::testing::TestWithParam<SparseCase> {};

// The file is made with holes, archived, and read back by both readers byte
// for byte; the archive holds the data and the map, not the holes.
TEST_P(TarSparse, KeepsHolesAndGivesTheFileBackWhole) {
  const SparseCase& c = GetParam();
  ASSERT_NE(tar_fn(), nullptr) << ::dlerror();
  TempDir t;
  arctest::make_dirs(t / "src/d");
  const std::string file = t / "src/d/disk.img";
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.size)), 0);
  size_t data = 0;
  for (size_t i = 0; i < c.islands.size(); ++i) {
    std::string bytes = arctest::random_bytes(c.islands[i].length, static_cast<unsigned>(i + 1));
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(c.islands[i].offset)),
              static_cast<ssize_t>(bytes.size()));
    data += bytes.size();
  }
  ::close(fd);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  ASSERT_LT(static_cast<uint64_t>(st.st_blocks) * 512, c.size / 2)
      << "the test folder's file system (" << t.path() << ") keeps no holes: set TMPDIR to one that does";

  arctest::make_dirs(t / "dst");
  const std::string tar = t / "dst/20261211123456.tar";
  Result r = archive(tar, t / "src", {t / "src/d"});
  ASSERT_EQ(r.rc, 0) << r.output;
  // The data, a block of map, headers and the closing record: nothing near
  // the apparent size.
  EXPECT_LT(file_size(tar), static_cast<off_t>(data + 64 * 1024)) << "holes were stored as zeros";

  const char* readers[] = {"tar --sparse", "bsdtar"};
  for (const char* reader : readers) {
    SCOPED_TRACE(reader);
    const std::string out = t / ("out-" + std::string(reader).substr(0, 3));
    arctest::make_dirs(out);
    ASSERT_EQ(arctest::sh(std::string(reader) + " -xf " + arctest::quote(tar) + " -C " + arctest::quote(out)), 0);
    EXPECT_EQ(arctest::list_dir(out + "/d"), std::vector<std::string>{"disk.img"}) << "no stand-in names left behind";
    EXPECT_EQ(file_size(out + "/d/disk.img"), static_cast<off_t>(c.size));
    EXPECT_TRUE(same_bytes(file, out + "/d/disk.img")) << "the restored file differs";
    // Small enough to read whole: cmp agrees.
    if (c.size <= 64 * 1024 * 1024)
      EXPECT_EQ(arctest::sh("cmp -s " + arctest::quote(file) + " " + arctest::quote(out + "/d/disk.img")), 0);
    ::unlink((out + "/d/disk.img").c_str());
  }
}

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;

INSTANTIATE_TEST_SUITE_P(
    Cases, TarSparse,
    ::testing::Values(
        // A disk image: a few islands of data, the last one ending the file.
        SparseCase{"four_gib_with_islands", 4 * kGiB,
                   {{0, 70000}, {1 * kGiB + 12345, 200000}, {3 * kGiB, 4096}, {4 * kGiB - 1000, 1000}}},
        SparseCase{"ends_in_a_hole", 64 * kMiB, {{0, 100 * 1024}, {10 * kMiB, 5000}}},
        SparseCase{"starts_with_a_hole", 16 * kMiB, {{12 * kMiB, 4 * kMiB}}},
        SparseCase{"one_hole_and_nothing_else", 1 * kGiB, {}}),
    [](const auto& info) { return std::string(info.param.label); });

// A file without holes is stored as before: one ustar header under its own
// name, no extended header, its bytes as they are.
TEST(TarSparse, FileWithoutHolesIsStoredPlain) {
  ASSERT_NE(tar_fn(), nullptr);
  TempDir t;
  arctest::make_dirs(t / "src");
  const std::string bytes = arctest::random_bytes(300000, 9);
  arctest::write_file(t / "src/plain.bin", bytes);
  arctest::make_dirs(t / "dst");
  const std::string tar = t / "dst/a.tar";
  Result r = archive(tar, t / "src", {t / "src/plain.bin"});
  ASSERT_EQ(r.rc, 0) << r.output;
  const std::string a = arctest::read_file(tar);
  ASSERT_GT(a.size(), 512 + bytes.size());
  EXPECT_EQ(a.substr(0, 10), std::string("plain.bin\0", 10));
  EXPECT_EQ(a[156], '0');
  EXPECT_EQ(a.substr(512, bytes.size()), bytes);
}

// ------------------------------------------- extended attributes and ACLs --

// Fails the test, with the reason, when the test folder's file system
// keeps no user attributes or ACLs: a silent skip would hide the feature.
void require_attributes(const std::string& dir) {
  const std::string probe = dir + "/probe";
  arctest::write_file(probe, "");
  ASSERT_EQ(::setxattr(probe.c_str(), "user.probe", "1", 1, 0), 0)
      << "the file system of " << dir << " keeps no user extended attributes (" << std::strerror(errno)
      << "): set TMPDIR to one that does";
  ASSERT_EQ(arctest::sh("setfacl -m u:4321:r " + arctest::quote(probe)), 0)
      << "setfacl (package acl) is missing, or " << dir << " keeps no ACLs";
  ::unlink(probe.c_str());
}

// What getfattr and getfacl say about these entries of a tree, each
// file's attributes sorted (their listing order is the file system's),
// run from inside the tree so that two copies compare equal. ACLs by
// number; attributes of the user namespace, the ones both readers restore.
std::string attributes_of(const std::string& root, const std::vector<std::string>& entries) {
  std::string all;
  for (const std::string& e : entries) {
    const std::string q = arctest::quote(e);
    all += arctest::capture("cd " + arctest::quote(root) + " && getfattr -d -m '^user\\.' -e hex " + q +
                            " 2>&1 | sort && getfacl -n " + q + " 2>&1");
  }
  return all;
}

TEST(TarAttributes, XattrsAndAclsComeBackWithBothReaders) {
  ASSERT_NE(tar_fn(), nullptr);
  TempDir t;
  ASSERT_NO_FATAL_FAILURE(require_attributes(t.path()));
  const std::string s = t / "src/tree";
  arctest::make_dirs(s + "/folder");
  arctest::write_file(s + "/plain.txt", "no attributes\n");
  arctest::write_file(s + "/tagged.txt", "tagged\n");
  auto sh = [](const std::string& cmd) { ASSERT_EQ(arctest::sh(cmd), 0) << cmd; };
  const std::string tagged = arctest::quote(s + "/tagged.txt"), folder = arctest::quote(s + "/folder");
  sh("setfattr -n user.comment -v 'kept by the backup' " + tagged);
  sh("setfattr -n user.binary -v 0x00ff0a3d25 " + tagged);  // zero, newline, "=" and "%"
  sh("setfattr -n 'user.100% sure' -v x " + tagged);
  sh("setfattr -n user.empty " + tagged);
  sh("setfattr -n user.folder -v yes " + folder);
  sh("setfacl -m u:4321:r--,g:765:rw- " + tagged);
  sh("setfacl -m u:4321:rwx " + folder);
  sh("setfacl -d -m u:4321:r-x,g:765:r-- " + folder);
  // Made after the folder's default ACL, so it has one of its own by
  // inheritance, whichever moment a reader sets the folder's.
  arctest::write_file(s + "/folder/inner.txt", "inner\n");
  // security.* is kept too, trusted.* is not; only root may set either
  // (the suite runs as root in CI).
  const bool root = ::geteuid() == 0;
  if (root) {
    sh("setfattr -n security.zubeto -v kept " + tagged);
    sh("setfattr -n trusted.zubeto -v dropped " + tagged);
  }
  const std::vector<std::string> entries = {".", "plain.txt", "tagged.txt", "folder", "folder/inner.txt"};
  const std::string before = attributes_of(s, entries);
  ASSERT_NE(before.find("user.comment"), std::string::npos) << before;
  ASSERT_NE(before.find("default:user:4321:r-x"), std::string::npos) << before;

  arctest::make_dirs(t / "dst");
  const std::string tar = t / "dst/a.tar";
  Result r = archive(tar, t / "src", {s});
  ASSERT_EQ(r.rc, 0) << r.output;

  // The ACLs are kept once, as text; their raw system attributes are not
  // repeated beside them.
  const std::string a = arctest::read_file(tar);
  EXPECT_NE(a.find("SCHILY.acl.access=user::rw-\nuser:4321:r--\ngroup::r--\ngroup:765:rw-\nmask::rw-\nother::r--\n"),
            std::string::npos);
  EXPECT_NE(a.find("SCHILY.acl.default=user::rwx\nuser:4321:r-x\ngroup::r-x\ngroup:765:r--\nmask::r-x\nother::r-x\n"),
            std::string::npos);
  EXPECT_EQ(a.find("posix_acl"), std::string::npos);
  if (root) {
    EXPECT_NE(a.find(" SCHILY.xattr.security.zubeto=kept\n"), std::string::npos);
    EXPECT_EQ(a.find("trusted."), std::string::npos);
  }

  const char* readers[] = {"tar --xattrs --xattrs-include='*' --acls", "bsdtar --xattrs --acls"};
  for (const char* reader : readers) {
    SCOPED_TRACE(reader);
    const std::string out = t / ("out-" + std::string(reader).substr(0, 3));
    arctest::make_dirs(out);
    ASSERT_EQ(arctest::sh(std::string(reader) + " -xf " + arctest::quote(tar) + " -C " + arctest::quote(out)), 0);
    EXPECT_EQ(attributes_of(out + "/tree", entries), before);
    EXPECT_EQ(arctest::read_file(out + "/tree/tagged.txt"), "tagged\n");
  }
}

// Entries without attributes get no extended header for them: a file and
// a folder without any stay plain ustar entries.
TEST(TarAttributes, NoAttributesNoExtendedHeader) {
  ASSERT_NE(tar_fn(), nullptr);
  TempDir t;
  arctest::make_dirs(t / "src/f");
  arctest::write_file(t / "src/f/x.txt", "x");
  arctest::make_dirs(t / "dst");
  Result r = archive(t / "dst/a.tar", t / "src", {t / "src/f"});
  ASSERT_EQ(r.rc, 0) << r.output;
  const std::string a = arctest::read_file(t / "dst/a.tar");
  EXPECT_EQ(a.substr(0, 3), std::string("f/\0", 3));
  EXPECT_EQ(a.substr(512, 9), std::string("f/x.txt\0\0", 9));
  EXPECT_EQ(a.find("PaxHeaders"), std::string::npos);
}

}  // namespace
