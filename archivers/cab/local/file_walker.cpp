#include "local/file_walker.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace arc_local {

namespace {

std::string base_name(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

uint16_t attributes_of(const std::string& name, const struct stat& st) {
  uint16_t a = kDosArchive;
  if ((st.st_mode & 0222) == 0) a |= kDosReadOnly;
  if (!name.empty() && name[0] == '.') a |= kDosHidden;
  if (st.st_mode & 0100) a |= kDosExec;
  return a;
}

struct Walker {
  bool recurse;
  std::size_t limit;
  std::vector<WalkItem>& items;
  std::vector<WalkNote>& notes;
  std::vector<std::pair<dev_t, ino_t>> stack;  // folders open above the current one

  bool full() const { return items.size() > limit; }

  void add_file(const std::string& path, const std::string& name, const struct stat& st) {
    if (full()) return;
    WalkItem it;
    it.path = path;
    it.name = name;
    it.size = uint64_t(st.st_size);
    it.mtime = int64_t(st.st_mtime);
    it.attributes = attributes_of(base_name(path), st);
    items.push_back(std::move(it));
  }

  // One entry found inside a folder (lstat'ed, so links are seen as links).
  void visit(const std::string& path, const std::string& name, int depth) {
    if (full()) return;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      notes.push_back({path, std::string("cannot read: ") + std::strerror(errno), true});
      return;
    }
    if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (stat(path.c_str(), &target) != 0) {
        notes.push_back({path, "skipped: symbolic link to nothing", false});
      } else if (S_ISDIR(target.st_mode)) {
        notes.push_back({path, "skipped: symbolic link to a folder is not followed", false});
      } else if (S_ISREG(target.st_mode)) {
        add_file(path, name, target);
      } else {
        notes.push_back({path, "skipped: not a regular file", false});
      }
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      if (!recurse) return;
      // A folder already open higher up (a bind mount of a parent) is not
      // entered again.
      for (const auto& open : stack)
        if (open.first == st.st_dev && open.second == st.st_ino) {
          notes.push_back({path, "skipped: folder loops back to a parent", false});
          return;
        }
      stack.emplace_back(st.st_dev, st.st_ino);
      folder(path, name, depth + 1);
      stack.pop_back();
      return;
    }
    if (S_ISREG(st.st_mode)) {
      add_file(path, name, st);
      return;
    }
    notes.push_back({path, "skipped: not a regular file", false});
  }

  // The files below `dir`, named with the prefix `prefix` ("" or "a/b/").
  void folder(const std::string& dir, const std::string& prefix_name, int depth) {
    DIR* d = opendir(dir.c_str());
    if (!d) {
      notes.push_back({dir, std::string("cannot read folder: ") + std::strerror(errno), true});
      return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      names.emplace_back(e->d_name);
    }
    bool failed = errno != 0;
    int saved = errno;
    closedir(d);
    if (failed) notes.push_back({dir, std::string("cannot read folder: ") + std::strerror(saved), true});
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
      if (full()) return;
      std::string child_name = prefix_name.empty() ? n : prefix_name + "/" + n;
      visit(join(dir, n), child_name, depth);
    }
  }
};

}  // namespace

void walk_source(const std::string& path, bool contents, bool recurse, std::size_t limit,
                 std::vector<WalkItem>& items, std::vector<WalkNote>& notes) {
  Walker w{recurse, limit, items, notes, {}};
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    notes.push_back({path, std::string("cannot read source: ") + std::strerror(errno), true});
    return;
  }
  if (S_ISDIR(st.st_mode)) {
    w.stack.emplace_back(st.st_dev, st.st_ino);
    w.folder(path, contents ? std::string() : base_name(path), 1);
  } else if (contents) {
    notes.push_back({path, "cannot read source: not a folder", true});
  } else if (S_ISREG(st.st_mode)) {
    w.add_file(path, base_name(path), st);
  } else {
    notes.push_back({path, "cannot read source: not a regular file", true});
  }
}

}  // namespace arc_local
