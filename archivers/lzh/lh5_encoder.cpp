#include "lh5_encoder.h"

#include <algorithm>
#include <cstring>

#include "huffman.h"

namespace lzh {
namespace {

constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 256;
constexpr uint32_t kMaxDistance = 8191;  // stays inside the 8 KiB window
constexpr size_t kWindow = 8192;
constexpr int kHashBits = 15;
constexpr uint32_t kPrevMask = 8191;
constexpr unsigned kTooFar = 4096;  // a 3-byte match further back costs more than literals

// Alphabet sizes and field widths of the block format.
constexpr int kNC = 256 + kMaxMatch - kMinMatch + 1;  // literals and lengths: 510
constexpr int kNP = 14;                               // position bit lengths 0..13
constexpr int kNT = 19;                               // code-length codes
constexpr int kCBit = 9;
constexpr int kPBit = 4;
constexpr int kTBit = 5;

// Blocks are split no finer than this many codes.
constexpr size_t kMinSplitCodes = 4096;
constexpr int kMaxSplitDepth = 3;

inline unsigned bit_length(unsigned v) { return v ? 32u - static_cast<unsigned>(__builtin_clz(v)) : 0u; }

// Bits gathered most significant first.
struct BitWriter {
  explicit BitWriter(Bits& b) : bits(b) {}
  void put(unsigned n, uint32_t value) {
    if (n == 0) return;
    acc = (acc << n) | (value & ((uint32_t{1} << n) - 1));
    count += n;
    while (count >= 8) {
      count -= 8;
      bits.bytes.push_back(static_cast<uint8_t>(acc >> count));
    }
  }
  void end() {
    bits.tail = static_cast<uint8_t>(acc & ((1u << count) - 1));
    bits.tail_bits = count;
  }
  Bits& bits;
  uint64_t acc = 0;
  unsigned count = 0;
};

}  // namespace

void BitJoin::append(const Bits& piece, std::vector<uint8_t>& out) {
  if (pending_bits_ == 0) {
    out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
  } else {
    const unsigned k = pending_bits_;
    unsigned p = pending_;
    const size_t at = out.size();
    out.resize(at + piece.bytes.size());
    uint8_t* o = out.data() + at;
    for (uint8_t b : piece.bytes) {
      *o++ = static_cast<uint8_t>((p << (8 - k)) | (b >> k));
      p = b & ((1u << k) - 1);
    }
    pending_ = static_cast<uint8_t>(p);
  }
  unsigned acc = (unsigned{pending_} << piece.tail_bits) | piece.tail;
  unsigned n = pending_bits_ + piece.tail_bits;
  if (n >= 8) {
    n -= 8;
    out.push_back(static_cast<uint8_t>(acc >> n));
    acc &= (1u << n) - 1;
  }
  pending_ = static_cast<uint8_t>(acc);
  pending_bits_ = n;
}

void BitJoin::finish(std::vector<uint8_t>& out) {
  if (pending_bits_ > 0) out.push_back(static_cast<uint8_t>(pending_ << (8 - pending_bits_)));
  pending_ = 0;
  pending_bits_ = 0;
}

struct Lh5Encoder::State {
  Lh5Options opt;
  // Hash chains hold positions as numbers that only grow from one piece to
  // the next, so that what an earlier piece left in them is always older
  // than the window and never has to be cleared.
  std::vector<uint32_t> head;
  std::vector<uint32_t> prev;
  uint32_t base = 1;  // number of buf[0] in this piece
  const uint8_t* buf = nullptr;
  size_t total = 0;

  std::vector<uint16_t> codes;
  std::vector<uint16_t> positions;

  // Cost parse: the matches found at each position of a segment, and the
  // cheapest way found so far to reach each position.
  struct Match {
    uint16_t len;
    uint16_t dist;
  };
  std::vector<Match> matches;
  std::vector<uint8_t> match_count;
  // Per position: the cost of the cheapest way there in the high 32 bits,
  // then the distance and the length of its last step (length 1: a
  // literal), so that one comparison keeps the cheaper way.
  std::vector<uint64_t> reach;
  static uint32_t cost_of(uint64_t r) { return static_cast<uint32_t>(r >> 32); }
  static unsigned len_of(uint64_t r) { return static_cast<unsigned>(r & 0xFFFF); }
  static unsigned dist_of(uint64_t r) { return static_cast<unsigned>((r >> 16) & 0xFFFF); }
  std::vector<uint32_t> path;
  // The model: bits a literal, a length and a position cost.
  uint32_t lit_cost[256];
  uint32_t len_cost[kMaxMatch + 1];
  uint32_t pos_cost[kNP];
  // Whether the model holds the codes of this piece's segment before. Each
  // piece starts afresh from its own first bytes: what a piece becomes
  // (its bits, whether it is kept as it is) depends only on its bytes and
  // its history, never on which thread took it or what that thread
  // compressed before, so an unchanged tree gives the same archive every run.
  bool have_model = false;

