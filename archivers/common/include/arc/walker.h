// The one file walker of all our archivers.
//
// Order: sources in command order. A folder source gives its own entry
// first (except "<folder>/*.*", which gives only the contents), then its
// contents depth-first: a folder's entries sorted byte-wise by name, each
// sub-folder's entry followed at once by its own contents. Hidden entries
// (names beginning with ".") are included; an empty folder is an entry.
//
// Links: a symbolic link named as a source is followed (the user chose
// it). A symbolic link met inside a walked folder is never followed: it
// becomes a Link entry holding its target text, which a format either
// stores as a link or leaves out with a note. So a walk never loops. On
// Windows a symbolic link or a junction (a reparse point that stands for
// another path) is such a link. A folder met again below itself all the
// same (through links the system shows as plain folders: a bind mount,
// Unix links seen through Wine) is named as a problem and not entered.
// Device files, pipes and sockets hold no data a backup can keep: inside
// folders they are left out with a note (the run stays a success), named
// as a source they are a problem (the user asked for them).
//
// Names: the same file or folder met twice (a file inside a folder source
// also named by itself) is given once. Two different things that would get
// the same archive name are both kept: folders merge (their contents are
// walked under the one name), while a later file or link -- or a folder
// meeting a file -- gets a distinct name, "f (2).txt" for "f.txt", and a
// note says so. No entry is ever dropped without a line.
//
// Opening: the walk opens, it never follows. Each folder is opened
// relative to its parent's open handle, never through a link, and must be
// the very folder (device, inode, kind) the parent's listing showed; each
// file is opened relative to its folder's handle the same way, and its
// bytes are read only from that handle. A folder or file that turned into
// a link or into something else between listing and opening is left out
// and named as one that vanished. A source the user named is opened by its
// path (a link there is followed, as the user chose it).
//
// Our own destination: the folder the archive is written to is never
// archived. Met inside a source (by identity, not by name) it is left out
// whole with one note; a source that is the destination folder itself is
// walked without the archives this run and earlier runs made there (names
// of the archive's own form) and without temporaries, with one note.
#pragma once

#include <cstdint>

#include <memory>
#include <utility>

#include <string>
#include <vector>

#include "arc/report.h"
#include "platform/files.h"

namespace zubeto::arc {

enum class EntryKind { Folder, File, Link };

struct Entry {
  EntryKind kind = EntryKind::File;
  std::string path;          // on disk, as walked
  std::string name;          // in the archive: "/"-separated, no root, no trailing "/"
  uint32_t mode = 0;         // permission bits (07777)
  int64_t mtime = 0;         // seconds since 1970
  long mtime_nsec = 0;
  uint32_t uid = 0, gid = 0;
  uint64_t size = 0;         // files: size when walked (when read: FileContent::size)
  std::string link_target;   // links only
  bool follow = false;       // named as a source: open it through a link
  uint64_t dev = 0, ino = 0; // identity on disk, to tell the same file met twice
  // Where the walk found it: the walked folder that holds it (an index into
  // the walk's folders) and the size of its own name at the end of `path`.
  // kNoFolder for a source the user named.
  uint32_t folder = kNoFolder;
  uint32_t leaf_size = 0;
  static constexpr uint32_t kNoFolder = 0xFFFFFFFFu;
  std::string leaf() const { return path.substr(path.size() - leaf_size); }
};

// A folder the walk entered, enough to open it again the same way and to
// know it for the one walked: a source folder by its path, any other by
// its name in its parent.
struct WalkedFolder {
  uint32_t parent = Entry::kNoFolder;
  std::string name;  // the path of a source folder; the own name of any other
  uint64_t dev = 0, ino = 0;
};

// Copies the facts of a path (mode, times, owner, identity; size for
// files) into the entry.
void take_facts(Entry& e, const platform::FileFacts& f);

struct WalkRoot {
  std::string path;            // on disk
  std::string name;            // its name in the archive ("" = contents at the top)
  bool contents_only = false;  // a folder's contents without the folder's own entry
};

// What the walk leaves out besides links it does not follow: the
// destination folder of the archive (see above).
struct WalkOptions {
  bool has_destination = false;
  uint64_t dest_dev = 0, dest_ino = 0;
  std::string archive_name;  // the archive's own name in that folder
};

// Opens the file of a file entry for reading, through the folder handles
// of the walk, and checks that it is the file the walk listed; a file gone,
// turned into a link or into another file fails with ErrorKind::Missing.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  virtual bool open(const Entry& e, platform::InputFile& file, platform::FileFacts& facts,
                    platform::SysError& err) = 0;
};

// Takes each entry as the walk meets it; false stops the walk.
class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  virtual bool visit(Entry& e, FileOpener& opener) = 0;
};

// The walk, entry by entry. The opener given with an entry is valid only
// within visit(). When `folders` is given, every folder entered is added
// to it and each entry's `folder` indexes it (for FolderOpener).
void walk(const std::vector<WalkRoot>& roots, const WalkOptions& options, Report& report, WalkVisitor& visitor,
          std::vector<WalkedFolder>* folders = nullptr);

// The whole walk as a list, with the folders it entered.
std::vector<Entry> walk(const std::vector<WalkRoot>& roots, const WalkOptions& options, Report& report,
                        std::vector<WalkedFolder>* folders);
std::vector<Entry> walk(const std::vector<WalkRoot>& roots, Report& report);

// Opens the files of a walk's list later, in list order: each folder again
// relative to its parent's handle, never through a link, checked against
// the identity the walk saw (a folder that changed since leaves its files
// out as vanished); the open folders are kept while entries stay in them.
class FolderOpener : public FileOpener {
 public:
  explicit FolderOpener(const std::vector<WalkedFolder>& folders) : folders_(folders) {}
  bool open(const Entry& e, platform::InputFile& file, platform::FileFacts& facts, platform::SysError& err) override;

 private:
  const platform::OpenFolder* folder(uint32_t index, platform::SysError& err);
  const std::vector<WalkedFolder>& folders_;
  std::vector<std::pair<uint32_t, std::unique_ptr<platform::OpenFolder>>> open_;
};

// Opens the file `e` names in the open folder `folder` (or by its path, as
// the user named it, when `folder` is null) and checks it is the file the
// walk saw: a plain file of the same identity.
bool open_walked_file(const platform::OpenFolder* folder, const Entry& e, platform::InputFile& file,
                      platform::FileFacts& facts, platform::SysError& err);

// Whether `name` in the destination folder is one of ours: a temporary of
// our archives, or an archive of the same form as `archive` (the same
// extension, digits where it has digits and its other characters).
bool is_own_archive_name(const std::string& name, const std::string& archive);

// Lexical clean-up of a path into an archive name: no root (nor drive or
// network share on Windows), "/" between parts whatever the system's
// separator, no "." or empty parts, ".." removes the part before it (never
// climbs above the top).
std::string clean_name(std::string_view path);

// The n-th distinct name for `name` (n >= 2): " (n)" before the last
// extension of the last part: "d/f.txt" -> "d/f (2).txt", ".profile" ->
// ".profile (2)".
std::string numbered_name(const std::string& name, unsigned n);

}  // namespace zubeto::arc
