// unlha32.so: LZH archives ("a" = create). Every path is stored without its
// root (/home/u/data/a.txt as home/u/data/a.txt), folders as "-lhd-"
// entries, files as "-lh5-" or, when that does not make them smaller,
// "-lh0-"; modification times and Unix permissions are kept. The command
// reading, the walk, the output file and the output text are the shared
// archiver core's; this file only puts the LZH writer behind it.
#include <memory>

#include "arc/codes.h"
#include "arc/driver.h"
#include "archiver_api.h"
#include "lzh_writer.h"

namespace {

using zubeto::arc::Status;

// The archive's temporary file, written through a buffer; headers are
// rewritten in place, so a seek first writes out what is buffered.
class TempOutput : public lzh::ArchiveOutput {
 public:
  explicit TempOutput(zubeto::arc::OutputFile& out) : out_(out) { buf_.reserve(kBufferSize); }

  bool write(const uint8_t* data, size_t size, std::string* error) override {
    if (buf_.size() + size > kBufferSize && !flush(error)) return false;
    if (size >= kBufferSize) return put(data, size, error);
    buf_.insert(buf_.end(), data, data + size);
    return true;
  }

  bool seek(int64_t offset, std::string* error) override {
    if (!flush(error)) return false;
    at_ = offset;
    return true;
  }

  bool close_at(int64_t length, std::string* error) override {
    if (!flush(error)) return false;
    // Entries dropped or kept stored after all may have left bytes past the end.
    Status s = out_.truncate(static_cast<uint64_t>(length));
    if (!s.ok()) {
      *error = s.text;
      return false;
    }
    return true;
  }

 private:
  static constexpr size_t kBufferSize = 256 * 1024;

  bool flush(std::string* error) {
    bool ok = put(buf_.data(), buf_.size(), error);
    buf_.clear();
    return ok;
  }

  bool put(const uint8_t* data, size_t size, std::string* error) {
    Status s = out_.write_at(static_cast<uint64_t>(at_), data, size);
    if (!s.ok()) {
      *error = s.text;
      return false;
    }
    at_ += static_cast<int64_t>(size);
    return true;
  }

  zubeto::arc::OutputFile& out_;
  int64_t at_ = 0;
  std::vector<uint8_t> buf_;
};

// A file's bytes as the shared core hands them out.
class ContentSource : public lzh::EntrySource {
 public:
  explicit ContentSource(zubeto::arc::FileContent& c) : c_(c) {}
  long long read(uint8_t* buf, size_t cap, std::string*) override {
    return static_cast<long long>(c_.read(buf, cap));
  }
  bool rewind(std::string* error) override {
    if (c_.rewind()) return true;
    *error = "cannot read the file a second time";
    return false;
  }

 private:
  zubeto::arc::FileContent& c_;
};

class LzhEntryWriter : public zubeto::arc::EntryWriter {
 public:
  Status begin(zubeto::arc::OutputFile& out, const std::vector<zubeto::arc::Entry>&) override {
    output_ = std::make_unique<TempOutput>(out);
    writer_ = std::make_unique<lzh::ArchiveWriter>(*output_);
    return {};
  }

  Status add(const zubeto::arc::Entry& e, zubeto::arc::FileContent* content) override {
    lzh::Entry le;
    le.name = e.name;
    le.source = e.path;
    le.is_folder = e.kind == zubeto::arc::EntryKind::Folder;
    le.size = e.size;
    le.mtime = e.mtime;
    le.mode = e.mode;
    std::string error;
    std::unique_ptr<ContentSource> src;
    if (content) src = std::make_unique<ContentSource>(*content);
    switch (writer_->add(le, src.get(), &error)) {
      case lzh::AddStatus::kAdded:
        return {};
      case lzh::AddStatus::kSourceFailed:
        return Status::fail(ARC_E_FORMAT, e.path + ": " + error);
      case lzh::AddStatus::kOutputFailed:
        break;
    }
    return Status::fail(ARC_E_WRITE, error);
  }

  Status finish() override {
    std::string error;
    if (!writer_->finish(&error)) return Status::fail(ARC_E_WRITE, error);
    return {};
  }

 private:
  std::unique_ptr<TempOutput> output_;
  std::unique_ptr<lzh::ArchiveWriter> writer_;
};

}  // namespace

ARC_EXPORT uint16_t ARC_CALL UnlhaGetVersion(void) { return 100; }

ARC_EXPORT int ARC_CALL Unlha(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Lzh, command, output, size, [] { return std::make_unique<LzhEntryWriter>(); });
}
