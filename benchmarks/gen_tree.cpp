// Writes a deterministic sample tree for the archiver benchmark: thousands of
// small text files, some binaries, some already-compressed files and a few
// large files. The same arguments always give the same bytes.
//
//   gen_tree <folder> [scale]     scale 1.0 is about 300 MB
//   gen_tree <folder> --many N    N small files (20 to 200 bytes each)
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

struct Rng {
  uint64_t s;
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

const char* kWords[] = {"backup", "archive", "folder", "file",  "the",    "of",     "and",    "report",
                        "data",   "invoice", "2024",   "total", "meeting", "notes",  "project", "customer",
                        "order",  "amount",  "date",   "name",  "address", "status", "done",    "pending",
                        "資料",   "会議",    "見積",   "請求",  "報告",    "予定",   "東京",    "大阪"};

std::string text(Rng& r, size_t bytes) {
  std::string s;
  s.reserve(bytes + 16);
  while (s.size() < bytes) {
    s += kWords[r.below(sizeof kWords / sizeof kWords[0])];
    s += (r.below(12) == 0) ? "\r\n" : " ";
    if (r.below(40) == 0) s += std::to_string(r.next() % 100000);
  }
  s.resize(bytes);
  return s;
}

std::string binary(Rng& r, size_t bytes) {
  std::string s(bytes, '\0');
  for (size_t i = 0; i < bytes; i += 8) {
    uint64_t v = r.next();
    for (size_t k = 0; k < 8 && i + k < bytes; ++k) s[i + k] = static_cast<char>(v >> (8 * k));
  }
  return s;
}

// Structured binary: records with repeating fields, like a database file.
std::string records(Rng& r, size_t bytes) {
  std::string s;
  s.reserve(bytes);
  while (s.size() < bytes) {
    uint32_t id = r.below(5000);
    s.append(reinterpret_cast<const char*>(&id), 4);
    s.append(16 - r.below(4), static_cast<char>('A' + r.below(6)));
    s.append(binary(r, 4));
    s.append(8, '\0');
  }
  s.resize(bytes);
  return s;
}

std::string compressed(Rng& r, size_t bytes) {
  std::string src = text(r, bytes * 3);
  uLongf n = compressBound(src.size());
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(src.data()), src.size(), 9);
  out.resize(n);
  return out;
}

void put(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gen_tree <folder> [scale] | gen_tree <folder> --many N\n");
    return 2;
  }
  std::string top = argv[1];
  Rng r{0x5EED1234ABCDull};
  mkdir(top.c_str(), 0755);
  if (argc > 3 && std::string(argv[2]) == "--many") {
    // A tree of many small files: 1,000 files of 20 to 200 bytes a folder,
    // 100 folders a level.
    const long n = std::atol(argv[3]);
    uint64_t total = 0;
    for (long i = 0; i < n; ++i) {
      std::string dir = top + "/g" + std::to_string(i / 100000) + "/d" + std::to_string(i / 1000 % 100);
      if (i % 1000 == 0) {
        mkdir((top + "/g" + std::to_string(i / 100000)).c_str(), 0755);
        mkdir(dir.c_str(), 0755);
      }
      std::string b = text(r, 20 + r.below(180));
      put(dir + "/f" + std::to_string(i) + ".txt", b);
      total += b.size();
    }
    std::printf("%s: %ld files, %.1f MB\n", top.c_str(), n, total / 1e6);
    return 0;
  }
  double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
  uint64_t total = 0;
  auto count = [&](const std::string& p, const std::string& b) {
    put(p, b);
    total += b.size();
  };

  // Small text files in a tree of folders.
  const int small = static_cast<int>(6000 * scale);
  for (int i = 0; i < small; ++i) {
    std::string dir = top + "/docs/d" + std::to_string(i % 40);
    if (i < 40) {
      mkdir((top + "/docs").c_str(), 0755);
      mkdir(dir.c_str(), 0755);
    }
    count(dir + "/note" + std::to_string(i) + ".txt", text(r, 500 + r.below(16000)));
  }
  mkdir((top + "/bin").c_str(), 0755);
  for (int i = 0; i < static_cast<int>(60 * scale); ++i)
    count(top + "/bin/rand" + std::to_string(i) + ".bin", binary(r, 300000 + r.below(400000)));
  for (int i = 0; i < static_cast<int>(60 * scale); ++i)
    count(top + "/bin/table" + std::to_string(i) + ".dat", records(r, 200000 + r.below(400000)));
  mkdir((top + "/packed").c_str(), 0755);
  for (int i = 0; i < static_cast<int>(40 * scale); ++i)
    count(top + "/packed/pack" + std::to_string(i) + ".gz", compressed(r, 300000 + r.below(500000)));
  mkdir((top + "/large").c_str(), 0755);
  const size_t big = static_cast<size_t>(40e6 * scale);
  count(top + "/large/log.txt", text(r, big));
  count(top + "/large/db.dat", records(r, big));
  count(top + "/large/media.bin", binary(r, big / 2));
  std::printf("%s: %.1f MB\n", top.c_str(), total / 1e6);
  return 0;
}
