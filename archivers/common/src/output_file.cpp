#include "arc/output_file.h"

#include <random>

#include "arc/codes.h"
#include "platform/stop.h"

namespace zubeto::arc {

namespace {

std::string random_suffix() {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device rd;
  std::string s;
  for (int i = 0; i < 8; ++i) s += kDigits[rd() % 36];
  return s;
}

int g_depth = 0;

// Removes temporaries of ours in `folder` that nobody holds.
void remove_stale(const std::string& folder, const std::string& own, std::vector<std::string>* removed) {
  std::vector<platform::FolderChild> children;
  platform::SysError err;
  platform::list_folder(folder, /*follow_link=*/true, children, err);
  for (const platform::FolderChild& c : children) {
    if (!is_temp_name(c.name) || c.err.failed() || c.facts.kind != platform::FileKind::File) continue;
    // Read-only: a finished archive that could be given no name at all and
    // was kept under its temporary's name; only its owner removes it.
    if ((c.facts.mode & 0200) == 0) continue;
    std::string path = platform::join_path(folder, c.name);
    if (path == own) continue;
    if (platform::remove_if_unheld(path) && removed) removed->push_back(path);
  }
}

const Status kStopped = Status::fail(ARC_E_STOPPED, "stopped by a signal");

NamingSeam g_naming_seam = nullptr;

// Moves the open file to its name through the seam a test may set.
bool move_held(platform::NewFile& file, const std::string& from, const std::string& to, platform::SysError& err) {
  if (g_naming_seam && !g_naming_seam(from, to, err)) return false;
  return file.move_no_replace(from, to, err);
}

}  // namespace

void set_naming_seam(NamingSeam seam) { g_naming_seam = seam; }

std::string kept_name(const std::string& final_path, const std::string& letters) {
  size_t base_at = 0;  // after the last separator (a Shift-JIS second byte is none)
  for (size_t i = 0; i < final_path.size(); ++i)
    if (platform::is_separator_at(final_path, i)) base_at = i + 1;
  // No lead or second byte of a double-byte character is a dot.
  size_t dot = final_path.rfind('.');
  if (dot == std::string::npos || dot <= base_at) return final_path + "-kept-" + letters;
  return final_path.substr(0, dot) + "-kept-" + letters + final_path.substr(dot);
}

bool is_temp_name(const std::string& name) {
  static const char* const kExts[] = {".lzh.", ".zip.", ".cab.", ".tar.", ".bza."};
  static constexpr size_t kTail = 8 + 5;  // "xxxxxxxx.part"
  if (name.size() < 1 + 5 + kTail) return false;
  if (name.compare(name.size() - 5, 5, ".part") != 0) return false;
  size_t r = name.size() - kTail;
  for (size_t i = r; i < r + 8; ++i) {
    char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
  }
  for (const char* ext : kExts)
    if (name.compare(r - 5, 5, ext) == 0) return true;
  return false;
}

void set_stop_cleanup(const std::string& temp_path) { platform::set_stop_cleanup(temp_path); }

StopSignals::StopSignals() {
  if (g_depth++ > 0) return;
  platform::catch_stop_signals();
}

StopSignals::~StopSignals() {
  if (--g_depth > 0) return;
  int sig = platform::release_stop_signals();
  if (sig != 0) platform::raise_stop_signal(sig);
}

bool StopSignals::stopped() { return platform::stop_signal() != 0; }
int StopSignals::signal_number() { return platform::stop_signal(); }

Status OutputFile::check_destination(const std::string& final_path) {
  const std::string folder = folder_of(final_path);
  platform::FileFacts facts;
  platform::SysError err;
  if (!platform::path_facts(folder, /*follow_link=*/true, facts, err)) {
    if (err.kind == platform::ErrorKind::Missing)
      return Status::fail(ARC_E_DESTINATION, "the destination folder does not exist: " + folder);
    return Status::fail(ARC_E_DESTINATION, "cannot reach the destination folder: " + folder + " (" + err.text() + ")");
  }
  if (facts.kind != platform::FileKind::Folder)
    return Status::fail(ARC_E_DESTINATION, "the destination is not a folder: " + folder);
  if (final_path.empty() || platform::ends_with_separator(final_path))
    return Status::fail(ARC_E_DESTINATION, "the archive path names no file: " + final_path);
  if (platform::path_facts(final_path, /*follow_link=*/false, facts, err))
    return Status::fail(ARC_E_EXISTS, "an archive of this name already exists and was left untouched: " + final_path);
  return Status{};
}

Status OutputFile::create(const std::string& final_path, std::vector<std::string>* removed) {
  discard();
  Status s = check_destination(final_path);
  if (!s.ok()) return s;
  final_ = final_path;
  committed_ = false;
  named_ = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = final_path + "." + random_suffix() + ".part";
    platform::SysError err;
    if (!file_.create(temp, err)) {
      if (err.kind == platform::ErrorKind::Exists) continue;
      return Status::fail(ARC_E_CREATE, "cannot create the archive in " + folder_of(final_path) + " (" + err.text() + ")");
    }
    temp_ = std::move(temp);
    set_stop_cleanup(temp_);
    remove_stale(folder_of(final_path), temp_, removed);
    if (StopSignals::stopped()) {
      discard();
      return kStopped;
    }
    return Status{};
  }
  return Status::fail(ARC_E_CREATE, "cannot create a temporary file in " + folder_of(final_path));
}

