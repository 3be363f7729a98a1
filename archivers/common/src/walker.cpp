#include "arc/walker.h"

#include "arc/name_hash.h"

#include <algorithm>
#include <string_view>

#include "arc/codes.h"
#include "arc/output_file.h"

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

bool same_thing(const platform::FileFacts& a, const platform::FileFacts& b) {
  return a.kind == b.kind && a.dev == b.dev && a.ino == b.ino;
}

// The files of the folder being walked, opened through its handle.
class HereOpener : public FileOpener {
 public:
  explicit HereOpener(const platform::OpenFolder* folder) : folder_(folder) {}
  bool open(const Entry& e, platform::InputFile& file, platform::FileFacts& facts, platform::SysError& err) override {
    return open_walked_file(folder_, e, file, facts, err);
  }

 private:
  const platform::OpenFolder* folder_;
};

// The names a walk gave, for the collision rule: each kept as a 64-bit hash
// beside the identity and kind of what it names, in one open-addressed
// table (24 bytes a slot). Two names sharing a hash -- one chance in 2^64
// for a pair -- would only give the later one a numbered name.
class SeenNames {
 public:
  struct Thing {
    EntryKind kind;
    uint64_t dev, ino;
  };

  bool find(std::string_view name, Thing& out) const {
    if (slots_.empty()) return false;
    const uint64_t h = hash(name);
    for (size_t i = start(h); slots_[i].key != 0; i = (i + 1) & mask())
      if ((slots_[i].key >> 2) == (h >> 2)) {
        out = {static_cast<EntryKind>(slots_[i].key & 3), slots_[i].dev, slots_[i].ino};
        return true;
      }
    return false;
  }
  bool contains(std::string_view name) const {
    Thing t;
    return find(name, t);
  }

  void add(std::string_view name, const Thing& t) {
    if ((used_ + 1) * 4 > slots_.size() * 3) grow();
    const uint64_t key = (hash(name) & ~uint64_t{3}) | static_cast<uint64_t>(t.kind);
    place({key, t.dev, t.ino});
    ++used_;
  }

 private:
  struct Slot {
    uint64_t key;  // hash with its 2 low bits holding the kind; 0: empty
    uint64_t dev, ino;
  };

  static uint64_t hash(std::string_view name) {
    return name_hash(name) | 4;  // never 0 with the kind in its low bits
  }
  size_t mask() const { return slots_.size() - 1; }
  // The first slot to try: from the hash's bits above the kind.
  size_t start(uint64_t key) const { return static_cast<size_t>(key >> 2) & mask(); }
  void place(const Slot& s) {
    size_t i = start(s.key);
    while (slots_[i].key != 0) i = (i + 1) & mask();
    slots_[i] = s;
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{0, 0, 0});
    for (const Slot& s : old)
      if (s.key != 0) place(s);
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

class Walker {
 public:
  // With one source, the names of a walk are all distinct (the parts of
  // paths in one tree): names need keeping only when sources are several.
  Walker(const WalkOptions& options, Report& report, WalkVisitor& visitor, std::vector<WalkedFolder>* folders,
         bool keep_names)
      : options_(options), report_(report), visitor_(visitor), folders_(folders), keep_names_(keep_names) {}

