// Stand-in file walker for cab32 until the archivers' shared walker is in.
//
// Order: the names of a folder are sorted byte by byte and visited in that
// order, depth first (a subfolder's files come where its name sorts).
// Symbolic links to files are read through; symbolic links to folders are
// never followed, so a walk cannot loop.
#ifndef ZUBETO_CAB_LOCAL_FILE_WALKER_H
#define ZUBETO_CAB_LOCAL_FILE_WALKER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace arc_local {

enum : uint16_t {  // DOS attribute bits
  kDosReadOnly = 0x01,
  kDosHidden = 0x02,
  kDosArchive = 0x20,
  kDosExec = 0x40,
};

struct WalkItem {
  std::string path;  // on disk
  std::string name;  // inside the archive, "/" between folders
  uint64_t size = 0;
  int64_t mtime = 0;
  uint16_t attributes = kDosArchive;
};

struct WalkNote {
  std::string path;
  std::string what;
  bool error = false;  // a source or file that could not be read
};

// Adds the files of one source. A file is named by its last path component;
// a folder with `contents` set gives its files named relative to it; a
// folder without it gives them under the folder's own name. Without
// `recurse` only the folder's own files are taken. Stops adding once
// `items` holds more than `limit` entries (a later step refuses them).
void walk_source(const std::string& path, bool contents, bool recurse, std::size_t limit,
                 std::vector<WalkItem>& items, std::vector<WalkNote>& notes);

}  // namespace arc_local

#endif