  explicit State(const Lh5Options& o) : opt(o), head(size_t{1} << kHashBits, 0), prev(kPrevMask + 1, 0) {
    opt.block_codes = std::clamp(opt.block_codes, 1, 65535);
    opt.max_chain = std::max(opt.max_chain, 1);
    opt.nice_length = std::clamp(opt.nice_length, 3, static_cast<int>(kMaxMatch));
    codes.reserve(static_cast<size_t>(opt.block_codes));
    positions.reserve(static_cast<size_t>(opt.block_codes));
  }

  uint32_t insert(size_t i) {
    const uint8_t* s = buf + i;
    const uint32_t key = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    const uint32_t h = (key * 2654435761u) >> (32 - kHashBits);
    const uint32_t g = base + static_cast<uint32_t>(i);
    const uint32_t old = head[h];
    prev[g & kPrevMask] = old;
    head[h] = g;
    return old;
  }

  void literal(uint8_t c, BitWriter& w) {
    codes.push_back(c);
    positions.push_back(0);
    if (codes.size() >= static_cast<size_t>(opt.block_codes)) flush(w);
  }

  void match(unsigned length, unsigned distance, BitWriter& w) {
    codes.push_back(static_cast<uint16_t>(length - kMinMatch + 256));
    positions.push_back(static_cast<uint16_t>(distance - 1));
    if (codes.size() >= static_cast<size_t>(opt.block_codes)) flush(w);
  }

  void count(size_t lo, size_t hi, uint32_t* c_freq, uint32_t* p_freq) const {
    std::fill(c_freq, c_freq + kNC, 0);
    std::fill(p_freq, p_freq + kNP, 0);
    for (size_t i = lo; i < hi; ++i) {
      const unsigned c = codes[i];
      c_freq[c]++;
      if (c >= 256) p_freq[bit_length(positions[i])]++;
    }
  }

  // About how many bits codes[lo, hi) take as one block: the codes under
  // the block's own tables, plus an estimate of the tables. The extra bits
  // of positions are left out: they are the same however blocks are cut.
  uint64_t block_cost(size_t lo, size_t hi) const {
    uint32_t c_freq[kNC], p_freq[kNP];
    uint8_t c_len[kNC], p_len[kNP];
    count(lo, hi, c_freq, p_freq);
    const int c_used = huffman_lengths(c_freq, kNC, 16, c_len, nullptr);
    const int p_used = huffman_lengths(p_freq, kNP, 16, p_len, nullptr);
    uint64_t bits = 16 + 100 + 4 * static_cast<uint64_t>(std::max(c_used, 1)) + 4 + 3 * kNP;
    if (c_used >= 2)
      for (int i = 0; i < kNC; ++i) bits += uint64_t{c_freq[i]} * c_len[i];
    if (p_used >= 2)
      for (int i = 0; i < kNP; ++i) bits += uint64_t{p_freq[i]} * p_len[i];
    return bits;
  }

  // Sends the gathered codes, as one block or, where two cost fewer bits,
  // split in halves (again and again, down to kMinSplitCodes).
  void flush(BitWriter& w) {
    if (codes.empty()) return;
    split(0, codes.size(), 0, w);
    codes.clear();
    positions.clear();
  }

  void split(size_t lo, size_t hi, int depth, BitWriter& w) {
    if (opt.split_blocks && depth < kMaxSplitDepth && hi - lo >= 2 * kMinSplitCodes) {
      const size_t mid = lo + (hi - lo) / 2;
      if (block_cost(lo, mid) + block_cost(mid, hi) < block_cost(lo, hi)) {
        split(lo, mid, depth + 1, w);
        split(mid, hi, depth + 1, w);
        return;
      }
    }
    send_block(lo, hi, w);
  }

