// Reading back the job saved last, as the window's start-up restores it:
// a plain function over the lines of the job files.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zubeto {

// What the job files hold for the window. A field left empty was not in the
// files (or only in lines that could not be used), and the window keeps its
// default for it.
struct RestoredJob {
  std::optional<int> type;                 // Option1 index 0-3 (LZH, ZIP, CAB, TAR)
  std::optional<int> shutdown;             // Check1 value 0 or 1
  std::optional<std::string> destination;  // Text1
  std::vector<std::string> sources;        // List1, in order
  std::optional<int> keep;                 // archives kept in the destination (0: all)

  bool operator==(const RestoredJob&) const = default;
};

// The most archives a job may keep, as the window offers it.
inline constexpr int kMostKept = 9999;

// Gives the lines of the named response file, or nothing when it cannot be
// opened.
using ResponseReader = std::function<std::optional<std::vector<std::string>>(const std::string& name)>;

// Reads the lines of the job settings file (without their line ends) into a
// job. Each line is tested for the keys "[mode]=", "[archive]=",
// "[dir_file]=" and "[shut_flg]=", in this order, anywhere in the text; a key
// that is found replaces the text by its value, taken from the position the
// key has at the start of a line, and the later keys look at that value.
// Values that cannot be used (a type outside 0-3, a shutdown value that is no
// whole number, a value too short for its quotes) make the rest of that line
// pass over; later values of a key replace earlier ones, sources add up.
// A line that starts with "[keep]=" holds only that key: a whole number from
// 0 up is the number of archives kept, anything else is passed over.
RestoredJob restore_job(const std::vector<std::string>& lines, const ResponseReader& read_response);

// A whole number in decimal, with optional spaces around it and an optional
// sign; nothing for any other text or a number beyond nine digits.
std::optional<long> whole_number(const std::string& text);

}  // namespace zubeto
