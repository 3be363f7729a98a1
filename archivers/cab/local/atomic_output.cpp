#include "local/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace arc_local {

namespace {

std::string folder_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void sync_folder(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Moves `from` to `to` unless `to` exists. 0 or an errno value.
int move_no_replace(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  int e = errno;
  if (e == EEXIST) return e;
#if defined(SYS_renameat2)
  // File systems without hard links: rename that refuses to replace.
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* RENAME_NOREPLACE */) == 0)
    return 0;
  e = errno;
  if (e == EEXIST) return e;
#endif
  return e;
}

}  // namespace

AtomicOutput::Error AtomicOutput::open(const std::string& final_path, std::string& error) {
  abort();
  final_ = final_path;
  std::string dir = folder_of(final_path);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "destination folder not found: " + dir;
    return Error::folder;
  }
  if (::lstat(final_path.c_str(), &st) == 0) {
    error = "archive already exists: " + final_path;
    return Error::exists;
  }
  std::string pattern = (dir == "/" ? std::string() : dir) + "/." + name_of(final_path) + ".XXXXXX";
  std::string buf = pattern;
  int fd = ::mkstemp(buf.data());
  if (fd < 0) {
    error = "cannot create a file in " + dir + ": " + std::strerror(errno);
    return Error::folder;
  }
  // mkstemp makes the file private; give it the usual mode of a new file.
  mode_t mask = ::umask(022);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "w+b");
  if (!file_) {
    error = "cannot create a file in " + dir + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(buf.c_str());
    return Error::io;
  }
  temp_ = buf;
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  return Error::none;
}

AtomicOutput::Error AtomicOutput::commit(std::string& error) {
  if (!file_) {
    error = "no archive is open";
    return Error::io;
  }
  bool ok = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
  int e = errno;
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    error = std::string("cannot write the archive: ") + std::strerror(e);
    abort();
    return Error::io;
  }
  int rc = move_no_replace(temp_, final_);
  if (rc != 0) {
    error = rc == EEXIST ? "archive already exists: " + final_
                         : "cannot give the archive its name " + final_ + ": " + std::strerror(rc);
    abort();
    return rc == EEXIST ? Error::exists : Error::io;
  }
  temp_.clear();
  sync_folder(folder_of(final_));
  return Error::none;
}

void AtomicOutput::abort() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace arc_local
