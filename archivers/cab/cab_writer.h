// Cabinet writer core: turns an ordered list of files into one standard
// cabinet with MSZIP compression. It knows nothing of command texts or
// directory walking; the caller hands it the entries and an output file.
//
// Layout written: CFHEADER, the CFFOLDER table, the CFFILE table, then the
// CFDATA blocks of every folder in order. The header and both tables are
// known only at the end, so the writer reserves their room at the start of
// the output (from the list of files it is told about first), streams the
// data blocks behind it, and writes the tables last; when the tables come
// out at another size than reserved (files left out, or grown so that they
// need another folder), the data is moved to meet them. Memory is bounded
// by a few dozen 32 KiB blocks plus the file table.
#ifndef ZUBETO_CAB_WRITER_H
#define ZUBETO_CAB_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace cab {

// DOS attribute bits stored per file.
enum : uint16_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrArchive = 0x20,
  kAttrExec = 0x40,
  kAttrNameIsUtf = 0x80,  // set by the writer, never by the caller
};

// Uncompressed bytes per CFDATA block for MSZIP.
constexpr uint32_t kBlockSize = 32768;

struct Entry {
  std::string name;     // inside the cabinet; "/" or "\" separate folders, stored as "\"
  std::string path;     // where the bytes are read from
  uint64_t size = 0;    // expected size; what is actually read is stored
  int64_t mtime = 0;    // seconds since the epoch, stored as local DOS time
  uint16_t attributes = kAttrArchive;
};

// The format's hard limits. Tests shrink them to reach the limit paths cheaply.
struct Limits {
  uint32_t max_files = 65535;           // cFiles is 16 bits
  uint32_t folder_blocks = 65535;       // cCFData is 16 bits
  uint64_t max_cabinet = 0xFFFFFFFFu;   // cbCabinet and every offset are 32 bits
  size_t max_name = 255;                // readers hold a name in 256 bytes with its zero
};

struct Options {
  Limits limits;
  int level = 6;          // deflate level 1..9
  unsigned threads = 0;   // compressing threads; 0 = one per core, at most 2
};

// A file that was not stored, or stored differently from what was expected.
struct Problem {
  std::string path;
  std::string what;
};

enum class Failure {
  none,
  nothing,  // no file to store: readers refuse a cabinet without files
  limit,    // a limit of the format would be exceeded
  io,       // writing the output failed
};

struct Result {
  bool ok = false;               // a complete cabinet was written
  Failure failure = Failure::none;
  std::string error;             // why not, when !ok
  std::vector<Problem> skipped;  // files left out (could not be read)
  std::vector<Problem> changed;  // files whose size changed while read
  uint32_t files = 0;            // CFFILE entries written
  uint32_t folders = 0;          // CFFOLDER entries written
  uint64_t cabinet_size = 0;
  uint64_t input_bytes = 0;
};

// Where the bytes of one file come from.
class Source {
 public:
  virtual ~Source() = default;
  // Copies the next bytes into `buf` (at most `cap`); 0 at the end.
  virtual size_t read(void* buf, size_t cap) = 0;
  // True when reading stopped on an error rather than at the end.
  virtual bool failed() const { return false; }
};

// One file as the cabinet records it.
struct FileInfo {
  std::string name;  // "/" or "\" between folders; stored with "\"
  uint64_t size = 0; // bytes to take from the source, at most
  int64_t mtime = 0;
  uint16_t attributes = kAttrArchive;
  std::string path;  // named in messages when given, else the name
};

// Writes one cabinet in three steps: begin() with the list of every file
// that may come, add() for each file in that order (a file may be left out),
// finish(). Each step returns false on a failure that ends the cabinet;
// error() and failure() then say why, and the output must be thrown away.
class CabinetWriter {
 public:
  explicit CabinetWriter(const Options& options = {});
  ~CabinetWriter();
  CabinetWriter(const CabinetWriter&) = delete;
  CabinetWriter& operator=(const CabinetWriter&) = delete;

  // `file` is an empty file open for reading and writing.
  bool begin(platform::NewFile& file, const std::vector<FileInfo>& plan);

  enum class Added { stored, read_failed, failed };
  // Takes at most info.size bytes from `src`. read_failed: the source failed
  // part way; the file is left out and the cabinet stays valid.
  Added add(const FileInfo& info, Source& src, uint64_t* stored_bytes = nullptr);

  bool finish();

  const std::string& error() const { return error_; }
  Failure failure() const { return failure_; }
  uint32_t files() const;
  uint32_t folders() const;
  uint64_t cabinet_size() const { return cabinet_size_; }
  uint64_t input_bytes() const { return input_bytes_; }

 private:
  struct Folder;
  struct File;
  class Pipeline;
  bool fail(Failure f, std::string why);

  Options options_;
  platform::NewFile* fd_ = nullptr;
  uint64_t reserved_ = 0;
  std::vector<Folder> folders_;
  std::vector<File> files_;
  Pipeline* pipe_ = nullptr;
  uint64_t folder_used_ = 0;  // uncompressed bytes in the open folder
  bool folder_open_ = false;
  std::string error_;
  Failure failure_ = Failure::none;
  uint64_t cabinet_size_ = 0;
  uint64_t input_bytes_ = 0;
};

// Checks the entries against the limits before anything is written.
// Returns an empty text when they fit, else why they do not.
std::string check_entries(const std::vector<FileInfo>& files, const Limits& limits);

// Writes a cabinet of the entries, reading each from its path: a file that
// cannot be read is left out and listed, a file whose size changed is stored
// as read (at most its expected size) and listed. `file` as for begin().
Result write_cabinet(const std::vector<Entry>& entries, platform::NewFile& file, const Options& options = {});

// Helpers that the tests reach directly.
uint32_t cfdata_checksum(const uint8_t* data, size_t len, uint32_t seed);
void dos_date_time(int64_t mtime, uint16_t& date, uint16_t& time);
bool is_valid_utf8(const std::string& s);

}  // namespace cab

#endif
