#include "arc/driver.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <new>

#include "arc/codes.h"
#include "arc/command.h"
#include "arc/output_text.h"
#include "arc/report.h"
#include "arc/stored_names.h"
#include "platform/stop.h"

namespace zubeto::arc {

namespace {

// Bytes read ahead when a file is opened: a file that fails at its first
// read is left out entirely instead of being stored filled with zeros.
constexpr size_t kReadAhead = 64 * 1024;

class OpenFile : public FileContent {
 public:
  // Opens the entry's file through the walk's folders and reads ahead. On
  // failure returns the reason.
  bool open(Entry& e, FileOpener& opener, std::string& why) {
    platform::FileFacts facts;
    platform::SysError err;
    if (!opener.open(e, file_, facts, err)) {
      why = err.text();
      gone_ = err.kind == platform::ErrorKind::Missing;
      return false;
    }
    if (facts.kind != platform::FileKind::File) {
      why = "no longer a plain file";
      return false;
    }
    size_ = facts.size;
    take_facts(e, facts);
    // Not zero-filled: only the bytes read are ever used.
    ahead_.reset(new char[kReadAhead]);
    size_t got = 0;
    while (got < kReadAhead) {
      long long n = file_.read(ahead_.get() + got, kReadAhead - got, err);
      if (n < 0) {
        why = err.text();
        return false;
      }
      if (n == 0) {
        at_end_ = true;
        ahead_at_end_ = true;
        break;
      }
      got += static_cast<size_t>(n);
      // A plain file that gave all its bytes and fewer than were asked for
      // ended there: no second read to hear it (one system call less for
      // each small file). Had it grown since it was measured, the bytes
      // beyond its size are in the read-ahead, and grew() says so.
      if (got >= size_ && got < kReadAhead) {
        at_end_ = true;
        ahead_at_end_ = true;
        break;
      }
    }
    ahead_len_ = got;
    return true;
  }

  uint64_t size() const override { return size_; }
  // The file was no longer there when it was opened.
  bool gone() const { return gone_; }

  bool rewind() override {
    // The read-ahead stays valid: read on from just after it.
    platform::SysError err;
    if (!file_.seek(ahead_len_, err)) return false;
    given_ = 0;
    ahead_pos_ = 0;
    at_end_ = ahead_at_end_;
    return true;
  }

  platform::InputFile* file() override { return &file_; }

  void skip(uint64_t n) override {
    const uint64_t target = given_ + std::min(n, size_ - given_);
    if (target <= ahead_len_) {
      ahead_pos_ = static_cast<size_t>(target);
    } else {
      ahead_pos_ = ahead_len_;
      platform::SysError err;
      if (ahead_at_end_) {
        short_ = true;  // the whole file was in the read-ahead: it shrank
      } else if (!failed_ && !file_.seek(target, err)) {
        failed_ = true;
        fail_reason_ = err.text();
      }
    }
    given_ = target;
  }

  size_t read(void* buf, size_t cap) override {
    uint64_t left = size_ - given_;
    if (left == 0 || cap == 0) return 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(left, cap));
    char* out = static_cast<char*>(buf);
    size_t n = 0;
    if (ahead_pos_ < ahead_len_) {
      n = std::min(want, ahead_len_ - ahead_pos_);
      std::memcpy(out, ahead_.get() + ahead_pos_, n);
      ahead_pos_ += n;
    } else if (!at_end_ && !failed_) {
      platform::SysError err;
      long long r = file_.read(out, want, err);
      if (r < 0) {
        failed_ = true;
        fail_reason_ = err.text();
      } else if (r == 0) {
        at_end_ = true;
      } else {
        n = static_cast<size_t>(r);
      }
    }
    if (n == 0) {
      // Shorter than when opened, or a read failed: the writer leaves the
      // entry out; the zeros only keep its count of bytes right.
      if (!short_) whole_ = given_;
      short_ = true;
      n = want;
      std::memset(out, 0, n);
    }
    given_ += n;
    return n;
  }

  bool incomplete() const override { return short_; }

  // Why the file could not be read whole (after incomplete()).
  std::string why_incomplete() const {
    if (failed_)
      return "a read failed after " + std::to_string(whole_) + " of " + std::to_string(size_) + " bytes: " + fail_reason_;
    return "it shrank while read: it ended after " + std::to_string(whole_) + " of " + std::to_string(size_) + " bytes";
  }

