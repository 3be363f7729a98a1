#include "lh5_encoder.h"

#include <algorithm>
#include <cstring>

#include "huffman.h"

namespace lzh {
namespace {

constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 256;
constexpr int64_t kMaxDistance = 8191;  // stays inside the 8 KiB window
constexpr size_t kWindowKeep = 8192 + 2;
constexpr size_t kBufferSize = 1 << 17;
constexpr size_t kBufferPad = 16;
constexpr int kHashBits = 15;
constexpr size_t kPrevMask = 8191;
constexpr unsigned kTooFar = 4096;  // a 3-byte match further back costs more than literals
constexpr unsigned kGoodLength = 32;

// Alphabet sizes and field widths of the block format.
constexpr int kNC = 256 + kMaxMatch - kMinMatch + 1;  // literals and lengths: 510
constexpr int kNP = 14;                               // position bit lengths 0..13
constexpr int kNT = 19;                               // code-length codes
constexpr int kCBit = 9;
constexpr int kPBit = 4;
constexpr int kTBit = 5;

unsigned bit_length(unsigned v) {
  unsigned n = 0;
  while (v) {
    v >>= 1;
    ++n;
  }
  return n;
}

}  // namespace

Lh5Encoder::Lh5Encoder(const Lh5Options& options)
    : opt_(options),
      buf_(kBufferSize + kBufferPad, 0),
      head_(size_t{1} << kHashBits, -1),
      prev_(kPrevMask + 1, -1),
      c_freq_(kNC, 0),
      p_freq_(kNP, 0) {
  opt_.block_codes = std::clamp(opt_.block_codes, 1, 65535);
  opt_.max_chain = std::max(opt_.max_chain, 1);
  codes_.reserve(opt_.block_codes);
  positions_.reserve(opt_.block_codes);
}

Lh5Encoder::~Lh5Encoder() = default;

void Lh5Encoder::write(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (end_ == kBufferSize) slide();
    size_t k = std::min(size, kBufferSize - end_);
    std::memcpy(&buf_[end_], data, k);
    end_ += k;
    data += k;
    size -= k;
    process(false);
  }
}

void Lh5Encoder::finish() {
  process(true);
  if (!codes_.empty()) send_block();
  flush_bits();
}

void Lh5Encoder::slide() {
  size_t keep = pos_ > kWindowKeep ? pos_ - kWindowKeep : 0;
  if (keep == 0) return;
  std::memmove(&buf_[0], &buf_[keep], end_ - keep);
  base_ += static_cast<int64_t>(keep);
  pos_ -= keep;
  end_ -= keep;
}

int64_t Lh5Encoder::insert(size_t index) {
  const uint8_t* s = &buf_[index];
  uint32_t key = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
  uint32_t h = (key * 2654435761u) >> (32 - kHashBits);
  int64_t g = base_ + static_cast<int64_t>(index);
  int64_t old = head_[h];
  prev_[static_cast<size_t>(g) & kPrevMask] = old;
  head_[h] = g;
  return old;
}

unsigned Lh5Encoder::longest_match(size_t index, int64_t candidate, unsigned prev_length, unsigned* distance) {
  const int64_t g = base_ + static_cast<int64_t>(index);
  const unsigned max_len = static_cast<unsigned>(std::min<size_t>(kMaxMatch, end_ - index));
  unsigned best = prev_length;
  if (best >= max_len) return best;
  int chain = opt_.max_chain;
  if (prev_length >= kGoodLength) chain = std::max(chain >> 2, 1);
  const int64_t lowest = std::max<int64_t>(g - kMaxDistance, 0);
  const uint8_t* s = &buf_[index];
  const unsigned nice = static_cast<unsigned>(std::max(opt_.nice_length, 3));
  while (candidate >= lowest) {
    const uint8_t* m = &buf_[static_cast<size_t>(candidate - base_)];
    if (m[best] == s[best] && m[0] == s[0] && m[1] == s[1]) {
      unsigned len = 2;
      while (len + 8 <= max_len) {
        uint64_t a, b;
        std::memcpy(&a, m + len, 8);
        std::memcpy(&b, s + len, 8);
        if (a != b) {
          len += static_cast<unsigned>(__builtin_ctzll(a ^ b) >> 3);
          goto done;
        }
        len += 8;
      }
      while (len < max_len && m[len] == s[len]) ++len;
    done:
      if (len > max_len) len = max_len;
      if (len > best) {
        best = len;
        *distance = static_cast<unsigned>(g - candidate);
        if (len >= nice || len >= max_len) break;
      }
    }
    if (--chain == 0) break;
    int64_t next = prev_[static_cast<size_t>(candidate) & kPrevMask];
    if (next >= candidate) break;
    candidate = next;
  }
  return best;
}

