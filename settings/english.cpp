#include "english.h"

namespace zubeto::english {

namespace {
constexpr Row kRows[] =
#include "english_table.inc"
    ;
}  // namespace

const Row* rows() { return kRows; }
std::size_t row_count() { return sizeof kRows / sizeof kRows[0]; }

std::optional<std::string_view> text(std::string_view japanese) {
  for (const Row& r : kRows)
    if (japanese == r.japanese) return std::string_view(r.english);
  return std::nullopt;
}

}  // namespace zubeto::english
