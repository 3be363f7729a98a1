#include "lzh_test_util.h"

#include <iconv.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace lzhtest {

TempDir::TempDir() {
  std::string t = (fs::temp_directory_path() / "lzhtest-XXXXXX").string();
  if (!mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
  path = t;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

void write_file(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string random_bytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

void make_fixture(const fs::path& root) {
  fs::create_directories(root / "empty folder");
  write_file(root / "zero", "");
  write_file(root / "one", "x");
  write_file(root / "random.bin", random_bytes(100000, 1));
  std::string text;
  for (int i = 0; text.size() < 40000; ++i)
    text += "line " + std::to_string(i) + " of a text longer than the window, " + std::to_string(i * 7919 % 1000) + "\n";
  write_file(root / "sub dir/日本語のファイル名.txt", text);
  std::string big;
  for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
    big += "repeat " + std::to_string(i % 100) + std::string(200, 'a' + i % 3) + "\n";
  write_file(root / "big.txt", big);
  write_file(root / "a/b/c/d/e/f/g/deep file.txt", "deep\n");
  write_file(root / "sub dir/.hidden", "hidden\n");
  // Mixed: compressible text after random bytes.
  write_file(root / "mixed.bin", random_bytes(20000, 2) + text);
}

int run(const std::string& command, std::string* out) {
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string o;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) o.append(buf.data(), n);
  int st = ::pclose(p);
  if (out) *out = o;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string quote(const fs::path& p) {
  std::string s = "'";
  for (char c : p.string()) {
    if (c == '\'') s += "'\\''";
    else s += c;
  }
  return s + "'";
}

std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> m;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory())
      m[rel + "/"] = "";
    else
      m[rel] = read_file(e.path());
  }
  return m;
}

std::map<std::string, std::string> under(const std::map<std::string, std::string>& m, const std::string& prefix) {
  std::map<std::string, std::string> r;
  for (auto& [k, v] : m)
    if (k.rfind(prefix, 0) == 0 && k.size() > prefix.size()) r[k.substr(prefix.size())] = v;
  return r;
}

std::string to_cp932(const std::string& utf8) {
  iconv_t cd = ::iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string in = utf8;
  std::string out(in.size() * 2 + 8, '\0');
  char* ip = in.data();
  size_t il = in.size();
  char* op = out.data();
  size_t ol = out.size();
  size_t rc = ::iconv(cd, &ip, &il, &op, &ol);
  ::iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return "";
  out.resize(out.size() - ol);
  return out;
}

std::map<std::string, std::string> cp932_names(const std::map<std::string, std::string>& m) {
  std::map<std::string, std::string> r;
  for (auto& [k, v] : m) r[to_cp932(k)] = v;
  return r;
}

const std::vector<Reader>& readers() {
  static const std::vector<Reader> r = {
      {"lhasa", "lhasa xq", true},
      {"bsdtar", "LC_ALL=C.UTF-8 bsdtar xpf", false},
      {"7-Zip", "7z x -y -bd", true},
  };
  return r;
}

int extract(const Reader& r, const fs::path& archive, const fs::path& into, std::string* out) {
  fs::create_directories(into);
  std::string o;
  int rc = run("cd " + quote(into) + " && " + r.extract + " " + quote(archive), &o);
  if (out) *out = o;
  return rc;
}

std::vector<StoredEntry> list_headers(const fs::path& archive) {
  std::string a = read_file(archive);
  std::vector<StoredEntry> out;
  size_t i = 0;
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(a[at]) | (static_cast<uint8_t>(a[at + 1]) << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  while (i < a.size() && a[i] != 0) {
    StoredEntry e;
    uint32_t hsize = u16(i);
    e.header_size = hsize;
    e.method = a.substr(i + 2, 5);
    e.packed = u32(i + 7);
    e.original = u32(i + 11);
    std::string dir, file;
    e.os = a[i + 23];
    size_t x = i + 24;
    uint32_t next = u16(x);
    x += 2;
    while (next != 0) {
      uint8_t type = static_cast<uint8_t>(a[x]);
      std::string data = a.substr(x + 1, next - 3);
      e.ext[type] = data;
      if (type == 1) file = data;
      if (type == 2) {
        for (char& c : data)
          if (static_cast<uint8_t>(c) == 0xFF) c = '/';
        dir = data;
      }
      x += next;
      next = u16(x - 2);
    }
    e.name = dir + file;
    out.push_back(e);
    i += hsize + e.packed;
  }
  return out;
}

}  // namespace lzhtest