  // After the writer took every byte of a complete file: did it grow?
  bool grew(std::string& why) {
    bool more = ahead_pos_ < ahead_len_;
    if (!more && !at_end_) {
      char probe;
      platform::SysError err;
      more = file_.read(&probe, 1, err) > 0;
    }
    if (more) {
      why = "it grew while read; its entry holds only the first " + std::to_string(size_) + " bytes";
      return true;
    }
    return false;
  }

 private:
  platform::InputFile file_;
  bool gone_ = false;
  uint64_t size_ = 0;
  uint64_t given_ = 0;
  std::unique_ptr<char[]> ahead_;
  size_t ahead_len_ = 0;
  size_t ahead_pos_ = 0;
  bool at_end_ = false;
  bool ahead_at_end_ = false;
  bool failed_ = false;
  bool short_ = false;   // a read failed or the file ended early
  uint64_t whole_ = 0;   // bytes read before that
  std::string fail_reason_;
};

// The name of a source in the archive.
std::string source_name(const FormatRow& row, const Command& cmd, const Source& s) {
  if (s.contents_only) return "";
  if (row.names == NameRule::RelativeToBase) {
    std::string base = clean_name(platform::absolute_path(cmd.base_dir));
    std::string full = clean_name(platform::absolute_path(s.path));
    if (base.empty()) return full;
    if (full == base) return "";
    if (full.size() > base.size() && full.compare(0, base.size(), base) == 0 && full[base.size()] == '/')
      return full.substr(base.size() + 1);
    return full;
  }
  std::string name = clean_name(s.path);
  if (row.names == NameRule::OwnName) {
    size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
  }
  return name;
}

std::string plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int finish(OutputText& text, int code, char* output, uint32_t size) {
  text.write(output, size);
  return code;
}

int run(FormatId format, const char* command, char* output, uint32_t size, const WriterFactory& make_writer) {
  const FormatRow& row = format_row(format);
  OutputText text;
  if (command == nullptr) {
    text.line("ERROR: bad command: no command text");
    return finish(text, ARC_E_COMMAND, output, size);
  }
  Command cmd;
  std::string error;
  int code = parse_command(row, command, cmd, error);
  if (code != ARC_OK) {
    text.line("ERROR: " + error);
    return finish(text, code, output, size);
  }

  Status s = OutputFile::check_destination(cmd.archive);
  if (!s.ok()) {
    text.line("ERROR: archive not written: " + s.text);
    return finish(text, s.code, output, size);
  }

  std::vector<WalkRoot> roots;
  for (const Source& src : cmd.sources) roots.push_back({src.path, source_name(row, cmd, src), src.contents_only});
  WalkOptions options;
  {
    // Our own destination is never walked into: known by its identity,
    // whatever path leads to it.
    platform::FileFacts dest;
    platform::SysError derr;
    const std::string folder = folder_of(cmd.archive);
    if (platform::path_facts(folder, /*follow_link=*/true, dest, derr) && dest.kind == platform::FileKind::Folder) {
      options.has_destination = true;
      options.dest_dev = dest.dev;
      options.dest_ino = dest.ino;
      std::vector<std::string_view> parts = platform::path_parts(cmd.archive);
      if (!parts.empty()) options.archive_name = std::string(parts.back());
    }
  }
  Report report;
  std::unique_ptr<EntryWriter> writer = make_writer();

  // What the format cannot hold is left out here, each with a line:
  // links (when the format has none) and, for formats that keep files
  // only, the folders' own entries (their files are kept).
  auto fits_format = [&](const Entry& e) {
    if (e.kind == EntryKind::Link && !row.stores_links) {
      report.note("NOTE: left out: " + e.path + " (a symbolic link to " + e.link_target + "; " +
                  std::string(row.name) + " archives cannot hold links)");
      return false;
    }
    return !(e.kind == EntryKind::Folder && !row.stores_folders);
  };

  auto problem_lines = [&] {
    for (const Report::Problem& p : report.problems) text.line(p.text);
    for (const std::string& n : report.notes) text.line(n);
  };
  auto nothing = [&] {
    text.line("ERROR: nothing archived: none of the sources gave anything " + std::string(row.name) +
              " archives can keep; no archive was written");
    problem_lines();
    return finish(text, ARC_E_NOTHING, output, size);
  };

  OutputFile out;
  // The names listed in the output text: only as many as the caller's
  // buffer could ever show, the rest counted.
  std::vector<std::string> listed;
  size_t listed_bytes = 0, listed_more = 0;
  // Why the format cannot hold one entry ("" when it can): a file too
  // large, a name too long. Such an entry is left out and named; the rest
  // of the archive is kept.
  const uint64_t most = std::min(row.max_file_size, writer->max_file_size());
  const auto cannot_hold = [&](const Entry& e) -> std::string {
    if (e.kind == EntryKind::File && e.size > most)
      return "file too large for " + std::string(row.name) + " archives: " + std::to_string(e.size) +
             " bytes, at most " + std::to_string(most);
    return writer->check_entry(e);
  };
  // Names as the format stores them stay distinct; a renamed entry is
  // asked again whether the format can hold it (a longer name).
  StoredNames names(row.name, *writer);
  const auto place = [&](Entry& e) {
    std::string name = names.place(e, report);
    if (name == e.name) return true;
    e.name = std::move(name);
    std::string why = cannot_hold(e);
    if (why.empty()) return true;
    report.problem(ARC_E_SOURCE_UNREADABLE, "left out: " + e.path + " (" + why + ")");
    return false;
  };
  size_t stored = 0;
  std::vector<std::string> removed;
  // One entry into the archive; its file opened through the walk's folders.
  auto store = [&](Entry e, FileOpener& opener) {
    if (e.kind != EntryKind::File) {
      if (!place(e)) return;
      s = writer->add(e, nullptr);
    } else {
      OpenFile file;
      std::string why;
      if (!file.open(e, opener, why)) {
        if (file.gone())
          report.problem(ARC_E_SOURCE_MISSING, "vanished before it was read: " + e.path);
        else
          report.problem(ARC_E_SOURCE_UNREADABLE, "cannot read: " + e.path + " (" + why + ")");
        return;
      }
      // Asked again with the size the open file has: it may have grown.
      std::string held = cannot_hold(e);
      if (!held.empty()) {
        report.problem(ARC_E_SOURCE_UNREADABLE, "left out: " + e.path + " (it grew while the run went on; " + held + ")");
        return;
      }
      if (!place(e)) return;
      s = writer->add(e, &file);
      if (s.ok() && file.incomplete()) {
        // The writer left it out: a file is stored whole or not at all.
        report.problem(ARC_E_SOURCE_UNREADABLE, "left out: " + e.path + " (" + file.why_incomplete() + ")");
        return;
      }
      if (s.ok() && file.grew(why)) report.problem(ARC_E_SOURCE_CHANGED, "changed while read: " + e.path + " (" + why + ")");
    }
    if (s.ok()) ++stored;
    if (s.ok() && row.lists_entries) {
      if (listed_bytes > size) {
        ++listed_more;
      } else {
        listed.push_back(e.kind == EntryKind::Folder ? e.name + "/" : e.name);
        listed_bytes += listed.back().size() + 4;  // "a " and the line end
      }
    }
  };
  // An entry the format cannot hold at all is named and left out.
  const auto held_by_format = [&](const Entry& e) {
    if (!fits_format(e)) return false;
    std::string why = cannot_hold(e);
    if (why.empty()) return true;
    report.problem(ARC_E_SOURCE_UNREADABLE, "left out: " + e.path + " (" + why + ")");
    return false;
  };

  if (writer->takes_entries_as_walked()) {
    // Each entry goes into the archive as the walk meets it: nothing is
    // kept per file but what the walk's and the names' rules need.
    if (StopSignals::stopped()) s = Status::fail(ARC_E_STOPPED, "stopped by a signal");
    if (s.ok()) s = out.create(cmd.archive, &removed);
    for (const std::string& r : removed)
      report.note("NOTE: removed a partial archive left by an earlier run that was stopped: " + r);
    if (s.ok() && writer->counts_entries_first()) {
      // A first walk that only counts; what it finds wrong is found again
      // by the walk that adds, and said then.
      Report counted;
      struct Counter : WalkVisitor {
        EntryWriter* writer;
        bool visit(Entry& e, FileOpener&) override {
          if (StopSignals::stopped()) return false;
          writer->count(e);
          return true;
        }
      } counter;
      counter.writer = writer.get();
      walk(roots, options, counted, counter);
      if (StopSignals::stopped()) s = Status::fail(ARC_E_STOPPED, "stopped by a signal");
    }
    if (s.ok()) s = writer->begin(out, {});
    if (s.ok()) {
      struct Streamer : WalkVisitor {
        std::function<bool(Entry&, FileOpener&)> fn;
        bool visit(Entry& e, FileOpener& opener) override { return fn(e, opener); }
      } streamer;
      streamer.fn = [&](Entry& e, FileOpener& opener) {
        if (StopSignals::stopped()) {
          s = Status::fail(ARC_E_STOPPED, "stopped by a signal");
          return false;
        }
        if (held_by_format(e)) store(std::move(e), opener);
        return s.ok();
      };
      walk(roots, options, report, streamer);
    }
  } else {
    std::vector<WalkedFolder> folders;
    std::vector<Entry> entries = walk(roots, options, report, &folders);
    {
      std::vector<Entry> kept;
      kept.reserve(entries.size());
      for (Entry& e : entries)
        if (held_by_format(e)) kept.push_back(std::move(e));
      entries.swap(kept);
    }
    if (StopSignals::stopped()) s = Status::fail(ARC_E_STOPPED, "stopped by a signal");
    if (s.ok() && entries.empty()) return nothing();
    if (s.ok()) s = writer->check_plan(entries);
    if (s.ok()) s = out.create(cmd.archive, &removed);
    for (const std::string& r : removed)
      report.note("NOTE: removed a partial archive left by an earlier run that was stopped: " + r);
    if (s.ok()) s = writer->begin(out, entries);
    FolderOpener opener(folders);
    for (size_t i = 0; s.ok() && i < entries.size(); ++i) {
      if (StopSignals::stopped()) {
        s = Status::fail(ARC_E_STOPPED, "stopped by a signal");
        break;
      }
      store(entries[i], opener);
    }
  }
  if (s.ok() && stored == 0) {
    writer.reset();
    out.discard();
    return nothing();
  }
  if (s.ok()) s = writer->finish();
  writer.reset();
  if (s.ok()) s = out.commit();
  if (!s.ok()) {
    out.discard();
    if (s.code == ARC_E_STOPPED)
      s.text = std::string("stopped by ") + platform::stop_signal_name(StopSignals::signal_number()) +
               "; the partial archive was removed";
    text.line((s.code == ARC_E_COMMIT ? "ERROR: archive not named: " : "ERROR: archive not written: ") + s.text);
    problem_lines();
    return finish(text, s.code, output, size);
  }

  code = report.first_code();
  if (code != ARC_OK) {
    text.line("ERROR: " + plural(report.problems.size(), "source was", "sources were") +
              " not archived (or not completely); the archive holds everything else: " + cmd.archive);
  }
  problem_lines();
  for (std::string& name : listed) text.line("a " + name);
  text.lines_not_kept(listed_more);
  return finish(text, code, output, size);
}

}  // namespace

