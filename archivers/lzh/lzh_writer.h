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

// Where the archive goes: written in sequence, with a jump back now and
// then to rewrite a header or to drop an entry that failed.
class ArchiveOutput {
 public:
  virtual ~ArchiveOutput() = default;
  // Writes at the current position; false (with *error) on failure.
  virtual bool write(const uint8_t* data, size_t size, std::string* error) = 0;
  // Moves the current position.
  virtual bool seek(int64_t offset, std::string* error) = 0;
  // Writes what is buffered and cuts the file at `length`.
  virtual bool close_at(int64_t length, std::string* error) = 0;
};

// The data of one file entry.
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // Up to `cap` bytes; 0 at the end; -1 on a read failure (*error says why).
  virtual long long read(uint8_t* buf, size_t cap, std::string* error) = 0;
  // Starts again from the first byte (needed when a file is kept stored
  // after all); false when that is not possible.
  virtual bool rewind(std::string* error) = 0;
};

class ArchiveWriter {
 public:
  explicit ArchiveWriter(ArchiveOutput& out, const Lh5Options& options = Lh5Options());
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds one entry; `source` gives a file's data (unused for folders). On
  // kSourceFailed the archive holds what it held before and *error tells why.
  AddStatus add(const Entry& entry, EntrySource* source, std::string* error);
  // Writes the end mark and closes the output at the archive's end.
  bool finish(std::string* error);

 private:
  AddStatus add_folder(const Entry& entry, std::string* error);
  AddStatus add_file(const Entry& entry, EntrySource& source, std::string* error);
  bool write_at(int64_t offset, const uint8_t* data, size_t size, std::string* error);

  ArchiveOutput& out_;
  Lh5Options options_;
  int64_t end_ = 0;  // end of the last complete entry
  std::vector<uint8_t> in_buffer_;
};

// An ArchiveOutput on a file of the C library, and an EntrySource reading a
// file by its path: for writing archives outside the archiver library.
class StdioOutput : public ArchiveOutput {
 public:
  ~StdioOutput() override;
  bool open(const std::string& path, std::string* error);
  bool write(const uint8_t* data, size_t size, std::string* error) override;
  bool seek(int64_t offset, std::string* error) override;
  bool close_at(int64_t length, std::string* error) override;

 private:
  std::string path_;
  std::FILE* f_ = nullptr;
};

class StdioSource : public EntrySource {
 public:
  ~StdioSource() override;
  bool open(const std::string& path, std::string* error);
  long long read(uint8_t* buf, size_t cap, std::string* error) override;
  bool rewind(std::string* error) override;

 private:
  std::string path_;
  std::FILE* f_ = nullptr;
};

// Writes a whole archive at `path` from entries whose sources are files on
// disk. Entries whose source cannot be read are left out and listed in
// *skipped; returns false when the archive itself could not be written.
bool write_archive(const std::string& path, const std::vector<Entry>& entries, const Lh5Options& options,
                   std::vector<std::string>* skipped, std::string* error);

// Splits an archive name into the stored folder and file name parts.
void split_name(const std::string& name, bool is_folder, std::string* directory, std::string* file_name);

}  // namespace lzh
