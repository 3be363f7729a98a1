#include "arc/deflate.h"

#if ZUBETO_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#include <zlib.h>

#include <algorithm>

namespace zubeto::arc {

struct Deflater::State {
  int level;
  bool complete_codes;
#if ZUBETO_HAVE_LIBDEFLATE
  libdeflate_compressor* whole = nullptr;
#endif
  z_stream z{};
  bool z_ready = false;

  // zlib's stream, made on first use (with libdeflate only a part that
  // cannot be joined needs it, which is never expected).
  bool zlib() {
    if (z_ready) return deflateReset(&z) == Z_OK;
    if (deflateInit2(&z, std::clamp(level, 1, 9), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    z_ready = true;
    return true;
  }
};

Deflater::Deflater(int level, bool complete_codes) : s_(new State) {
  s_->level = level;
  s_->complete_codes = complete_codes;
#if ZUBETO_HAVE_LIBDEFLATE
  s_->whole = libdeflate_alloc_compressor(std::clamp(level, 1, 12));
#endif
}

Deflater::~Deflater() {
#if ZUBETO_HAVE_LIBDEFLATE
  if (s_->whole) libdeflate_free_compressor(s_->whole);
#endif
  if (s_->z_ready) deflateEnd(&s_->z);
  delete s_;
}

const char* Deflater::back_end() {
#if ZUBETO_HAVE_LIBDEFLATE
  return "libdeflate";
#else
  return "zlib";
#endif
}

size_t Deflater::bound(size_t n) {
  // Above both back ends' own bounds (stored blocks at worst, a few bytes
  // per block), so that it is the same number on every build.
  size_t b = n + n / 512 + 64;
#if ZUBETO_HAVE_LIBDEFLATE
  b = std::max(b, libdeflate_deflate_compress_bound(nullptr, n));
#endif
  if (n <= 0xFFFFFFFFu) b = std::max<size_t>(b, compressBound(static_cast<uLong>(n)));
  return b;
}

size_t Deflater::compress(const void* in, size_t n, void* out, size_t cap) {
#if ZUBETO_HAVE_LIBDEFLATE
  if (!s_->whole) return 0;
  const size_t got = libdeflate_deflate_compress(s_->whole, in, n, out, cap);
  // Mostly a single final block, whose header alone is read.
  if (got == 0 || !s_->complete_codes || codes_complete(out, got)) return got;
  return zlib_part(in, n, nullptr, 0, /*last=*/true, out, cap);
#else
  return zlib_part(in, n, nullptr, 0, /*last=*/true, out, cap);
#endif
}

size_t Deflater::zlib_part(const void* in, size_t n, const void* history, size_t history_n, bool last, void* out,
                           size_t cap) {
  if (!s_->zlib()) return 0;
  z_stream& z = s_->z;
  if (history_n > 32768) {
    history = static_cast<const char*>(history) + (history_n - 32768);
    history_n = 32768;
  }
  if (history_n && deflateSetDictionary(&z, static_cast<const Bytef*>(history), static_cast<uInt>(history_n)) != Z_OK)
    return 0;
  z.next_in = static_cast<Bytef*>(const_cast<void*>(in));
  z.next_out = static_cast<Bytef*>(out);
  size_t in_left = n, out_left = cap;
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    const uInt give_in = static_cast<uInt>(std::min<size_t>(in_left, 1u << 30));
    const uInt give_out = static_cast<uInt>(std::min<size_t>(out_left, 1u << 30));
    z.avail_in = give_in;
    z.avail_out = give_out;
    const int rc = deflate(&z, in_left == give_in ? flush : Z_NO_FLUSH);
    in_left -= give_in - z.avail_in;
    out_left -= give_out - z.avail_out;
    if (rc == Z_STREAM_ERROR) return 0;
    if (last ? rc == Z_STREAM_END : (in_left == 0 && z.avail_out > 0)) return cap - out_left;
    if (out_left == 0) return 0;  // more than part_bound(): never expected
  }
}

size_t Deflater::compress_part(const void* in, size_t n, const void* history, size_t history_n, bool last,
                               void* out, size_t cap) {
#if ZUBETO_HAVE_LIBDEFLATE
  // Each part compressed on its own as a whole buffer, then made to
  // continue into the next; zlib with the history only when a part's
  // stream cannot be joined (never expected).
  const size_t got = compress(in, n, out, cap);
  if (got == 0) return 0;
  if (last) return got;
  const size_t joined = continue_stream(static_cast<char*>(out), got, cap);
  if (joined) return joined;
#endif
  return zlib_part(in, n, history, history_n, last, out, cap);
}

uint32_t crc32(uint32_t crc, const void* data, size_t n) {
#if ZUBETO_HAVE_LIBDEFLATE
  return libdeflate_crc32(crc, data, n);
#else
  uLong c = crc;
  const Bytef* at = static_cast<const Bytef*>(data);
  for (size_t left = n; left > 0;) {
    const uInt k = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
    c = ::crc32(c, at, k);
    at += k;
    left -= k;
  }
  return static_cast<uint32_t>(c);
#endif
}

uint32_t crc32_combine(uint32_t crc_a, uint32_t crc_b, uint64_t len_b) {
  // The parts joined are chunks of a file, well below what z_off_t holds.
  return static_cast<uint32_t>(::crc32_combine(crc_a, crc_b, static_cast<z_off_t>(len_b)));
}

}  // namespace zubeto::arc
