// TAR: every header's checksum and size, pax records well formed, every
// entry's data present, and the two zero blocks that end the archive.
#include "internal.h"

namespace arcverify::detail {
namespace {

constexpr size_t kBlock = 512;

bool all_zero(const uint8_t* b) {
  for (size_t i = 0; i < kBlock; ++i)
    if (b[i]) return false;
  return true;
}

// An octal field (spaces and NULs around the digits), or base-256 when its
// first byte has the high bit set.
bool number(const uint8_t* f, size_t width, uint64_t& v) {
  v = 0;
  if (f[0] & 0x80) {
    if (f[0] != 0x80) return false;  // negative or too wide
    for (size_t i = 1; i < width; ++i) {
      if (v >> 56) return false;
      v = (v << 8) | f[i];
    }
    return true;
  }
  size_t i = 0;
  while (i < width && f[i] == ' ') ++i;
  bool any = false;
  for (; i < width && f[i] >= '0' && f[i] <= '7'; ++i) {
    if (v >> 60) return false;
    v = (v << 3) | static_cast<uint64_t>(f[i] - '0');
    any = true;
  }
  for (; i < width; ++i)
    if (f[i] != ' ' && f[i] != '\0') return false;
  return any;
}

bool checksum_ok(const uint8_t* h) {
  uint64_t want = 0;
  if (!number(h + 148, 8, want)) return false;
  unsigned long sum = 0;
  long ssum = 0;
  for (size_t i = 0; i < kBlock; ++i) {
    const uint8_t c = (i >= 148 && i < 156) ? ' ' : h[i];
    sum += c;
    ssum += static_cast<signed char>(c);
  }
  return want == sum || static_cast<long>(want) == ssum;
}

// pax records: "<length> <key>=<value>\n", each length counting itself.
bool pax_records(const std::string& text, std::string& size_value, std::string& path) {
  size_t p = 0;
  while (p < text.size()) {
    size_t sp = text.find(' ', p);
    if (sp == std::string::npos || sp == p) return false;
    uint64_t len = 0;
    for (size_t i = p; i < sp; ++i) {
      if (text[i] < '0' || text[i] > '9' || len > (1u << 30)) return false;
      len = len * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (len < sp - p + 3 || p + len > text.size() || text[p + len - 1] != '\n') return false;
    const std::string rec = text.substr(sp + 1, p + len - 1 - (sp + 1));
    const size_t eq = rec.find('=');
    if (eq == std::string::npos) return false;
    if (rec.compare(0, eq, "size") == 0) size_value = rec.substr(eq + 1);
    if (rec.compare(0, eq, "path") == 0) path = rec.substr(eq + 1);
    p += len;
  }
  return true;
}

}  // namespace

bool check_tar(Reader& in, Report& r) {
  const uint64_t size = in.size();
  uint64_t p = 0;
  uint8_t h[kBlock];
  std::string pax_size, pax_path, long_name;
  for (;;) {
    if (p + kBlock > size) return fail(r, "the two zero blocks that end the archive are missing: it is cut off");
    if (!in.read(p, h, kBlock)) return fail(r, "cannot be read");
    if (all_zero(h)) {
      uint8_t h2[kBlock];
      if (p + 2 * kBlock > size || !in.read(p + kBlock, h2, kBlock) || !all_zero(h2))
        return fail(r, "the archive ends with one zero block, not two: it is cut off");
      if (size % kBlock != 0) return fail(r, "the archive does not end on a whole block");
      return true;
    }
    std::string name = pax_path.empty() ? (long_name.empty() ? std::string(reinterpret_cast<const char*>(h),
                                                                              strnlen(reinterpret_cast<const char*>(h), 100))
                                                             : long_name)
                                        : pax_path;
    const std::string who = "entry " + std::to_string(r.entries + 1) + " (" + shown(name) + ")";
    if (!checksum_ok(h)) return fail(r, who + ": header checksum mismatch");
    uint64_t data = 0;
    if (!number(h + 124, 12, data)) return fail(r, who + ": its size field is damaged");
    const char type = static_cast<char>(h[156]);
    const bool meta = type == 'x' || type == 'g' || type == 'L' || type == 'K';
    if (!meta && !pax_size.empty()) {
      uint64_t v = 0;
      for (char c : pax_size) {
        if (c < '0' || c > '9' || v > (uint64_t{1} << 59)) return fail(r, who + ": its pax size is damaged");
        v = v * 10 + static_cast<uint64_t>(c - '0');
      }
      data = v;
    }
    // Links, folders and devices hold no data whatever their size says.
    if (!meta && (type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6')) data = 0;
    const uint64_t padded = (data + kBlock - 1) / kBlock * kBlock;
    if (padded > size - p - kBlock) return fail(r, who + ": data cut off");
    if (meta) {
      if (data > (64u << 20)) return fail(r, who + ": an extended header too large to be one");
      std::string text(static_cast<size_t>(data), '\0');
      if (data && !in.read(p + kBlock, text.data(), text.size())) return fail(r, who + ": cannot be read");
      if (type == 'x' && !pax_records(text, pax_size, pax_path)) return fail(r, who + ": its pax records are damaged");
      if (type == 'L') long_name = text.substr(0, text.find('\0'));
    } else {
      note_data(r, p + kBlock, data);
      ++r.entries;
      pax_size.clear();
      pax_path.clear();
      long_name.clear();
    }
    p += kBlock + padded;
  }
}

}  // namespace arcverify::detail
