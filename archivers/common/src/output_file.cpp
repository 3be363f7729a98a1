#include "arc/output_file.h"

#include <random>

#include "arc/codes.h"

namespace zubeto::arc {

namespace {

std::string random_suffix() {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device rd;
  std::string s;
  for (int i = 0; i < 8; ++i) s += kDigits[rd() % 36];
  return s;
}

}  // namespace

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

Status OutputFile::create(const std::string& final_path) {
  discard();
  Status s = check_destination(final_path);
  if (!s.ok()) return s;
  final_ = final_path;
  committed_ = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = final_path + "." + random_suffix() + ".part";
    platform::SysError err;
    if (file_.create(temp, err)) {
      temp_ = std::move(temp);
      return Status{};
    }
    if (err.kind != platform::ErrorKind::Exists)
      return Status::fail(ARC_E_CREATE, "cannot create the archive in " + folder_of(final_path) + " (" + err.text() + ")");
  }
  return Status::fail(ARC_E_CREATE, "cannot create a temporary file in " + folder_of(final_path));
}

Status OutputFile::write_failed(const platform::SysError& err) const {
  return Status::fail(ARC_E_WRITE, "cannot write the archive " + final_ + " (" + err.text() + ")");
}

Status OutputFile::write_all(const void* data, size_t size) {
  platform::SysError err;
  if (!file_.append(data, size, err)) return write_failed(err);
  return Status{};
}

Status OutputFile::write_at(uint64_t offset, const void* data, size_t size) {
  platform::SysError err;
  if (!file_.write_at(offset, data, size, err)) return write_failed(err);
  return Status{};
}

Status OutputFile::commit() {
  if (!file_.is_open()) return Status::fail(ARC_E_INTERNAL, "no archive file is open");
  platform::SysError err;
  if (!file_.flush_to_disk(err)) {
    Status s = Status::fail(ARC_E_WRITE, "cannot flush the archive " + final_ + " (" + err.text() + ")");
    discard();
    return s;
  }
  if (!file_.close(err)) {
    Status s = Status::fail(ARC_E_WRITE, "cannot close the archive " + final_ + " (" + err.text() + ")");
    discard();
    return s;
  }
  if (!platform::move_no_replace(temp_, final_, err)) {
    discard();
    if (err.kind == platform::ErrorKind::Exists)
      return Status::fail(ARC_E_EXISTS, "an archive of this name appeared meanwhile and was left untouched: " + final_);
    return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + err.text() + ")");
  }
  committed_ = true;
  temp_.clear();
  platform::sync_folder(folder_of(final_));
  return Status{};
}

void OutputFile::discard() {
  file_.close();
  if (!committed_ && !temp_.empty()) platform::remove_file(temp_);
  temp_.clear();
}

}  // namespace zubeto::arc
