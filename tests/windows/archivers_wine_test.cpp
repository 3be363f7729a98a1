// Our archiver DLLs under Wine, called as the worker calls them: the cases
// of the archivers' fault matrix that exist on Windows, for every format,
// and the Windows path rules of their shared core.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arc/codes.h"
#include "arc/driver.h"
#include "arc/output_file.h"
#include "arc/output_text.h"
#include "platform/files.h"
#include "win_harness.h"

using namespace winh;

namespace {

typedef int(__stdcall* CommandFn)(void*, const char*, char*, uint32_t);
typedef uint16_t(__stdcall* VersionFn)();

struct Format {
  const char* dll;
  const char* function;
  const char* ext;
};

const Format kFormats[] = {
    {"UNLHA32.DLL", "Unlha", "lzh"},
    {"ZIP32J.DLL", "Zip", "zip"},
    {"CAB32.DLL", "Cab", "cab"},
    {"TAR32.DLL", "Tar", "tar"},
};

// The command text the worker builds for one source folder.
std::string command(const Format& f, const std::string& archive, const std::string& base, const std::string& src) {
  const std::string a = "\"" + archive + "\" ";
  switch (f.ext[0]) {
    case 'l': return "a " + a + "-x1r2a2 -n1 \"" + src + "\" ";
    case 'z': return "-rq " + a + "\"" + src + "\" ";
    case 'c': return "-a -ri " + a + "\"" + src + "\\*.*\" ";
    default: return "-cvf " + a + "--display-dialog=0 \"" + base + "\" \"" + src + "\" ";
  }
}

struct Call {
  int code = -1;
  std::string output;
};

class EachFormat : public ::testing::TestWithParam<Format> {
 protected:
  Scratch scratch;
  HMODULE lib = nullptr;
  CommandFn fn = nullptr;

  void SetUp() override {
    lib = ::LoadLibraryA((here() + "\\" + GetParam().dll).c_str());
    ASSERT_NE(lib, nullptr) << GetParam().dll << " error " << ::GetLastError();
    fn = reinterpret_cast<CommandFn>(::GetProcAddress(lib, GetParam().function));
    ASSERT_NE(fn, nullptr);
    auto version = reinterpret_cast<VersionFn>(::GetProcAddress(lib, (std::string(GetParam().function) + "GetVersion").c_str()));
    ASSERT_NE(version, nullptr);
    EXPECT_GT(version(), 0);
  }
  void TearDown() override {
    if (lib) ::FreeLibrary(lib);
  }

  std::string src() const { return scratch.root() + "\\src"; }
  std::string dest() const { return scratch.root() + "\\dest"; }
  std::string archive() const { return dest() + "\\20240515213005." + GetParam().ext; }

  void make_tree() {
    ::CreateDirectoryA(src().c_str(), nullptr);
    ::CreateDirectoryA(dest().c_str(), nullptr);
    write_file(src() + "\\a.txt", "first\r\n");
    write_file(src() + "\\locked.txt", "held open\r\n");
    write_file(src() + "\\z.txt", "last\r\n");
  }

  Call call(const std::string& text) {
    std::vector<char> out(32768, '\0');
    Call c;
    c.code = fn(nullptr, text.c_str(), out.data(), 32767);
    c.output = out.data();
    return c;
  }