  // False once the visitor stopped the walk.
  bool root(const WalkRoot& r) {
    platform::FileFacts st;
    platform::SysError err;
    if (!platform::path_facts(r.path, /*follow_link=*/true, st, err)) {
      if (err.kind == platform::ErrorKind::Missing)
        report_.problem(ARC_E_SOURCE_MISSING, "source not found: " + r.path);
      else
        report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read source: " + r.path + " (" + err.text() + ")");
      return true;
    }
    if (st.kind == platform::FileKind::Folder) {
      std::string name = r.name;
      platform::OpenFolder dir;
      platform::FileFacts opened;
      bool ok = dir.open(r.path, opened, err);
      if (ok) st = opened;
      if (!r.contents_only && !r.name.empty()) {
        Entry e = make_entry(EntryKind::Folder, r.path, r.name, st);
        e.follow = true;
        std::string used;
        if (!push(std::move(e), nullptr, &used)) return false;
        if (!used.empty()) name = used;
      }
      if (!ok) {
        report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + r.path + " (" + err.text() + ")");
        return true;
      }
      uint32_t index = add_folder(Entry::kNoFolder, r.path, st);
      return folder(dir, r.path, name, index, st);
    }
    if (st.kind == platform::FileKind::File) {
      std::string name = r.name.empty() ? base_name(r.path) : r.name;
      Entry e = make_entry(EntryKind::File, r.path, name, st);
      e.follow = true;
      e.leaf_size = static_cast<uint32_t>(r.path.size());
      return push(std::move(e), nullptr, nullptr);
    }
    report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot be archived: " + r.path + " (" + st.special +
                                                 " holds no data a backup can keep)");
    return true;
  }

 private:
  uint32_t add_folder(uint32_t parent, const std::string& name, const platform::FileFacts& f) {
    if (!folders_) return Entry::kNoFolder;
    folders_->push_back({parent, name, f.dev, f.ino});
    return static_cast<uint32_t>(folders_->size() - 1);
  }

  // Hands the entry on under its name or, when that name is taken by
  // another thing, under a numbered one. `used` receives the name used (""
  // when the entry is the very thing already given under that name). False
  // once the visitor stopped the walk.
  bool push(Entry e, const platform::OpenFolder* here, std::string* used) {
    if (used) used->clear();
    if (e.name.empty()) return true;
    SeenNames::Thing first;
    if (keep_names_ && seen_.find(e.name, first)) {
      bool same = first.dev == e.dev && first.ino == e.ino;
      bool both_folders = first.kind == EntryKind::Folder && e.kind == EntryKind::Folder;
      if (same && first.kind == e.kind) return true;
      if (both_folders) {  // contents merge under the one name
        if (used) *used = e.name;
        return true;
      }
      std::string wanted = e.name;
      unsigned n = 2;
      while (seen_.contains(numbered_name(wanted, n))) ++n;
      e.name = numbered_name(wanted, n);
      report_.note("NOTE: two sources give the name " + wanted + "; " + e.path + " is stored as " + e.name);
    }
    if (keep_names_) seen_.add(e.name, {e.kind, e.dev, e.ino});
    if (used) *used = e.name;
    HereOpener opener(here);
    return visitor_.visit(e, opener);
  }

  bool folder(const platform::OpenFolder& dir, const std::string& path, const std::string& prefix, uint32_t index,
              const platform::FileFacts& self) {
    // The folders being walked, outermost first: one met again below
    // itself would make the walk endless.
    open_.push_back({self.dev, self.ino});
    bool go_on = walk_children(dir, path, prefix, index, is_destination(self));
    open_.pop_back();
    return go_on;
  }

  bool inside_itself(const platform::FileFacts& f) const {
    if (f.dev == 0 && f.ino == 0) return false;
    for (const auto& o : open_)
      if (o.first == f.dev && o.second == f.ino) return true;
    return false;
  }

  bool is_destination(const platform::FileFacts& f) const {
    return options_.has_destination && f.kind == platform::FileKind::Folder && f.dev == options_.dest_dev &&
           f.ino == options_.dest_ino;
  }

  void vanished(const std::string& path) { report_.problem(ARC_E_SOURCE_MISSING, "vanished while read: " + path); }

  bool walk_children(const platform::OpenFolder& dir, const std::string& path, const std::string& prefix,
                     uint32_t index, bool is_dest) {
    std::vector<platform::FolderChild> children;
    platform::SysError err;
    if (!dir.list(children, err))
      report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + path + " (" + err.text() + ")");
    // std::string compares as unsigned bytes: a byte-wise order.
    std::sort(children.begin(), children.end(),
              [](const platform::FolderChild& a, const platform::FolderChild& b) { return a.name < b.name; });

