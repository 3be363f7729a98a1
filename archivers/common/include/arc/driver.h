// The shared run of one archiver command: read the command, check the
// destination, walk the sources, write every entry through the format's
// writer into an OutputFile, commit it, and build the output text and the
// return code. A format supplies only an EntryWriter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "arc/format.h"
#include "arc/output_file.h"
#include "arc/status.h"
#include "arc/walker.h"

namespace zubeto::arc {

// The bytes of one file entry, as the writer pulls them. read() gives
// exactly size() bytes. When the file is longer than size() it is cut: the
// entry holds exactly the bytes read, under a header that says so, and the
// driver reports ARC_E_SOURCE_CHANGED. When a read fails or the file ends
// early, the bytes from there on are zeros that are not the file's:
// incomplete() turns true, and the writer must leave the entry out
// entirely (cut back whatever it wrote of it, drop what it holds of it in
// memory or in flight); the driver then names the file as left out
// (ARC_E_SOURCE_UNREADABLE). A file is never stored padded.
class FileContent {
 public:
  virtual ~FileContent() = default;
  virtual uint64_t size() const = 0;
  // Copies the next bytes into `buf` (at most `cap`); 0 once size() bytes
  // have been given.
  virtual size_t read(void* buf, size_t cap) = 0;
  // A read failed or the file ended before size() bytes: the entry must
  // be left out. A writer may stop reading as soon as it turns true.
  virtual bool incomplete() const { return false; }
  // Starts again at the first byte, for writers that read a file twice
  // (LZH keeps a file stored when compressing it does not pay). False when
  // the file cannot be read again.
  virtual bool rewind() { return false; }
  // Passes over the next `n` bytes without giving them, for a writer that
  // keeps a hole as a hole (the file's position moves, nothing is read).
  virtual void skip(uint64_t n) {
    char scratch[4096];
    while (n > 0) {
      size_t k = read(scratch, static_cast<size_t>(n < sizeof scratch ? n : sizeof scratch));
      if (k == 0) break;
      n -= k;
    }
  }
  // The open file, for a writer that keeps more of it than its bytes (its
  // holes, its extended attributes); null when there is none.
  virtual platform::InputFile* file() { return nullptr; }
};

class EntryWriter {
 public:
  virtual ~EntryWriter() = default;
  // The largest file the format can hold, in bytes. A larger file is
  // left out and named (ARC_E_SOURCE_UNREADABLE) before the archive is
  // created, and the rest is kept.
  virtual uint64_t max_file_size() const { return std::numeric_limits<uint64_t>::max(); }
  // Whether the format can hold this one entry. A non-empty answer is the
  // reason it cannot ("file too large for ...", "name too long for ..."):
  // the run leaves the entry out, names it, and keeps the rest. Asked for
  // every entry before begin(), and again for a file once it is opened
  // (with the size it has then). The size limit (max_file_size()) is the
  // run's own check; a format with further limits on one entry (a name's
  // length) tells them here.
  virtual std::string check_entry(const Entry& e) const;
  // How a reader restores one part of an archive name (the text between
  // two "/"): the part as the format stores it, after every mapping (code
  // page, characters it cannot hold), with "/" where readers take a
  // character for a folder separator, and letter case folded when
  // name_key_folds_case(). The run keeps these keys distinct (see
  // arc/stored_names.h). The default: the part as UTF-8.
  virtual std::string name_key(std::string_view part) const;
  // Whether name_key() folds letter case, because the format's readers
  // ignore it (LZH and CAB readers on Windows). When it does not, names
  // that differ only in case are kept and noted.
  virtual bool name_key_folds_case() const { return false; }
  // Checks the whole plan (the entries check_entry() accepted) before
  // anything is written: limits of the archive as a whole, such as the
  // number of entries. A refusal ends the run without an archive
  // (ARC_E_FORMAT). A file that grows past a limit after this check must
  // still be refused by add().
  virtual Status check_plan(const std::vector<Entry>& plan) const;
  // True for a format that needs no plan: its entries are then added as
  // the walk meets them, and begin() is given an empty plan (check_plan()
  // is not called), so that nothing per file is kept for the whole run.
  virtual bool takes_entries_as_walked() const { return false; }
  // For a writer that takes entries as walked but would know the size of
  // what comes first (a table written before the data): true asks for a
  // walk that only counts before the one that adds. Every entry that walk
  // meets goes to count() (nothing is opened, nothing reported, no name
  // yet made distinct), then begin() and add() follow as above. What
  // changes between the two walks must still be written right.
  virtual bool counts_entries_first() const { return false; }
  virtual void count(const Entry&) {}
  // Called once, before any entry. `plan` lists every entry the walk found,
  // in order (a file that cannot be opened later is left out of add()).
  virtual Status begin(OutputFile& out, const std::vector<Entry>& plan) = 0;
  // One entry; `content` is given for files only. For a file, entry.size
  // equals content->size(), and entry.mtime etc. are those of the open file.
  // When content->incomplete() is true once add() returns, the archive
  // must hold nothing of this entry (see FileContent).
  virtual Status add(const Entry& entry, FileContent* content) = 0;
  // Writes whatever ends the archive. The driver then commits the file.
  virtual Status finish() = 0;
};

using WriterFactory = std::function<std::unique_ptr<EntryWriter>()>;

// The whole command function of an archiver library. Never throws; a null
// command is a malformed command.
int run_archiver(FormatId format, const char* command, char* output, uint32_t size,
                 const WriterFactory& make_writer);

}  // namespace zubeto::arc
