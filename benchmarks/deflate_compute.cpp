// libdeflate's own compute time on the files of a tree, cut as our writers
// cut them: the yardstick for the CPU time of our ZIP and CAB writers.
//
//   deflate_compute zip LEVEL TREE   every file whole, files above 1 MiB
//                                    in 1 MiB chunks (as the ZIP writer)
//   deflate_compute cab LEVEL TREE   all files one after the other in
//                                    32 KiB blocks (as the CAB writer)
//
// Prints "<CPU seconds> <compressed bytes>": the CPU time of the
// compression calls alone, on one thread (reading the files is not
// counted), and the sum of the deflate streams' sizes.
#include <libdeflate.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double cpu_now() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Meter {
  libdeflate_compressor* c = nullptr;
  std::vector<char> out;
  double cpu = 0;
  unsigned long long bytes = 0;

  void compress(const char* in, size_t n) {
    out.resize(libdeflate_deflate_compress_bound(c, n));
    const double t0 = cpu_now();
    const size_t got = libdeflate_deflate_compress(c, in, n, out.data(), out.size());
    cpu += cpu_now() - t0;
    bytes += got;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "zip") != 0 && std::strcmp(argv[1], "cab") != 0)) {
    std::fprintf(stderr, "usage: deflate_compute zip|cab LEVEL TREE\n");
    return 2;
  }
  const bool cab = std::strcmp(argv[1], "cab") == 0;
  Meter m;
  m.c = libdeflate_alloc_compressor(std::atoi(argv[2]));
  if (!m.c) {
    std::fprintf(stderr, "no compressor at level %s\n", argv[2]);
    return 2;
  }
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(argv[3]))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());

  const size_t piece = cab ? 32768 : 1 << 20;
  std::vector<char> buf(piece);
  size_t used = 0;  // cab: bytes of the block being filled
  for (const fs::path& p : files) {
    std::ifstream in(p, std::ios::binary);
    for (;;) {
      in.read(buf.data() + used, std::streamsize(piece - used));
      const size_t n = size_t(in.gcount());
      used += n;
      if (used == piece) {
        m.compress(buf.data(), used);
        used = 0;
      } else {
        break;
      }
    }
    if (!cab && (used > 0 || fs::file_size(p) == 0)) {  // the file's last (or only) piece
      m.compress(buf.data(), used);
      used = 0;
    }
  }
  if (used > 0) m.compress(buf.data(), used);
  libdeflate_free_compressor(m.c);
  std::printf("%.2f %llu\n", m.cpu, m.bytes);
  return 0;
}
