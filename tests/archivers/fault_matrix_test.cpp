// The fault matrix: every archiver library held to the same promises, one
// test body over a table of faults, run for each of the four formats.
//
// Each run goes through the built library in a process of its own
// (arc_call), as the worker calls it, so that a case can run it as an
// unprivileged user (setpriv as nobody when the suite runs as root), stop
// it with a signal, kill it, or give it a file size limit. Archives are
// read back with bsdtar, which reads all four formats, and for names that
// are not UTF-8 also with 7-Zip and each format's own reader.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "arc/codes.h"
#include "fixture.h"

using arctest::TempDir;

namespace {

struct Format {
  const char* label;
  const char* lib;
  const char* function;
  const char* ext;
  uint32_t size;  // the output size the worker passes
  int walks = 1;  // CAB counts its files in a walk before the one that adds them
};

const Format kFormats[] = {
    {"LZH", ZUBETO_LZH_LIB, "Unlha", "lzh", 32767},
    {"ZIP", ZUBETO_ZIP_LIB, "Zip", "zip", 32767},
    {"CAB", ZUBETO_CAB_LIB, "Cab", "cab", 32767, 2},
    {"TAR", ZUBETO_TAR_LIB, "Tar", "tar", 1000},
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.label; }

struct Source {
  std::string path;
  bool folder = false;  // CAB names a folder as "<folder>/*.*"
};

// How a case runs the library.
enum class How {
  Plain,
  AsNobody,         // needs a user for whom mode 000 means unreadable
  Signal,           // `signal` is sent once the temporary appears
  KillThenRerun,    // SIGKILL part way, then a second run in that folder
  FileSizeLimit,    // writes fail past 64 KiB, as on a full disk
  ReadFault,        // reads of `victim` fail (EIO) or end once `fault_at` bytes of it were read
  SwapAtOpen,       // `swap` happens when the library first opens `swap.when` (swap_shim)
};

// A path swapped for a link or another file at a fixed point of the run.
struct Swap {
  std::string when;  // the name part whose first opening starts the swap
  std::string path;  // renamed away
  std::string to;    // link: the link's target; file: the file put in its place
  std::string as;    // "link", "file" or "remove" (`path` only goes)
  // `when` names a folder, which every walk of the run opens: the swap
  // waits for the opening by the walk that adds.
  bool folder = false;
};

struct CaseInput {
  std::vector<Source> sources;
  std::string response;  // when set: these lines go into a response file named by "@"
  std::string victim;
  uint32_t size = 0;     // output size, 0: the format's
  const char* fault = "eio";  // ReadFault: "eio" or "end"
  uint64_t fault_at = 0;
  Swap swap;
};

struct Fault {
  const char* label;
  How how;
  std::function<void(const TempDir&, CaseInput&)> prepare;
  int code = 0;                      // expected return; -1: killed by `signal`
  bool archive = false;              // an archive exists afterwards
  std::vector<std::string> mention = {};  // in the output text ("$T" = the test folder)
  std::vector<std::string> kept = {};     // contents extracted from the archive
  std::vector<std::string> lost = {};     // contents that must not be there
  std::set<std::string> only = {};        // formats the case applies to (empty: all)
  int signal = 0;
  // Formats whose own entry writer must still change for this case, with
  // the reason: skipped visibly until then.
  std::map<std::string, std::string> pending = {};
  // When set: every reader of the format extracts exactly this many files,
  // each under a name of its own -- ignoring letter case for LZH and CAB,
  // whose readers on Windows ignore it.
  size_t files = 0;
  // Texts in the output for one format only (format label -> texts).
  std::map<std::string, std::vector<std::string>> mention_in = {};
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.label; }

const std::string kStamp = "20240515213005";

void fifo(const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }

void socket_file(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_un a {};
  a.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof a.sun_path);
  strcpy(a.sun_path, path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a), 0);
  ::close(fd);
}

void file(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  arctest::make_dirs(path.substr(0, path.rfind('/')));
  arctest::write_file(path, bytes);
  ::chmod(path.c_str(), mode);
}

std::string big_random() {
  static const std::string bytes = arctest::random_bytes(24 << 20, 11);
  return bytes;
}

// Text that compresses well, `n` bytes of numbered lines.
std::string text_lines(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i) + " of a text that compresses well\n";
  s.resize(n);
  return s;
}

// A run long enough to be stopped part way.
void big_tree(const TempDir& t, CaseInput& s) {
  file(t / "src/big.bin", big_random());
  s.sources = {{t / "src", true}};
}

// A source with a folder "sub" holding "shadow", and outside the source a
// folder "secret" holding a "shadow" of its own that no archive may hold.
void tree_with_a_secret_beside(const TempDir& t, CaseInput& s) {
  file(t / "src/a.txt", "alpha");
  file(t / "src/sub/shadow", "harmless");
  file(t / "src/z.txt", "zulu");
  file(t / "secret/shadow", "SECRET");
  s.sources = {{t / "src", true}};
}

