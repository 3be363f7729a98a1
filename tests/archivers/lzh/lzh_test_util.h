// Fixtures and helpers shared by the LZH tests: a temporary folder, a
// source tree with the awkward cases, the independent readers, and a
// byte-for-byte tree comparison.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace lzhtest {

namespace fs = std::filesystem;

struct TempDir {
  TempDir();
  ~TempDir();
  fs::path path;
};

// Writes the fixture tree under `root` (created): empty files and folders,
// a 1-byte file, random bytes, a text larger than the window, a few MB of
// repetitive text, names with spaces and Japanese characters, deep folders.
void make_fixture(const fs::path& root);

void write_file(const fs::path& p, const std::string& bytes);
std::string read_file(const fs::path& p);
std::string random_bytes(size_t n, uint32_t seed);

// Runs a shell command; returns its exit status, output in *out if given.
int run(const std::string& command, std::string* out = nullptr);
std::string quote(const fs::path& p);

// Every path under root (relative), "/" appended to folders, with the
// file contents; for comparing two trees.
std::map<std::string, std::string> snapshot(const fs::path& root);

// The entries of `m` under `prefix`, with the prefix taken off.
std::map<std::string, std::string> under(const std::map<std::string, std::string>& m, const std::string& prefix);

// UTF-8 text in code page 932, converted by the system's iconv (not by the
// code under test); empty when iconv cannot convert it.
std::string to_cp932(const std::string& utf8);
// The same tree with every name in code page 932: what a reader that
// writes the stored Shift-JIS names as they are gives on Linux.
std::map<std::string, std::string> cp932_names(const std::map<std::string, std::string>& m);

// The independent readers: the command that extracts an archive into the
// current folder, and whether it writes the Shift-JIS names as they are
// (lhasa, 7-Zip) or the UTF-16 names in UTF-8 (bsdtar under a UTF-8 locale).
struct Reader {
  const char* name;
  const char* extract;
  bool shift_jis_names;
};
const std::vector<Reader>& readers();
// Extracts `archive` with `r` into a new folder `into`; the reader's
// exit status must be 0 (checked by the caller through the return value).
int extract(const Reader& r, const fs::path& archive, const fs::path& into, std::string* out = nullptr);

// The method and name of each entry, read from the archive's own headers.
struct StoredEntry {
  std::string method;
  std::string name;  // folder part (0xFF read as "/") and file name, as stored
  uint32_t packed = 0;
  uint32_t original = 0;
  char os = 0;
  uint32_t header_size = 0;
  std::map<int, std::string> ext;  // extended headers by type: their data bytes
};
std::vector<StoredEntry> list_headers(const fs::path& archive);

}  // namespace lzhtest
