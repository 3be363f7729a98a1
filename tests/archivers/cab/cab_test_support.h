// Helpers shared by the cabinet tests: temporary folders, a fixture tree,
// running the independent readers, comparing trees, reading cabinet tables.
#ifndef ZUBETO_TESTS_CAB_TEST_SUPPORT_H
#define ZUBETO_TESTS_CAB_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace cabtest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write_file(const fs::path& p, const std::string& bytes);
std::string read_file(const fs::path& p);
std::string random_bytes(size_t n, uint32_t seed);  // does not compress
std::string text_bytes(size_t n, uint32_t seed);    // compresses well

// The round-trip tree: empty files, an empty folder, a 1-byte file, random
// data, files above 32 KiB and of a few MB, names with spaces and Japanese
// characters, deep folders, a hidden file.
void make_fixture_tree(const fs::path& root);

// Every regular file below root by its relative "/" path, with its bytes.
std::map<std::string, std::string> read_tree(const fs::path& root);
// Empty when both trees hold the same files with the same bytes.
std::string tree_diff(const fs::path& expected, const fs::path& actual);
// Files and folders directly in `dir` (to find left-over temporary files).
std::vector<std::string> list_dir(const fs::path& dir);

struct RunResult {
  int status = -1;  // exit status, -1 when it did not run
  std::string out;  // standard output and error
};
RunResult run(const std::string& shell_command);
std::string quote(const fs::path& p);

// cabextract -t on the file: true when every file tests OK.
bool cabextract_test(const fs::path& cab, std::string* log = nullptr);
// Extracts with cabextract / gcab into `dir` (created); true on success.
bool cabextract_extract(const fs::path& cab, const fs::path& dir, std::string* log = nullptr);
bool gcab_extract(const fs::path& cab, const fs::path& dir, std::string* log = nullptr);
bool sevenzip_extract(const fs::path& cab, const fs::path& dir, std::string* log = nullptr);

// The tables of a cabinet, read field by field.
struct CabFolder {
  uint32_t data_offset;
  uint16_t blocks;
  uint16_t compression;
};
struct CabFile {
  uint32_t size, folder_offset;
  uint16_t folder, date, time, attributes;
  std::string name;
};
struct CabInfo {
  bool valid = false;
  uint32_t cabinet_size = 0, files_offset = 0;
  uint16_t version = 0, flags = 0;
  uint16_t set_id = 0, index = 0;   // a cabinet set's number and this cabinet's place in it
  std::string prev, next;           // the neighbouring cabinets' names in a set
  std::vector<CabFolder> folders;
  std::vector<CabFile> files;
};
CabInfo read_cabinet(const fs::path& cab);

// Inflates every CFDATA block of a single cabinet on its own (zlib, no
// history carried from the block before) and cuts the files out of their
// folders' bytes into `files` ("/" between folders). "" when every block
// inflates to exactly its stated size, else what is wrong.
std::string inflate_blocks(const fs::path& cab, std::map<std::string, std::string>& files);

}  // namespace cabtest

#endif