const std::vector<Fault>& faults() {
  static const std::vector<Fault> table = {
      {"unreadable_file_is_named_and_the_rest_kept", How::AsNobody,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         file(t / "src/u.txt", "secret", 0);
         file(t / "src/z.txt", "zulu");
         s.sources = {{t / "src", true}};
       },
       ARC_E_SOURCE_UNREADABLE, true, {"$T/src/u.txt"}, {"alpha", "zulu"}, {"secret"}},
      {"sole_unreadable_source_is_nothing_archived", How::AsNobody,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/u.txt", "secret", 0);
         s.sources = {{t / "src/u.txt"}};
       },
       ARC_E_NOTHING, false, {"nothing archived", "$T/src/u.txt"}},
      {"file_gone_part_way_is_named_and_the_rest_kept", How::SwapAtOpen,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.bin", "first");
         file(t / "src/g.txt", "gone");
         file(t / "src/z.txt", "zulu");
         s.sources = {{t / "src", true}};
         s.swap = {"a.bin", t / "src/g.txt", "", "remove"};  // once listed, g.txt goes as a.bin is read
       },
       ARC_E_SOURCE_MISSING, true, {"$T/src/g.txt"}, {"zulu"}, {"gone"}},
      {"same_names_from_two_folders_are_both_kept", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "a/d1/f.txt", "one");
         file(t / "a/d2/f.txt", "two");
         s.sources = {{t / "a/d1", true}, {t / "a/d2", true}};
       },
       ARC_OK, true, {}, {"one", "two"}},
      {"same_names_from_two_files_are_both_kept", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "a/d1/f.txt", "one");
         file(t / "a/d2/f.txt", "two");
         s.sources = {{t / "a/d1/f.txt"}, {t / "a/d2/f.txt"}};
       },
       ARC_OK, true, {}, {"one", "two"}},
      {"same_names_through_a_response_file_are_all_kept", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         for (int i = 0; i < 3; ++i) file(t / ("a/d" + std::to_string(i) + "/f.txt"), "f" + std::to_string(i));
         for (int i = 0; i < 9; ++i) file(t / ("a/g" + std::to_string(i) + ".txt"), "g" + std::to_string(i));
         for (int i = 0; i < 3; ++i) s.sources.push_back({t / ("a/d" + std::to_string(i)), true});
         for (int i = 0; i < 9; ++i) s.sources.push_back({t / ("a/g" + std::to_string(i) + ".txt")});
         s.response = "resp.tmp";
       },
       ARC_OK, true, {}, {"f0", "f1", "f2", "g0", "g8"}},
      {"named_pipe_as_the_only_source", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         fifo(t / "pipe");
         s.sources = {{t / "pipe"}};
       },
       ARC_E_NOTHING, false, {"nothing archived", "$T/pipe", "named pipe"}},
      {"socket_as_the_only_source", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         socket_file(t / "sock");
         s.sources = {{t / "sock"}};
       },
       ARC_E_NOTHING, false, {"nothing archived", "$T/sock", "socket"}},
      {"device_as_the_only_source", How::Plain, [](const TempDir&, CaseInput& s) { s.sources = {{"/dev/null"}}; },
       ARC_E_NOTHING, false, {"nothing archived", "/dev/null", "device"}},
      {"special_files_and_links_inside_a_folder_are_told_not_failed", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         fifo(t / "src/pipe");
         socket_file(t / "src/sock");
         ASSERT_EQ(::symlink("a.txt", (t / "src/link").c_str()), 0);
         s.sources = {{t / "src", true}};
       },
       ARC_OK, true, {"NOTE: left out: $T/src/pipe", "NOTE: left out: $T/src/sock"}, {"alpha"}},
      {"name_that_is_not_utf8_reads_back_everywhere", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/caf\xE9.txt", "cafe");
         file(t / "src/plain.txt", "plain");
         s.sources = {{t / "src", true}};
       },
       ARC_OK, true, {}, {"cafe", "plain"}},
      {"sigterm_removes_the_temporary", How::Signal, big_tree, -1, false, {}, {}, {}, {}, SIGTERM},
      {"sigint_removes_the_temporary", How::Signal, big_tree, -1, false, {}, {}, {}, {}, SIGINT},
      {"sighup_removes_the_temporary", How::Signal, big_tree, -1, false, {}, {}, {}, {}, SIGHUP},
      {"stale_temporary_removed_by_the_next_run", How::KillThenRerun, big_tree, ARC_OK, true,
       {"removed a partial archive"}},
      {"cut_problem_list_says_how_many_more", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         s.sources = {{t / "src", true}};
         for (int i = 0; i < 60; ++i) s.sources.push_back({t / ("gone-" + std::to_string(i))});
         s.size = 1000;
       },
       ARC_E_SOURCE_MISSING, true, {"$T/gone-0", "more lines not shown"}, {"alpha"}},
      {"one_long_path_is_named_even_when_cut", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         s.sources = {{t / "src", true}, {t / ("gone-" + std::string(1200, 'x'))}};
         s.size = 1000;
       },
       ARC_E_SOURCE_UNREADABLE, true, {"$T/gone-xxxxxxxx"}, {"alpha"}},
      {"disk_full_leaves_nothing", How::FileSizeLimit,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.bin", big_random().substr(0, 512 << 10));
         s.sources = {{t / "src", true}};
       },
       ARC_E_WRITE, false, {"too large"}},
      {"response_file_that_is_a_folder", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         arctest::make_dirs(t / "respdir");
         s.sources = {{"@" + (t / "respdir")}};
       },
       ARC_E_RESPONSE, false, {"$T/respdir", "not a regular file"}},
      {"response_file_without_end", How::Plain, [](const TempDir&, CaseInput& s) { s.sources = {{"@/dev/zero"}}; },
       ARC_E_RESPONSE, false, {"/dev/zero"}},
      {"response_file_with_a_zero_byte", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         file(t / "resp0", "\"" + (t / "src/a.txt") + "\"\r\n\"" + (t / "src") + std::string("\0x\"\r\n", 5));
         s.sources = {{"@" + (t / "resp0")}};
       },
       ARC_E_RESPONSE, false, {"zero byte"}},
      // Names the walk keeps apart that the format's readers restore to
      // one file: the later one is stored under a name of its own, and
      // every reader gives every file.
      {.label = "names_that_meet_once_a_backslash_divides_them",
       .how = How::Plain,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/back\\slash.txt", "flat");
             file(t / "src/back/slash.txt", "deep");
             s.sources = {{t / "src", true}};
           },
       .code = ARC_OK,
       .archive = true,
       .kept = {"flat", "deep"},
       .files = 2,
       .mention_in = {{"CAB", {"$T/src/back\\slash.txt is stored as back\\slash (2).txt"}},
                      {"ZIP", {"$T/src/back\\slash.txt is stored as ", "back\\slash (2).txt"}}}},
      {.label = "names_that_meet_in_code_page_932",
       .how = How::Plain,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/caf_.txt", "underscore");
             file(t / "src/caf\u00e9.txt", "e-acute");
             file(t / "src/caf\u00e8.txt", "e-grave");
             file(t / "src/u\\v.txt", "backslash");
             file(t / "src/u_v.txt", "u-underscore-v");
             s.sources = {{t / "src", true}};
           },
       .code = ARC_OK,
       .archive = true,
       .kept = {"underscore", "e-acute", "e-grave", "backslash", "u-underscore-v"},
       .files = 5,
       .mention_in = {{"LZH",
                       {"NOTE: two sources give one name once stored in LZH archives",
                        "$T/src/caf\u00e8.txt is stored as ", "caf\u00e8 (2).txt", "caf\u00e9 (3).txt",
                        "u_v (2).txt"}}}},
      {.label = "names_that_differ_only_in_letter_case",
       .how = How::Plain,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/README.txt", "upper");
             file(t / "src/readme.txt", "lower");
             file(t / "src/Docs/a.txt", "in Docs");
             file(t / "src/docs/a.txt", "in docs");
             file(t / "src/Notes", "a file Notes");
             file(t / "src/notes/x.txt", "in a folder notes");
             s.sources = {{t / "src", true}};
           },
       .code = ARC_OK,
       .archive = true,
       .kept = {"upper", "lower", "in Docs", "in docs", "a file Notes", "in a folder notes"},
       .files = 6,
       .mention_in = {{"LZH", {"readme (2).txt", "docs/a (2).txt", "notes (2)"}},
                      {"CAB", {"readme (2).txt", "docs/a (2).txt", "the folder notes is stored as notes (2)"}},
                      {"ZIP", {"$T/src/readme.txt is stored as ", "$T/src/docs/a.txt is stored as ",
                               "$T/src/notes is stored as ", "only in letter case"}},
                      {"TAR", {"$T/src/readme.txt is stored as ", "$T/src/docs/a.txt is stored as ",
                               "$T/src/notes is stored as ", "only in letter case"}}}},
      {.label = "read_error_part_way_leaves_the_file_out",
       .how = How::ReadFault,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/a.txt", "alpha");
             file(t / "src/bad.bin", big_random().substr(0, 1 << 20));
             file(t / "src/z.txt", "zulu");
             s.sources = {{t / "src", true}};
             s.victim = t / "src/bad.bin";
             s.fault_at = 100 << 10;
           },
       .code = ARC_E_SOURCE_UNREADABLE,
       .archive = true,
       .mention = {"left out: $T/src/bad.bin (a read failed after 102400 of 1048576 bytes"},
       .kept = {"alpha", "zulu"},
       .files = 2},
      // Far enough into a large file that its first chunks are compressed
      // and written before the read fails.
      {.label = "read_error_late_in_a_large_file_leaves_it_out",
       .how = How::ReadFault,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/a.txt", "alpha");
             file(t / "src/bad.txt", text_lines(5 << 20));
             file(t / "src/z.txt", "zulu");
             s.sources = {{t / "src", true}};
             s.victim = t / "src/bad.txt";
             s.fault_at = 3 << 20;
           },
       .code = ARC_E_SOURCE_UNREADABLE,
       .archive = true,
       .mention = {"left out: $T/src/bad.txt (a read failed after 3145728 of 5242880 bytes"},
       .kept = {"alpha", "zulu"},
       .files = 2},
      // Random bytes: LZH keeps such a file as it is and reads it again.
      {.label = "read_error_late_in_a_large_stored_file_leaves_it_out",
       .how = How::ReadFault,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/a.txt", "alpha");
             file(t / "src/bad.bin", big_random().substr(0, 5 << 20));
             file(t / "src/z.txt", "zulu");
             s.sources = {{t / "src", true}};
             s.victim = t / "src/bad.bin";
             s.fault_at = 3 << 20;
           },
       .code = ARC_E_SOURCE_UNREADABLE,
       .archive = true,
       .mention = {"left out: $T/src/bad.bin (a read failed after 3145728 of 5242880 bytes"},
       .kept = {"alpha", "zulu"},
       .files = 2},
      // The file ends early, as when another program cut it while it was
      // read: what was read is not the file, so it is left out too.
      {.label = "file_cut_short_while_read_is_left_out",
       .how = How::ReadFault,
       .prepare =
           [](const TempDir& t, CaseInput& s) {
             file(t / "src/a.txt", "alpha");
             file(t / "src/cut.bin", big_random().substr(0, 1 << 20));
             file(t / "src/z.txt", "zulu");
             s.sources = {{t / "src", true}};
             s.victim = t / "src/cut.bin";
             s.fault = "end";
             s.fault_at = 100 << 10;
           },
       .code = ARC_E_SOURCE_UNREADABLE,
       .archive = true,
       .mention = {"left out: $T/src/cut.bin (it shrank while read: it ended after 102400 of 1048576 bytes"},
       .kept = {"alpha", "zulu"},
       .files = 2},
      // The walk opens, it does not follow: what is swapped between the
      // listing and the opening never leads out of the source.
      {"folder_swapped_for_a_link_before_it_is_opened", How::SwapAtOpen,
       [](const TempDir& t, CaseInput& s) {
         tree_with_a_secret_beside(t, s);
         s.swap = {"sub", t / "src/sub", t / "secret", "link", /*folder=*/true};
       },
       ARC_E_SOURCE_MISSING, true, {"vanished", "$T/src/sub"}, {"alpha", "zulu"}, {"SECRET", "harmless"}},
      {"folder_swapped_for_a_link_when_its_file_is_opened", How::SwapAtOpen,
       [](const TempDir& t, CaseInput& s) {
         tree_with_a_secret_beside(t, s);
         s.swap = {"shadow", t / "src/sub", t / "secret", "link"};
       },
       ARC_OK, true, {}, {"alpha", "harmless", "zulu"}, {"SECRET"}},
      {"file_swapped_for_a_link_when_it_is_opened", How::SwapAtOpen,
       [](const TempDir& t, CaseInput& s) {
         tree_with_a_secret_beside(t, s);
         s.swap = {"shadow", t / "src/sub/shadow", t / "secret/shadow", "link"};
       },
       ARC_E_SOURCE_MISSING, true, {"vanished", "$T/src/sub/shadow"}, {"alpha", "zulu"}, {"SECRET", "harmless"}},
      {"file_swapped_for_another_file_when_it_is_opened", How::SwapAtOpen,
       [](const TempDir& t, CaseInput& s) {
         tree_with_a_secret_beside(t, s);
         s.swap = {"shadow", t / "src/sub/shadow", t / "secret/shadow", "file"};
       },
       ARC_E_SOURCE_MISSING, true, {"vanished", "$T/src/sub/shadow"}, {"alpha", "zulu"}, {"SECRET", "harmless"}},
      {"file_too_large_for_the_format_is_left_out_the_rest_kept", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         int fd = ::open((t / "src/huge.bin").c_str(), O_WRONLY | O_CREAT, 0644);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::ftruncate(fd, off_t{5} << 30), 0);  // sparse: costs no disk
         ::close(fd);
         s.sources = {{t / "src", true}};
       },
       ARC_E_SOURCE_UNREADABLE, true, {"left out: $T/src/huge.bin (file too large"}, {"alpha"}, {}, {"LZH", "CAB"}},
      {"only_file_too_large_for_the_format_is_nothing_archived", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         int fd = ::open((t / "huge.bin").c_str(), O_WRONLY | O_CREAT, 0644);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::ftruncate(fd, off_t{5} << 30), 0);
         ::close(fd);
         s.sources = {{t / "huge.bin"}};
       },
       ARC_E_NOTHING, false, {"nothing archived", "left out: $T/huge.bin (file too large"}, {}, {}, {"LZH", "CAB"}},
      {"name_too_long_for_the_format_is_left_out_the_rest_kept", How::Plain,
       [](const TempDir& t, CaseInput& s) {
         file(t / "src/a.txt", "alpha");
         // 130 + 1 + 134 bytes: more than the 255 a cabinet's readers hold.
         file(t / ("src/" + std::string(130, 'n') + "/" + std::string(130, 'm') + ".txt"), "long");
         s.sources = {{t / "src", true}};
       },
       ARC_E_SOURCE_UNREADABLE, true, {"left out: $T/src/nnnnnnnn", "name too long for CAB archives"}, {"alpha"},
       {"long"}, {"CAB"}},
  };
  return table;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