std::string EntryWriter::check_entry(const Entry&) const { return ""; }

std::string EntryWriter::name_key(std::string_view part) const { return platform::name_to_utf8(part); }

Status EntryWriter::check_plan(const std::vector<Entry>&) const { return Status{}; }

namespace {

// For one run, the file services take and give names in UTF-8 (on Windows,
// through the system's wide calls): the walk then archives every name the
// system holds, also one the ANSI code page cannot spell, and each format
// stores it in its Unicode form. The caller's texts stay in the ANSI code
// page: the command text (and the lists of sources it names) is read from
// it, and the output text is written back in it. POSIX: all UTF-8 already.
class UnicodeNames {
 public:
  UnicodeNames() : before_(platform::set_utf8_names(true)) {}
  ~UnicodeNames() { platform::set_utf8_names(before_); }
  UnicodeNames(const UnicodeNames&) = delete;
  UnicodeNames& operator=(const UnicodeNames&) = delete;

  // The output text, written in the names' code page, in the caller's one.
  static void output_to_ansi(char* output, uint32_t size) {
    if (output == nullptr || size == 0) return;
    const size_t len = static_cast<size_t>(std::find(output, output + size, '\0') - output);
    const std::string text = platform::to_ansi(std::string_view(output, len));
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
  }

 private:
  bool before_;
};

}  // namespace

int run_archiver(FormatId format, const char* command, char* output, uint32_t size, const WriterFactory& make_writer) {
  // Stop signals only raise a flag while the archive is made; the run then
  // ends its own way and the signal is raised again for the caller.
  StopSignals stop_signals;
  UnicodeNames names;
  int code = ARC_E_INTERNAL;
  try {
    const std::string text = command ? platform::from_ansi(command) : std::string();
    code = run(format, command ? text.c_str() : nullptr, output, size, make_writer);
  } catch (const std::bad_alloc&) {
    write_output("ERROR: archive not written: out of memory", output, size);
  } catch (const std::exception& ex) {
    write_output(std::string("ERROR: archive not written: ") + ex.what(), output, size);
  } catch (...) {
    write_output("ERROR: archive not written: internal failure", output, size);
  }
  UnicodeNames::output_to_ansi(output, size);
  return code;
}

}  // namespace zubeto::arc
