// ZUBETO.dll as the settings window uses it: loaded by its plain name,
// dircheck_dll looked up by its plain name and called with the Win32 calling
// convention. Share roots come from Wine's own UNC folder: a folder
// <prefix>\dosdevices\unc\<server>\<share> is what \\<server>\<share> names.
// The setup of the test run (wine.sh) adds \\zubeto-fixture\readonly.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dircheck.h"
#include "win_harness.h"

using namespace winh;

namespace {

HMODULE g_lib = nullptr;
DircheckFn g_dircheck = nullptr;

class Dircheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_lib = ::LoadLibraryA("ZUBETO.dll");
    if (g_lib) g_dircheck = reinterpret_cast<DircheckFn>(::GetProcAddress(g_lib, "dircheck_dll"));
  }
  static void TearDownTestSuite() {
    if (g_lib) ::FreeLibrary(g_lib);
    g_lib = nullptr;
    g_dircheck = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(g_lib, nullptr) << "ZUBETO.dll did not load";
    ASSERT_NE(g_dircheck, nullptr) << "no export named dircheck_dll";
  }
  static int check(const std::string& path, int length = -1) {
    return g_dircheck(path.c_str(), length < 0 ? static_cast<int32_t>(path.size()) : length);
  }
};

TEST_F(Dircheck, ShareRootsAndEverythingElse) {
  Shares shares;
  if (!shares.available()) GTEST_SKIP() << "share roots are made only under Wine";
  const std::string share = shares.make("share");
  shares.make("share\\dir");
  struct Case {
    const char* name;
    std::string path;
    int length;  // -1: the path's length in bytes
    DWORD attributes;
    int expected;
  } cases[] = {
      {"share root, attributes exactly 16", share, -1, 16, 1},
      {"trailing backslash", share + "\\", -1, 16, 0},
      {"folder inside the share", share + "\\dir", -1, 16, 0},
      {"server alone", shares.root(), -1, 16, 0},
      {"unknown server", "\\\\zubeto-nosuch-server\\share", -1, INVALID_FILE_ATTRIBUTES, 0},
      // Wine keeps no read-only bit that a program sets on a folder; the
      // test run's setup made this one read-only from outside.
      {"read-only share folder", "\\\\zubeto-fixture\\readonly", -1, 17, 0},
      {"hidden share folder", shares.make("hid", FILE_ATTRIBUTE_HIDDEN), -1, 18, 0},
      {"a file where the share would be", shares.make_file("file.txt"), -1, FILE_ATTRIBUTE_ARCHIVE, 0},
      // The server's name holds this process's number: the length ends
      // right before the share's backslash, however long the number is.
      {"a length that ends before the share's backslash", share, static_cast<int>(shares.root().size()), 16, 0},
      {"plain folder, no double backslash", "C:\\windows", -1, 16, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The fixture is what the case says it is.
    EXPECT_EQ(::GetFileAttributesA(c.path.c_str()), c.attributes) << c.path;
    EXPECT_EQ(check(c.path, c.length), c.expected) << c.path;
  }
}

// In Shift-JIS the second byte of 表 is a backslash (0x95 0x5C): the scan
// counts bytes, so \\server\表 is no share root, while a name without such
// a byte is.
TEST_F(Dircheck, ShiftJisNamesAreScannedByteByByte) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page, this run has " << ::GetACP();
  Shares shares;
  if (!shares.available()) GTEST_SKIP() << "share roots are made only under Wine";
  const std::string hyo = shares.make("\x95\x5c");          // 表
  const std::string nihon = shares.make("\x93\xfa\x96\x7b");  // 日本
  ASSERT_EQ(::GetFileAttributesA(hyo.c_str()), 16u);
  ASSERT_EQ(::GetFileAttributesA(nihon.c_str()), 16u);
  EXPECT_EQ(check(hyo), 0);
  EXPECT_EQ(check(nihon), 1);
}

// The entry point lets the library load, serve other threads and unload
// again, any number of times.
struct CheckArg {
  DircheckFn fn;
  int result;
};

// A thread's start routine: stdcall on 32-bit Windows, which no lambda is.
DWORD WINAPI check_in_thread(LPVOID p) {
  auto* a = static_cast<CheckArg*>(p);
  a->result = a->fn("C:\\windows", 10);
  return 0;
}

TEST(DircheckLibrary, LoadsAndUnloadsAroundThreads) {
  for (int i = 0; i < 3; ++i) {
    HMODULE lib = ::LoadLibraryA("ZUBETO");
    ASSERT_NE(lib, nullptr);
    auto fn = reinterpret_cast<DircheckFn>(::GetProcAddress(lib, "dircheck_dll"));
    ASSERT_NE(fn, nullptr);
    CheckArg arg{fn, -1};
    HANDLE t = ::CreateThread(nullptr, 0, check_in_thread, &arg, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ::WaitForSingleObject(t, 10000);
    ::CloseHandle(t);
    EXPECT_EQ(arg.result, 0);
    EXPECT_TRUE(::FreeLibrary(lib));
  }
}

}  // namespace
