// The window's English texts, for a view whose toolkit has no translation
// system of its own (the Win32 view): each fixed text, given as its
// Japanese original in UTF-8, and its English words. Made at build time
// from the Qt view's translation (settings/qt/translations/zubetob_en.ts),
// so that both views speak the same English.
#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

namespace zubeto::english {

struct Row {
  const char* japanese;  // UTF-8, as the core and the tables of controls give it
  const char* english;   // UTF-8
};

// Every row of the table.
const Row* rows();
std::size_t row_count();

// The English words of a Japanese text; nothing when the table has none.
std::optional<std::string_view> text(std::string_view japanese);

}  // namespace zubeto::english
