#include "arc/output_text.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"

namespace zubeto::arc {

std::string OutputText::text() const {
  std::string all;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) all += "\r\n";
    all += lines_[i];
  }
  return all;
}

namespace {

std::string more_line(size_t n) {
  return "... and " + std::to_string(n) + (n == 1 ? " more line" : " more lines") + " not shown";
}

// The first `room` bytes of `line`, cut before a character that does not
// fit (UTF-8 on POSIX, the ANSI code page on Windows), marked with "...".
std::string cut_line(const std::string& line, size_t room) {
  if (line.size() <= room) return line;
  if (room < 3) return std::string();
  size_t cut = platform::char_start(line, room - 3);
  return line.substr(0, cut) + "...";
}

}  // namespace

std::string OutputText::fitted(uint32_t size) const {
  if (size == 0) return std::string();
  const size_t room = size - 1;
  std::string all = text();
  if (all.size() <= room) return all;
  // A line cut shorter than this says too little to be worth keeping.
  constexpr size_t kShortest = 24;
  std::string out;
  const size_t n = lines_.size() + not_kept_;
  // The first line leads whatever the room: when not even it fits beside
  // the count of the others, the text is cut as it stands.
  if (n == 0 || lines_[0].size() + (n > 1 ? 2 + more_line(n - 1).size() : 0) > room) {
    std::vector<char> buf(room + 1);
    write_output(all, buf.data(), size);
    return std::string(buf.data());
  }
  for (size_t i = 0; i < n; ++i) {
    const std::string sep = out.empty() ? "" : "\r\n";
    const size_t after = n - i - 1;
    const std::string tail_after = after ? "\r\n" + more_line(after) : "";
    if (out.size() + sep.size() + lines_[i].size() + tail_after.size() <= room) {
      out += sep + lines_[i];
      continue;
    }
    // This line does not fit whole (beside the count of those after it).
    const size_t used = out.size() + sep.size() + tail_after.size();
    if (used < room && room - used >= kShortest) {
      out += sep + cut_line(lines_[i], room - used) + tail_after;
      return out;
    }
    const std::string tail = sep + more_line(n - i);
    if (out.size() + tail.size() <= room) return out + tail;
    // Not even the count fits after what is there: drop lines until it does.
    while (!out.empty()) {
      size_t brk = out.rfind("\r\n");
      out.erase(brk == std::string::npos ? 0 : brk);
      ++i;  // one more line not shown (i counts the lines kept)
      const size_t missing = n - (out.empty() ? 0 : std::count(out.begin(), out.end(), '\n') + 1);
      const std::string t = (out.empty() ? "" : "\r\n") + more_line(missing);
      if (out.size() + t.size() <= room) return out + t;
    }
    return cut_line(more_line(n), room);
  }
  return out;
}

void OutputText::write(char* out, uint32_t size) const {
  if (out == nullptr || size == 0) return;
  std::string t = fitted(size);
  std::memcpy(out, t.data(), t.size());
  out[t.size()] = '\0';
}

void write_output(std::string_view text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return;
  size_t cut = text.size();
  if (cut > size - 1) {
    const size_t room = size - 1;
    // Prefer to end after a whole line: the last line break that starts
    // within the room.
    size_t brk = text.substr(0, room + 1).rfind('\n');
    if (brk != std::string_view::npos && brk > 0) {
      cut = brk;
      if (text[cut - 1] == '\r') --cut;
    } else {
      cut = platform::char_start(text, room);
    }
    if (cut > room) cut = room;
  }
  std::memcpy(out, text.data(), cut);
  out[cut] = '\0';
}

}  // namespace zubeto::arc
