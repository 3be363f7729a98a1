// Calls unlha32.so once with the command text given as the only argument,
// as the worker would; prints the return code and the output text. Used by
// bench_lzh.sh to time the library apart from any test framework.
#include <dlfcn.h>

#include <cstdio>
#include <vector>

#include "archiver_api.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <unlha32.so> <command text>\n", argv[0]);
    return 2;
  }
  void* lib = ::dlopen(argv[1], RTLD_NOW);
  if (!lib) {
    std::fprintf(stderr, "%s\n", ::dlerror());
    return 2;
  }
  auto fn = reinterpret_cast<ArcCommandFn>(::dlsym(lib, "Unlha"));
  std::vector<char> out(32768, 0);
  int rc = fn(nullptr, argv[2], out.data(), 32767);
  std::printf("return 0x%04x %s\n", rc, out.data());
  ::dlclose(lib);
  return rc == 0 ? 0 : 1;
}