class FaultMatrix : public ::testing::TestWithParam<std::tuple<Format, Fault>> {
 protected:
  void SetUp() override {
    // The usual umask: what the library makes must be owner-only all the same.
    old_umask_ = ::umask(022);
    ::chmod(t.path().c_str(), 0777);
    arctest::make_dirs(t / "dst");
    ::chmod((t / "dst").c_str(), 0777);
  }

  void TearDown() override { ::umask(old_umask_); }

  const Format& format() const { return std::get<0>(GetParam()); }
  std::string archive() const { return t / ("dst/" + kStamp + "." + format().ext); }

  std::string source_text(const Source& s) const {
    if (s.path[0] == '@') return s.path;
    return std::string(format().label) == "CAB" && s.folder ? s.path + "/*.*" : s.path;
  }

  std::string command(const CaseInput& s) const {
    std::string paths;
    if (!s.response.empty()) {
      std::string lines;
      for (const Source& src : s.sources) lines += "\"" + source_text(src) + "\"\r\n";
      arctest::write_file(t / s.response, lines);
      paths = "\"@" + (t / s.response) + "\" ";
    } else {
      for (const Source& src : s.sources) paths += "\"" + source_text(src) + "\" ";
    }
    const std::string a = "\"" + archive() + "\" ";
    const std::string f = format().label;
    if (f == "LZH") return "a " + a + "-x1r2a2 -n1 " + paths;
    if (f == "ZIP") return "-rq " + a + paths;
    if (f == "CAB") return "-a -ri " + a + paths;
    return "-cvf " + a + "--display-dialog=0 \"/\" " + paths;
  }

