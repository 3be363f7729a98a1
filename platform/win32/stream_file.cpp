#include "platform/stream_file.h"

#include <io.h>
#include <sys/stat.h>

namespace platform {

std::FILE* open_for_reading(const char* name) {
  std::FILE* in = std::fopen(name, "rb");
  struct _stat st {};
  if (in && (::_fstat(_fileno(in), &st) != 0 || (st.st_mode & _S_IFDIR) != 0)) {
    std::fclose(in);
    in = nullptr;
  }
  return in;
}

std::FILE* open_for_appending(const char* name) { return std::fopen(name, "ab+"); }

bool append_through(std::FILE* file, const char* data, std::size_t size) {
  std::fflush(file);
  const int fd = _fileno(file);
  while (size > 0) {
    int n = ::_write(fd, data, static_cast<unsigned>(size));
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
