#include "arcverify/verify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "internal.h"

namespace arcverify {

namespace {

ReadFilter& read_filter() {
  static ReadFilter f;
  return f;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

#ifdef _WIN32
// The file through the system's own calls (the name in the ANSI code page,
// as every path of the worker).
class FileSource : public Source {
 public:
  bool open(const std::string& path, std::string& why) {
    path_ = path;
    h_ = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) {
      why = "cannot open it (system error " + std::to_string(::GetLastError()) + ")";
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h_, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      why = "it is not a file";
      return false;
    }
    size_ = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
  }
  ~FileSource() override {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* data, size_t n) override {
    uint8_t* p = static_cast<uint8_t*>(data);
    size_t left = n;
    uint64_t at = offset;
    while (left > 0) {
      OVERLAPPED ov{};
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD want = static_cast<DWORD>(std::min<size_t>(left, 1u << 30)), got = 0;
      if (!::ReadFile(h_, p, want, &got, &ov) || got == 0) return false;
      p += got;
      at += got;
      left -= got;
    }
    if (read_filter()) read_filter()(path_, offset, static_cast<uint8_t*>(data), n);
    return true;
  }

 private:
  std::string path_;
  HANDLE h_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};
#else
class FileSource : public Source {
 public:
  bool open(const std::string& path, std::string& why) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      why = std::string("cannot open it (") + std::strerror(errno) + ")";
      return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      why = "it is not a plain file";
      return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    // What the system still holds of the file in memory is dropped (the
    // archiver flushed it to the disk before naming it), so the check reads
    // what the device gives back, not what was handed to it.
    ::fdatasync(fd_);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    return true;
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* data, size_t n) override {
    uint8_t* p = static_cast<uint8_t*>(data);
    size_t left = n;
    uint64_t at = offset;
    while (left > 0) {
      ssize_t got = ::pread(fd_, p, left, static_cast<off_t>(at));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      at += static_cast<uint64_t>(got);
      left -= static_cast<size_t>(got);
    }
    if (read_filter()) read_filter()(path_, offset, static_cast<uint8_t*>(data), n);
    return true;
  }

 private:
  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;
};
#endif

}  // namespace

bool format_of_path(std::string_view path, Format& out) {
  if (path.size() < 4) return false;
  std::string ext;
  for (char c : path.substr(path.size() - 4)) ext += lower(c);
  if (ext == ".lzh") out = Format::Lzh;
  else if (ext == ".zip") out = Format::Zip;
  else if (ext == ".cab") out = Format::Cab;
  else if (ext == ".tar") out = Format::Tar;
  else return false;
  return true;
}

Report verify(Source& source, Format format) {
  detail::Reader in(source);
  Report r;
  bool ok = false;
  switch (format) {
    case Format::Zip:
      ok = detail::check_zip(in, r);
      break;
    case Format::Lzh:
      ok = detail::check_lzh(in, r);
      break;
    case Format::Cab:
      ok = detail::check_cab(in, r);
      break;
    case Format::Tar:
      ok = detail::check_tar(in, r);
      break;
  }
  r.ok = ok;
  if (ok) r.problem.clear();
  else if (r.problem.empty()) r.problem = "unreadable";
  return r;
}

Report verify_file(const std::string& path, Format format) {
  FileSource f;
  std::string why;
  if (!f.open(path, why)) {
    Report r;
    r.problem = why;
    return r;
  }
  return verify(f, format);
}

void set_read_filter(ReadFilter filter) { read_filter() = std::move(filter); }

}  // namespace arcverify