  // Starts arc_call; as nobody when asked and running as root; with a
  // read fault when the case has one.
  pid_t start(const CaseInput& s, bool as_nobody, const char* fsize = nullptr, bool read_fault = false,
              bool hold = false) {
    arctest::write_file(t / "command", command(s));
    std::vector<std::string> args;
    if (as_nobody && ::geteuid() == 0)
      args = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    const std::string size = std::to_string(s.size ? s.size : format().size);
    for (const std::string& a : {std::string(ZUBETO_ARC_CALL), std::string(format().lib), std::string(format().function),
                                 size, t / "command", t / "result"})
      args.push_back(a);
    if (fsize) args.push_back(fsize);
    ::unlink((t / "result").c_str());
    pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(t.path().c_str()) != 0) ::_exit(126);
      if (read_fault) {
        char* real = ::realpath(s.victim.c_str(), nullptr);
        ::setenv("ZUBETO_FAULT_PATH", real ? real : s.victim.c_str(), 1);
        ::setenv("ZUBETO_FAULT", s.fault, 1);
        ::setenv("ZUBETO_FAULT_AT", std::to_string(s.fault_at).c_str(), 1);
        ::setenv("LD_PRELOAD", ZUBETO_READ_FAULT_LIB, 1);
      }
      if (hold) {
        // Held still 1 MiB into the big file, until the test says go.
        char* real = ::realpath((t / "src/big.bin").c_str(), nullptr);
        ::setenv("ZUBETO_FAULT_PATH", real ? real : (t / "src/big.bin").c_str(), 1);
        ::setenv("ZUBETO_FAULT", "hold", 1);
        ::setenv("ZUBETO_FAULT_AT", std::to_string(1 << 20).c_str(), 1);
        ::setenv("ZUBETO_HOLD_FILE", (t / "held").c_str(), 1);
        ::setenv("ZUBETO_GO_FILE", (t / "go").c_str(), 1);
        ::setenv("LD_PRELOAD", ZUBETO_READ_FAULT_LIB, 1);
      }
      if (!s.swap.when.empty()) {
        ::setenv("LD_PRELOAD", ZUBETO_SWAP_SHIM, 1);
        ::setenv("ZUBETO_SWAP_WHEN", s.swap.when.c_str(), 1);
        ::setenv("ZUBETO_SWAP_PATH", s.swap.path.c_str(), 1);
        ::setenv("ZUBETO_SWAP_TO", s.swap.to.c_str(), 1);
        ::setenv("ZUBETO_SWAP_AS", s.swap.as.c_str(), 1);
        ::setenv("ZUBETO_SWAP_NTH", std::to_string(s.swap.folder ? format().walks : 1).c_str(), 1);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    return pid;
  }

