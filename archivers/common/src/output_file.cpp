#include "arc/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
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

// -- stop signals ----------------------------------------------------------
// Everything a handler touches is a plain static: a flag, the signal's
// number, and the temporary file's name in a fixed buffer.
volatile sig_atomic_t g_stop_signal = 0;
volatile sig_atomic_t g_cleanup_ready = 0;
char g_cleanup_path[4096];

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void on_stop_signal(int sig) {
  int saved = errno;
  if (g_stop_signal == 0) g_stop_signal = sig;
  if (g_cleanup_ready) {
    g_cleanup_ready = 0;
    ::unlink(g_cleanup_path);  // async-signal-safe
  }
  errno = saved;
}

struct sigaction g_old[3];
int g_depth = 0;

// Removes temporaries of ours in `folder` that nobody holds locked.
void remove_stale(const std::string& folder, const std::string& own, std::vector<std::string>* removed) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (struct dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (!is_temp_name(name)) continue;
    std::string path = folder == "/" ? "/" + name : folder + "/" + name;
    if (path == own) continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st, now;
    // A writer holds its lock from the moment it owns the name: a lock we
    // get means nobody writes this file any more. The name must still be
    // this very file when it goes.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
      if (::unlink(path.c_str()) == 0 && removed) removed->push_back(path);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

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

void set_stop_cleanup(const std::string& temp_path) {
  g_cleanup_ready = 0;
  if (temp_path.empty() || temp_path.size() >= sizeof g_cleanup_path) return;
  std::memcpy(g_cleanup_path, temp_path.c_str(), temp_path.size() + 1);
  g_cleanup_ready = 1;
}

StopSignals::StopSignals() {
  if (g_depth++ > 0) return;
  g_stop_signal = 0;
  g_cleanup_ready = 0;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : kStopSignals) sigaddset(&sa.sa_mask, s);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked read returns and the run stops
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &sa, &g_old[i]);
}

StopSignals::~StopSignals() {
  if (--g_depth > 0) return;
  g_cleanup_ready = 0;
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &g_old[i], nullptr);
  int sig = g_stop_signal;
  g_stop_signal = 0;
  if (sig != 0) ::raise(sig);
}

bool StopSignals::stopped() { return g_stop_signal != 0; }
int StopSignals::signal_number() { return g_stop_signal; }

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

Status OutputFile::create(const std::string& final_path, std::vector<std::string>* removed) {
  discard();
  Status s = check_destination(final_path);
  if (!s.ok()) return s;
  final_ = final_path;
  committed_ = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = final_path + "." + random_suffix() + ".part";
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Status::fail(ARC_E_CREATE, "cannot create the archive in " + folder_of(final_path) + " (" + reason(errno) + ")");
    }
    // Lock it at once. Another run's clean-up may have taken the name away
    // between the open and the lock: then start again under a new name.
    struct stat st, now;
    bool ours = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 &&
                ::lstat(temp.c_str(), &now) == 0 && st.st_ino == now.st_ino && st.st_dev == now.st_dev;
    if (!ours) {
      ::close(fd);
      continue;
    }
    fd_ = fd;
    temp_ = std::move(temp);
    set_stop_cleanup(temp_);
    remove_stale(folder_of(final_path), temp_, removed);
    if (StopSignals::stopped()) {
      discard();
      return Status::fail(ARC_E_STOPPED, "stopped by a signal");
    }
    return Status{};
  }
  return Status::fail(ARC_E_CREATE, "cannot create a temporary file in " + folder_of(final_path));
}

Status OutputFile::io_failure(const char* what, int err) const {
  return Status::fail(ARC_E_WRITE, std::string(what) + " the archive " + final_ + " (" + reason(err) + ")");
}

Status OutputFile::write_all(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (StopSignals::stopped()) return Status::fail(ARC_E_STOPPED, "stopped by a signal");
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return io_failure("cannot write", errno);
    }
    if (n == 0) return io_failure("cannot write", EIO);
    p += n;
    size -= static_cast<size_t>(n);
  }
  return Status{};
}

// Positioned reads and writes share one loop: whole transfers, retried
// after signals, stopped by a stop signal.
Status OutputFile::transfer_at(bool writing, uint64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (StopSignals::stopped()) return Status::fail(ARC_E_STOPPED, "stopped by a signal");
    ssize_t n = writing ? ::pwrite(fd_, p, size, static_cast<off_t>(offset))
                        : ::pread(fd_, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return io_failure(writing ? "cannot write" : "cannot read back", n < 0 ? errno : EIO);
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return Status{};
}

Status OutputFile::write_at(uint64_t offset, const void* data, size_t size) {
  return transfer_at(true, offset, const_cast<void*>(data), size);
}

Status OutputFile::read_at(uint64_t offset, void* data, size_t size) { return transfer_at(false, offset, data, size); }

Status OutputFile::truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return io_failure("cannot cut", errno);
  return Status{};
}

void OutputFile::start_writeback(uint64_t offset, uint64_t size) {
  ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
}

Status OutputFile::commit() {
  if (fd_ < 0) return Status::fail(ARC_E_INTERNAL, "no archive file is open");
  const Status stopped = Status::fail(ARC_E_STOPPED, "stopped by a signal");
  if (StopSignals::stopped()) {
    discard();
    return stopped;
  }
  if (::fsync(fd_) != 0) {
    Status s = io_failure("cannot flush", errno);
    discard();
    return s;
  }
  // The last moment a stop still keeps the archive from being named.
  if (StopSignals::stopped()) {
    discard();
    return stopped;
  }
  // The lock goes with the descriptor; from here on the name is ours alone
  // by the rename below (or gone, should a signal remove it first).
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    Status s = io_failure("cannot close", errno);
    discard();
    return s;
  }
  set_stop_cleanup("");
  const std::string exists = "an archive of this name appeared meanwhile and was left untouched: " + final_;
  // A complete archive that cannot get its name is kept and named, so the
  // user can still rename it by hand.
  auto cannot_name = [&](int err) {
    std::string kept = temp_;
    committed_ = true;  // keep it: discard() must not remove it
    temp_.clear();
    return Status::fail(ARC_E_COMMIT, "cannot name the archive " + final_ + " (" + reason(err) +
                                          "); the complete archive is left as " + kept +
                                          " (rename it by hand: the next run in this folder removes it)");
  };

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
        if (err == EEXIST) {
          discard();
          return Status::fail(ARC_E_EXISTS, exists);
        }
        return cannot_name(err);
      }
      ::close(ph);
      if (::rename(temp_.c_str(), final_.c_str()) == 0) {
        committed_ = true;
      } else {
        int err = errno;
        ::unlink(final_.c_str());
        return cannot_name(err);
      }
    }
  }
  if (!committed_) return cannot_name(errno);
  temp_.clear();
  sync_folder(folder_of(final_));
  return Status{};
}

void OutputFile::discard() {
  if (!committed_ && !temp_.empty()) {
    set_stop_cleanup("");
    ::unlink(temp_.c_str());
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  temp_.clear();
}

}  // namespace zubeto::arc
