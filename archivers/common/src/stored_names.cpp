#include "arc/stored_names.h"

#include "arc/name_hash.h"
#include "text/utf8.h"

#include <algorithm>
#include <iterator>

#include "arc/walker.h"

namespace zubeto::arc {

namespace {

// The lower-case letter of `c`, for the alphabets whose case file systems
// that ignore case fold.
uint32_t lower(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;  // Latin-1, but for the multiplication sign
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131) return c;  // dotted and dotless i fold differently by language
    if (c == 0x178) return 0xFF;
    const bool even_upper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (even_upper) return c % 2 == 0 ? c + 1 : c;
    if (c == 0x138 || c == 0x149) return c;
    return c % 2 == 1 ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;  // full-width Latin
  return c;
}

}  // namespace

std::string fold_case(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  for (size_t i = 0; i < s.size();) {
    const uint8_t c = b(i);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      ++i;
      continue;
    }
    // A whole UTF-8 sequence of two or three bytes (the alphabets folded
    // all lie below U+10000); anything else is copied as it is.
    uint32_t v = 0;
    const size_t n = zubeto::text::utf8_sequence(s, i, &v);
    if (n == 2 || n == 3) {
      const uint32_t l = lower(v);
      if (l < 0x800) {
        out += static_cast<char>(0xC0 | (l >> 6));
        out += static_cast<char>(0x80 | (l & 0x3F));
      } else {
        out += static_cast<char>(0xE0 | (l >> 12));
        out += static_cast<char>(0x80 | ((l >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (l & 0x3F));
      }
      i += n;
      continue;
    }
    out += static_cast<char>(c);
    ++i;
  }
  return out;
}

int StoredNames::HashFlags::find(uint64_t h) const {
  const uint64_t k = h >> 1;
  const auto r = recent_.find(k);
  if (r != recent_.end()) return r->second ? 1 : 0;
  const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), k << 1);
  if (it != sorted_.end() && (*it >> 1) == k) return int(*it & 1);
  return -1;
}

void StoredNames::HashFlags::insert(uint64_t h, bool flag) {
  if (find(h) >= 0) return;
  recent_.emplace(h >> 1, flag);
  if (recent_.size() >= std::max<size_t>(4096, sorted_.size() / 16)) merge();
}

void StoredNames::HashFlags::merge() {
  std::vector<uint64_t> add;
  add.reserve(recent_.size());
  for (const auto& [k, flag] : recent_) add.push_back(k << 1 | (flag ? 1 : 0));
  std::sort(add.begin(), add.end());
  std::vector<uint64_t> all;
  all.reserve(sorted_.size() + add.size());
  std::merge(sorted_.begin(), sorted_.end(), add.begin(), add.end(), std::back_inserter(all));
  sorted_.swap(all);
  recent_ = {};
}

StoredNames::StoredNames(std::string_view format, const EntryWriter& writer)
    : format_(format), writer_(writer), folds_case_(writer.name_key_folds_case()) {}

std::string StoredNames::key_of(const Placed* parent, std::string_view last) const {
  std::string k = writer_.name_key(last);
  if (!parent || parent->name.empty()) return k;
  return parent->key + "/" + k;
}

StoredNames::Placed StoredNames::put(const Placed* parent, const std::string& last, bool is_folder,
                                     const std::string& label, Report& report) {
  const bool top = !parent || parent->name.empty();
  Placed placed{top ? last : parent->name + "/" + last, key_of(parent, last)};
  uint64_t h = name_hash(placed.key);
  const int met = keys_.find(h);
  if (met >= 0 && !(met == 1 && is_folder)) {
    // A reader would restore it over an earlier entry: a name of its own.
    for (unsigned n = 2;; ++n) {
      const std::string last_n = numbered_name(last, n);
      std::string key_n = key_of(parent, last_n);
      h = name_hash(key_n);
      if (keys_.find(h) >= 0) continue;
      placed = {top ? last_n : parent->name + "/" + last_n, std::move(key_n)};
      break;
    }
    report.note("NOTE: two sources give one name once stored in " + format_ + " archives (" +
                (folds_case_ ? "its readers ignore letter case, and it stores some characters as others"
                             : "its readers take some characters for others") +
                "); " + label + " is stored as " + placed.name);
  }
  keys_.insert(h, is_folder);  // nothing when folders merge
  if (folds_case_) return placed;
  // The format keeps letter case: names that differ only in case are kept
  // as they are, and told.
  const uint64_t f = name_hash(fold_case(placed.key));
  const int folded = folded_.find(f);
  if (folded < 0)
    folded_.insert(f, is_folder);
  else if (!(folded == 1 && is_folder))
    report.note("NOTE: " + label + " is stored as " + placed.name +
                ", a name that differs from an earlier one only in letter case; the two meet when the archive is "
                "restored on a system that ignores case (Windows, macOS)");
  return placed;
}

const StoredNames::Placed& StoredNames::folder(const std::string& orig, Report& report, const std::string* path) {
  if (have_last_ && orig == last_orig_) return last_;
  Placed placed;
  const auto r = renamed_.find(orig);
  if (r != renamed_.end()) {
    placed = r->second;
  } else {
    const size_t slash = orig.rfind('/');
    Placed parent;
    if (slash != std::string::npos) parent = folder(orig.substr(0, slash), report);
    const std::string last = slash == std::string::npos ? orig : orig.substr(slash + 1);
    const size_t notes = report.notes.size();
    placed = put(&parent, last, /*is_folder=*/true, path ? *path : "the folder " + orig, report);
    // Told once: its contents go where it went, without a line each.
    if (report.notes.size() != notes) renamed_.emplace(orig, placed);
  }
  last_orig_ = orig;
  last_ = std::move(placed);
  have_last_ = true;
  return last_;
}

std::string StoredNames::place(const Entry& e, Report& report) {
  if (e.name.empty()) return e.name;
  if (e.kind == EntryKind::Folder) return folder(e.name, report, &e.path).name;
  const size_t slash = e.name.rfind('/');
  Placed parent;
  if (slash != std::string::npos) parent = folder(e.name.substr(0, slash), report);
  return put(&parent, slash == std::string::npos ? e.name : e.name.substr(slash + 1), /*is_folder=*/false, e.path,
             report)
      .name;
}

}  // namespace zubeto::arc