  // The names in the destination folder.
  std::vector<std::string> dest_names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA d;
    HANDLE h = ::FindFirstFileA((dest() + "\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      std::string n = d.cFileName;
      if (n != "." && n != "..") names.push_back(n);
    } while (::FindNextFileA(h, &d));
    ::FindClose(h);
    return names;
  }
};

std::string hex(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%04X", v);
  return b;
}

// Another program holds the file open and shares it with nobody: the file
// is named as unreadable, the archive holds the rest and no temporary file
// stays behind.
TEST_P(EachFormat, FileHeldOpenWithoutSharingIsNamedAndTheRestKept) {
  make_tree();
  HANDLE held = ::CreateFileA((src() + "\\locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Call c = call(command(GetParam(), archive(), scratch.root(), src()));
  ::CloseHandle(held);
  EXPECT_EQ(hex(c.code), hex(0x8011)) << c.output;
  EXPECT_NE(c.output.find(src() + "\\locked.txt"), std::string::npos) << c.output;
  EXPECT_EQ(dest_names(), std::vector<std::string>{"20240515213005." + std::string(GetParam().ext)});
  if (std::string(GetParam().ext) == "tar") {  // TAR lists what it stored
    EXPECT_NE(c.output.find("a src/a.txt"), std::string::npos) << c.output;
    EXPECT_NE(c.output.find("a src/z.txt"), std::string::npos) << c.output;
    EXPECT_EQ(c.output.find("a src/locked.txt"), std::string::npos) << c.output;
  }
}

// A source that is gone by the time the archiver looks: named, the rest kept.
TEST_P(EachFormat, SourceGoneIsNamedAndTheRestKept) {
  make_tree();
  ::DeleteFileA((src() + "\\locked.txt").c_str());
  std::string text = command(GetParam(), archive(), scratch.root(), src());
  // A second source that does not exist, of the same kind as the first.
  std::string gone = scratch.root() + "\\gone";
  text += std::string(GetParam().ext) == "cab" ? "\"" + gone + "\\*.*\"" : "\"" + gone + "\"";
  Call c = call(text);
  EXPECT_EQ(hex(c.code), hex(0x8010)) << c.output;
  EXPECT_NE(c.output.find(gone), std::string::npos) << c.output;
  EXPECT_TRUE(exists(archive()));
  EXPECT_EQ(dest_names().size(), 1u);
}

// An archive of the same name (two runs within one second) is never
// replaced: 8004, its bytes as they were, nothing else left behind.
TEST_P(EachFormat, ExistingArchiveIsLeftUntouched) {
  make_tree();
  write_file(archive(), "the first run's archive");
  Call c = call(command(GetParam(), archive(), scratch.root(), src()));
  EXPECT_EQ(hex(c.code), hex(0x8004)) << c.output;
  EXPECT_EQ(read_file(archive()), "the first run's archive");
  EXPECT_EQ(dest_names().size(), 1u);
}

// A destination folder that does not exist is not made: 8003.
TEST_P(EachFormat, MissingDestinationWritesNothing) {
  make_tree();
  std::string gone = scratch.root() + "\\no such folder";
  Call c = call(command(GetParam(), gone + "\\20240515213005." + GetParam().ext, scratch.root(), src()));
  EXPECT_EQ(hex(c.code), hex(0x8003)) << c.output;
  EXPECT_NE(c.output.find(gone), std::string::npos) << c.output;
  EXPECT_FALSE(exists(gone));
}

INSTANTIATE_TEST_SUITE_P(Dlls, EachFormat, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& i) { return std::string(i.param.ext); });

// TAR names what it stores: the names of a tree given with a drive letter,
// "/" as well as "\", a trailing separator, and (under code page 932)
// Japanese names whose second byte is a backslash.
TEST(TarNames, ComeFromTheWindowsPathRules) {
  Scratch scratch;
  HMODULE lib = ::LoadLibraryA((here() + "\\TAR32.DLL").c_str());
  ASSERT_NE(lib, nullptr);
  auto fn = reinterpret_cast<CommandFn>(::GetProcAddress(lib, "Tar"));
  const std::string jp = acp_exact(L"\u8868\u30bd\u5341");  // 表ソ十: 95 5C, 83 5C, 8F 5C
  const std::string root = scratch.root();
  ::CreateDirectoryA((root + "\\src").c_str(), nullptr);
  ::CreateDirectoryA((root + "\\src\\sub dir").c_str(), nullptr);
  write_file(root + "\\src\\sub dir\\x.txt", "x");
  if (!jp.empty()) {
    ::CreateDirectoryA((root + "\\src\\" + jp).c_str(), nullptr);
    write_file(root + "\\src\\" + jp + "\\" + jp + ".txt", "jp");
  }
  std::string mixed = root + "/src/";  // "/" and a trailing separator
  std::vector<char> out(32768, '\0');
  std::string text = "-cvf \"" + root + "\\t.tar\" --display-dialog=0 \"" + root + "\" \"" + mixed + "\"";
  int code = fn(nullptr, text.c_str(), out.data(), 32767);
  std::string output = out.data();
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("a src/\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("a src/sub dir/x.txt"), std::string::npos) << output;
  if (!jp.empty()) EXPECT_NE(output.find("a src/" + jp + "/" + jp + ".txt"), std::string::npos) << output;
  ::FreeLibrary(lib);
}

// ------------------------------------------ names beyond the code page --

// Names of every kind a Windows folder holds: some the ANSI code page
// spells, some it lacks (which ones depends on the code page of the run),
// and Japanese ones whose second Shift-JIS byte is a backslash.
const wchar_t* const kWideNames[] = {
    L"plain.txt",
    L"\u00e9.txt",                  // é: in 1252, not in 932
    L"\u00fc und \u20ac.txt",       // ü and €: in 1252, not in 932
    L"emoji \U0001F600.txt",        // in no ANSI code page
    L"\u65e5\u672c\u8a9e.txt",      // 日本語: in 932, not in 1252
    L"\u8868\u30bd\u5341\u80fd.txt",  // 表ソ十能: each ends in the byte 0x5C in 932
};

std::string utf8_of(const std::wstring& w) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// The wide text in the ANSI code page, or "" when the code page lacks one
// of its characters. No look-alike counts ("e" for "é" under code page
// 932): a name spelled so names another file, or none.
std::string acp_strict(const std::wstring& w) {
  BOOL lossy = FALSE;
  const int wn = static_cast<int>(w.size());
  int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wn, nullptr, 0, nullptr, &lossy);
  if (lossy || n <= 0) return {};
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wn, s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring wide_of(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// A folder of files named by kWideNames, each holding its name in UTF-8;
// removed with wide calls (the harness's ANSI ones cannot reach them all).
class WideTree {
 public:
  explicit WideTree(std::wstring folder) : folder_(std::move(folder)) {
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    for (const wchar_t* n : kWideNames) {
      HANDLE h = ::CreateFileW((folder_ + L"\\" + n).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      EXPECT_NE(h, INVALID_HANDLE_VALUE) << utf8_of(n);
      const std::string bytes = utf8_of(n);
      DWORD done = 0;
      ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
      ::CloseHandle(h);
    }
  }
  ~WideTree() {
    for (const wchar_t* n : kWideNames) ::DeleteFileW((folder_ + L"\\" + n).c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }

 private:
  std::wstring folder_;
};

// While the archivers' names are UTF-8 the walk lists every name the
// folder holds and opens each by it; in the ANSI code page (as the rest
// of the system names files) a name the code page lacks is told as such,
// never opened by a look-alike.
TEST(UnicodeNames, ListedAndOpenedInUtf8EveryOneInTheAnsiCodePageOnlyWhatItSpells) {
  Scratch scratch;
  const std::string src = scratch.root() + "\\src";  // ASCII
  WideTree tree(wide_of(src));
  for (bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8 ? "UTF-8 names" : "ANSI names");
    const bool before = platform::set_utf8_names(utf8);
    std::vector<platform::FolderChild> children;
    platform::SysError err;
    ASSERT_TRUE(platform::list_folder(src, false, children, err)) << err.text();
    for (const wchar_t* n : kWideNames) {
      const std::string want = utf8 ? utf8_of(n) : acp_strict(n);
      SCOPED_TRACE(utf8_of(n));
      if (want.empty()) {  // the ANSI code page lacks a character of it
        bool told = false;
        for (const auto& c : children)
          told = told || (c.err.code == ERROR_NO_UNICODE_TRANSLATION && c.err.text().find("ANSI") != std::string::npos);
        EXPECT_TRUE(told);
        continue;
      }
      const platform::FolderChild* found = nullptr;
      for (const auto& c : children)
        if (c.name == want) found = &c;
      ASSERT_NE(found, nullptr);
      EXPECT_FALSE(found->err.failed()) << found->err.text();
      platform::InputFile file;
      platform::FileFacts facts;
      ASSERT_TRUE(file.open(platform::join_path(src, want), false, facts, err)) << err.text();
      char buf[64] = {};
      long long got = file.read(buf, sizeof buf, err);
      EXPECT_EQ(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0), utf8_of(n));
    }
    platform::set_utf8_names(before);
  }
}

// Texts between the caller and the archivers: the command comes in the
// ANSI code page, the output text goes back in it, with "?" for what the
// code page lacks (never a look-alike, never longer).
TEST(UnicodeNames, TextsToAndFromTheAnsiCodePage) {
  const bool before = platform::set_utf8_names(true);
  for (const wchar_t* n : kWideNames) {
    SCOPED_TRACE(utf8_of(n));
    const std::string utf8 = utf8_of(n), ansi = acp_strict(n);
    const std::string back = platform::to_ansi(utf8);
    EXPECT_LE(back.size(), utf8.size());
    if (!ansi.empty()) {
      EXPECT_EQ(back, ansi);
      EXPECT_EQ(platform::from_ansi(ansi), utf8);
    } else {
      EXPECT_NE(back.find('?'), std::string::npos) << back;
    }
  }
  platform::set_utf8_names(false);
  EXPECT_EQ(platform::to_ansi("\xC3\xA9"), "\xC3\xA9");  // unchanged while names are ANSI
  platform::set_utf8_names(before);
}

// Each of our DLLs, given only the ANSI path of the source folder (as the
// worker passes it), archives every name below it: the run ends with 0
// and names nothing as vanished, under either code page. (The names in the
// archives are read back by Linux readers in unicode_names.sh.)
TEST(UnicodeNames, EveryDllArchivesEveryNameBelowItsSource) {
  Scratch scratch;
  const std::string src = scratch.root() + "\\src";
  WideTree tree(wide_of(src));
  ::CreateDirectoryA((scratch.root() + "\\dest").c_str(), nullptr);
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.dll);
    HMODULE lib = ::LoadLibraryA((here() + "\\" + f.dll).c_str());
    ASSERT_NE(lib, nullptr);
    auto fn = reinterpret_cast<CommandFn>(::GetProcAddress(lib, f.function));
    ASSERT_NE(fn, nullptr);
    const std::string archive = scratch.root() + "\\dest\\20240515213005." + f.ext;
    std::vector<char> out(32768, '\0');
    int code = fn(nullptr, command(f, archive, scratch.root(), src).c_str(), out.data(), 32767);
    const std::string output = out.data();
    EXPECT_EQ(hex(code), hex(0)) << output;
    EXPECT_EQ(output.find("vanished"), std::string::npos) << output;
    EXPECT_EQ(output.find("code page lacks"), std::string::npos) << output;
    EXPECT_TRUE(exists(archive));
    if (f.ext[0] == 't') {
      // TAR lists what it stored, in the ANSI code page: "?" where it lacks a character.
      EXPECT_NE(output.find("a src/" + acp("plain.txt")), std::string::npos) << output;
      for (const wchar_t* n : kWideNames)
        if (!acp_strict(n).empty()) EXPECT_NE(output.find("a src/" + acp_strict(n)), std::string::npos) << output;
    }
    ::DeleteFileA(archive.c_str());
    ::FreeLibrary(lib);
  }
}

// ------------------------------------------- the shared core on Windows --

using zubeto::arc::Entry;
using zubeto::arc::EntryWriter;
using zubeto::arc::FileContent;
using zubeto::arc::OutputFile;
using zubeto::arc::Status;

// Another run took the archive's name while this one wrote: the move to
// the name refuses to replace it.
TEST(OutputFileOnWindows, AnArchiveThatAppearsMeanwhileIsNeverReplaced) {
  Scratch scratch;
  const std::string name = scratch.work() + "\\a.zip";
  OutputFile out;
  ASSERT_TRUE(out.create(name).ok());
  EXPECT_FALSE(exists(name));  // not before it is complete
  ASSERT_TRUE(out.write_all("new", 3).ok());
  write_file(name, "first run");
  Status s = out.commit();
  EXPECT_EQ(hex(s.code), hex(ARC_E_EXISTS)) << s.text;
  EXPECT_EQ(read_file(name), "first run");
  WIN32_FIND_DATAA d;
  HANDLE h = ::FindFirstFileA((scratch.work() + "\\*.part").c_str(), &d);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "a temporary file stayed: " << d.cFileName;
  if (h != INVALID_HANDLE_VALUE) ::FindClose(h);
}

// A writer that, while it stores the first file, does to the others what
// another program might: deletes one, cuts one short. Both were walked
// before.
class MeddlingWriter : public EntryWriter {
 public:
  MeddlingWriter(std::string gone, std::string cut) : gone_(std::move(gone)), cut_(std::move(cut)) {}
  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = &out;
    return {};
  }
  Status add(const Entry& e, FileContent* content) override {
    std::string data;
    if (content) {
      char buf[4096];
      while (size_t n = content->read(buf, sizeof buf)) {
        data.append(buf, n);
        if (!meddled_ && data.size() >= 100000) {  // part way through the first file, past its read-ahead
          meddled_ = true;
          ::DeleteFileA(gone_.c_str());
          HANDLE h = ::CreateFileA(cut_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, TRUNCATE_EXISTING, 0, nullptr);
          if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        }
      }
    }
    if (content && content->incomplete()) return {};  // left out, as every writer leaves it out
    return out_->write_all(data.data(), data.size());
  }
  Status finish() override { return {}; }

 private:
  std::string gone_, cut_;
  bool meddled_ = false;
  OutputFile* out_ = nullptr;
};

// The first file is cut short while it is read (it cannot be stored
// whole, so it is left out), the second is gone before it is opened: both
// are named, the archive holds everything else and is kept.
TEST(SharedRunOnWindows, FilesCutOrGonePartWayAreNamedAndTheArchiveKept) {
  Scratch scratch;
  const std::string src = scratch.root() + "\\src";
  ::CreateDirectoryA(src.c_str(), nullptr);
  write_file(src + "\\a big.bin", std::string(300000, 'a'));
  write_file(src + "\\b gone.txt", "gone");
  write_file(src + "\\c kept.txt", "kept");
  const std::string archive = scratch.work() + "\\x.zip";
  std::vector<char> out(32768, '\0');
  int code = zubeto::arc::run_archiver(
      zubeto::arc::FormatId::Zip, ("-rq \"" + archive + "\" \"" + src + "\"").c_str(), out.data(), 32767,
      [&] { return std::make_unique<MeddlingWriter>(src + "\\b gone.txt", src + "\\a big.bin"); });
  std::string output = out.data();
  EXPECT_EQ(hex(code), hex(ARC_E_SOURCE_UNREADABLE)) << output;
  EXPECT_NE(output.find("left out: " + src + "\\a big.bin (it shrank while read"), std::string::npos) << output;
  EXPECT_NE(output.find("vanished before it was read: " + src + "\\b gone.txt"), std::string::npos) << output;
  std::string stored = read_file(archive);
  EXPECT_EQ(stored, "kept");  // nothing of the cut file
}

// A temporary left by a run that was killed goes; one another run still
// writes (held open as our output file holds it) stays.
TEST(SharedRunOnWindows, StaleTemporaryGoesOneInUseStays) {
  Scratch scratch;
  const std::string dest = scratch.work();
  const std::string stale = dest + "\\20240515213004.zip.abcdefgh.part";
  const std::string busy = dest + "\\20240515213004.zip.ijklmnop.part";
  write_file(stale, "left by a killed run");
  HANDLE h = ::CreateFileA(busy.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  write_file(scratch.root() + "\\a.txt", "a");
  HMODULE lib = ::LoadLibraryA((here() + "\\ZIP32J.DLL").c_str());
  ASSERT_NE(lib, nullptr);
  auto fn = reinterpret_cast<CommandFn>(::GetProcAddress(lib, "Zip"));
  std::vector<char> out(32768, '\0');
  std::string text = "-rq \"" + dest + "\\20240515213005.zip\" \"" + scratch.root() + "\\a.txt\"";
  int code = fn(nullptr, text.c_str(), out.data(), 32767);
  ::CloseHandle(h);
  ::FreeLibrary(lib);
  EXPECT_EQ(code, 0) << out.data();
  EXPECT_FALSE(exists(stale));
  EXPECT_TRUE(exists(busy));
  EXPECT_TRUE(exists(dest + "\\20240515213005.zip"));
}

// An output text cut to the caller's size never ends in the first byte of
// a double-byte character (which would swallow whatever the worker logs
// next).
TEST(OutputTextOnWindows, ACutNeverSplitsADoubleByteCharacter) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page";
  const std::string text = "ab\x95\x5c" "cd";  // "ab", 表, "cd": no line break to cut at
  struct Case {
    uint32_t size;
    const char* want;
  } cases[] = {{3, "ab"}, {4, "ab"}, {5, "ab\x95\x5c"}, {6, "ab\x95\x5c" "c"}};
  for (const Case& c : cases) {
    char out[16];
    std::memset(out, '#', sizeof out);
    zubeto::arc::write_output(text, out, c.size);
    EXPECT_EQ(std::string(out), c.want) << "size " << c.size;
  }
}

// The path rules on their own, as the shared core uses them.
struct PartsCase {
  const char* path;
  std::vector<std::string> parts;
  const char* folder;
};

TEST(PathRules, RootsAndSeparators) {
  const PartsCase cases[] = {
      {"C:\\data\\a.txt", {"data", "a.txt"}, "C:\\data"},
      {"C:\\a.txt", {"a.txt"}, "C:\\"},
      {"C:a.txt", {"a.txt"}, "C:"},
      {"\\\\server\\share\\dir\\a.txt", {"dir", "a.txt"}, "\\\\server\\share\\dir"},
      {"\\\\server\\share\\a.txt", {"a.txt"}, "\\\\server\\share\\"},
      {"\\\\?\\C:\\long\\a.txt", {"long", "a.txt"}, "\\\\?\\C:\\long"},
      {"\\\\?\\UNC\\server\\share\\a.txt", {"a.txt"}, "\\\\?\\UNC\\server\\share\\"},
      {"C:/data//sub/", {"data", "sub"}, "C:/data//sub"},
      {"\\top\\a.txt", {"top", "a.txt"}, "\\top"},
      {"a.txt", {"a.txt"}, "."},
  };
  for (const PartsCase& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<std::string> got;
    for (std::string_view p : platform::path_parts(c.path)) got.emplace_back(p);
    EXPECT_EQ(got, c.parts);
    EXPECT_EQ(platform::folder_of(c.path), c.folder);
  }
}

// Under code page 932 a backslash that is the second byte of a character
// separates nothing.
TEST(PathRules, SecondByteOfADoubleByteCharacterIsNoSeparator) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page";
  const std::string hyo = "\x95\x5c", so = "\x83\x5c";  // 表, ソ
  const std::string path = "C:\\" + hyo + "\\" + so;
  std::vector<std::string> got;
  for (std::string_view p : platform::path_parts(path)) got.emplace_back(p);
  EXPECT_EQ(got, (std::vector<std::string>{hyo, so}));
  EXPECT_EQ(platform::folder_of(path), "C:\\" + hyo);
  EXPECT_FALSE(platform::ends_with_separator("C:\\" + hyo));
  EXPECT_TRUE(platform::ends_with_separator("C:\\" + hyo + "\\"));
  EXPECT_FALSE(platform::is_separator_at(hyo, 1));
}

}  // namespace
