// "-lh5-" compressor: LZSS over an 8 KiB window, coded in blocks of static
// Huffman codes. It compresses one piece held in memory at a time: a whole
// small file, or one chunk of a large one. A chunk may match against the
// bytes before it (its history), so that chunks compressed apart, on
// different threads, join into one stream that decodes as if compressed in
// one go: each piece ends on a block boundary, and the pieces' bits are
// joined without padding (BitJoin).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lzh {

struct Lh5Options {
  int max_chain = 24;        // hash-chain candidates tried per position
  int nice_length = 64;      // a match this long ends the search
  int good_length = 12;      // once a match this long is found, a quarter of the chain is left to try
  int skip_length = 64;      // cost parse: no search inside a match this long
  int block_codes = 65535;   // codes per Huffman block at most (the format's limit)
  bool split_blocks = true;  // split a block in two where that costs fewer bits
  // Choose literals and matches by their cost in bits under the codes the
  // data is about to get (a shortest path through each 32 KiB of input),
  // instead of the lazy rule "take a match unless the next one is longer".
  bool cost_parse = true;
};

// Bits, most significant first, as the decoders read them: whole bytes in
// bytes, then tail_bits (0 to 7) further bits in the low end of tail.
struct Bits {
  std::vector<uint8_t> bytes;
  uint8_t tail = 0;
  unsigned tail_bits = 0;
  uint64_t bit_count() const { return bytes.size() * 8 + tail_bits; }
  void clear() {
    bytes.clear();
    tail = 0;
    tail_bits = 0;
  }
};

// Joins pieces of bits into one byte stream.
class BitJoin {
 public:
  // Appends the bits of `piece`; completed bytes go to `out`.
  void append(const Bits& piece, std::vector<uint8_t>& out);
  // Pads the last byte with zero bits and appends it to `out`.
  void finish(std::vector<uint8_t>& out);

 private:
  uint8_t pending_ = 0;
  unsigned pending_bits_ = 0;
};

class Lh5Encoder {
 public:
  explicit Lh5Encoder(const Lh5Options& options = Lh5Options());
  ~Lh5Encoder();
  Lh5Encoder(const Lh5Encoder&) = delete;
  Lh5Encoder& operator=(const Lh5Encoder&) = delete;

  // Compresses data[0, size) into `out` (cleared first). The `history`
  // bytes just before `data` (at most 8 KiB are used) are what the decoder
  // has already produced: matches may reach into them. The encoder keeps
  // its tables between calls, so one encoder per thread serves every piece;
  // the bits depend only on the piece and its history, not on the pieces
  // the encoder compressed before.
  // With `give_up` > 0, it stops and returns false (out empty) when the
  // first `give_up` bytes or so would not shrink under the cost parse: a
  // file to keep as it is, found without compressing all of it.
  bool compress(const uint8_t* data, size_t size, size_t history, Bits& out, size_t give_up = 0);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace lzh