  int wait_for(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // Temporary files in the destination.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> out;
    for (const std::string& n : arctest::list_dir(t / "dst"))
      if (n.size() > 5 && n.compare(n.size() - 5, 5, ".part") == 0) out.push_back(n);
    return out;
  }

  // Waits until a run started with `hold` is held part way through its big
  // file (its temporary made); false when it ended first, or after 5 min.
  bool wait_for_hold(pid_t pid) {
    for (int i = 0; i < 150000; ++i) {
      if (arctest::exists(t / "held")) return true;
      int status;
      if (::waitpid(pid, &status, WNOHANG) == pid) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  void let_go() { arctest::write_file(t / "go", ""); }

  // The contents of every file bsdtar extracts.
  std::multiset<std::string> extracted(std::string* log) {
    const std::string x = t / "x";
    arctest::make_dirs(x);
    *log = arctest::capture("cd " + arctest::quote(x) + " && LC_ALL=C.UTF-8 bsdtar -xf " + arctest::quote(archive()) +
                            " 2>&1; echo \"status $?\"");
    std::multiset<std::string> out;
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
      for (const std::string& n : arctest::list_dir(dir)) {
        std::string p = dir + "/" + n;
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) walk(p);
        else if (S_ISREG(st.st_mode)) out.insert(arctest::read_file(p));
      }
    };
    walk(x);
    return out;
  }

