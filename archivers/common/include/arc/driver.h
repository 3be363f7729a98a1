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
#include <vector>

#include "arc/format.h"
#include "arc/output_file.h"
#include "arc/status.h"
#include "arc/walker.h"

namespace zubeto::arc {

// The bytes of one file entry, as the writer pulls them. The entry holds
// exactly size() bytes: when the file turns out shorter while read (or a
// read fails) the rest is filled with zero bytes, when longer it is cut;
// either is reported as ARC_E_SOURCE_CHANGED by the driver, not the writer.
class FileContent {
 public:
  virtual ~FileContent() = default;
  virtual uint64_t size() const = 0;
  // Copies the next bytes into `buf` (at most `cap`); 0 once size() bytes
  // have been given.
  virtual size_t read(void* buf, size_t cap) = 0;
  // Starts again at the first byte, for writers that read a file twice
  // (LZH keeps a file stored when compressing it does not pay). False when
  // the file cannot be read again.
  virtual bool rewind() { return false; }
};

class EntryWriter {
 public:
  virtual ~EntryWriter() = default;
  // The largest file the format can hold, in bytes. A larger file is
  // refused (ARC_E_FORMAT) before the archive is created, so no time is
  // spent compressing an archive that cannot be finished.
  virtual uint64_t max_file_size() const { return std::numeric_limits<uint64_t>::max(); }
  // Checks the whole plan before anything is written. The default refuses
  // a file larger than max_file_size(); a format with further limits (the
  // number of entries, a name's length) adds them here. A file that grows
  // past a limit after this check must still be refused by add().
  virtual Status check_plan(const std::vector<Entry>& plan) const;
  // True for a format that needs no plan: its entries are then added as
  // the walk meets them, and begin() is given an empty plan (check_plan()
  // is not called), so that nothing per file is kept for the whole run.
  virtual bool takes_entries_as_walked() const { return false; }
  // Called once, before any entry. `plan` lists every entry the walk found,
  // in order (a file that cannot be opened later is left out of add()).
  virtual Status begin(OutputFile& out, const std::vector<Entry>& plan) = 0;
  // One entry; `content` is given for files only. For a file, entry.size
  // equals content->size(), and entry.mtime etc. are those of the open file.
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
