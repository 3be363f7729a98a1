// Cabinet writer core: turns an ordered list of files into one standard
// cabinet with MSZIP compression. It knows nothing of command texts or
// directory walking; the caller hands it the entries and an output file.
//
// Layout written: CFHEADER, the CFFOLDER table, the CFFILE table, then the
// CFDATA blocks of every folder in order. The header and both tables are
// known only at the end, so the writer reserves their room at the start of
// the output, streams the data blocks behind it, and writes the tables last.
// Memory is bounded by a few dozen 32 KiB blocks plus the entry table.
#ifndef ZUBETO_CAB_WRITER_H
#define ZUBETO_CAB_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// Checks the entries against the limits before anything is written.
// Returns an empty text when they fit, else why they do not.
std::string check_entries(const std::vector<Entry>& entries, const Limits& limits);

// Writes the cabinet into `out` (opened for reading and writing, empty,
// seekable). On failure the file content is undefined: the caller removes it.
Result write_cabinet(const std::vector<Entry>& entries, std::FILE* out, const Options& options = {});

// Helpers that the tests reach directly.
uint32_t cfdata_checksum(const uint8_t* data, size_t len, uint32_t seed);
void dos_date_time(int64_t mtime, uint16_t& date, uint16_t& time);
bool is_valid_utf8(const std::string& s);

}  // namespace cab

#endif
