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
#pragma once

#include <cstdint>

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
};

// Copies the facts of a path (mode, times, owner, identity; size for
// files) into the entry.
void take_facts(Entry& e, const platform::FileFacts& f);

struct WalkRoot {
  std::string path;            // on disk
  std::string name;            // its name in the archive ("" = contents at the top)
  bool contents_only = false;  // a folder's contents without the folder's own entry
};

std::vector<Entry> walk(const std::vector<WalkRoot>& roots, Report& report);

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
