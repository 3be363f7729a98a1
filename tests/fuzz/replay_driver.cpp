// A plain driver for the fuzz targets, so that they build and run in every
// test run with any compiler: each input of the corpus folders given, then
// a fixed number of inputs made from them by deterministic mutations
// (bytes flipped, inserted, deleted, repeated, and seeds spliced), each fed
// to LLVMFuzzerTestOneInput. A target that finds a fault traps, which fails
// the test; the same seed always gives the same inputs.
//
//   <target>_replay [-runs=N] CORPUS-FOLDER...
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15ull;
uint64_t next() {
  g_state ^= g_state << 13;
  g_state ^= g_state >> 7;
  g_state ^= g_state << 17;
  return g_state;
}
size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }

// Bytes that mean something to the readers under test.
const char kBytes[] = {'"', '@', '\r', '\n', '\0', '[', ']', '=', '-', ' ', '/', '\\', '*', '.', '0', '9',
                       'a', 'r', 'x', '\x81', '\x5c', '\xff', '\xe6', '\x80', '\t'};

std::string mutate(std::string s, const std::vector<std::string>& seeds) {
  const int steps = 1 + static_cast<int>(below(8));
  for (int i = 0; i < steps; ++i) {
    switch (below(6)) {
      case 0:
        if (!s.empty()) s[below(s.size())] ^= static_cast<char>(1u << below(8));
        break;
      case 1: s.insert(s.begin() + static_cast<long>(below(s.size() + 1)), kBytes[below(sizeof kBytes)]); break;
      case 2:
        if (!s.empty()) s.erase(below(s.size()), 1 + below(8));
        break;
      case 3:
        if (!s.empty()) {
          size_t at = below(s.size());
          std::string part = s.substr(at, 1 + below(64));
          for (size_t n = 1 + below(64); n > 0; --n) s.insert(at, part);
        }
        break;
      case 4: {
        const std::string& other = seeds[below(seeds.size())];
        s = s.substr(0, below(s.size() + 1)) + other.substr(below(other.size() + 1));
        break;
      }
      default:
        if (!s.empty()) s[below(s.size())] = kBytes[below(sizeof kBytes)];
        break;
    }
  }
  if (s.size() > 65536) s.resize(65536);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 10000;
  std::vector<std::string> seeds;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-runs=", 6) == 0) {
      runs = std::strtol(argv[i] + 6, nullptr, 10);
      continue;
    }
    DIR* d = ::opendir(argv[i]);
    if (!d) {
      std::fprintf(stderr, "cannot read the corpus folder %s\n", argv[i]);
      return 2;
    }
    std::vector<std::string> names;
    while (struct dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(std::string(argv[i]) + "/" + e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
      std::ifstream in(n, std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      seeds.push_back(ss.str());
    }
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "no corpus\n");
    return 2;
  }
  seeds.push_back(std::string());
  for (const std::string& s : seeds) LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  for (long r = 0; r < runs; ++r) {
    std::string input = mutate(seeds[below(seeds.size())], seeds);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  std::printf("%zu seeds and %ld mutated inputs, no fault\n", seeds.size(), runs);
  return 0;
}
