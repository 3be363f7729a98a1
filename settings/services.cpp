#include "services.h"

namespace zubeto {

std::optional<std::vector<std::string>> read_text_lines(Services& services, const std::string& name) {
  std::unique_ptr<TextReader> in = services.open_text(name);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  while (!in->at_end()) lines.push_back(in->read_line());
  in->close();
  return lines;
}

}  // namespace zubeto
