#include "cab_test_support.h"

#include <zlib.h>

#include <algorithm>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace cabtest {

TempDir::TempDir() {
  std::string base = (fs::temp_directory_path() / "cabtest.XXXXXX").string();
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  path_ = base;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void write_file(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {
uint32_t next(uint32_t& x) {
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return x;
}
}  // namespace

std::string random_bytes(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed | 1;
  for (size_t i = 0; i < n; ++i) s[i] = char(next(x) >> 24);
  return s;
}

std::string text_bytes(size_t n, uint32_t seed) {
  static const char* words[] = {"backup ", "archive ", "folder ", "cabinet ", "data ", "memo ", "\r\n", "2024 "};
  std::string s;
  uint32_t x = seed | 1;
  while (s.size() < n) s += words[next(x) % 8];
  s.resize(n);
  return s;
}

void make_fixture_tree(const fs::path& root) {
  write_file(root / "empty.txt", "");
  write_file(root / "sub/also empty", "");
  write_file(root / "one.bin", "x");
  write_file(root / "random.bin", random_bytes(100000, 7));
  write_file(root / "over 32k.txt", text_bytes(32768 * 3 + 17, 3));
  write_file(root / "exactly 32k.bin", random_bytes(32768, 9));
  write_file(root / "few mb/large.bin", text_bytes(3 * 1024 * 1024 + 5, 11) + random_bytes(400000, 12));
  write_file(root / "with space/file name.txt", "spaces in names\r\n");
  write_file(root / "日本語フォルダ/ファイル名.txt", "日本語の内容\r\n");
  write_file(root / "a/b/c/d/e/f/g/h/i/j/deep.txt", "deep\n");
  write_file(root / ".hidden", "hidden\n");
  fs::create_directories(root / "empty folder");
}

std::map<std::string, std::string> read_tree(const fs::path& root) {
  std::map<std::string, std::string> m;
  if (!fs::exists(root)) return m;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) m[fs::relative(it->path(), root).generic_string()] = read_file(it->path());
  return m;
}

std::string tree_diff(const fs::path& expected, const fs::path& actual) {
  auto a = read_tree(expected), b = read_tree(actual);
  std::string d;
  for (const auto& [name, bytes] : a) {
    auto it = b.find(name);
    if (it == b.end())
      d += "missing: " + name + "\n";
    else if (it->second != bytes)
      d += "differs: " + name + " (" + std::to_string(bytes.size()) + " vs " + std::to_string(it->second.size()) +
           " bytes)\n";
  }
  for (const auto& [name, bytes] : b)
    if (!a.count(name)) d += "extra: " + name + "\n";
  return d;
}

std::vector<std::string> list_dir(const fs::path& dir) {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
  return v;
}

RunResult run(const std::string& shell_command) {
  RunResult r;
  std::FILE* p = popen((shell_command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string quote(const fs::path& p) {
  std::string s = "'";
  for (char c : p.string()) {
    if (c == '\'')
      s += "'\\''";
    else
      s += c;
  }
  return s + "'";
}

bool cabextract_test(const fs::path& cab, std::string* log) {
  RunResult r = run("cabextract -t " + quote(cab));
  if (log) *log = r.out;
  return r.status == 0 && r.out.find("All done, no errors.") != std::string::npos;
}

bool cabextract_extract(const fs::path& cab, const fs::path& dir, std::string* log) {
  fs::create_directories(dir);
  RunResult r = run("cabextract -q -d " + quote(dir) + " " + quote(cab));
  if (log) *log = r.out;
  return r.status == 0;
}

bool gcab_extract(const fs::path& cab, const fs::path& dir, std::string* log) {
  fs::create_directories(dir);
  RunResult r = run("gcab -x -C " + quote(dir) + " " + quote(cab));
  if (log) *log = r.out;
  return r.status == 0;
}

bool sevenzip_extract(const fs::path& cab, const fs::path& dir, std::string* log) {
  fs::create_directories(dir);
  RunResult r = run("7z x -y -bd -o" + quote(dir) + " " + quote(cab));
  if (log) *log = r.out;
  return r.status == 0;
}

namespace {
uint16_t u16(const std::string& b, size_t p) { return uint16_t(uint8_t(b[p]) | uint8_t(b[p + 1]) << 8); }
uint32_t u32(const std::string& b, size_t p) { return uint32_t(u16(b, p)) | uint32_t(u16(b, p + 2)) << 16; }
}  // namespace

CabInfo read_cabinet(const fs::path& cab) {
  CabInfo info;
  std::string b = read_file(cab);
  if (b.size() < 36 || b.compare(0, 4, "MSCF") != 0) return info;
  info.cabinet_size = u32(b, 8);
  info.files_offset = u32(b, 16);
  info.version = u16(b, 24);
  uint16_t nfolders = u16(b, 26), nfiles = u16(b, 28);
  info.flags = u16(b, 30);
  info.set_id = u16(b, 32);
  info.index = u16(b, 34);
  size_t p = 36;
  // A cabinet of a set names its neighbours: file name, then disk name.
  auto text = [&](std::string* out) {
    size_t end = b.find('\0', p);
    if (end == std::string::npos) return false;
    if (out) *out = b.substr(p, end - p);
    p = end + 1;
    return true;
  };
  if ((info.flags & 1) && !(text(&info.prev) && text(nullptr))) return info;
  if ((info.flags & 2) && !(text(&info.next) && text(nullptr))) return info;
  for (uint16_t i = 0; i < nfolders; ++i, p += 8) {
    if (p + 8 > b.size()) return info;
    info.folders.push_back({u32(b, p), u16(b, p + 4), u16(b, p + 6)});
  }
  p = info.files_offset;
  for (uint16_t i = 0; i < nfiles; ++i) {
    if (p + 16 > b.size()) return info;
    CabFile f{u32(b, p), u32(b, p + 4), u16(b, p + 8), u16(b, p + 10), u16(b, p + 12), u16(b, p + 14), {}};
    size_t end = b.find('\0', p + 16);
    if (end == std::string::npos) return info;
    f.name = b.substr(p + 16, end - p - 16);
    info.files.push_back(f);
    p = end + 1;
  }
  info.valid = true;
  return info;
}

// Each CFDATA block of a cabinet inflated on its own by zlib, with no
// history, and the files cut out of their folders' bytes.
std::string inflate_blocks(const fs::path& cab, std::map<std::string, std::string>& files) {
  const CabInfo info = read_cabinet(cab);
  if (!info.valid) return "the cabinet's tables do not read";
  const std::string b = read_file(cab);
  std::vector<std::string> folders;
  for (size_t fi = 0; fi < info.folders.size(); ++fi) {
    const CabFolder& f = info.folders[fi];
    std::string data;
    size_t p = f.data_offset;
    for (uint16_t k = 0; k < f.blocks; ++k) {
      const std::string where = "folder " + std::to_string(fi) + " block " + std::to_string(k);
      if (p + 8 > b.size()) return where + ": past the end";
      const uint16_t cb = u16(b, p + 4), uncomp = u16(b, p + 6);
      if (p + 8 + cb > b.size() || cb < 2 || b.compare(p + 8, 2, "CK") != 0) return where + ": no \"CK\"";
      z_stream z{};
      if (inflateInit2(&z, -15) != Z_OK) return "inflateInit2";
      std::string out(size_t(uncomp) + 1, '\0');
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(b.data() + p + 10));
      z.avail_in = cb - 2u;
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = uInt(out.size());
      const int rc = inflate(&z, Z_FINISH);
      const size_t got = out.size() - z.avail_out;
      const uInt left = z.avail_in;
      inflateEnd(&z);
      if (rc != Z_STREAM_END || left != 0 || got != uncomp)
        return where + ": does not inflate alone to its " + std::to_string(uncomp) + " bytes (zlib " +
               std::to_string(rc) + ", " + std::to_string(got) + " bytes, " + std::to_string(left) + " left)";
      data.append(out, 0, got);
      p += 8 + cb;
    }
    folders.push_back(std::move(data));
  }
  for (const CabFile& f : info.files) {
    if (f.folder >= folders.size() || uint64_t(f.folder_offset) + f.size > folders[f.folder].size())
      return f.name + ": outside its folder";
    std::string name = f.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    files[name] = folders[f.folder].substr(f.folder_offset, f.size);
  }
  return "";
}

}  // namespace cabtest
