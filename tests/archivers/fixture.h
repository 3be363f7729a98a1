// Small helpers for the archiver tests: a temporary folder that cleans up
// after itself, file writers, and a snapshot of a tree for comparisons.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace arctest {

inline int remove_one(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zubeto-arc-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() { ::nftw(path_.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void make_dirs(const std::string& path) {
  std::string cur;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    cur = path.substr(0, end);
    if (!cur.empty()) ::mkdir(cur.c_str(), 0755);
    pos = end + 1;
  }
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

inline std::string random_bytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// Names in one folder, sorted, without "." and "..".
inline std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What a tree holds: per relative path its kind and its bytes (files), its
// target (links), and the modification second of files.
struct Node {
  char kind;  // 'd', 'f', 'l'
  std::string data;
  long mtime;
  bool operator==(const Node& o) const { return kind == o.kind && data == o.data && mtime == o.mtime; }
};
using Tree = std::map<std::string, Node>;

inline void snapshot_into(const std::string& root, const std::string& rel, Tree& out) {
  for (const std::string& name : list_dir(root + (rel.empty() ? "" : "/" + rel))) {
    std::string r = rel.empty() ? name : rel + "/" + name;
    std::string full = root + "/" + r;
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      out[r] = Node{'d', "", 0};
      snapshot_into(root, r, out);
    } else if (S_ISLNK(st.st_mode)) {
      char buf[4096];
      ssize_t n = ::readlink(full.c_str(), buf, sizeof buf);
      out[r] = Node{'l', std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), 0};
    } else {
      out[r] = Node{'f', read_file(full), static_cast<long>(st.st_mtime)};
    }
  }
}

inline Tree snapshot(const std::string& root) {
  Tree t;
  snapshot_into(root, "", t);
  return t;
}

// Runs a shell command; returns its exit status.
inline int sh(const std::string& cmd) {
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Output of a shell command.
inline std::string capture(const std::string& cmd) {
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// Changes the current directory for one scope.
class InDir {
 public:
  explicit InDir(const std::string& dir) {
    char buf[4096];
    old_ = ::getcwd(buf, sizeof buf) ? buf : "/";
    if (::chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed");
  }
  ~InDir() { (void)::chdir(old_.c_str()); }

 private:
  std::string old_;
};

}  // namespace arctest