  void send_block(size_t lo, size_t hi, BitWriter& w);
  bool run(const uint8_t* data, size_t size, size_t history, size_t give_up, Bits& out);
  void lazy_parse(size_t from, BitWriter& w);
  bool cost_parse(size_t from, size_t give_up, BitWriter& w);
  int find_matches(size_t index, uint32_t candidate, unsigned max_len, unsigned beat, int chain, Match* out);
  void first_model(size_t a, size_t b);
  void model_from_path(size_t a, size_t n);
  void shortest_path(size_t a, size_t n);
};

constexpr size_t kSegment = 32768;
// What a piece's first model is made from: a first path through this much
// of it. The whole first segment made a 0.05 % smaller archive for 5 % more
// time; a guess from byte counts alone a 0.4 % larger one.
constexpr size_t kFirstModelBytes = 4096;
constexpr unsigned kInsideLength = 16;
constexpr int kMaxMatches = 6;

// Every match longer than `beat` and than all nearer ones, nearest first,
// at most kMaxMatches (the longest kept), trying at most `chain`
// candidates. Returns how many.
int Lh5Encoder::State::find_matches(size_t index, uint32_t candidate, unsigned max_len, unsigned beat, int chain,
                                    Match* out) {
  const uint32_t g = base + static_cast<uint32_t>(index);
  unsigned best = beat;
  int n = 0;
  if (best >= max_len) return n;
  const uint32_t lowest = std::max(g > kMaxDistance ? g - kMaxDistance : 0u, base);
  const uint8_t* s = buf + index;
  const unsigned nice = static_cast<unsigned>(opt.nice_length);
  while (candidate >= lowest && candidate < g) {
    const uint8_t* m = buf + (candidate - base);
    if (m[best] == s[best] && m[0] == s[0] && m[1] == s[1]) {
      unsigned len = 2;
      for (;;) {
        if (len + 8 > max_len) {
          while (len < max_len && m[len] == s[len]) ++len;
          break;
        }
        uint64_t a, b;
        std::memcpy(&a, m + len, 8);
        std::memcpy(&b, s + len, 8);
        if (a != b) {
          len += static_cast<unsigned>(__builtin_ctzll(a ^ b) >> 3);
          break;
        }
        len += 8;
      }
      if (len > best) {
        best = len;
        const Match found{static_cast<uint16_t>(len), static_cast<uint16_t>(g - candidate)};
        if (n < kMaxMatches) out[n++] = found;
        else out[n - 1] = found;
        if (len >= nice || len >= max_len) break;
        // A good match found: what is left of the chain rarely pays.
        if (len >= static_cast<unsigned>(opt.good_length)) chain = std::min(chain, (opt.max_chain >> 2) + 1);
      }
    }
    if (--chain == 0) break;
    const uint32_t next = prev[candidate & kPrevMask];
    if (next >= candidate) break;
    candidate = next;
  }
  return n;
}

// Before any code of a piece is known: literals by how often each byte
// occurs in the segment, lengths and positions by a plain guess.
void Lh5Encoder::State::first_model(size_t a, size_t b) {
  uint32_t count[256] = {0};
  for (size_t i = a; i < b; ++i) count[buf[i]]++;
  const double n = static_cast<double>(b - a);
  for (int c = 0; c < 256; ++c) {
    if (count[c] == 0) {
      lit_cost[c] = 12;
    } else {
      unsigned bits = 1;
      while (bits < 12 && static_cast<double>(count[c]) * static_cast<double>(1u << bits) < n) ++bits;
      lit_cost[c] = bits;
    }
  }
  for (unsigned l = kMinMatch; l <= kMaxMatch; ++l) len_cost[l] = 4 + bit_length(l - kMinMatch);
  for (int b2 = 0; b2 < kNP; ++b2) pos_cost[b2] = 3 + (b2 > 1 ? b2 - 1 : 0);
}

// The model from the codes of the path found for the segment at `a`.
void Lh5Encoder::State::model_from_path(size_t a, size_t n) {
  uint32_t c_freq[kNC] = {0}, p_freq[kNP] = {0};
  for (size_t i = n; i > 0;) {
    const unsigned l = len_of(reach[i]);
    if (l == 1) {
      c_freq[buf[a + i - 1]]++;
    } else {
      c_freq[l - kMinMatch + 256]++;
      p_freq[bit_length(dist_of(reach[i]) - 1u)]++;
    }
    i -= l;
  }
  uint8_t c_len[kNC], p_len[kNP];
  const int c_used = huffman_lengths(c_freq, kNC, 16, c_len, nullptr);
  const int p_used = huffman_lengths(p_freq, kNP, 16, p_len, nullptr);
  unsigned c_max = 1, p_max = 1;
  for (int i = 0; i < kNC; ++i) c_max = std::max<unsigned>(c_max, c_len[i]);
  for (int i = 0; i < kNP; ++i) p_max = std::max<unsigned>(p_max, p_len[i]);
  // A symbol not used yet costs a little more than the rarest one.
  for (int c = 0; c < 256; ++c) lit_cost[c] = c_used >= 2 && c_len[c] ? c_len[c] : c_max + 2;
  for (unsigned l = kMinMatch; l <= kMaxMatch; ++l) {
    const unsigned k = l - kMinMatch + 256;
    len_cost[l] = c_used >= 2 && c_len[k] ? c_len[k] : c_max + 2;
  }
  for (int b2 = 0; b2 < kNP; ++b2)
    pos_cost[b2] = (p_used >= 2 && p_len[b2] ? p_len[b2] : (p_used >= 2 ? p_max + 2 : 1)) + (b2 > 1 ? b2 - 1 : 0);
}

// The cheapest sequence of literals and matches for buf[a, a + n) under
// the model: reach[] at each position says how it was reached.
void Lh5Encoder::State::shortest_path(size_t a, size_t n) {
  reach[0] = 0;
  std::fill(reach.begin() + 1, reach.begin() + static_cast<std::ptrdiff_t>(n) + 1, ~uint64_t{0});
  for (size_t i = 0; i < n; ++i) {
    const uint64_t c = reach[i] & ~uint64_t{0xFFFFFFFF};
    uint64_t* r = &reach[i];
    r[1] = std::min(r[1], c + (uint64_t{lit_cost[buf[a + i]]} << 32) + 1);
    const Match* m = &matches[i * kMaxMatches];
    unsigned shorter = kMinMatch - 1;
    for (int k = 0; k < match_count[i]; ++k) {
      const uint64_t pc = c + (uint64_t{pos_cost[bit_length(m[k].dist - 1u)]} << 32) + (uint64_t{m[k].dist} << 16);
      for (unsigned l = shorter + 1; l <= m[k].len; ++l) r[l] = std::min(r[l], pc + (uint64_t{len_cost[l]} << 32) + l);
      shorter = m[k].len;
    }
  }
}

// False when the first `give_up` bytes (0: never) would not shrink: the
// caller keeps the data as it is, and nothing was coded.
bool Lh5Encoder::State::cost_parse(size_t from, size_t give_up, BitWriter& w) {
  uint64_t estimate = 0;  // bits of the paths chosen so far, tables left out
  matches.resize(kSegment * kMaxMatches);
  match_count.resize(kSegment);
  reach.resize(kSegment + 1);
  size_t skip_to = from;  // inside a match of nice length: no search
  size_t inside_to = from;  // inside a long match: a shorter search
  for (size_t a = from; a < total;) {
    const size_t b = std::min(a + kSegment, total);
    const size_t n = b - a;
    for (size_t i = a; i < b; ++i) {
      uint32_t candidate = 0;
      if (i + 2 < total) candidate = insert(i);
      int found = 0;
      if (candidate != 0 && i >= skip_to) {
        Match* m = &matches[(i - a) * kMaxMatches];
        // Inside a long match, half the chain: the match carries on there.
        const int chain = i < inside_to ? (opt.max_chain + 1) / 2 : opt.max_chain;
        found = find_matches(i, candidate, static_cast<unsigned>(std::min<size_t>(kMaxMatch, b - i)), 2, chain, m);
        if (found > 0) {
          const unsigned longest = m[found - 1].len;
          if (longest >= static_cast<unsigned>(opt.skip_length)) skip_to = i + longest - 1;
          if (longest >= kInsideLength) inside_to = std::max(inside_to, i + longest - 1);
        }
      }
      match_count[i - a] = static_cast<uint8_t>(found);
    }
    // A piece's first segment is parsed under the codes that a first path
    // through its first 4 KiB (under a guess from their byte counts) would
    // get. Every later segment starts from the model of the segment before.
    if (!have_model) {
      const size_t m = std::min(n, kFirstModelBytes);
      first_model(a, a + m);
      shortest_path(a, m);
      model_from_path(a, m);
    }
    shortest_path(a, n);
    model_from_path(a, n);
    have_model = true;
    estimate += cost_of(reach[n]);
    if (give_up > 0 && b - from >= give_up && b < total && estimate >= uint64_t{8} * (b - from)) {
      codes.clear();
      positions.clear();
      return false;
    }
    path.clear();
    for (size_t i = n; i > 0; i -= len_of(reach[i])) path.push_back(static_cast<uint32_t>(i));
    for (size_t k = path.size(); k-- > 0;) {
      const size_t end = path[k];
      const unsigned l = len_of(reach[end]);
      if (l == 1) literal(buf[a + end - 1], w);
      else match(l, dist_of(reach[end]), w);
    }
    a = b;
  }
  return true;
}

void Lh5Encoder::State::send_block(size_t lo, size_t hi, BitWriter& w) {
  uint32_t c_freq[kNC], p_freq[kNP];
  count(lo, hi, c_freq, p_freq);
  uint8_t c_len[kNC];
  uint16_t c_code[kNC];
  uint8_t t_len[kNT];
  uint16_t t_code[kNT];
  uint8_t p_len[kNP];
  uint16_t p_code[kNP];

  // Writes a table of code lengths for the position or code-length codes:
  // lengths up to 6 in three bits, longer ones as a run of ones ended by a
  // zero; after index `special` two bits tell how many zeros follow.
  auto write_pt_len = [&](const uint8_t* len, int n, int nbit, int special) {
    while (n > 0 && len[n - 1] == 0) --n;
    w.put(nbit, n);
    int i = 0;
    while (i < n) {
      unsigned k = len[i++];
      if (k <= 6)
        w.put(3, k);
      else
        w.put(k - 3, (uint32_t{1} << (k - 3)) - 2);
      if (i == special) {
        while (i < 6 && len[i] == 0) ++i;
        w.put(2, (i - 3) & 3);
      }
    }
  };

  w.put(16, static_cast<uint32_t>(hi - lo));
  // A block whose codes are all one symbol could use the one-symbol form
  // of the code table, but not every decoder accepts that form for the
  // literal and length table: give it a second, unused symbol so that it is
  // an ordinary table (one bit a code). The position table keeps the form.
  {
    int used = 0, first = -1;
    for (int i = 0; i < kNC; ++i)
      if (c_freq[i]) ++used, first = first < 0 ? i : first;
    if (used == 1) c_freq[first == 0 ? 1 : 0] = 1;
  }
  int c_only = 0;
  const int c_used = huffman_lengths(c_freq, kNC, 16, c_len, &c_only);
  if (c_used >= 2) {
    huffman_codes(c_len, kNC, c_code);
    int n = kNC;
    while (n > 0 && c_len[n - 1] == 0) --n;
    // Runs of zero lengths become code-length codes 0 to 2; a length k is code k + 2.
    uint32_t t_freq[kNT] = {0};
    for (int i = 0; i < n;) {
      unsigned k = c_len[i++];
      if (k == 0) {
        int zeros = 1;
        while (i < n && c_len[i] == 0) ++i, ++zeros;
        if (zeros <= 2)
          t_freq[0] += zeros;
        else if (zeros <= 18)
          t_freq[1]++;
        else if (zeros == 19)
          t_freq[0]++, t_freq[1]++;
        else
          t_freq[2]++;
      } else {
        t_freq[k + 2]++;
      }
    }
    int t_only = 0;
    const int t_used = huffman_lengths(t_freq, kNT, 16, t_len, &t_only);
    if (t_used >= 2) {
      huffman_codes(t_len, kNT, t_code);
      write_pt_len(t_len, kNT, kTBit, 3);
    } else {
      std::fill(t_len, t_len + kNT, 0);
      std::fill(t_code, t_code + kNT, 0);
      w.put(kTBit, 0);
      w.put(kTBit, t_only);
    }
    w.put(kCBit, n);
    for (int i = 0; i < n;) {
      unsigned k = c_len[i++];
      if (k == 0) {
        int zeros = 1;
        while (i < n && c_len[i] == 0) ++i, ++zeros;
        if (zeros <= 2) {
          for (int j = 0; j < zeros; ++j) w.put(t_len[0], t_code[0]);
        } else if (zeros <= 18) {
          w.put(t_len[1], t_code[1]);
          w.put(4, zeros - 3);
        } else if (zeros == 19) {
          w.put(t_len[0], t_code[0]);
          w.put(t_len[1], t_code[1]);
          w.put(4, 15);
        } else {
          w.put(t_len[2], t_code[2]);
          w.put(kCBit, zeros - 20);
        }
      } else {
        w.put(t_len[k + 2], t_code[k + 2]);
      }
    }
  } else {
    std::fill(c_len, c_len + kNC, 0);
    std::fill(c_code, c_code + kNC, 0);
    w.put(kTBit, 0);
    w.put(kTBit, 0);
    w.put(kCBit, 0);
    w.put(kCBit, c_only);
  }

  int p_only = 0;
  const int p_used = huffman_lengths(p_freq, kNP, 16, p_len, &p_only);
  if (p_used >= 2) {
    huffman_codes(p_len, kNP, p_code);
    write_pt_len(p_len, kNP, kPBit, -1);
  } else {
    std::fill(p_len, p_len + kNP, 0);
    std::fill(p_code, p_code + kNP, 0);
    w.put(kPBit, 0);
    w.put(kPBit, p_only);
  }

  for (size_t i = lo; i < hi; ++i) {
    const unsigned c = codes[i];
    w.put(c_len[c], c_code[c]);
    if (c >= 256) {
      const unsigned p = positions[i];
      const unsigned nb = bit_length(p);
      w.put(p_len[nb], p_code[nb]);
      if (nb > 1) w.put(nb - 1, p & ((1u << (nb - 1)) - 1));
    }
  }
}

bool Lh5Encoder::State::run(const uint8_t* data, size_t size, size_t history, size_t give_up, Bits& out) {
  out.clear();
  BitWriter w(out);
  const size_t hist = std::min(history, kWindow);
  buf = data - hist;
  total = hist + size;
  // Numbers of this piece start past every number given before.
  if (base > 0x7FFFFFFFu - total) {
    std::fill(head.begin(), head.end(), 0);
    std::fill(prev.begin(), prev.end(), 0);
    base = 1;
  }
  for (size_t i = 0; i < hist; ++i)
    if (i + 2 < total) insert(i);
  have_model = false;

  bool coded = true;
  if (opt.cost_parse) coded = cost_parse(hist, give_up, w);
  else lazy_parse(hist, w);
  base += static_cast<uint32_t>(total) + 1;
  if (!coded) {
    out.clear();
    return false;
  }
  flush(w);
  w.end();
  return true;
}

void Lh5Encoder::State::lazy_parse(size_t from, BitWriter& w) {
  size_t pos = from;
  unsigned match_length = 2, match_distance = 0;
  bool match_available = false;
  while (pos < total) {
    uint32_t candidate = 0;
    if (pos + 2 < total) candidate = insert(pos);
    const unsigned prev_length = match_length;
    const unsigned prev_distance = match_distance;
    match_length = 2;
    if (candidate != 0 && prev_length < static_cast<unsigned>(opt.nice_length)) {
      // Only a match longer than the pending one counts.
      int chain = opt.max_chain;
      if (prev_length >= static_cast<unsigned>(opt.good_length)) chain = std::max(chain >> 2, 1);
      Match found[kMaxMatches];
      const int n = find_matches(pos, candidate, static_cast<unsigned>(std::min<size_t>(kMaxMatch, total - pos)),
                                 std::max(prev_length, 2u), chain, found);
      if (n > 0) {
        match_length = found[n - 1].len;
        match_distance = found[n - 1].dist;
      }
      if (match_length == kMinMatch && match_distance > kTooFar) match_length = 2;
    }
    if (prev_length >= kMinMatch && match_length <= prev_length) {
      match(prev_length, prev_distance, w);
      const size_t stop = pos - 1 + prev_length;
      for (size_t i = pos + 1; i < stop; ++i)
        if (i + 2 < total) insert(i);
      pos = stop;
      match_available = false;
      match_length = 2;
    } else if (match_available) {
      literal(buf[pos - 1], w);
      ++pos;
    } else {
      match_available = true;
      ++pos;
    }
  }
  if (match_available) literal(buf[pos - 1], w);
}

Lh5Encoder::Lh5Encoder(const Lh5Options& options) : s_(std::make_unique<State>(options)) {}
Lh5Encoder::~Lh5Encoder() = default;

bool Lh5Encoder::compress(const uint8_t* data, size_t size, size_t history, Bits& out, size_t give_up) {
  return s_->run(data, size, history, give_up, out);
}

}  // namespace lzh
