#include "services.h"

#include "platform/text.h"

namespace zubeto {

std::string Services::localized(std::string_view utf8) { return platform::system_text(utf8); }

std::optional<std::vector<std::string>> Services::read_tail(const std::string& name, std::size_t max_bytes) {
  std::optional<std::vector<std::string>> lines = read_text_lines(*this, name);
  if (!lines) return lines;
  // The last lines that fit in max_bytes, at least the last one.
  std::size_t bytes = 0, first = lines->size();
  while (first > 0 && (first == lines->size() || bytes + (*lines)[first - 1].size() + 2 <= max_bytes))
    bytes += (*lines)[--first].size() + 2;
  lines->erase(lines->begin(), lines->begin() + static_cast<std::ptrdiff_t>(first));
  return lines;
}

std::optional<std::vector<std::string>> read_text_lines(Services& services, const std::string& name) {
  std::unique_ptr<TextReader> in = services.open_text(name);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  while (!in->at_end()) lines.push_back(in->read_line());
  in->close();
  return lines;
}

}  // namespace zubeto