    size_t own_left_out = 0;
    for (const platform::FolderChild& c : children) {
      std::string child_path = platform::join_path(path, c.name);
      std::string child_name = join_name(prefix, c.name);
      if (c.err.failed()) {
        if (c.err.kind == platform::ErrorKind::Missing)
          vanished(child_path);
        else
          report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read: " + child_path + " (" + c.err.text() + ")");
        continue;
      }
      switch (c.facts.kind) {
        case platform::FileKind::Folder: {
          if (is_destination(c.facts)) {
            report_.note("NOTE: left out: " + child_path +
                         " (the folder this archive is written to; a backup never holds its own archives)");
            break;
          }
          if (inside_itself(c.facts)) {
            report_.problem(ARC_E_SOURCE_UNREADABLE,
                            "cannot read: " + child_path + " (it leads back to a folder above it; left out)");
            break;
          }
          platform::OpenFolder sub;
          platform::FileFacts opened;
          platform::SysError oerr;
          bool ok = sub.open_child(dir, c.name, opened, oerr);
          if (ok && !same_thing(opened, c.facts)) {
            // Another folder under that name since the listing.
            vanished(child_path);
            break;
          }
          if (!ok && oerr.kind == platform::ErrorKind::Missing) {
            vanished(child_path);  // gone, or a link in its place
            break;
          }
          Entry e = make_entry(EntryKind::Folder, child_path, child_name, ok ? opened : c.facts);
          e.folder = index;
          e.leaf_size = static_cast<uint32_t>(c.name.size());
          std::string used;
          if (!push(std::move(e), &dir, &used)) return false;
          if (!ok) {
            report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read folder: " + child_path + " (" + oerr.text() + ")");
            break;
          }
          uint32_t sub_index = add_folder(index, c.name, opened);
          if (!folder(sub, child_path, used.empty() ? child_name : used, sub_index, opened)) return false;
          break;
        }
        case platform::FileKind::File: {
          if (is_dest && is_own_archive_name(c.name, options_.archive_name)) {
            ++own_left_out;
            break;
          }
          Entry e = make_entry(EntryKind::File, child_path, child_name, c.facts);
          e.folder = index;
          e.leaf_size = static_cast<uint32_t>(c.name.size());
          if (!push(std::move(e), &dir, nullptr)) return false;
          break;
        }
        case platform::FileKind::Link: {
          std::string target;
          platform::SysError lerr;
          if (!dir.read_link(c.name, target, lerr)) {
            if (lerr.kind == platform::ErrorKind::Missing)
              vanished(child_path);
            else
              report_.problem(ARC_E_SOURCE_UNREADABLE, "cannot read link: " + child_path + " (" + lerr.text() + ")");
            break;
          }
          Entry e = make_entry(EntryKind::Link, child_path, child_name, c.facts);
          e.folder = index;
          e.leaf_size = static_cast<uint32_t>(c.name.size());
          e.link_target = std::move(target);
          if (!push(std::move(e), &dir, nullptr)) return false;
          break;
        }
        case platform::FileKind::Other:
          report_.note("NOTE: left out: " + child_path + " (" + c.facts.special + " holds no data a backup can keep)");
          break;
      }
    }
    if (own_left_out > 0)
      report_.note("NOTE: left out: " + std::to_string(own_left_out) + " archive" + (own_left_out == 1 ? "" : "s") +
                   " of this and earlier runs in " + path +
                   " (the folder this archive is written to; a backup never holds its own archives)");
    return true;
  }

  const WalkOptions& options_;
  Report& report_;
  WalkVisitor& visitor_;
  std::vector<WalkedFolder>* folders_;
  bool keep_names_;
  SeenNames seen_;                                   // names given so far
  std::vector<std::pair<uint64_t, uint64_t>> open_;  // identities of the folders being walked
};

