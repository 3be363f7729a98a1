#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/utf8.h"

namespace platform {

namespace {

SysError from_errno(int e) {
  SysError err;
  err.code = e;
  switch (e) {
    case 0: err.kind = ErrorKind::Other; break;
    case ENOENT:
    case ENOTDIR: err.kind = ErrorKind::Missing; break;
    case EEXIST: err.kind = ErrorKind::Exists; break;
    case ENOSPC:
    case EDQUOT: err.kind = ErrorKind::NoSpace; break;
    case EFBIG: err.kind = ErrorKind::TooLarge; break;
    default: err.kind = ErrorKind::Other; break;
  }
  return err;
}

SysError last() { return from_errno(errno); }

void take(FileFacts& f, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) f.kind = FileKind::Folder;
  else if (S_ISREG(st.st_mode)) f.kind = FileKind::File;
  else if (S_ISLNK(st.st_mode)) f.kind = FileKind::Link;
  else f.kind = FileKind::Other;
  f.mode = st.st_mode & 07777;
  f.mtime = st.st_mtim.tv_sec;
  f.mtime_nsec = st.st_mtim.tv_nsec;
  f.uid = st.st_uid;
  f.gid = st.st_gid;
  f.size = f.kind == FileKind::File ? static_cast<uint64_t>(st.st_size) : 0;
  f.dev = static_cast<uint64_t>(st.st_dev);
  f.ino = static_cast<uint64_t>(st.st_ino);
  if (S_ISFIFO(st.st_mode)) f.special = "a named pipe";
  else if (S_ISSOCK(st.st_mode)) f.special = "a socket";
  else if (S_ISCHR(st.st_mode)) f.special = "a character device";
  else if (S_ISBLK(st.st_mode)) f.special = "a block device";
  else f.special = "no file or folder";
}

int fd_of(intptr_t h) { return static_cast<int>(h); }

}  // namespace

std::string SysError::text() const {
  switch (code) {
    case ENOSPC: return "disk full";
    case EDQUOT: return "disk quota exceeded";
    case EFBIG: return "file too large";
    case 0: return "no progress";
    default: return std::strerror(code);
  }
}

bool path_facts(const std::string& path, bool follow_link, FileFacts& out, SysError& err) {
  struct stat st;
  int rc = follow_link ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) {
    err = last();
    return false;
  }
  take(out, st);
  return true;
}

namespace {

// Lists the folder open as `fd` (taken over: closed here).
bool list_fd(int fd, std::vector<FolderChild>& out, SysError& err) {
  DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (!dir) {
    err = last();
    if (fd >= 0) ::close(fd);
    return false;
  }
  errno = 0;
  while (struct dirent* d = ::readdir(dir)) {
    if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
    FolderChild c;
    c.name = d->d_name;
    struct stat st;
    if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) c.err = last();
    else take(c.facts, st);
    out.push_back(std::move(c));
    errno = 0;
  }
  int read_err = errno;
  ::closedir(dir);
  if (read_err != 0) {
    err = from_errno(read_err);
    return false;
  }
  return true;
}

// A child opened without following links: a link in its place (ELOOP) is
// the child the listing showed gone.
SysError child_error() {
  SysError err = last();
  if (errno == ELOOP) err.kind = ErrorKind::Missing;
  return err;
}

}  // namespace

bool list_folder(const std::string& path, bool follow_link, std::vector<FolderChild>& out, SysError& err) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW);
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    err = last();
    return false;
  }
  return list_fd(fd, out, err);
}

// ----------------------------------------------------------- OpenFolder --

bool OpenFolder::open(const std::string& path, FileFacts& facts, SysError& err) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    err = last();
    if (fd >= 0) ::close(fd);
    return false;
  }
  take(facts, st);
  h_ = fd;
  path_ = path;
  return true;
}

bool OpenFolder::open_child(const OpenFolder& parent, const std::string& name, FileFacts& facts, SysError& err) {
  close();
  int fd = ::openat(fd_of(parent.h_), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    err = child_error();
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    err = last();
    ::close(fd);
    return false;
  }
  take(facts, st);
  h_ = fd;
  path_ = join_path(parent.path_, name);
  return true;
}

