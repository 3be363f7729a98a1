#include "platform/stream_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::FILE* open_for_reading(const char* name) {
  std::FILE* in = std::fopen(name, "rb");
  struct stat st {};
  if (in && (::fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(in);
    in = nullptr;
  }
  return in;
}

std::FILE* open_for_appending(const char* name) {
  int fd = ::open(name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::fchmod(fd, 0600);
  else if (errno == EEXIST) fd = ::open(name, O_RDWR | O_APPEND | O_CLOEXEC);
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "ab+") : nullptr;
  if (!file && fd >= 0) ::close(fd);
  return file;
}

bool append_through(std::FILE* file, const char* data, std::size_t size) {
  std::fflush(file);
  const int fd = fileno(file);
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