  // The permission bits of a file in the destination.
  mode_t mode_in_dst(const std::string& name) const {
    struct stat st {};
    if (::stat((t / ("dst/" + name)).c_str(), &st) != 0) return 07777;
    return st.st_mode & 07777;
  }

  // Extracts the archive with each reader of the format into a folder of
  // its own: each must give `count` files, each under a name of its own
  // (ignoring ASCII letter case for LZH and CAB).
  void every_reader_gives_distinct_files(size_t count, const std::string& text) {
    const std::string fmt = format().label;
    const bool case_blind = fmt == "LZH" || fmt == "CAB";
    const std::string a = arctest::quote(archive());
    std::vector<std::pair<std::string, std::string>> readers = {{"bsdtar", "bsdtar -xf " + a},
                                                                {"7z", "7z x -y " + a}};
    if (fmt == "LZH") readers.push_back({"lhasa", "lhasa xq " + a});
    if (fmt == "CAB") readers.push_back({"cabextract", "cabextract -q " + a});
    if (fmt == "ZIP") readers.push_back({"unzip", "unzip -q " + a});
    if (fmt == "TAR") readers.push_back({"tar", "tar -xf " + a});
    for (const auto& [name, command] : readers) {
      SCOPED_TRACE(name);
      const std::string x = t / ("x-" + name);
      arctest::make_dirs(x);
      std::string log =
          arctest::capture("cd " + arctest::quote(x) + " && LC_ALL=C.UTF-8 " + command + " </dev/null 2>&1; echo \"status $?\"");
      EXPECT_NE(log.find("status 0"), std::string::npos) << log;
      std::vector<std::string> found;
      std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& dir,
                                                                           const std::string& rel) {
        for (const std::string& n : arctest::list_dir(dir)) {
          struct stat st;
          if (::lstat((dir + "/" + n).c_str(), &st) != 0) continue;
          if (S_ISDIR(st.st_mode)) walk(dir + "/" + n, rel + n + "/");
          else if (S_ISREG(st.st_mode)) found.push_back(rel + n);
        }
      };
      walk(x, "");
      std::set<std::string> distinct;
      for (std::string n : found) {
        if (case_blind)
          for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        distinct.insert(n);
      }
      std::string all;
      for (const std::string& n : found) all += "  " + n + "\n";
      EXPECT_EQ(found.size(), count) << all << text;
      EXPECT_EQ(distinct.size(), count) << "names that meet" << (case_blind ? " once case is ignored" : "") << ":\n"
                                        << all << text;
    }
  }

  TempDir t;
  mode_t old_umask_ = 0;
};

