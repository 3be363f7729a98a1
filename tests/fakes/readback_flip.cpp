// Test seam of the worker as tests run it (never of the shipped worker):
// with ZUBETO_TEST_FLIP set, the read-back check sees one byte of the
// archive flipped, as a failing disk would give it back, while the file
// itself stays whole.
//   ZUBETO_TEST_FLIP=data    a byte in the middle of the first entry's stored data
//   ZUBETO_TEST_FLIP=header  the first byte of the archive (its first header)
#include <cstdlib>
#include <map>
#include <string>

#include "arcverify/verify.h"

namespace {

struct InstallFlip {
  InstallFlip() {
    const char* mode = std::getenv("ZUBETO_TEST_FLIP");
    if (!mode || !*mode) return;
    const bool header = std::string(mode) == "header";
    arcverify::set_read_filter([header](const std::string& path, uint64_t offset, uint8_t* data, size_t n) {
      static std::map<std::string, uint64_t> where;
      static bool finding = false;
      if (finding) return;  // the whole archive read once, unflipped, to find its first entry's data
      auto it = where.find(path);
      if (it == where.end()) {
        uint64_t at = 0;
        arcverify::Format format;
        if (!header && arcverify::format_of_path(path, format)) {
          finding = true;
          arcverify::Report r = arcverify::verify_file(path, format);
          finding = false;
          at = r.first_data_offset + r.first_data_size / 2;
        }
        it = where.emplace(path, at).first;
      }
      if (it->second >= offset && it->second < offset + n) data[it->second - offset] ^= 0x01;
    });
  }
};
const InstallFlip install_flip;

}  // namespace
