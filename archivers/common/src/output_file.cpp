#include "arc/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "arc/codes.h"

namespace zubeto::arc {

namespace {

std::string reason(int err) {
  switch (err) {
    case ENOSPC: return "disk full";
    case EDQUOT: return "disk quota exceeded";
    case EFBIG: return "file too large";
    default: return std::strerror(err);
  }
}

std::string random_suffix() {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device rd;
  std::string s;
  for (int i = 0; i < 8; ++i) s += kDigits[rd() % 36];
  return s;
}

void sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status OutputFile::check_destination(const std::string& final_path) {
  const std::string folder = folder_of(final_path);
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      return Status::fail(ARC_E_DESTINATION, "the destination folder does not exist: " + folder);
    return Status::fail(ARC_E_DESTINATION, "cannot reach the destination folder: " + folder + " (" + reason(err) + ")");
  }
  if (!S_ISDIR(st.st_mode))
    return Status::fail(ARC_E_DESTINATION, "the destination is not a folder: " + folder);
  if (final_path.empty() || final_path.back() == '/')
    return Status::fail(ARC_E_DESTINATION, "the archive path names no file: " + final_path);
  if (::lstat(final_path.c_str(), &st) == 0)
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
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temp_ = std::move(temp);
      return Status{};
    }
    if (errno != EEXIST)
      return Status::fail(ARC_E_CREATE, "cannot create the archive in " + folder_of(final_path) + " (" + reason(errno) + ")");
  }
  return Status::fail(ARC_E_CREATE, "cannot create a temporary file in " + folder_of(final_path));
}

Status OutputFile::write_all(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::fail(ARC_E_WRITE, "cannot write the archive " + final_ + " (" + reason(errno) + ")");
    }
    if (n == 0) return Status::fail(ARC_E_WRITE, "cannot write the archive " + final_ + " (no progress)");
    p += n;
    size -= static_cast<size_t>(n);
  }
  return Status{};
}

Status OutputFile::commit() {
  if (fd_ < 0) return Status::fail(ARC_E_INTERNAL, "no archive file is open");
  if (::fsync(fd_) != 0) {
    Status s = Status::fail(ARC_E_WRITE, "cannot flush the archive " + final_ + " (" + reason(errno) + ")");
    discard();
    return s;
  }
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    Status s = Status::fail(ARC_E_WRITE, "cannot close the archive " + final_ + " (" + reason(errno) + ")");
    discard();
    return s;
  }
  const std::string exists = "an archive of this name appeared meanwhile and was left untouched: " + final_;

  // 1. Rename that refuses to replace.
  if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE) == 0) {
    committed_ = true;
  } else if (errno == EEXIST) {
    discard();
    return Status::fail(ARC_E_EXISTS, exists);
  } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    // 2. A hard link never replaces either.
    if (::link(temp_.c_str(), final_.c_str()) == 0) {
      ::unlink(temp_.c_str());
      committed_ = true;
    } else if (errno == EEXIST) {
      discard();
      return Status::fail(ARC_E_EXISTS, exists);
    } else if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EMLINK) {
      // 3. No hard links here: claim the name exclusively, then replace
      //    only our own empty placeholder.
      int ph = ::open(final_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (ph < 0) {
        int err = errno;
        discard();
        if (err == EEXIST) return Status::fail(ARC_E_EXISTS, exists);
        return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + reason(err) + ")");
      }
      ::close(ph);
      if (::rename(temp_.c_str(), final_.c_str()) == 0) {
        committed_ = true;
      } else {
        int err = errno;
        ::unlink(final_.c_str());
        discard();
        return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + reason(err) + ")");
      }
    }
  }
  if (!committed_) {
    int err = errno;
    discard();
    return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + reason(err) + ")");
  }
  temp_.clear();
  sync_folder(folder_of(final_));
  return Status{};
}

void OutputFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace zubeto::arc
