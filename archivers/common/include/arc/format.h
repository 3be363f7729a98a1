// The table of archive formats: how each one's command text reads and how
// its sources are named inside the archive. Adding a format means one row
// here (format.cpp) and one folder with its writer and its two exported
// functions.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zubeto::arc {

enum class FormatId { Lzh, Zip, Cab, Tar, Bga };

// How a source's path becomes its name in the archive.
enum class NameRule {
  // The path without its root: /home/u/data -> home/u/data.
  StripRoot,
  // Relative to the base directory given after the extra switches; a source
  // outside the base is stored without its root.
  RelativeToBase,
  // By its own last name: /home/u/memo.txt -> memo.txt, /home/u/data -> data.
  OwnName,
};

struct FormatRow {
  FormatId id;
  std::string_view name;                     // "ZIP", used in output texts
  std::vector<std::string_view> mode;        // the mode switch words, in order
  std::vector<std::string_view> switches;    // extra switches accepted after the archive path
  bool base_dir;                             // a base directory precedes the sources
  bool folder_contents;                      // "<folder>/*.*" = the folder's contents, recursively
  NameRule names;
  bool stores_links;                         // symbolic links are stored as links (else left out, with a note)
  bool lists_entries;                        // the output text lists every stored name (verbose mode)
  bool stores_folders;                       // folders are entries of their own (else only their files are kept)
  uint64_t max_file_size;                    // the largest file an entry can hold; larger ones are refused up front
};

const FormatRow& format_row(FormatId id);

}  // namespace zubeto::arc
