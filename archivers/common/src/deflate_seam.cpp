// Joining whole-buffer deflate streams: finds the final block of a
// complete stream by walking its blocks, symbol by symbol.
#include <cstring>

#include "arc/deflate.h"

namespace zubeto::arc {

namespace {

// Bits of the stream, least significant first, as deflate packs them.
class Bits {
 public:
  Bits(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  size_t pos() const { return pos_; }
  bool past_end() const { return pos_ > 8 * n_; }
  // The next `k` bits (k <= 32) without consuming them; zeros past the end.
  uint32_t peek(unsigned k) const {
    uint64_t v = 0;
    size_t byte = pos_ >> 3;
    if (byte + 8 <= n_) {
      std::memcpy(&v, p_ + byte, 8);  // little-endian host
    } else {
      for (unsigned i = 0; i < 5 && byte + i < n_; ++i) v |= static_cast<uint64_t>(p_[byte + i]) << (8 * i);
    }
    v >>= (pos_ & 7);
    return static_cast<uint32_t>(v & ((uint64_t{1} << k) - 1));
  }
  uint32_t get(unsigned k) {
    uint32_t v = peek(k);
    pos_ += k;
    return v;
  }
  void skip(size_t k) { pos_ += k; }
  void align() { pos_ = (pos_ + 7) & ~size_t{7}; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

// A canonical Huffman code as one lookup table on the next `bits` bits.
struct Code {
  unsigned bits = 0;
  std::vector<uint32_t> table;  // symbol << 4 | length; 0 = no code

  bool build(const uint8_t* lengths, unsigned count) {
    unsigned max = 0;
    unsigned per_len[16] = {};
    for (unsigned s = 0; s < count; ++s) {
      if (lengths[s] > 15) return false;
      per_len[lengths[s]]++;
      if (lengths[s] > max) max = lengths[s];
    }
    if (max == 0) max = 1;  // no symbol at all: nothing will decode
    bits = max;
    table.assign(size_t{1} << max, 0);
    unsigned next[16] = {};
    unsigned code = 0;
    per_len[0] = 0;
    for (unsigned len = 1; len <= 15; ++len) {
      code = (code + per_len[len - 1]) << 1;
      next[len] = code;
    }
    for (unsigned s = 0; s < count; ++s) {
      unsigned len = lengths[s];
      if (!len) continue;
      unsigned c = next[len]++;
      if (c >= (1u << len)) return false;  // over-subscribed
      unsigned rev = 0;
      for (unsigned i = 0; i < len; ++i) rev |= ((c >> i) & 1) << (len - 1 - i);
      for (size_t fill = rev; fill < table.size(); fill += size_t{1} << len) table[fill] = (s << 4) | len;
    }
    return true;
  }

  // The next symbol, or -1.
  int decode(Bits& in) const {
    uint32_t e = table[in.peek(bits)];
    if (e == 0) return -1;
    in.skip(e & 15);
    return static_cast<int>(e >> 4);
  }
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Walks one compressed block's symbols up to its end-of-block code.
bool skip_symbols(Bits& in, const Code& lit, const Code& dist) {
  for (;;) {
    int sym = lit.decode(in);
    if (sym < 0 || in.past_end()) return false;
    if (sym < 256) continue;
    if (sym == 256) return true;
    sym -= 257;
    if (sym >= 29) return false;
    in.skip(kLengthExtra[sym]);
    int d = dist.decode(in);
    if (d < 0 || d >= 30) return false;
    in.skip(kDistExtra[d]);
  }
}

// Whether a code of these lengths is complete: every bit string leads to
// a symbol (the Kraft sum is one).
bool complete(const uint8_t* lengths, unsigned count) {
  uint32_t sum = 0;
  for (unsigned s = 0; s < count; ++s)
    if (lengths[s]) sum += 1u << (15 - lengths[s]);
  return sum == (1u << 15);
}

// Reads one block from `in`: its final mark, and whether each of its codes
// is complete. The symbols of a final block are walked only when `body`.
// False when it is no well-formed block.
bool read_block(Bits& in, bool& final_block, bool& codes_complete, bool body) {
  final_block = in.get(1) != 0;
  codes_complete = true;
  const uint32_t type = in.get(2);
  if (type == 0) {
    in.align();
    uint32_t len = in.get(16);
    uint32_t nlen = in.get(16);
    if ((len ^ 0xFFFF) != nlen) return false;
    in.skip(size_t{8} * len);
  } else if (type == 1) {
    if (final_block && !body) return true;
    uint8_t lengths[288 + 32];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    std::memset(lengths + 288, 5, 32);
    Code lit, dist;
    if (!lit.build(lengths, 288) || !dist.build(lengths + 288, 32) || !skip_symbols(in, lit, dist)) return false;
  } else if (type == 2) {
    const unsigned hlit = in.get(5) + 257, hdist = in.get(5) + 1, hclen = in.get(4) + 4;
    uint8_t cl[19] = {};
    for (unsigned i = 0; i < hclen; ++i) cl[kOrder[i]] = static_cast<uint8_t>(in.get(3));
    Code clc;
    if (!clc.build(cl, 19)) return false;
    uint8_t lengths[288 + 32] = {};
    unsigned n = 0;
    while (n < hlit + hdist) {
      int sym = clc.decode(in);
      if (sym < 0 || in.past_end()) return false;
      unsigned repeat = 0;
      uint8_t value = 0;
      if (sym < 16) {
        lengths[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      if (sym == 16) {
        if (n == 0) return false;
        value = lengths[n - 1];
        repeat = 3 + in.get(2);
      } else if (sym == 17) {
        repeat = 3 + in.get(3);
      } else {
        repeat = 11 + in.get(7);
      }
      if (n + repeat > hlit + hdist) return false;
      while (repeat--) lengths[n++] = value;
    }
    uint8_t dist_lengths[32] = {};
    std::memcpy(dist_lengths, lengths + hlit, hdist);
    codes_complete = complete(cl, 19) && complete(lengths, hlit) && complete(dist_lengths, 32);
    if (final_block && !body) return true;
    Code lit, dist;
    if (!lit.build(lengths, hlit) || !dist.build(dist_lengths, 32) || !skip_symbols(in, lit, dist)) return false;
  } else {
    return false;
  }
  return !in.past_end();
}

}  // namespace

bool codes_complete(const void* data, size_t size) {
  Bits in(static_cast<const uint8_t*>(data), size);
  for (;;) {
    bool final_block = false, codes = false;
    if (!read_block(in, final_block, codes, /*body=*/false) || !codes) return false;
    if (final_block) return true;
  }
}

size_t continue_stream(char* data, size_t size, size_t cap) {
  const auto* p = reinterpret_cast<const uint8_t*>(data);
  Bits in(p, size);
  size_t final_at = 0;
  for (;;) {
    const size_t start = in.pos();
    bool final_block = false, codes = false;
    if (!read_block(in, final_block, codes, /*body=*/true)) return 0;
    if (final_block) {
      final_at = start;
      break;
    }
  }
  // The stream must end in the byte that holds its last bit.
  const size_t end = in.pos();
  if ((end + 7) / 8 != size) return 0;
  // ... and pad that byte with zero bits.
  if (end % 8 && (static_cast<uint8_t>(data[size - 1]) >> (end % 8)) != 0) return 0;
  data[final_at / 8] = static_cast<char>(data[final_at / 8] & ~(1 << (final_at % 8)));
  // An empty stored block: three zero bits, zeros to the byte boundary,
  // then LEN 0 and NLEN 0xFFFF. Its three bits fit in the zero padding of
  // the last byte when at least three bits are left there.
  const size_t room = (8 - end % 8) % 8;
  if (size + (room < 3 ? 5 : 4) > cap) return 0;
  if (room < 3) data[size++] = 0;
  const char marker[4] = {0, 0, static_cast<char>(0xFF), static_cast<char>(0xFF)};
  std::memcpy(data + size, marker, 4);
  return size + 4;
}

bool continue_stream(std::vector<char>& data) {
  const size_t size = data.size();
  data.resize(size + 5);
  const size_t n = continue_stream(data.data(), size, data.size());
  data.resize(n ? n : size);
  return n != 0;
}

}  // namespace zubeto::arc
