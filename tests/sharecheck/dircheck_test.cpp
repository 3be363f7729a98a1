// dircheck_dll through the built library, loaded by name as the window loads it.
// Folders literally named with backslashes, in a scratch folder, stand in for
// share roots: on POSIX "\\server\share" is one folder name.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "dircheck.h"

namespace fs = std::filesystem;

namespace {

class Dircheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lib = dlopen(ZUBETO_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    fn = reinterpret_cast<DircheckFn>(dlsym(lib, "dircheck_dll"));
    ASSERT_NE(fn, nullptr) << "dircheck_dll is not exported under its plain name";
  }
  void SetUp() override {
    char tmpl[] = "/tmp/zubeto-share-XXXXXX";
    dir = mkdtemp(tmpl);
    old = fs::current_path();
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(old);
    for (auto& e : fs::recursive_directory_iterator(dir))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir);
  }
  static int32_t check(const std::string& path, int32_t length) { return fn(path.c_str(), length); }
  static int32_t check(const std::string& path) { return check(path, static_cast<int32_t>(path.size())); }

  static inline void* lib = nullptr;
  static inline DircheckFn fn = nullptr;
  fs::path dir, old;
};

TEST_F(Dircheck, ShareRootsAndEverythingElse) {
  mkdir("\\\\server\\share", 0755);
  mkdir("\\\\server\\share\\", 0755);
  mkdir("\\\\server\\share\\dir", 0755);
  mkdir("\\\\server\\locked", 0555);
  mkdir("plain", 0755);
  std::fclose(std::fopen("\\\\server\\file", "w"));
  // 表 in Shift-JIS is 0x95 0x5C: its second byte is a backslash.
  const std::string sjis = std::string("\\\\server\\") + "\x95\x5C";
  mkdir(sjis.c_str(), 0755);

  struct {
    const char* name;
    std::string path;
    int32_t result;
  } cases[] = {
      {"share root", "\\\\server\\share", 1},
      {"trailing backslash", "\\\\server\\share\\", 0},
      {"folder below the share", "\\\\server\\share\\dir", 0},
      {"server alone does not exist", "\\\\server", 0},
      {"plain folder fails the prefix test", "plain", 0},
      {"read-only share root (attributes 17)", "\\\\server\\locked", 0},
      {"a file is no share root", "\\\\server\\file", 0},
      {"missing", "\\\\server\\none", 0},
      {"Shift-JIS trail byte counts as a backslash", sjis, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(check(c.path), c.result) << c.name;
}

TEST_F(Dircheck, LengthDecidesHowFarTheScanGoesButNeverPastTheText) {
  mkdir("\\\\server\\share", 0755);
  const std::string root = "\\\\server\\share";
  EXPECT_EQ(check(root, 14), 1);
  EXPECT_EQ(check(root, 8), 0) << "positions 2 to 7 hold no backslash";
  EXPECT_EQ(check(root, 2), 0);
  EXPECT_EQ(check(root, 0), 0);
  EXPECT_EQ(check(root, -5), 0);
  // A length far past the text: the scan stops at the terminating zero.
  // Bytes after it (here a backslash) must not be counted.
  std::string buf = root + std::string(1, '\0') + "\\\\\\";
  EXPECT_EQ(fn(buf.c_str(), 1000), 1);
}

}  // namespace
