// "-lh5-" compressor: LZSS over an 8 KiB window, coded in blocks of static
// Huffman codes. Input arrives in pieces of any size; compressed bytes collect
// in output() and the caller drains them after each call, so memory stays
// fixed whatever the size of the input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzh {

struct Lh5Options {
  int max_chain = 256;      // hash-chain candidates tried per position
  int nice_length = 256;   // a match this long ends the search
  int lazy_length = 256;    // no lazy look-ahead once a match is this long
  int block_codes = 32768;  // codes per Huffman block, at most 65535
};

class Lh5Encoder {
 public:
  explicit Lh5Encoder(const Lh5Options& options = Lh5Options());
  ~Lh5Encoder();
  Lh5Encoder(const Lh5Encoder&) = delete;
  Lh5Encoder& operator=(const Lh5Encoder&) = delete;

  // Feeds input bytes; may append compressed bytes to output().
  void write(const uint8_t* data, size_t size);
  // Codes the rest of the input and the last block, and pads the last byte.
  void finish();

  std::vector<uint8_t>& output() { return out_; }

 private:
  void process(bool final);
  void slide();
  void put_literal(uint8_t c);
  void put_match(unsigned length, unsigned distance);
  void send_block();
  void put_bits(unsigned n, uint32_t value);
  void flush_bits();
  int64_t insert(size_t index);
  unsigned longest_match(size_t index, int64_t candidate, unsigned prev_length, unsigned* distance);

  Lh5Options opt_;
  std::vector<uint8_t> buf_;
  std::vector<int64_t> head_;
  std::vector<int64_t> prev_;
  int64_t base_ = 0;   // absolute input position of buf_[0]
  size_t pos_ = 0;     // next index of buf_ to code
  size_t end_ = 0;     // end of the input held in buf_
  // lazy matching state, kept between calls
  unsigned match_length_ = 2;
  unsigned match_distance_ = 0;
  bool match_available_ = false;

  // current block
  std::vector<uint16_t> codes_;
  std::vector<uint16_t> positions_;
  std::vector<uint32_t> c_freq_;
  std::vector<uint32_t> p_freq_;

  std::vector<uint8_t> out_;
  uint64_t bit_buffer_ = 0;
  unsigned bit_count_ = 0;
};

}  // namespace lzh
