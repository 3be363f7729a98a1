// Writer of LZH archives with level-2 headers. It knows nothing of command
// texts or directory walks: it takes the entries in the order they are to
// be stored and writes each one, compressed as "-lh5-", kept as "-lh0-"
// when compression does not make it smaller, or as a "-lhd-" folder entry.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lh5_encoder.h"

namespace lzh {

struct Entry {
  std::string name;    // path inside the archive: "/" separators, no leading or trailing "/"
  std::string source;  // path on disk to read the data from (files only)
  bool is_folder = false;
  uint64_t size = 0;   // size found when the entry was listed; the data read is what counts
  int64_t mtime = 0;   // seconds since 1970-01-01 UTC
  uint32_t mode = 0644;  // Unix permission bits (the type bits are set by the writer)
};

enum class AddStatus {
  kAdded,         // the entry is in the archive
  kSourceFailed,  // the source could not be read; the archive holds what it held before
  kOutputFailed,  // the archive file could not be written; give up
};

// Fields of one level-2 header, in the form they are stored.
struct HeaderFields {
  char method[6] = "-lh0-";
  uint32_t packed_size = 0;
  uint32_t original_size = 0;
  uint32_t mtime = 0;
  uint16_t data_crc = 0;
  uint16_t dos_attributes = 0x20;
  uint16_t unix_mode = 0100644;
  std::string directory;  // folder part of the name, "/" separators, empty for none
  std::string file_name;  // last part of the name, empty for a folder entry
};

// The complete header bytes, header CRC included. Fails (returns empty) when
// the names do not fit a level-2 header.
std::vector<uint8_t> build_header(const HeaderFields& fields);

class ArchiveWriter {
 public:
  explicit ArchiveWriter(const Lh5Options& options = Lh5Options());
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Creates (or empties) the file at path for the archive.
  bool open(const std::string& path, std::string* error);
  // Adds one entry. On kSourceFailed and kOutputFailed *error tells why.
  AddStatus add(const Entry& entry, std::string* error);
  // Writes the end mark, closes the file and cuts it to the archive's end.
  // The data is not yet forced to the disk: that is the caller's business.
  bool finish(std::string* error);
  // Closes and leaves the file as it is (the caller removes it).
  void abandon();

 private:
  AddStatus add_folder(const Entry& entry, std::string* error);
  AddStatus add_file(const Entry& entry, std::string* error);
  bool write_at(int64_t offset, const uint8_t* data, size_t size, std::string* error);
  bool write_out(const uint8_t* data, size_t size, std::string* error);

  Lh5Options options_;
  std::string path_;
  std::FILE* out_ = nullptr;
  int64_t end_ = 0;  // end of the last complete entry
  std::vector<uint8_t> in_buffer_;
};

// Splits an archive name into the stored folder and file name parts.
void split_name(const std::string& name, bool is_folder, std::string* directory, std::string* file_name);

}  // namespace lzh
