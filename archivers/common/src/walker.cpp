#include "arc/walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "arc/codes.h"

namespace zubeto::arc {

std::string clean_name(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string name;
  for (std::string_view p : parts) {
    if (!name.empty()) name += '/';
    name += p;
  }
  return name;
}

std::string numbered_name(const std::string& name, unsigned n) {
  size_t slash = name.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot <= start) dot = name.size();
  return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

const char* special_kind(uint32_t m) {
  if (S_ISFIFO(m)) return "a named pipe";
  if (S_ISSOCK(m)) return "a socket";
  if (S_ISCHR(m)) return "a character device";
  if (S_ISBLK(m)) return "a block device";
  return "no file or folder";
}

namespace {

std::string join_path(const std::string& dir, const std::string& child) {
  if (!dir.empty() && dir.back() == '/') return dir + child;
  return dir + "/" + child;
}

std::string join_name(const std::string& prefix, const std::string& child) {
  return prefix.empty() ? child : prefix + "/" + child;
}

std::string base_name(const std::string& path) {
  std::string c = clean_name(path);
  size_t slash = c.rfind('/');
  return slash == std::string::npos ? c : c.substr(slash + 1);
}

Entry make_entry(EntryKind kind, const std::string& path, const std::string& name, const struct stat& st) {
  Entry e;
  e.kind = kind;
  e.path = path;
  e.name = name;
  take_facts(e, st);
  return e;
}

class Walker {
 public:
  Walker(std::vector<Entry>& out, Report& report) : out_(out), report_(report) {}

  void root(const WalkRoot& r) {
    struct stat st;
    if (::stat(r.path.c_str(), &st) != 0) {
      int err = errno;
      if (err == ENOENT || err == ENOTDIR)
        report_.problem(ARC_E_SOURCE_MISSING, "source not found: " + r.path);
      else
        report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read source: " + r.path + " (" + std::strerror(err) + ")");
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      std::string name = r.name;
      if (!r.contents_only && !r.name.empty()) {
        Entry e = make_entry(EntryKind::Folder, r.path, r.name, st);
        e.follow = true;
        std::string used = push(std::move(e));
        if (!used.empty()) name = used;
      }
      folder(r.path, name, /*top=*/true);
    } else if (S_ISREG(st.st_mode)) {
      std::string name = r.name.empty() ? base_name(r.path) : r.name;
      Entry e = make_entry(EntryKind::File, r.path, name, st);
      e.follow = true;
      push(std::move(e));
    } else {
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot be archived: " + r.path + " (" + special_kind(st.st_mode) +
                                                   " holds no data a backup can keep)");
    }
  }

 private:
  // Adds the entry under its name or, when that name is taken by another
  // thing, under a numbered one. Returns the name used ("" when the entry
  // is the very thing already given under that name).
  std::string push(Entry e) {
    if (e.name.empty()) return "";
    auto it = seen_.find(e.name);
    if (it != seen_.end()) {
      const Entry& first = out_[it->second];
      bool same = first.dev == e.dev && first.ino == e.ino;
      bool both_folders = first.kind == EntryKind::Folder && e.kind == EntryKind::Folder;
      if (same && first.kind == e.kind) return "";
      if (both_folders) return e.name;  // contents merge under the one name
      std::string wanted = e.name;
      unsigned n = 2;
      while (seen_.count(numbered_name(wanted, n))) ++n;
      e.name = numbered_name(wanted, n);
      report_.note("NOTE: two sources give the name " + wanted + "; " + e.path + " is stored as " + e.name);
    }
    seen_.emplace(e.name, out_.size());
    out_.push_back(std::move(e));
    return out_.back().name;
  }

  void folder(const std::string& path, const std::string& prefix, bool top) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (top ? 0 : O_NOFOLLOW);
    int fd = ::open(path.c_str(), flags);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
      int err = errno;
      if (fd >= 0) ::close(fd);
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + path + " (" + std::strerror(err) + ")");
      return;
    }
    struct Child {
      std::string name;
      struct stat st;
      int err;
    };
    std::vector<Child> children;
    errno = 0;
    while (struct dirent* d = ::readdir(dir)) {
      if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
      Child c{d->d_name, {}, 0};
      if (::fstatat(::dirfd(dir), d->d_name, &c.st, AT_SYMLINK_NOFOLLOW) != 0) c.err = errno;
      children.push_back(std::move(c));
      errno = 0;
    }
    int read_err = errno;
    ::closedir(dir);
    if (read_err != 0)
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + path + " (" + std::strerror(read_err) + ")");
    // std::string compares as unsigned bytes: a byte-wise order.
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) { return a.name < b.name; });

    for (const Child& c : children) {
      std::string child_path = join_path(path, c.name);
      std::string child_name = join_name(prefix, c.name);
      if (c.err != 0) {
        if (c.err == ENOENT)
          report_.problem(ARC_E_SOURCE_MISSING, "vanished while read: " + child_path);
        else
          report_.problem(ARC_E_SOURCE_UNREADABLE,
                          "cannot read: " + child_path + " (" + std::strerror(c.err) + ")");
        continue;
      }
      if (S_ISDIR(c.st.st_mode)) {
        std::string used = push(make_entry(EntryKind::Folder, child_path, child_name, c.st));
        folder(child_path, used.empty() ? child_name : used, false);
      } else if (S_ISREG(c.st.st_mode)) {
        push(make_entry(EntryKind::File, child_path, child_name, c.st));
      } else if (S_ISLNK(c.st.st_mode)) {
        std::string target(static_cast<size_t>(c.st.st_size > 0 ? c.st.st_size : 0) + 256, '\0');
        ssize_t n = ::readlink(child_path.c_str(), target.data(), target.size());
        if (n < 0) {
          report_.problem(ARC_E_SOURCE_UNREADABLE,
                          "cannot read link: " + child_path + " (" + std::strerror(errno) + ")");
          continue;
        }
        target.resize(static_cast<size_t>(n));
        Entry e = make_entry(EntryKind::Link, child_path, child_name, c.st);
        e.link_target = std::move(target);
        push(std::move(e));
      } else {
        report_.note("NOTE: left out: " + child_path + " (" + special_kind(c.st.st_mode) +
                     " holds no data a backup can keep)");
      }
    }
  }

  std::vector<Entry>& out_;
  Report& report_;
  std::unordered_map<std::string, size_t> seen_;  // name -> index in out_
};

}  // namespace

void take_facts(Entry& e, const struct stat& st) {
  e.mode = st.st_mode & 07777;
  e.mtime = st.st_mtim.tv_sec;
  e.mtime_nsec = st.st_mtim.tv_nsec;
  e.uid = st.st_uid;
  e.gid = st.st_gid;
  e.size = e.kind == EntryKind::File ? static_cast<uint64_t>(st.st_size) : 0;
  e.dev = static_cast<uint64_t>(st.st_dev);
  e.ino = static_cast<uint64_t>(st.st_ino);
}

std::vector<Entry> walk(const std::vector<WalkRoot>& roots, Report& report) {
  std::vector<Entry> out;
  Walker w(out, report);
  for (const WalkRoot& r : roots) w.root(r);
  return out;
}

}  // namespace zubeto::arc