void Lh5Encoder::process(bool final) {
  const size_t limit = final ? end_ : (end_ > kMaxMatch ? end_ - kMaxMatch : 0);
  while (pos_ < limit) {
    int64_t candidate = -1;
    if (pos_ + 2 < end_) candidate = insert(pos_);
    const unsigned prev_length = match_length_;
    const unsigned prev_distance = match_distance_;
    match_length_ = 2;
    if (candidate >= 0 && prev_length < static_cast<unsigned>(opt_.lazy_length)) {
      match_length_ = longest_match(pos_, candidate, std::max(prev_length, 2u), &match_distance_);
      if (match_length_ <= prev_length) match_length_ = 2;  // nothing better than the pending match
      if (match_length_ == kMinMatch && match_distance_ > kTooFar) match_length_ = 2;
    }
    if (prev_length >= kMinMatch && match_length_ <= prev_length) {
      put_match(prev_length, prev_distance);
      const size_t stop = pos_ - 1 + prev_length;
      for (size_t i = pos_ + 1; i < stop; ++i)
        if (i + 2 < end_) insert(i);
      pos_ = stop;
      match_available_ = false;
      match_length_ = 2;
    } else if (match_available_) {
      put_literal(buf_[pos_ - 1]);
      ++pos_;
    } else {
      match_available_ = true;
      ++pos_;
    }
  }
  if (final && match_available_) {
    put_literal(buf_[pos_ - 1]);
    match_available_ = false;
  }
}

void Lh5Encoder::put_literal(uint8_t c) {
  codes_.push_back(c);
  positions_.push_back(0);
  c_freq_[c]++;
  if (codes_.size() >= static_cast<size_t>(opt_.block_codes)) send_block();
}

void Lh5Encoder::put_match(unsigned length, unsigned distance) {
  const unsigned c = length - kMinMatch + 256;
  const unsigned p = distance - 1;
  codes_.push_back(static_cast<uint16_t>(c));
  positions_.push_back(static_cast<uint16_t>(p));
  c_freq_[c]++;
  p_freq_[bit_length(p)]++;
  if (codes_.size() >= static_cast<size_t>(opt_.block_codes)) send_block();
}

void Lh5Encoder::put_bits(unsigned n, uint32_t value) {
  if (n == 0) return;
  bit_buffer_ = (bit_buffer_ << n) | (value & ((uint32_t{1} << n) - 1));
  bit_count_ += n;
  while (bit_count_ >= 8) {
    bit_count_ -= 8;
    out_.push_back(static_cast<uint8_t>(bit_buffer_ >> bit_count_));
  }
}

void Lh5Encoder::flush_bits() {
  if (bit_count_ > 0) put_bits(8 - bit_count_, 0);
  bit_buffer_ = 0;
}

