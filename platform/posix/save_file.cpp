#include "platform/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {

namespace {
int fd_of(intptr_t h) { return static_cast<int>(h); }
}  // namespace

bool SaveFile::create(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  h_ = fd;
  return true;
}

bool SaveFile::write(const std::string& bytes) {
  if (h_ == -1) return false;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd_of(h_), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool SaveFile::flush() { return h_ != -1 && ::fsync(fd_of(h_)) == 0; }

bool SaveFile::close() {
  if (h_ == -1) return true;
  int rc = ::close(fd_of(h_));
  h_ = -1;
  return rc == 0;
}

SaveTarget save_target(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return errno == ENOENT ? SaveTarget::Absent : SaveTarget::File;
  if (S_ISDIR(st.st_mode)) return SaveTarget::Refused;
  // A file nobody may write counts as read-only, as the window's own files
  // refuse to overwrite one.
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return SaveTarget::Refused;
  return SaveTarget::File;
}

bool replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool keep_copy(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return true;
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  SaveFile out;
  bool ok = out.create(to);
  char buf[65536];
  while (ok) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = out.write(std::string(buf, static_cast<size_t>(n)));
  }
  ::close(in);
  ok = out.flush() && out.close() && ok;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

void flush_folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool remove_saved(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace platform