TEST_P(FaultMatrix, KeepsEveryFileOrTellsIt) {
  const Fault& f = std::get<1>(GetParam());
  if (!f.only.empty() && !f.only.count(format().label))
    GTEST_SKIP() << "the case does not apply to " << format().label << " archives";
  if (f.pending.count(format().label)) GTEST_SKIP() << f.pending.at(format().label);
  if (f.how == How::AsNobody && ::geteuid() == 0 && arctest::sh("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "needs an unprivileged user: running as root without setpriv";
  CaseInput s;
  f.prepare(t, s);
  if (HasFatalFailure()) return;

  int status = 0;
  int held = -1;  // a temporary that another running worker still holds
  switch (f.how) {
    case How::Plain:
    case How::SwapAtOpen:
    case How::AsNobody:
      status = wait_for(start(s, f.how == How::AsNobody));
      break;
    case How::FileSizeLimit:
      status = wait_for(start(s, false, "65536"));
      break;
    case How::ReadFault:
      status = wait_for(start(s, false, nullptr, /*read_fault=*/true));
      break;
    case How::Signal: {
      // Held still part way through the big file (its temporary made), so
      // that the signal comes part way through the run, on any machine at
      // any load.
      pid_t pid = start(s, false, nullptr, false, /*hold=*/true);
      ASSERT_TRUE(wait_for_hold(pid)) << "the run ended before it was held part way";
      ASSERT_FALSE(temporaries().empty()) << "a run part way has its temporary";
      for (const std::string& temp : temporaries())
        EXPECT_EQ(mode_in_dst(temp), 0600u) << "the temporary being written is owner-only: " << temp;
      ::kill(pid, f.signal);
      let_go();
      status = wait_for(pid);
      break;
    }
    case How::KillThenRerun: {
      pid_t pid = start(s, false, nullptr, false, /*hold=*/true);
      ASSERT_TRUE(wait_for_hold(pid)) << "the run ended before it was held part way";
      ::kill(pid, SIGKILL);
      wait_for(pid);
      ASSERT_EQ(temporaries().size(), 1u) << "a killed run leaves its temporary";
      // One that another worker still writes: locked, so never touched.
      const std::string busy = t / ("dst/" + kStamp + "7." + format().ext + ".busyfile.part");
      held = ::open(busy.c_str(), O_RDWR | O_CREAT, 0644);
      ASSERT_GE(held, 0);
      ASSERT_EQ(::flock(held, LOCK_EX), 0);
      arctest::write_file(t / "src/big.bin", "small now");
      status = wait_for(start(s, false));
      EXPECT_EQ(temporaries(), std::vector<std::string>{kStamp + "7." + format().ext + ".busyfile.part"})
          << "the stale temporary must go, the busy one must stay";
      ::close(held);
      ::unlink(busy.c_str());
      break;
    }
  }

  const std::string result = arctest::read_file(t / "result");
  const std::string text = result.substr(std::min(result.size(), result.find('\n') + 1));
  if (f.code < 0) {
    ASSERT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));
    if (WIFSIGNALED(status)) EXPECT_EQ(WTERMSIG(status), f.signal) << "the signal goes on to the caller";
    else EXPECT_EQ(std::atoi(result.c_str()), ARC_E_STOPPED) << result;
  } else {
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "arc_call failed, status " << status;
    EXPECT_EQ(std::atoi(result.c_str()), f.code) << std::hex << std::atoi(result.c_str()) << "\n" << text;
  }
  EXPECT_EQ(arctest::exists(archive()), f.archive) << text;
  if (arctest::exists(archive())) {
    EXPECT_EQ(mode_in_dst(kStamp + "." + format().ext), 0600u) << "owner-only";
  }
  EXPECT_TRUE(temporaries().empty()) << "a temporary file was left: " << text;
  std::vector<std::string> mention = f.mention;
  if (f.mention_in.count(format().label))
    for (const std::string& m : f.mention_in.at(format().label)) mention.push_back(m);
  for (const std::string& m : mention)
    EXPECT_NE(text.find(replace_all(m, "$T", t.path())), std::string::npos) << "missing: " << m << "\n" << text;
  EXPECT_LT(text.size(), s.size ? s.size : format().size);

  if (!f.archive || !arctest::exists(archive())) return;
  std::string log;
  std::multiset<std::string> got = extracted(&log);
  EXPECT_NE(log.find("status 0"), std::string::npos) << "bsdtar: " << log;
  for (const std::string& k : f.kept) EXPECT_EQ(got.count(k), 1u) << "not (once) in the archive: " << k << "\n" << text;
  for (const std::string& l : f.lost) EXPECT_EQ(got.count(l), 0u) << "should have been left out: " << l;
  if (f.files) every_reader_gives_distinct_files(f.files, text);

  if (std::string(f.label).find("utf8") != std::string::npos) {
    // Each reader of the format, and 7-Zip, reads the name back as bytes.
    const std::string a = arctest::quote(archive());
    std::vector<std::string> readers = {"7z t " + a};
    const std::string fmt = format().label;
    if (fmt == "ZIP") {
      readers.push_back("unzip -t " + a);
      readers.push_back("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                        "sys.exit(0 if z.testzip() is None and len(z.namelist()) == 3 else 1)' " + a);
    }
    if (fmt == "TAR") readers.push_back("tar tf " + a);
    if (fmt == "LZH") readers.push_back("lhasa t " + a);
    if (fmt == "CAB") readers.push_back("cabextract -t " + a);
    for (const std::string& r : readers) {
      std::string out = arctest::capture("LC_ALL=C.UTF-8 " + r + " >/dev/null 2>&1; echo $?");
      EXPECT_EQ(out, "0\n") << r;
    }
    std::string names = arctest::capture("LC_ALL=C.UTF-8 bsdtar -tf " + a);
    if (fmt == "LZH") {
      // LZH keeps the bytes in its plain name field, which lhasa and 7-Zip
      // write back as they are; bsdtar reads the UTF-16 name field, where
      // each byte that is no UTF-8 is the character of the same number.
      EXPECT_NE(names.find("caf\xC3\xA9.txt"), std::string::npos) << names;
      std::string found = arctest::capture("d=$(mktemp -d) && cd \"$d\" && lhasa xq " + a +
                                           " && find . -name 'caf*'; rm -rf \"$d\"");
      EXPECT_NE(found.find("caf\xE9.txt"), std::string::npos) << "the name's bytes are kept: " << found;
    } else {
      // bsdtar shows a byte that is no character as an octal escape.
      EXPECT_NE(names.find("caf\\351.txt"), std::string::npos) << "the name's bytes are kept: " << names;
    }
  }
}

// Our own destination is never archived: a destination inside a source, or
// equal to it, gives archives of the same size night after night, and each
// run says once what it left out.
class OwnDestination : public ::testing::TestWithParam<Format> {
 protected:
  // One run through arc_call; the return code and the output text.
  std::pair<int, std::string> run(const std::string& command) {
    arctest::write_file(t / "command", command);
    const Format& f = GetParam();
    const std::string cmd = arctest::quote(ZUBETO_ARC_CALL) + " " + arctest::quote(f.lib) + " " + f.function + " " +
                            std::to_string(f.size) + " " + arctest::quote(t / "command") + " " +
                            arctest::quote(t / "result");
    EXPECT_EQ(arctest::sh(cmd), 0) << cmd;
    const std::string result = arctest::read_file(t / "result");
    return {std::atoi(result.c_str()), result.substr(std::min(result.size(), result.find('\n') + 1))};
  }

  std::string command(const std::string& archive, const std::string& source) const {
    const std::string f = GetParam().label;
    const std::string a = "\"" + archive + "\" ";
    if (f == "LZH") return "a " + a + "-x1r2a2 -n1 \"" + source + "\" ";
    if (f == "ZIP") return "-rq " + a + "\"" + source + "\" ";
    if (f == "CAB") return "-a -ri " + a + "\"" + source + "/*.*\" ";
    return "-cvf " + a + "--display-dialog=0 \"/\" \"" + source + "\" ";
  }

  TempDir t;
};

TEST_P(OwnDestination, InsideOrEqualToASourceNeverGrows) {
  const std::string ext = GetParam().ext;
  struct Case {
    const char* label;
    std::string dest;
  };
  const Case cases[] = {{"inside", t / "src/backups"}, {"equal", t / "src"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ::system(("rm -rf " + arctest::quote(t / "src")).c_str());
    file(t / "src/a.txt", arctest::random_bytes(50000, 3));
    file(t / "src/d/b.txt", "bravo");
    arctest::make_dirs(c.dest);
    std::vector<uint64_t> sizes;
    for (int night = 1; night <= 3; ++night) {
      const std::string archive = c.dest + "/2024051521300" + std::to_string(night) + "." + ext;
      auto [code, text] = run(command(archive, t / "src"));
      EXPECT_EQ(code, ARC_OK) << text;
      size_t notes = 0;
      for (size_t at = text.find("NOTE: left out: "); at != std::string::npos; at = text.find("NOTE: left out: ", at + 1))
        ++notes;
      // Inside, every run meets the destination folder; equal, every run
      // from the second on meets the earlier archives (the first one meets
      // at most its own temporary).
      if (std::string(c.label) == "equal" && night == 1) {
        EXPECT_LE(notes, 1u) << text;
      } else {
        EXPECT_EQ(notes, 1u) << text;
      }
      if (notes) {
        EXPECT_NE(text.find(c.dest), std::string::npos) << text;
      }
      struct stat st;
      ASSERT_EQ(::stat(archive.c_str(), &st), 0) << text;
      sizes.push_back(static_cast<uint64_t>(st.st_size));
      EXPECT_EQ(arctest::sh("LC_ALL=C.UTF-8 bsdtar -tf " + arctest::quote(archive) + " | grep -q a.txt"), 0);
    }
    EXPECT_EQ(sizes[1], sizes[0]);
    EXPECT_EQ(sizes[2], sizes[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, OwnDestination, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.label); });

std::string case_name(const ::testing::TestParamInfo<std::tuple<Format, Fault>>& info) {
  return std::string(std::get<0>(info.param).label) + "_" + std::get<1>(info.param).label;
}

INSTANTIATE_TEST_SUITE_P(Formats, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::ValuesIn(faults())), case_name);

}  // namespace
