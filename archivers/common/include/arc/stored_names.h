// Name collisions judged on the name as the format stores it.
//
// The walk keeps the archive names distinct, but a format maps them before
// it stores them (LZH: to code page 932, with "_" for what it cannot hold
// and for "\"; CAB: "\" between folders), and the readers of LZH and CAB on
// Windows ignore letter case. Two names the walk keeps apart can so be
// restored to one file, the later overwriting the earlier. The run asks
// here, entry by entry in walk order, under which name each one is stored:
//
// - a file (or link) whose stored form meets an earlier entry's, or a
//   folder whose stored form meets an earlier file's, gets a distinct
//   name, "f (2).txt" for "f.txt", and a NOTE line says so; a renamed
//   folder takes its contents along;
// - two folders that meet merge (as the walk merges folders of one name):
//   their contents are judged one by one;
// - in a format that keeps letter case (ZIP, TAR), names that differ only
//   in case are both kept as they are, and a NOTE line says that they meet
//   when restored on a system that ignores case.
//
// Memory: one 64-bit hash per entry (of its folded stored name; two in a
// format that keeps case: with and without case folded), kept in a sorted
// array beside a small table of the latest ones, so that an entry costs 8
// bytes a hash and never a node of its own; a hash that meets another by
// chance, about once in 10^11 archives of a million entries, costs a
// needless "(2)" and its NOTE line, never a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "arc/driver.h"
#include "arc/report.h"
#include "arc/walker.h"

namespace zubeto::arc {

// Letter case folded as file systems that ignore case fold it: ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin letters
// of UTF-8 text. Bytes that are no UTF-8 stay as they are.
std::string fold_case(std::string_view utf8);

class StoredNames {
 public:
  // `format`: its name in the NOTE lines ("LZH"); `writer` gives the
  // stored form of a name part (EntryWriter::name_key).
  StoredNames(std::string_view format, const EntryWriter& writer);

  // The name to store `e` under: its own, or a distinct one (see above).
  // NOTE lines go to `report`. Entries come in walk order: a folder
  // before its contents.
  std::string place(const Entry& e, Report& report);

 private:
  struct Placed {
    std::string name;  // as stored (after earlier folder renames)
    std::string key;   // its stored, folded form
  };
  // The folder `orig` (a walk name) as placed: its name after renames and
  // its key; placed now as a folder when no entry gave it yet (`path`:
  // the folder's own entry's path, for a NOTE line).
  const Placed& folder(const std::string& orig, Report& report, const std::string* path = nullptr);
  // Places one name under `parent`; `label` names it in a NOTE line.
  Placed put(const Placed* parent, const std::string& last, bool is_folder, const std::string& label,
             Report& report);
  std::string key_of(const Placed* parent, std::string_view last) const;

  // A set of hashes, each with one flag (whether it names a folder), in
  // about 8 bytes a hash: the hashes in a sorted array, the latest ones in
  // a small table merged into the array when it has grown by a sixteenth.
  class HashFlags {
   public:
    // -1: not there; else the flag it was put with.
    int find(uint64_t h) const;
    // Puts `h` with `flag` unless it is there already.
    void insert(uint64_t h, bool flag);

   private:
    void merge();
    std::vector<uint64_t> sorted_;  // (hash >> 1) << 1 | flag, ascending
    std::unordered_map<uint64_t, bool> recent_;
  };

  std::string format_;
  const EntryWriter& writer_;
  bool folds_case_;
  // Hash of a key -> whether it is a folder.
  HashFlags keys_;
  // The same with letter case folded, for formats that keep case.
  HashFlags folded_;
  // Walk names of folders that were renamed -> where they went.
  std::unordered_map<std::string, Placed> renamed_;
  // The last folder asked for, as placed: siblings share it.
  std::string last_orig_;
  Placed last_;
  bool have_last_ = false;
};

}  // namespace zubeto::arc