bool OpenFolder::list(std::vector<FolderChild>& out, SysError& err) const {
  // A listing of its own: the walk's handle keeps its position untouched.
  int fd = ::openat(fd_of(h_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    err = last();
    return false;
  }
  return list_fd(fd, out, err);
}

bool OpenFolder::read_link(const std::string& name, std::string& target, SysError& err) const {
  std::string buf(4096, '\0');
  for (;;) {
    ssize_t n = ::readlinkat(fd_of(h_), name.c_str(), buf.data(), buf.size());
    if (n < 0) {
      err = last();
      return false;
    }
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      target = std::move(buf);
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

void OpenFolder::close() {
  if (h_ != -1) ::close(fd_of(h_));
  h_ = -1;
}

bool read_link(const std::string& path, std::string& target, SysError& err) {
  std::string buf(4096, '\0');
  for (;;) {
    ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) {
      err = last();
      return false;
    }
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      target = std::move(buf);
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

// ------------------------------------------------------------ InputFile --

namespace {

// The facts of an open file, read from its handle, and the bytes its
// blocks hold.
bool facts_of_open(int fd, FileFacts& facts, uint64_t& allocated, SysError& err) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    err = last();
    return false;
  }
  take(facts, st);
  allocated = static_cast<uint64_t>(st.st_blocks) * 512;
  return true;
}

}  // namespace

bool InputFile::open(const std::string& path, bool follow_link, FileFacts& facts, SysError& err) {
  close();
  int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (follow_link ? 0 : O_NOFOLLOW);
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    err = last();
    return false;
  }
  h_ = fd;
  if (facts_of_open(fd, facts, allocated_, err)) return true;
  close();
  return false;
}

bool InputFile::open_child(const OpenFolder& folder, const std::string& name, FileFacts& facts, SysError& err) {
  close();
  int fd = ::openat(fd_of(folder.h_), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) {
    err = child_error();
    return false;
  }
  h_ = fd;
  if (facts_of_open(fd, facts, allocated_, err)) return true;
  close();
  return false;
}

long long InputFile::read(void* buf, size_t cap, SysError& err) {
  for (;;) {
    ssize_t n = ::read(fd_of(h_), buf, cap);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    err = last();
    return -1;
  }
}

bool InputFile::seek(uint64_t offset, SysError& err) {
  if (::lseek(fd_of(h_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    err = last();
    return false;
  }
  return true;
}

bool InputFile::data_runs(uint64_t size, std::vector<DataRun>& runs) {
  runs.clear();
  const int fd = fd_of(h_);
  const off_t end = static_cast<off_t>(size);
  // A file whose blocks hold all its bytes has no holes: one cheap question
  // (already answered when it was opened) spares every plain file the
  // search below.
  if (allocated_ >= size) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_blocks) * 512 >= size) return false;
  const off_t was = ::lseek(fd, 0, SEEK_CUR);
  if (was < 0) return false;
  // One question answers it for a file without holes: where the first hole
  // starts (the end, for such a file, or on a system that cannot tell).
  off_t hole = ::lseek(fd, 0, SEEK_HOLE);
  bool holes = hole >= 0 && hole < end;
  for (off_t pos = 0; holes && pos < end;) {
    off_t data = ::lseek(fd, pos, SEEK_DATA);
    if (data < 0) {
      if (errno != ENXIO) holes = false;  // ENXIO: a hole up to the end
      break;
    }
    if (data >= end) break;
    off_t after = ::lseek(fd, data, SEEK_HOLE);
    if (after < 0) {
      holes = false;
      break;
    }
    if (after > end) after = end;
    runs.push_back({static_cast<uint64_t>(data), static_cast<uint64_t>(after - data)});
    pos = after;
  }
  if (::lseek(fd, was, SEEK_SET) != was) holes = false;
  if (!holes) runs.clear();
  return holes;
}

namespace {

// Every extended attribute of an open file or folder.
bool fd_attributes(int fd, std::vector<ExtAttr>& out, SysError& err) {
  out.clear();
  std::string names;
  for (int attempt = 0;; ++attempt) {
    ssize_t n = ::flistxattr(fd, nullptr, 0);
    if (n < 0) {
      if (errno == ENOTSUP) return true;  // a file system without them
      err = last();
      return false;
    }
    if (n == 0) return true;
    names.resize(static_cast<size_t>(n));
    n = ::flistxattr(fd, names.data(), names.size());
    if (n >= 0) {
      names.resize(static_cast<size_t>(n));
      break;
    }
    if (errno != ERANGE || attempt > 8) {
      err = last();
      return false;
    }
  }
  for (size_t pos = 0; pos < names.size();) {
    size_t end = names.find('\0', pos);
    if (end == std::string::npos) end = names.size();
    ExtAttr a;
    a.name = names.substr(pos, end - pos);
    pos = end + 1;
    if (a.name.empty()) continue;
    for (int attempt = 0; attempt < 8; ++attempt) {
      ssize_t n = ::fgetxattr(fd, a.name.c_str(), nullptr, 0);
      if (n < 0) break;  // gone meanwhile, or not ours to read
      a.value.resize(static_cast<size_t>(n));
      n = ::fgetxattr(fd, a.name.c_str(), a.value.data(), a.value.size());
      if (n >= 0) {
        a.value.resize(static_cast<size_t>(n));
        out.push_back(std::move(a));
        break;
      }
      if (errno != ERANGE) break;
    }
  }
  return true;
}

}  // namespace

bool InputFile::attributes(std::vector<ExtAttr>& out, SysError& err) { return fd_attributes(fd_of(h_), out, err); }

bool folder_attributes(const std::string& path, uint64_t dev, uint64_t ino, std::vector<ExtAttr>& out,
                       SysError& err) {
  out.clear();
  // The identity check below, not the path, decides: a folder the user
  // named through a link is the folder the walk listed, anything a link
  // swapped in since is not.
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    err = last();
    return false;
  }
  struct stat st;
  bool ok = true;
  // Something else took the name since the walk saw it: none of its
  // attributes belong to the entry.
  if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_dev) == dev && static_cast<uint64_t>(st.st_ino) == ino)
    ok = fd_attributes(fd, out, err);
  ::close(fd);
  return ok;
}

