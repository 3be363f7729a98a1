// The names an LZH entry carries. Japanese Windows readers decode the plain
// name fields in code page 932 (Shift-JIS), so those hold the name converted
// from the system's UTF-8, with "_" for each character that code page 932
// cannot hold; the UTF-16LE name fields hold the exact name. A name part
// that is not valid UTF-8 (written by another system) keeps its bytes in
// the plain field (lhasa and 7-Zip write them back as they were), and its
// UTF-16 form reads each byte that does not decode as the character of the
// same number (U+0080 to U+00FF), so that every reader gets a name it can
// write and two such names stay apart. A name part in plain ASCII (no
// backslash) is spelled exactly by its plain field in every code page: its
// UTF-16 field would repeat it, and is not written.
#pragma once
#include <string>
#include <string_view>

namespace lzh {

struct StoredName {
  std::string sjis_dir;    // folder part: Shift-JIS parts, each followed by 0xFF; empty at the top
  std::string sjis_file;   // last part in Shift-JIS; empty for a folder entry
  std::string utf16_dir;   // folder part: UTF-16LE parts, each followed by "/"
  std::string utf16_file;  // last part in UTF-16LE
  // The plain field spells the name exactly (plain ASCII without a
  // backslash), so its UTF-16 field says nothing more.
  bool dir_exact = true;
  bool file_exact = true;
};

// `name` is "/"-separated with no leading or trailing "/"; for a folder
// entry the whole name is the folder part.
StoredName stored_name(std::string_view name, bool is_folder);

// One name part: its Shift-JIS form and its UTF-16LE bytes.
void convert_part(std::string_view utf8, std::string& sjis, std::string& utf16le);

// Shift-JIS text with letter case folded as Windows folds it in file names:
// ASCII letters, and the full-width Latin, Greek and Cyrillic letters of
// code page 932 (two-byte characters read whole, so a trail byte is never
// taken for a letter).
std::string fold_cp932_case(std::string_view sjis);

}  // namespace lzh