Status OutputFile::io_failure(const char* what, const platform::SysError& err) const {
  std::string text = std::string(what) + " the archive " + final_ + " (" + err.text() + ")";
  // Said so that the user knows what to change: another disk, or a format
  // or a split that keeps each file smaller.
  if (err.kind == platform::ErrorKind::TooLarge)
    text += ": the destination cannot hold a file this large (a FAT32 disk stops at 4 GiB, and a limit on "
            "file size stops earlier); choose another disk or format";
  return Status::fail(ARC_E_WRITE, text);
}

Status OutputFile::write_all(const void* data, size_t size) {
  if (StopSignals::stopped()) return kStopped;
  platform::SysError err;
  if (!file_.append(data, size, err)) return StopSignals::stopped() ? kStopped : io_failure("cannot write", err);
  return Status{};
}

Status OutputFile::write_at(uint64_t offset, const void* data, size_t size) {
  if (StopSignals::stopped()) return kStopped;
  platform::SysError err;
  if (!file_.write_at(offset, data, size, err)) return StopSignals::stopped() ? kStopped : io_failure("cannot write", err);
  return Status{};
}

Status OutputFile::read_at(uint64_t offset, void* data, size_t size) {
  if (StopSignals::stopped()) return kStopped;
  platform::SysError err;
  if (!file_.read_at(offset, data, size, err)) return StopSignals::stopped() ? kStopped : io_failure("cannot read back", err);
  return Status{};
}

Status OutputFile::truncate(uint64_t size) {
  platform::SysError err;
  if (!file_.truncate(size, err)) return io_failure("cannot cut", err);
  return Status{};
}

void OutputFile::start_writeback(uint64_t offset, uint64_t size) { file_.start_writeback(offset, size); }

Status OutputFile::commit() {
  if (named_) return Status{};
  if (!file_.is_open()) return Status::fail(ARC_E_INTERNAL, "no archive file is open");
  if (StopSignals::stopped()) {
    discard();
    return kStopped;
  }
  platform::SysError err;
  if (!file_.flush_to_disk(err)) {
    Status s = io_failure("cannot flush", err);
    discard();
    return s;
  }
  // The last moment a stop still keeps the archive from being named.
  if (StopSignals::stopped()) {
    discard();
    return kStopped;
  }
  // The file is moved to its name while it is still open and marked as in
  // use: another run's clean-up, which removes only temporaries nobody
  // holds, can never take a finished archive for a partial one between its
  // last byte and its name. From here on a stop signal no longer removes
  // it: it is complete.
  set_stop_cleanup("");
  if (!move_held(file_, temp_, final_, err)) {
    if (err.kind == platform::ErrorKind::Exists) {
      discard();
      return Status::fail(ARC_E_EXISTS, "an archive of this name appeared meanwhile and was left untouched: " + final_);
    }
    return keep_unnamed(err);
  }
  committed_ = true;
  named_ = true;
  temp_.clear();
  // Closed only now, with its name: the mark of use ends here.
  if (!file_.close(err)) {
    Status s = io_failure("cannot close", err);
    platform::remove_file(final_);
    return s;
  }
  platform::sync_folder(folder_of(final_));
  return Status{};
}

Status OutputFile::keep_unnamed(const platform::SysError& why) {
  // A complete archive that cannot get its name is kept, so the user can
  // still rename it by hand -- under a name that is no temporary's, or, when
  // not even that move works, read-only under its temporary's name: either
  // way no later run's clean-up takes it for a partial archive.
  committed_ = true;  // keep it: discard() must not remove it
  const std::string letters = temp_.substr(final_.size() + 1, 8);
  const std::string kept = kept_name(final_, letters);
  platform::SysError err;
  std::string where;
  if (move_held(file_, temp_, kept, err)) {
    where = "the complete archive is kept as " + kept + " (rename it by hand)";
    platform::sync_folder(folder_of(final_));
  } else {
    platform::SysError ro;
    if (file_.make_read_only(ro))
      where = "the complete archive is kept, read-only, as " + temp_ + " (rename it by hand; no later run removes it)";
    else  // a disk without permissions: the name is all there is to tell
      where = "the complete archive is left as " + temp_ +
              " (rename it by hand before the next run in this folder, which takes it for a partial archive)";
  }
  file_.close();
  temp_.clear();
  return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + why.text() + "); " + where);
}

void OutputFile::discard() {
  if (!committed_ && !temp_.empty()) {
    set_stop_cleanup("");
    file_.close();
    platform::remove_file(temp_);
  }
  file_.close();
  temp_.clear();
}

}  // namespace zubeto::arc