void InputFile::close() {
  if (h_ != -1) ::close(fd_of(h_));
  h_ = -1;
  allocated_ = 0;
}

// -------------------------------------------------------------- NewFile --

bool NewFile::create(const std::string& path, SysError& err) {
  close();
  // Owner-only whatever the umask: an archive holds copies of files that
  // may have been readable by their owner alone (a backup of ~/.ssh as
  // root), and a shared destination must not hand them to everyone.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    err = last();
    return false;
  }
  ::fchmod(fd, 0600);  // a umask that takes the owner's bits too; refused on some disks (FAT), harmless
  // Locked at once. Another run's clean-up may have taken the name away
  // between the open and the lock: then the caller tries another name.
  struct stat st, now;
  bool ours = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && ::lstat(path.c_str(), &now) == 0 &&
              st.st_ino == now.st_ino && st.st_dev == now.st_dev;
  if (!ours) {
    ::close(fd);
    err = from_errno(EEXIST);
    return false;
  }
  h_ = fd;
  end_ = 0;
  return true;
}

bool NewFile::write_at(uint64_t offset, const void* data, size_t size, SysError& err) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::pwrite(fd_of(h_), p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = from_errno(n < 0 ? errno : 0);
      return false;
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool NewFile::append(const void* data, size_t size, SysError& err) {
  if (!write_at(end_, data, size, err)) return false;
  end_ += size;
  return true;
}

bool NewFile::read_at(uint64_t offset, void* data, size_t size, SysError& err) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = ::pread(fd_of(h_), p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = from_errno(n < 0 ? errno : EIO);
      return false;
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool NewFile::truncate(uint64_t length, SysError& err) {
  if (::ftruncate(fd_of(h_), static_cast<off_t>(length)) != 0) {
    err = last();
    return false;
  }
  end_ = length;
  return true;
}

void NewFile::start_writeback(uint64_t offset, uint64_t length) {
  ::sync_file_range(fd_of(h_), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

bool NewFile::flush_to_disk(SysError& err) {
  if (::fsync(fd_of(h_)) != 0) {
    err = last();
    return false;
  }
  return true;
}

bool NewFile::move_no_replace(const std::string& from, const std::string& to, SysError& err) {
  // The name changes under the open descriptor: its flock stays.
  return platform::move_no_replace(from, to, err);
}

bool NewFile::make_read_only(SysError& err) {
  if (::fchmod(fd_of(h_), 0400) != 0) {
    err = last();
    return false;
  }
  return true;
}

bool NewFile::close(SysError& err) {
  if (h_ == -1) return true;
  int rc = ::close(fd_of(h_));
  h_ = -1;
  if (rc != 0) {
    err = last();
    return false;
  }
  return true;
}

void NewFile::close() {
  if (h_ != -1) ::close(fd_of(h_));
  h_ = -1;
}

bool move_no_replace(const std::string& from, const std::string& to, SysError& err) {
  // 1. A rename that refuses to replace.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    err = last();
    return false;
  }
  // 2. A hard link never replaces either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) {
    err = last();
    return false;
  }
  // 3. No hard links here: claim the name exclusively, then replace only
  //    our own empty placeholder.
  int ph = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (ph < 0) {
    err = last();
    return false;
  }
  ::close(ph);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  err = last();
  ::unlink(to.c_str());
  return false;
}

bool remove_if_unheld(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st, now;
  // A writer holds its lock from the moment it owns the name: a lock we
  // get means nobody writes this file any more. The name must still be
  // this very file when it goes.
  bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                 ::lstat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev &&
                 ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// ----------------------------------------------------------- path rules --

bool is_separator_at(std::string_view path, size_t i) { return i < path.size() && path[i] == '/'; }

bool ends_with_separator(std::string_view path) { return !path.empty() && path.back() == '/'; }

char separator() { return '/'; }

std::vector<std::string_view> path_parts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string join_path(const std::string& folder, const std::string& child) {
  if (!folder.empty() && folder.back() == '/') return folder + child;
  return folder + "/" + child;
}

std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char buf[4096];
  if (::getcwd(buf, sizeof buf) == nullptr) return path;
  return std::string(buf) + "/" + path;
}

size_t char_start(std::string_view text, size_t pos) {
  return zubeto::text::utf8_char_start(text, pos);
}

bool names_are_utf8() { return true; }

std::string name_to_utf8(std::string_view name) { return std::string(name); }

// Names are UTF-8 here already.
bool set_utf8_names(bool) { return true; }

std::string from_ansi(std::string_view text) { return std::string(text); }

std::string to_ansi(std::string_view text) { return std::string(text); }

}  // namespace platform
