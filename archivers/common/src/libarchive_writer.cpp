#include "arc/libarchive_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include <vector>

#include "arc/codes.h"

namespace zubeto::arc {

namespace {

class LibarchiveWriter : public EntryWriter {
 public:
  explicit LibarchiveWriter(LibarchiveSetup setup) : setup_(setup) {}
  ~LibarchiveWriter() override {
    if (a_) archive_write_free(a_);  // after a failure: closes without another write
    if (utf8_) {
      uselocale(caller_locale_);
      freelocale(utf8_);
    }
  }

  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = &out;
    // libarchive converts names through the locale's character set; the
    // caller may run in the "C" locale, in which no UTF-8 name converts.
    // Use a UTF-8 character set on this thread while the archive is made.
    utf8_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8_) caller_locale_ = uselocale(utf8_);
    a_ = archive_write_new();
    if (!a_) return Status::fail(ARC_E_INTERNAL, "out of memory");
    if (setup_(a_) != ARCHIVE_OK) return format_failure("cannot set up the archive format");
    if (archive_write_open2(a_, this, nullptr, &LibarchiveWriter::on_write, nullptr, nullptr) != ARCHIVE_OK)
      return format_failure("cannot start the archive");
    return Status{};
  }

  Status add(const Entry& e, FileContent* content) override {
    struct archive_entry* ae = archive_entry_new();
    if (!ae) return Status::fail(ARC_E_INTERNAL, "out of memory");
    std::string name = e.name;
    switch (e.kind) {
      case EntryKind::Folder:
        name += '/';
        archive_entry_set_filetype(ae, AE_IFDIR);
        break;
      case EntryKind::File:
        archive_entry_set_filetype(ae, AE_IFREG);
        archive_entry_set_size(ae, static_cast<la_int64_t>(content ? content->size() : 0));
        break;
      case EntryKind::Link:
        archive_entry_set_filetype(ae, AE_IFLNK);
        archive_entry_set_symlink_utf8(ae, e.link_target.c_str());
        break;
    }
    // Paths are UTF-8 bytes whatever the caller's locale.
    archive_entry_set_pathname_utf8(ae, name.c_str());
    archive_entry_set_perm(ae, static_cast<mode_t>(e.kind == EntryKind::Link ? 0777 : e.mode));
    archive_entry_set_mtime(ae, e.mtime, 0);
    archive_entry_set_uid(ae, e.uid);
    archive_entry_set_gid(ae, e.gid);
    int rc = archive_write_header(a_, ae);
    archive_entry_free(ae);
    if (rc < ARCHIVE_WARN) return failure("cannot store " + e.path);
    if (content) {
      std::vector<char> buf(64 * 1024);
      for (;;) {
        size_t n = content->read(buf.data(), buf.size());
        if (n == 0) break;
        if (archive_write_data(a_, buf.data(), n) < 0) return failure("cannot store " + e.path);
      }
    }
    if (archive_write_finish_entry(a_) < ARCHIVE_WARN) return failure("cannot store " + e.path);
    return Status{};
  }

  Status finish() override {
    int rc = archive_write_close(a_);
    if (rc != ARCHIVE_OK) return failure("cannot complete the archive");
    archive_write_free(a_);
    a_ = nullptr;
    return Status{};
  }

 private:
  static la_ssize_t on_write(struct archive*, void* self_ptr, const void* data, size_t size) {
    auto* self = static_cast<LibarchiveWriter*>(self_ptr);
    Status s = self->out_->write_all(data, size);
    if (!s.ok()) {
      if (self->write_error_.ok()) self->write_error_ = s;
      return -1;
    }
    return static_cast<la_ssize_t>(size);
  }

  // A write failure is reported as such; anything else is the format's.
  Status failure(const std::string& what) {
    if (!write_error_.ok()) return write_error_;
    return format_failure(what);
  }

  Status format_failure(const std::string& what) {
    const char* why = a_ ? archive_error_string(a_) : nullptr;
    return Status::fail(ARC_E_FORMAT, what + (why ? std::string(" (") + why + ")" : std::string()));
  }

  LibarchiveSetup setup_;
  struct archive* a_ = nullptr;
  OutputFile* out_ = nullptr;
  Status write_error_;
  locale_t utf8_ = static_cast<locale_t>(0);
  locale_t caller_locale_ = LC_GLOBAL_LOCALE;
};

}  // namespace

std::unique_ptr<EntryWriter> make_libarchive_writer(LibarchiveSetup setup) {
  return std::make_unique<LibarchiveWriter>(setup);
}

}  // namespace zubeto::arc