class Collect : public WalkVisitor {
 public:
  explicit Collect(std::vector<Entry>& out) : out_(out) {}
  bool visit(Entry& e, FileOpener&) override {
    out_.push_back(std::move(e));
    return true;
  }

 private:
  std::vector<Entry>& out_;
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

void walk(const std::vector<WalkRoot>& roots, const WalkOptions& options, Report& report, WalkVisitor& visitor,
          std::vector<WalkedFolder>* folders) {
  Walker w(options, report, visitor, folders, roots.size() > 1);
  for (const WalkRoot& r : roots)
    if (!w.root(r)) return;
}

std::vector<Entry> walk(const std::vector<WalkRoot>& roots, const WalkOptions& options, Report& report,
                        std::vector<WalkedFolder>* folders) {
  std::vector<Entry> out;
  Collect collect(out);
  walk(roots, options, report, collect, folders);
  return out;
}

std::vector<Entry> walk(const std::vector<WalkRoot>& roots, Report& report) {
  return walk(roots, WalkOptions{}, report, nullptr);
}

bool open_walked_file(const platform::OpenFolder* folder, const Entry& e, platform::InputFile& file,
                      platform::FileFacts& facts, platform::SysError& err) {
  bool ok = folder ? file.open_child(*folder, e.leaf(), facts, err) : file.open(e.path, e.follow, facts, err);
  if (!ok) return false;
  if (facts.kind == platform::FileKind::File && (facts.dev != e.dev || facts.ino != e.ino)) {
    // Another file under that name since the listing: the one listed is gone.
    file.close();
    err = platform::SysError{platform::ErrorKind::Missing, 0};
    return false;
  }
  return true;
}

const platform::OpenFolder* FolderOpener::folder(uint32_t index, platform::SysError& err) {
  // The chain from the source folder down to `index`.
  std::vector<uint32_t> chain;
  for (uint32_t i = index; i != Entry::kNoFolder; i = folders_[i].parent) chain.push_back(i);
  std::reverse(chain.begin(), chain.end());
  size_t keep = 0;
  while (keep < open_.size() && keep < chain.size() && open_[keep].first == chain[keep]) ++keep;
  open_.resize(keep);
  for (size_t k = keep; k < chain.size(); ++k) {
    const WalkedFolder& w = folders_[chain[k]];
    auto dir = std::make_unique<platform::OpenFolder>();
    platform::FileFacts facts;
    bool ok = k == 0 ? dir->open(w.name, facts, err) : dir->open_child(*open_.back().second, w.name, facts, err);
    if (!ok) return nullptr;
    if (facts.kind != platform::FileKind::Folder || facts.dev != w.dev || facts.ino != w.ino) {
      err = platform::SysError{platform::ErrorKind::Missing, 0};
      return nullptr;
    }
    open_.emplace_back(chain[k], std::move(dir));
  }
  return open_.empty() ? nullptr : open_.back().second.get();
}

bool FolderOpener::open(const Entry& e, platform::InputFile& file, platform::FileFacts& facts,
                        platform::SysError& err) {
  if (e.folder == Entry::kNoFolder) return open_walked_file(nullptr, e, file, facts, err);
  const platform::OpenFolder* dir = folder(e.folder, err);
  if (!dir) {
    if (err.kind != platform::ErrorKind::Missing) return false;
    // A folder above it is gone or another one: so is the file.
    err = platform::SysError{platform::ErrorKind::Missing, err.code};
    return false;
  }
  return open_walked_file(dir, e, file, facts, err);
}

bool is_own_archive_name(const std::string& name, const std::string& archive) {
  if (is_temp_name(name)) return true;
  if (name.size() != archive.size() || archive.empty()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < name.size(); ++i) {
    bool digit = archive[i] >= '0' && archive[i] <= '9';
    if (digit ? !(name[i] >= '0' && name[i] <= '9') : lower(name[i]) != lower(archive[i])) return false;
  }
  return true;
}

}  // namespace zubeto::arc