void Lh5Encoder::send_block() {
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
    put_bits(nbit, n);
    int i = 0;
    while (i < n) {
      unsigned k = len[i++];
      if (k <= 6)
        put_bits(3, k);
      else
        put_bits(k - 3, (uint32_t{1} << (k - 3)) - 2);
      if (i == special) {
        while (i < 6 && len[i] == 0) ++i;
        put_bits(2, (i - 3) & 3);
      }
    }
  };

  put_bits(16, static_cast<uint32_t>(codes_.size()));
  // A block whose codes are all one symbol could use the one-symbol form
  // of the code table, but not every decoder accepts that form for the
  // literal and length table: give it a second, unused symbol so that it is
  // an ordinary table (one bit a code). The position table keeps the form.
  auto ensure_two = [](std::vector<uint32_t>& freq) {
    int used = 0, first = -1;
    for (size_t i = 0; i < freq.size(); ++i)
      if (freq[i]) ++used, first = first < 0 ? static_cast<int>(i) : first;
    if (used == 1) freq[first == 0 ? 1 : 0] = 1;
  };
  ensure_two(c_freq_);
  int c_only = 0;
  const int c_used = huffman_lengths(c_freq_.data(), kNC, 16, c_len, &c_only);
  if (c_used >= 2) {
    huffman_codes(c_len, kNC, c_code);
    int n = kNC;
    while (n > 0 && c_len[n - 1] == 0) --n;
    // Runs of zero lengths become code-length codes 0 to 2; a length k is code k + 2.
    uint32_t t_freq[kNT] = {0};
    for (int i = 0; i < n;) {
      unsigned k = c_len[i++];
      if (k == 0) {
        int count = 1;
        while (i < n && c_len[i] == 0) ++i, ++count;
        if (count <= 2)
          t_freq[0] += count;
        else if (count <= 18)
          t_freq[1]++;
        else if (count == 19)
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
      std::fill(t_code, t_code + kNT, 0);
      put_bits(kTBit, 0);
      put_bits(kTBit, t_only);
    }
    put_bits(kCBit, n);
    for (int i = 0; i < n;) {
      unsigned k = c_len[i++];
      if (k == 0) {
        int count = 1;
        while (i < n && c_len[i] == 0) ++i, ++count;
        if (count <= 2) {
          for (int j = 0; j < count; ++j) put_bits(t_len[0], t_code[0]);
        } else if (count <= 18) {
          put_bits(t_len[1], t_code[1]);
          put_bits(4, count - 3);
        } else if (count == 19) {
          put_bits(t_len[0], t_code[0]);
          put_bits(t_len[1], t_code[1]);
          put_bits(4, 15);
        } else {
          put_bits(t_len[2], t_code[2]);
          put_bits(kCBit, count - 20);
        }
      } else {
        put_bits(t_len[k + 2], t_code[k + 2]);
      }
    }
  } else {
    std::fill(c_len, c_len + kNC, 0);
    std::fill(c_code, c_code + kNC, 0);
    put_bits(kTBit, 0);
    put_bits(kTBit, 0);
    put_bits(kCBit, 0);
    put_bits(kCBit, c_only);
  }

  int p_only = 0;
  const int p_used = huffman_lengths(p_freq_.data(), kNP, 16, p_len, &p_only);
  if (p_used >= 2) {
    huffman_codes(p_len, kNP, p_code);
    write_pt_len(p_len, kNP, kPBit, -1);
  } else {
    std::fill(p_code, p_code + kNP, 0);
    put_bits(kPBit, 0);
    put_bits(kPBit, p_only);
  }

  for (size_t i = 0; i < codes_.size(); ++i) {
    const unsigned c = codes_[i];
    put_bits(c_len[c], c_code[c]);
    if (c >= 256) {
      const unsigned p = positions_[i];
      const unsigned nb = bit_length(p);
      put_bits(p_len[nb], p_code[nb]);
      if (nb > 1) put_bits(nb - 1, p & ((1u << (nb - 1)) - 1));
    }
  }
  codes_.clear();
  positions_.clear();
  std::fill(c_freq_.begin(), c_freq_.end(), 0);
  std::fill(p_freq_.begin(), p_freq_.end(), 0);
}

}  // namespace lzh
