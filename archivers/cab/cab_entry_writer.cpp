#include "cab_entry_writer.h"

#include "arc/codes.h"

namespace cab {

namespace {

using zubeto::arc::Entry;
using zubeto::arc::EntryKind;
using zubeto::arc::FileContent;
using zubeto::arc::OutputFile;
using zubeto::arc::Status;

class ContentSource : public Source {
 public:
  explicit ContentSource(FileContent& c) : c_(c) {}
  size_t read(void* buf, size_t cap) override { return c_.read(buf, cap); }

 private:
  FileContent& c_;
};

// Names as UTF-8, which the cabinet marks as such, whatever the system's
// code page: every reader then shows the same name.
std::string stored_name(const Entry& e) { return platform::name_to_utf8(e.name); }

class CabEntryWriter : public zubeto::arc::EntryWriter {
 public:
  explicit CabEntryWriter(const Options& options) : w_(options) {}

  Status begin(OutputFile& out, const std::vector<Entry>& plan) override {
    std::vector<FileInfo> files;
    for (const Entry& e : plan)
      if (e.kind == EntryKind::File) files.push_back({stored_name(e), e.size, e.mtime, attributes_of(e), e.path});
    if (!w_.begin(out.file(), files)) return status();
    return {};
  }

  Status add(const Entry& e, FileContent* content) override {
    if (e.kind != EntryKind::File || content == nullptr) return {};
    ContentSource src(*content);
    FileInfo info{stored_name(e), content->size(), e.mtime, attributes_of(e), e.path};
    if (w_.add(info, src) == CabinetWriter::Added::failed) return status();
    return {};
  }

  Status finish() override {
    if (!w_.finish()) return status();
    return {};
  }

 private:
  Status status() const {
    switch (w_.failure()) {
      case Failure::nothing: return Status::fail(ARC_E_NOTHING, w_.error());
      case Failure::limit: return Status::fail(ARC_E_FORMAT, w_.error());
      default: return Status::fail(ARC_E_WRITE, w_.error());
    }
  }

  CabinetWriter w_;
};

}  // namespace

uint16_t attributes_of(const zubeto::arc::Entry& e) {
  uint16_t a = kAttrArchive;
  if ((e.mode & 0222) == 0) a |= kAttrReadOnly;
  size_t slash = e.name.find_last_of('/');
  if (e.name.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0) a |= kAttrHidden;
  if (e.mode & 0100) a |= kAttrExec;
  return a;
}

std::unique_ptr<zubeto::arc::EntryWriter> make_cab_writer(const Options& options) {
  return std::make_unique<CabEntryWriter>(options);
}

}  // namespace cab
