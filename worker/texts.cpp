#include "texts.h"

#include <map>

#include "platform/text.h"

namespace worker {

const std::string& fixed_text(std::string_view utf8) {
  // One thread per worker: no lock needed.
  static std::map<std::string, std::string, std::less<>> converted;
  auto it = converted.find(utf8);
  if (it == converted.end()) it = converted.emplace(std::string(utf8), platform::system_text(utf8)).first;
  return it->second;
}

}  // namespace worker
