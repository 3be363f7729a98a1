#include "arc/walker.h"

#include <algorithm>
#include <unordered_map>

#include "arc/codes.h"

namespace zubeto::arc {

std::string clean_name(std::string_view path) {
  std::vector<std::string_view> parts;
  for (std::string_view part : platform::path_parts(path)) {
    if (part == ".") continue;
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

namespace {

std::string join_name(const std::string& prefix, const std::string& child) {
  return prefix.empty() ? child : prefix + "/" + child;
}

std::string base_name(const std::string& path) {
  std::string c = clean_name(path);
  size_t slash = c.rfind('/');
  return slash == std::string::npos ? c : c.substr(slash + 1);
}

Entry make_entry(EntryKind kind, const std::string& path, const std::string& name, const platform::FileFacts& st) {
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
    platform::FileFacts st;
    platform::SysError err;
    if (!platform::path_facts(r.path, /*follow_link=*/true, st, err)) {
      if (err.kind == platform::ErrorKind::Missing)
        report_.problem(ARC_E_SOURCE_MISSING, "source not found: " + r.path);
      else
        report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read source: " + r.path + " (" + err.text() + ")");
      return;
    }
    if (st.kind == platform::FileKind::Folder) {
      std::string name = r.name;
      if (!r.contents_only && !r.name.empty()) {
        Entry e = make_entry(EntryKind::Folder, r.path, r.name, st);
        e.follow = true;
        std::string used = push(std::move(e));
        if (!used.empty()) name = used;
      }
      folder(r.path, name, /*top=*/true, st);
    } else if (st.kind == platform::FileKind::File) {
      std::string name = r.name.empty() ? base_name(r.path) : r.name;
      Entry e = make_entry(EntryKind::File, r.path, name, st);
      e.follow = true;
      push(std::move(e));
    } else {
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot be archived: " + r.path + " (" + st.special +
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

  void folder(const std::string& path, const std::string& prefix, bool top, const platform::FileFacts& self) {
    // The folders being walked, outermost first: one met again below
    // itself would make the walk endless.
    open_.push_back({self.dev, self.ino});
    walk_children(path, prefix, top);
    open_.pop_back();
  }

  bool inside_itself(const platform::FileFacts& f) const {
    if (f.dev == 0 && f.ino == 0) return false;
    for (const auto& o : open_)
      if (o.first == f.dev && o.second == f.ino) return true;
    return false;
  }

  void walk_children(const std::string& path, const std::string& prefix, bool top) {
    std::vector<platform::FolderChild> children;
    platform::SysError err;
    if (!platform::list_folder(path, /*follow_link=*/top, children, err))
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + path + " (" + err.text() + ")");
    // std::string compares as unsigned bytes: a byte-wise order.
    std::sort(children.begin(), children.end(),
              [](const platform::FolderChild& a, const platform::FolderChild& b) { return a.name < b.name; });

    for (const platform::FolderChild& c : children) {
      std::string child_path = platform::join_path(path, c.name);
      std::string child_name = join_name(prefix, c.name);
      if (c.err.failed()) {
        if (c.err.kind == platform::ErrorKind::Missing)
          report_.problem(ARC_E_SOURCE_MISSING, "vanished while read: " + child_path);
        else
          report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read: " + child_path + " (" + c.err.text() + ")");
        continue;
      }
      switch (c.facts.kind) {
        case platform::FileKind::Folder: {
          if (inside_itself(c.facts)) {
            report_.problem(ARC_E_SOURCE_UNREADABLE,
                            "cannot read: " + child_path + " (it leads back to a folder above it; left out)");
            break;
          }
          std::string used = push(make_entry(EntryKind::Folder, child_path, child_name, c.facts));
          folder(child_path, used.empty() ? child_name : used, false, c.facts);
          break;
        }
        case platform::FileKind::File:
          push(make_entry(EntryKind::File, child_path, child_name, c.facts));
          break;
        case platform::FileKind::Link: {
          std::string target;
          platform::SysError lerr;
          if (!platform::read_link(child_path, target, lerr)) {
            report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read link: " + child_path + " (" + lerr.text() + ")");
            break;
          }
          Entry e = make_entry(EntryKind::Link, child_path, child_name, c.facts);
          e.link_target = std::move(target);
          push(std::move(e));
          break;
        }
        case platform::FileKind::Other:
          report_.note("NOTE: left out: " + child_path + " (" + c.facts.special + " holds no data a backup can keep)");
          break;
      }
    }
  }

  std::vector<Entry>& out_;
  Report& report_;
  std::unordered_map<std::string, size_t> seen_;  // name -> index in out_
  std::vector<std::pair<uint64_t, uint64_t>> open_;  // identities of the folders being walked
};

}  // namespace

void take_facts(Entry& e, const platform::FileFacts& f) {
  e.mode = f.mode;
  e.mtime = f.mtime;
  e.mtime_nsec = f.mtime_nsec;
  e.uid = f.uid;
  e.gid = f.gid;
  e.size = e.kind == EntryKind::File ? f.size : 0;
  e.dev = f.dev;
  e.ino = f.ino;
}

std::vector<Entry> walk(const std::vector<WalkRoot>& roots, Report& report) {
  std::vector<Entry> out;
  Walker w(out, report);
  for (const WalkRoot& r : roots) w.root(r);
  return out;
}

}  // namespace zubeto::arc
