// unlha32.so called as the worker calls it, with real command texts; the
// archives are read back by lhasa and bsdtar.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "archiver_api.h"
#include "lzh_test_util.h"

using namespace lzhtest;

namespace {

class Unlha32 : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = ::dlopen(UNLHA32_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << ::dlerror();
    version_ = reinterpret_cast<ArcVersionFn>(::dlsym(lib_, "UnlhaGetVersion"));
    command_ = reinterpret_cast<ArcCommandFn>(::dlsym(lib_, "Unlha"));
    ASSERT_NE(version_, nullptr);
    ASSERT_NE(command_, nullptr);
    fs::create_directories(t_.path / "dest");
  }
  void TearDown() override {
    if (lib_) ::dlclose(lib_);
  }

  int call(const std::string& text, uint32_t size = 32767) {
    output_.assign(32768, '\x7f');
    return command_(nullptr, text.c_str(), output_.data(), size);
  }
  std::string output() const { return std::string(output_.data()); }

  // The folder under which an extracted absolute path appears: the path
  // without its root.
  static std::string stripped(const fs::path& p) { return p.string().substr(1); }

  std::map<std::string, std::string> extract(const std::string& reader, const fs::path& archive) {
    fs::path x = t_.path / ("x-" + reader.substr(0, reader.find(' ')));
    fs::create_directories(x);
    std::string out;
    EXPECT_EQ(run("cd " + quote(x) + " && LC_ALL=C.UTF-8 " + reader + " " + quote(archive), &out), 0) << out;
    return snapshot(x);
  }

  TempDir t_;
  void* lib_ = nullptr;
  ArcVersionFn version_ = nullptr;
  ArcCommandFn command_ = nullptr;
  std::vector<char> output_;
};

std::map<std::string, std::string> under(const std::map<std::string, std::string>& m, const std::string& prefix) {
  std::map<std::string, std::string> r;
  for (auto& [k, v] : m)
    if (k.rfind(prefix, 0) == 0 && k.size() > prefix.size()) r[k.substr(prefix.size())] = v;
  return r;
}

TEST_F(Unlha32, VersionIsReported) { EXPECT_EQ(version_(), 100); }

TEST_F(Unlha32, FolderAndFileSourcesReadBack) {
  make_fixture(t_.path / "src/data");
  write_file(t_.path / "src/memo.txt", "memo\r\n");
  const fs::path archive = t_.path / "dest/20240515213005.lzh";
  const std::string cmd = "a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "src/data").string() + "\" \"" +
                          (t_.path / "src/memo.txt").string() + "\" ";
  ASSERT_EQ(call(cmd), 0) << output();
  std::string out;
  ASSERT_EQ(run("lhasa t " + quote(archive), &out), 0) << out;
  const std::map<std::string, std::string> want = snapshot(t_.path / "src");
  for (const char* reader : {"lhasa xq", "bsdtar xf"}) {
    SCOPED_TRACE(reader);
    EXPECT_EQ(under(extract(reader, archive), stripped(t_.path / "src") + "/"), want);
  }
  // Only the archive is left in the destination: no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(t_.path / "dest"), fs::directory_iterator()), 1);
}

TEST_F(Unlha32, ResponseFileInCurrentFolder) {
  write_file(t_.path / "src/a b.txt", std::string(20000, 'a'));
  write_file(t_.path / "src/二.txt", "ni");
  fs::create_directories(t_.path / "src/empty");
  write_file(t_.path / "work/resp.tmp", "\"" + (t_.path / "src/a b.txt").string() + "\"\r\n\"" +
                                            (t_.path / "src/二.txt").string() + "\"\r\n\"" +
                                            (t_.path / "src/empty").string() + "\"\n");
  const fs::path archive = t_.path / "dest/r.lzh";
  const fs::path before = fs::current_path();
  fs::current_path(t_.path / "work");
  int rc = call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"@resp.tmp\" ");
  fs::current_path(before);
  ASSERT_EQ(rc, 0) << output();
  std::map<std::string, std::string> want = snapshot(t_.path / "src");
  EXPECT_EQ(under(extract("bsdtar xf", archive), stripped(t_.path / "src") + "/"), want);
  EXPECT_EQ(under(extract("lhasa xq", archive), stripped(t_.path / "src") + "/"), want);
}

TEST_F(Unlha32, FailuresLeaveNoPartialArchiveAndSayWhy) {
  write_file(t_.path / "src/f.txt", "file");
  const std::string src = "\"" + (t_.path / "src/f.txt").string() + "\" ";
  write_file(t_.path / "dest/old.lzh", "previous archive");
  struct Case {
    const char* name;
    std::string archive;
    int code;
    const char* says;
  };
  const Case cases[] = {
      {"existing archive", (t_.path / "dest/old.lzh").string(), 0x8004, "exists"},
      {"missing destination", (t_.path / "nowhere/x.lzh").string(), 0x8003, "nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(call("a \"" + c.archive + "\" -x1r2a2 -n1 " + src), c.code);
    EXPECT_NE(output().find(c.says), std::string::npos) << output();
  }
  EXPECT_EQ(read_file(t_.path / "dest/old.lzh"), "previous archive");
  EXPECT_FALSE(fs::exists(t_.path / "nowhere"));
  EXPECT_EQ(std::distance(fs::directory_iterator(t_.path / "dest"), fs::directory_iterator()), 1);
}

TEST_F(Unlha32, MissingSourceIsNamedAndTheRestArchived) {
  write_file(t_.path / "src/f.txt", "file");
  const fs::path archive = t_.path / "dest/m.lzh";
  int rc = call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "src/gone.txt").string() + "\" \"" +
                (t_.path / "src/f.txt").string() + "\" ");
  EXPECT_GE(rc, 0x8000);
  EXPECT_NE(output().find("gone.txt"), std::string::npos) << output();
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(under(extract("lhasa xq", archive), stripped(t_.path / "src") + "/"), snapshot(t_.path / "src"));
}

TEST_F(Unlha32, OutputTextStaysWithinTheGivenSize) {
  write_file(t_.path / "dest/old.lzh", "x");
  const std::string cmd = "a \"" + (t_.path / "dest/old.lzh").string() + "\" -x1r2a2 -n1 \"/tmp\" ";
  for (uint32_t size : {1u, 2u, 12u, 200u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(call(cmd, size), 0x8004);
    EXPECT_LT(std::strlen(output_.data()), size);
    for (size_t i = size; i < output_.size(); ++i) ASSERT_EQ(output_[i], '\x7f') << "written at " << i;
  }
}

}  // namespace
