// Raw deflate for the writers that store it (ZIP entries, MSZIP blocks of
// cabinets): libdeflate where it is built in, zlib where it is missing (the
// Windows builds). Target arc_deflate (arc_deflate_zlib: zlib alone, for
// the tests of that back end on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zubeto::arc {

// One thread's compressor. Not shared between threads; reused from one
// buffer to the next.
class Deflater {
 public:
  // Level 1 (fastest) to 9 on zlib, to 12 on libdeflate (higher ones are
  // taken as 9 on zlib). `complete_codes`: every Huffman code of every
  // block is complete, as the inflaters of cabinet readers require (they
  // refuse, say, a block of literals alone whose distance code is a single
  // code, which libdeflate sends); a stream from libdeflate that is not is
  // made again by zlib, which always sends complete codes.
  explicit Deflater(int level, bool complete_codes = false);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // The most bytes one complete stream of `n` input bytes can take, on
  // either back end.
  static size_t bound(size_t n);

  // One complete raw deflate stream of in[0, n) into out[0, cap), cap at
  // least bound(n): its size, 0 when it failed. Every stream begins with
  // no history, so the same bytes give the same stream whatever was
  // compressed before.
  size_t compress(const void* in, size_t n, void* out, size_t cap);

  // The most bytes compress_part() can give for `n` input bytes.
  static size_t part_bound(size_t n) { return bound(n) + 16; }

  // A part of one stream whose parts are compressed apart, on any thread,
  // and written one after the other, into out[0, cap), cap at least
  // part_bound(n): `history` is what comes before the part (at most 32 KiB
  // are used; libdeflate ignores it). When `last`, the stream ends with
  // this part; else the part ends on a byte boundary with no final block,
  // so that the next part's bits follow it. Its size, 0 when it failed.
  size_t compress_part(const void* in, size_t n, const void* history, size_t history_n, bool last, void* out,
                       size_t cap);

  // "libdeflate" or "zlib".
  static const char* back_end();

 private:
  size_t zlib_part(const void* in, size_t n, const void* history, size_t history_n, bool last, void* out, size_t cap);

  struct State;
  State* s_;
};

// CRC-32 of deflate's containers, continuing from `crc` (0 to begin).
uint32_t crc32(uint32_t crc, const void* data, size_t n);
// The CRC-32 of a followed by b, from their CRCs and b's length.
uint32_t crc32_combine(uint32_t crc_a, uint32_t crc_b, uint64_t len_b);

// Turns the complete raw deflate stream in `data` into one that does not
// end the stream: the final block loses its final mark and an empty stored
// block brings the end to a byte boundary, so the next stream's blocks may
// follow directly. False (and `data` unchanged) when `data` is not a
// complete, well-formed deflate stream.
bool continue_stream(std::vector<char>& data);
// The same in place on data[0, size) with room up to `cap` (it adds at
// most 5 bytes): the new size, 0 when it is no complete stream.
size_t continue_stream(char* data, size_t size, size_t cap);

// Whether `data` is a well-formed deflate stream whose every Huffman code
// (code lengths, literals and lengths, distances) is complete.
bool codes_complete(const void* data, size_t size);

}  // namespace zubeto::arc
