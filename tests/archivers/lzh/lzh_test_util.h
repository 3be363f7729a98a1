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

// The method and name of each entry, read from the archive's own headers.
struct StoredEntry {
  std::string method;
  std::string name;
  uint32_t packed = 0;
  uint32_t original = 0;
};
std::vector<StoredEntry> list_headers(const fs::path& archive);

}  // namespace lzhtest
